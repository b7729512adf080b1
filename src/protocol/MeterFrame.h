// Meter frames in both directions: the checksum, the seven-byte command
// frame, and the receive assembly that turns the byte stream into frames.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>

#include <cstdint>

namespace varnetta::protocol {

inline constexpr uint8_t kHeader0 = 0xAB;
inline constexpr uint8_t kHeader1 = 0xCD;
inline constexpr uint8_t kFrameTypeReading = 0x4C; // 'L'
inline constexpr uint8_t kFrameTypeMemory = 0x45;  // 'E'
inline constexpr uint8_t kExportEndCode = 0x66;    // 'f' in a memory frame
inline constexpr qsizetype kFrameSize = 35;
inline constexpr qsizetype kBodyOffset = 5;
inline constexpr qsizetype kBodySize = 21;
inline constexpr qsizetype kStatusOffset = 26;
inline constexpr qsizetype kStatusSize = 5;
inline constexpr qsizetype kCommandFrameSize = 7;

// The 16-bit sum of every byte in front of the two checksum bytes.
[[nodiscard]] uint32_t FrameSum(QByteArrayView bytes);

// True when a complete received frame (header through CR LF) carries the
// right checksum in the two bytes in front of its trailer.
[[nodiscard]] bool CheckFrame(QByteArrayView frame);

// Appends the checksum (high byte first) to the bytes given.
[[nodiscard]] QByteArray WithChecksum(QByteArrayView bytes);

// The sequence counter of command frames: 1 to 255, then 1 again, never 0.
class TCommandSequencer
{
public:
    [[nodiscard]] QByteArray BuildCommandFrame(uint8_t code);
    [[nodiscard]] uint32_t counter() const { return m_counter; }
    void reset() { m_counter = 1; }

private:
    uint32_t m_counter = 1;
};

struct TAssemblyCounters
{
    quint64 chunksReceived = 0;
    quint64 bytesReceived = 0;
    quint64 framesDispatched = 0;
    quint64 checksumFailures = 0;
    quint64 bytesDropped = 0; // junk skipped while resynchronising, and overflow
    quint64 resyncs = 0;
};

// Receive assembly, fed chunk by chunk on the user-interface thread.
//
// Every complete frame in the buffer is taken, in order, on each chunk. Junk
// in front of a header costs only the bytes up to the next 0xAB 0xCD. Each
// frame is cut out of the buffer before it is handed on, so a nested call
// (a modal dialog opened while dispatching keeps chunks coming) never sees a
// frame twice and keeps the order.
class TReceiveAssembly : public QObject
{
    Q_OBJECT
public:
    // Without a CR LF in this many bytes, only what could still start a
    // frame is kept.
    static constexpr qsizetype kMaxBufferBytes = 4096;

    explicit TReceiveAssembly(QObject* parent = nullptr);

    void CP21101ReceiveData(const uint8_t* data, int len);
    void CP21101ReceiveData(QByteArrayView chunk)
    {
        CP21101ReceiveData(reinterpret_cast<const uint8_t*>(chunk.data()), int(chunk.size()));
    }

    [[nodiscard]] const TAssemblyCounters& counters() const { return m_counters; }
    [[nodiscard]] qsizetype bufferedBytes() const { return m_buffer.size() - m_start; }

Q_SIGNALS:
    // Raised first for every chunk, also one that completes no frame: the
    // connection watchdog restarts on it.
    void chunkReceived();
    // A frame that passed the checksum, header and trailer included.
    void frameReady(const QByteArray& frame);

private:
    // Takes the next frame out of the buffer; false when none is complete.
    bool takeFrame(QByteArray& frame);
    void dropJunkInFront();
    void boundBuffer();

    // Bytes before m_start are consumed; they are dropped in one move once
    // the chunk has been handled, not one frame at a time.
    QByteArray m_buffer;
    qsizetype m_start = 0;
    QByteArray m_frame; // the frame being handed on
    int m_nesting = 0;  // calls under way: more than one when a receiver nests
    TAssemblyCounters m_counters;
};

} // namespace varnetta::protocol

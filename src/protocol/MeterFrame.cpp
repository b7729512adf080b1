#include "MeterFrame.h"

#include <QScopeGuard>

#include <cstring>

namespace varnetta::protocol {

namespace {
const QByteArray kHeader("\xAB\xCD", 2);

// The first CR LF at or after `from`, or -1. A frame is a few dozen bytes,
// so a plain scan for CR beats setting up a general substring search.
qsizetype findTrailer(const QByteArray& bytes, qsizetype from)
{
    const char* const begin = bytes.constData();
    const char* const end = begin + bytes.size();
    for (const char* p = begin + from; p + 1 < end;) {
        const auto* cr = static_cast<const char*>(std::memchr(p, '\r', size_t(end - 1 - p)));
        if (!cr)
            return -1;
        if (cr[1] == '\n')
            return cr - begin;
        p = cr + 1;
    }
    return -1;
}
} // namespace

uint32_t FrameSum(QByteArrayView bytes)
{
    uint32_t sum = 0;
    for (char c : bytes)
        sum += static_cast<uint8_t>(c);
    return sum;
}

bool CheckFrame(QByteArrayView frame)
{
    const qsizetype len = frame.size();
    if (len < 4)
        return false;
    const uint32_t expected = uint32_t(uint8_t(frame[len - 4])) * 256u + uint8_t(frame[len - 3]);
    return FrameSum(frame.first(len - 4)) == expected;
}

QByteArray WithChecksum(QByteArrayView bytes)
{
    QByteArray out(bytes.data(), bytes.size());
    const uint32_t sum = FrameSum(bytes);
    out.append(char((sum / 256) & 0xFF));
    out.append(char(sum % 256));
    return out;
}

QByteArray TCommandSequencer::BuildCommandFrame(uint8_t code)
{
    const char head[5] = {char(kHeader0), char(kHeader1), 0x04, char(code), char(m_counter & 0xFF)};
    ++m_counter;
    if (m_counter >= 256)
        m_counter = 1;
    return WithChecksum(QByteArrayView(head, 5));
}

TReceiveAssembly::TReceiveAssembly(QObject* parent) : QObject(parent) {}

void TReceiveAssembly::CP21101ReceiveData(const uint8_t* data, int len)
{
    ++m_counters.chunksReceived;
    Q_EMIT chunkReceived();
    if (data && len > 0) {
        m_buffer.append(reinterpret_cast<const char*>(data), len);
        m_counters.bytesReceived += quint64(len);
    }

    // One buffer for every frame: its bytes are replaced, not reallocated,
    // unless a receiver kept a copy of the previous frame. A nested call
    // (from a dialog a receiver opened) must not overwrite the frame the
    // outer receiver still holds, so it uses a buffer of its own.
    QByteArray nestedFrame;
    QByteArray& frame = m_nesting == 0 ? m_frame : nestedFrame;
    ++m_nesting;
    const auto leave = qScopeGuard([this] { --m_nesting; });
    while (takeFrame(frame)) {
        if (CheckFrame(frame)) {
            ++m_counters.framesDispatched;
            Q_EMIT frameReady(frame);
            continue;
        }
        ++m_counters.checksumFailures;
        // A frame whose tail was lost runs on into the next one: a header
        // inside the failed bytes may start a good frame, so only the bytes
        // in front of it are given up.
        const qsizetype inner = frame.indexOf(QByteArrayView(kHeader), 1);
        if (inner > 0) {
            m_start -= frame.size() - inner;
            m_counters.bytesDropped += quint64(inner);
            ++m_counters.resyncs;
        }
    }
    boundBuffer();
}

bool TReceiveAssembly::takeFrame(QByteArray& frame)
{
    for (;;) {
        const qsizetype trailer = findTrailer(m_buffer, m_start);
        if (trailer < 0)
            return false;
        if (QByteArrayView(m_buffer).sliced(m_start).startsWith(kHeader)) {
            const qsizetype size = trailer + 2 - m_start;
            frame.resize(size);
            std::memcpy(frame.data(), m_buffer.constData() + m_start, size_t(size));
            m_start = trailer + 2;
            return true;
        }
        dropJunkInFront();
    }
}

void TReceiveAssembly::dropJunkInFront()
{
    // Called only with a CR LF behind m_start, so the start always moves on.
    const qsizetype header = m_buffer.indexOf(kHeader, m_start + 1);
    qsizetype newStart = header;
    if (header < 0) {
        // Keep a last 0xAB: it may be the first half of the next header.
        newStart = m_buffer.endsWith(char(kHeader0)) ? m_buffer.size() - 1 : m_buffer.size();
    }
    m_counters.bytesDropped += quint64(newStart - m_start);
    m_start = newStart;
    ++m_counters.resyncs;
}

void TReceiveAssembly::boundBuffer()
{
    if (m_start > 0) {
        m_buffer.remove(0, m_start);
        m_start = 0;
    }
    if (m_buffer.size() <= kMaxBufferBytes)
        return;
    // No CR LF in all these bytes: whatever starts before the last header
    // can never become a frame.
    const qsizetype header = m_buffer.lastIndexOf(kHeader);
    qsizetype keepFrom = header > 0 ? header : m_buffer.size();
    if (m_buffer.endsWith(char(kHeader0)) && keepFrom == m_buffer.size())
        keepFrom = m_buffer.size() - 1;
    m_buffer.remove(0, keepFrom);
    m_counters.bytesDropped += quint64(keepFrom);
    ++m_counters.resyncs;
}

} // namespace varnetta::protocol

#include "MeterFrame.h"

namespace varnetta::protocol {

namespace {
const QByteArray kHeader("\xAB\xCD", 2);
const QByteArray kTrailer("\r\n", 2);
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

    QByteArray frame;
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
        const qsizetype trailer = m_buffer.indexOf(kTrailer, m_start);
        if (trailer < 0)
            return false;
        if (QByteArrayView(m_buffer).sliced(m_start).startsWith(kHeader)) {
            frame = m_buffer.mid(m_start, trailer + 2 - m_start);
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

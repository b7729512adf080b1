#include "uReadThread.h"

#include <QByteArray>

#include <algorithm>
#include <chrono>
#include <exception>
#include <system_error>
#include <vector>

namespace varnetta::link {

TReadThread::TReadThread(TReadFn read, HID_UART_DEVICE device, const std::atomic<uint32_t>& pollPause)
    : m_read(read), m_device(device), m_pollPause(pollPause)
{
}

TReadThread::~TReadThread()
{
    if (isRunning())
        StopReader();
}

bool TReadThread::isHandling() const
{
    std::lock_guard lock(m_mutex);
    return m_handling;
}

bool TReadThread::stopRequested()
{
    std::lock_guard lock(m_mutex);
    return m_stop;
}

bool TReadThread::StartReader()
{
    try {
        m_thread = std::thread(&TReadThread::Execute, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void TReadThread::Execute()
{
    // The first read comes at once, the pause after it.
    while (!stopRequested()) {
        if (m_ready.load() && !m_paused.load()) {
            if (m_discard.exchange(false))
                discardOnce();
            readOnce();
        }
        sleepPollPause();
    }
    std::lock_guard lock(m_mutex);
    m_finished = true;
    m_cv.notify_all();
}

void TReadThread::sleepPollPause()
{
    // A stop wakes the sleep, so an idle reader ends at once.
    std::unique_lock lock(m_mutex);
    m_cv.wait_for(lock, std::chrono::milliseconds(m_pollPause.load()), [this] { return m_stop; });
}

void TReadThread::readOnce()
{
    std::vector<uint8_t> buffer(kChunkBytes, 0);
    uint32_t count = 0;
    const HID_UART_STATUS status = m_read ? m_read(m_device, buffer.data(), kChunkBytes, &count) : -1;
    // A time-out with bytes still delivers them; any other failure delivers
    // nothing and the poll goes on.
    if (!m_ready.load() || (status != HID_UART_SUCCESS && status != HID_UART_READ_TIMED_OUT) || count == 0)
        return;
    if (count > kChunkBytes)
        count = kChunkBytes; // never trust a count beyond the buffer
    m_ready.store(false);
    {
        std::lock_guard lock(m_mutex);
        m_data = buffer.data();
        m_len = count;
        m_pending = true;
        m_cv.notify_all();
    }
    QMetaObject::invokeMethod(this, &TReadThread::serviceHandOver, Qt::QueuedConnection);
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [this] { return !m_pending; });
    m_data = nullptr;
}

void TReadThread::discardOnce()
{
    std::vector<uint8_t> buffer(kChunkBytes, 0);
    for (uint32_t dropped = 0; dropped < kMaxDiscardBytes && !stopRequested();) {
        uint32_t count = 0;
        const HID_UART_STATUS status = m_read ? m_read(m_device, buffer.data(), kChunkBytes, &count) : -1;
        if ((status != HID_UART_SUCCESS && status != HID_UART_READ_TIMED_OUT) || count == 0)
            return;
        dropped += std::min(count, kChunkBytes);
    }
}

void TReadThread::serviceHandOver()
{
    QByteArray chunk;
    {
        std::lock_guard lock(m_mutex);
        if (!m_pending || m_handling)
            return;
        // The handler gets its own copy, so the reader can be let go early
        // when a handler further down the stack stops it.
        chunk = QByteArray(reinterpret_cast<const char*>(m_data), qsizetype(m_len));
        m_handling = true;
    }
    QString failure;
    bool failed = false;
    try {
        Q_EMIT chunkReady(reinterpret_cast<const uint8_t*>(chunk.constData()), uint32_t(chunk.size()));
    } catch (const std::exception& e) {
        failed = true;
        failure = QString::fromLocal8Bit(e.what());
    } catch (...) {
        failed = true;
        failure = QStringLiteral("Unknown error");
    }
    // A failing handler still completes the hand-over: the data keeps coming.
    m_ready.store(true);
    {
        std::lock_guard lock(m_mutex);
        m_handling = false;
        m_pending = false;
        m_cv.notify_all();
    }
    if (failed && !m_failureReported) {
        m_failureReported = true;
        Q_EMIT handlerFailed(failure);
    }
}

void TReadThread::StopReader()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_cv.notify_all();
    }
    if (!m_thread.joinable())
        return;
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return m_finished || m_pending; });
        if (m_finished)
            break;
        if (m_handling) {
            // Stopped from inside the handler of the chunk in flight: that
            // chunk is being handled, so the reader may go.
            m_pending = false;
            m_cv.notify_all();
            continue;
        }
        lock.unlock();
        serviceHandOver();
    }
    m_thread.join();
}

} // namespace varnetta::link

// The reader: polls the bridge and hands every non-empty chunk to the
// user-interface thread, blocking until it has been handled there.
//
// The thread is a std::thread rather than a QThread: every synchronisation
// between the two sides is then visible to the thread sanitizer, which
// cannot see into the uninstrumented toolkit's own waits.
#pragma once

#include "HidUartApi.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace varnetta::link {

class TReadThread : public QObject
{
    Q_OBJECT
public:
    static constexpr uint32_t kChunkBytes = 2048;
    using TReadFn = decltype(&HidUart_Read);

    // The object lives on the thread that creates it (the user-interface
    // thread): its chunkReady is raised there.
    TReadThread(TReadFn read, HID_UART_DEVICE device, const std::atomic<uint32_t>& pollPause);
    ~TReadThread() override;
    TReadThread(const TReadThread&) = delete;
    TReadThread& operator=(const TReadThread&) = delete;

    // Starts the thread; false when it could not be created.
    [[nodiscard]] bool StartReader();
    [[nodiscard]] bool isRunning() const { return m_thread.joinable(); }
    // Ends the thread. A chunk waiting to be handed over is handled first;
    // called from inside a chunk's handler, the reader is released at once.
    void StopReader();

    // A paused reader starts no read; a read or hand-over under way completes.
    void setPaused(bool paused) { m_paused.store(paused); }
    // Before its next read the reader lets go of everything that waits in
    // the bridge, unread: data that went stale while it was paused.
    void discardWaiting() { m_discard.store(true); }
    // The most it drops at once: more than the chip and the system's report
    // queue hold, so a line that keeps sending cannot keep the reader there.
    static constexpr uint32_t kMaxDiscardBytes = 64 * 1024;
    [[nodiscard]] bool isPaused() const { return m_paused.load(); }
    // True while a chunk's handler runs on the user-interface thread.
    [[nodiscard]] bool isHandling() const;

Q_SIGNALS:
    // One chunk, valid only during the call.
    void chunkReady(const uint8_t* data, uint32_t len);
    // The chunk's handler threw; raised once per reader, after the
    // hand-over completed.
    void handlerFailed(const QString& text);

private:
    void Execute();
    void readOnce();
    void discardOnce();
    void sleepPollPause();
    [[nodiscard]] bool stopRequested();
    void serviceHandOver();

    const TReadFn m_read;
    const HID_UART_DEVICE m_device;
    const std::atomic<uint32_t>& m_pollPause;

    std::thread m_thread;
    std::atomic<bool> m_ready{true};
    std::atomic<bool> m_paused{false};
    std::atomic<bool> m_discard{false};
    bool m_failureReported = false; // user-interface thread only

    // The hand-over, guarded by m_mutex.
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stop = false;
    bool m_finished = false;
    bool m_pending = false;
    bool m_handling = false;
    const uint8_t* m_data = nullptr;
    uint32_t m_len = 0;
};

} // namespace varnetta::link

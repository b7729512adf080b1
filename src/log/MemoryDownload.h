// The download of the meter's stored memory into the log: the request, one
// log row and one acknowledgement per memory record, progress over the LCD,
// and the end of the export. The steps of each frame come from the
// dispatcher's signals; what they touch on screen is the window's, reached
// through the host below.
#pragma once

#include "protocol/FrameDispatcher.h"
#include "protocol/MeterCommands.h"
#include "protocol/Reading.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

namespace varnetta::log {

// What the download drives. Every member may be left empty where the piece
// is not there; appendMemoryRow then counts every record as stored.
struct TMemoryDownloadHost
{
    std::function<void(uint32_t ms)> setPollPause;            // the reader's pause between polls
    std::function<void(uint8_t code)> sendCommand;            // one command frame, only while connected
    std::function<void()> commandPanelDisabled;               // the export was requested
    std::function<void()> commandPanelEnabled;                // the end-of-memory frame came
    std::function<void(const protocol::TReading&)> showTexts; // lcdDisplay0 .. lcdDisplay3
    // AppendLogRow with MemoryRecord true; false when the record limit kept it out.
    std::function<bool(const protocol::TReading&)> appendMemoryRow;
    std::function<void(const QString& caption)> setLoadCaption; // pnlLoadLog
    std::function<void()> advanceLoadingDots; // lblLoading: one more dot, emptied at the twentieth
    std::function<void()> clearLoadingDots;
    std::function<void()> pauseLog;     // pause flag set, btnPause down with a red caption
    std::function<void()> showOverlays; // pnlLoadLog, Panel3, Panel7
    // The user's say: a yes/no question ("Are you sure that you want to export
    // memory data?") and a message closed with OK, both waiting for the answer.
    // Without confirm the export goes ahead; without inform nothing is shown.
    std::function<bool(const QString& question)> confirm;
    std::function<void(const QString& message)> inform;
};

class TMemoryDownload : public QObject
{
    Q_OBJECT
public:
    static constexpr uint32_t kExportPollPauseMs = 1;
    static constexpr uint32_t kIdlePollPauseMs = 100;

    explicit TMemoryDownload(QObject* parent = nullptr);

    TMemoryDownload(const TMemoryDownload&) = delete;
    TMemoryDownload& operator=(const TMemoryDownload&) = delete;

    void setHost(TMemoryDownloadHost host) { m_host = std::move(host); }
    // Hangs the per-frame steps on the dispatcher's memory signals.
    void attach(protocol::TFrameDispatcher& dispatcher);

    // btnExportData: asks, then requests the export.
    void btnExportDataClick();
    // A memory record: its texts shown and logged without a time stamp.
    void CP21041ReceiveBuffData(const protocol::TReading& reading);
    // After the record's status bytes: progress, pause and overlays.
    void memoryRecordDone();
    // The end-of-memory frame. The completion message follows once the
    // receive handler has returned, and the frame's acknowledgement after it.
    void exportEnd();
    // Every memory frame, the end frame included: command 0x58. Raised by
    // the dispatcher right after the frame's handlers.
    void acknowledge();

    // The link went away: an export in flight ends with it.
    void reset();

    [[nodiscard]] bool running() const { return m_running; }
    [[nodiscard]] int recordsReceived() const { return m_received; }
    [[nodiscard]] int recordsStored() const { return m_stored; }
    [[nodiscard]] int recordsDropped() const { return m_dropped; }

Q_SIGNALS:
    void exportRequested();
    // After the completion message was closed and the last acknowledgement sent.
    void exportCompleted(int stored, int dropped);

private:
    void finishExport(int stored, int dropped);

    TMemoryDownloadHost m_host;
    bool m_running = false;
    bool m_holdEndAck = false;
    int m_received = 0;
    int m_stored = 0;
    int m_dropped = 0;
};

} // namespace varnetta::log

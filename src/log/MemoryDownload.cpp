#include "MemoryDownload.h"

namespace varnetta::log {

TMemoryDownload::TMemoryDownload(QObject* parent) : QObject(parent) {}

void TMemoryDownload::attach(protocol::TFrameDispatcher& dispatcher)
{
    using D = protocol::TFrameDispatcher;
    connect(&dispatcher, &D::memoryRecordReceived, this, &TMemoryDownload::CP21041ReceiveBuffData);
    connect(&dispatcher, &D::memoryRecordDone, this, &TMemoryDownload::memoryRecordDone);
    connect(&dispatcher, &D::exportEndReceived, this, &TMemoryDownload::exportEnd);
    connect(&dispatcher, &D::exportAcknowledgeDue, this, &TMemoryDownload::acknowledge);
}

void TMemoryDownload::btnExportDataClick()
{
    if (m_host.confirm && !m_host.confirm(QStringLiteral("Are you sure that you want to export memory data?")))
        return;
    m_running = true;
    m_received = m_stored = m_dropped = 0;
    if (m_host.setPollPause)
        m_host.setPollPause(kExportPollPauseMs);
    if (m_host.sendCommand)
        m_host.sendCommand(protocol::kCmdExportData);
    if (m_host.commandPanelDisabled)
        m_host.commandPanelDisabled();
    Q_EMIT exportRequested();
}

void TMemoryDownload::CP21041ReceiveBuffData(const protocol::TReading& reading)
{
    ++m_received;
    if (m_host.showTexts)
        m_host.showTexts(reading);
    // At the record limit the record is dropped but the export goes on.
    const bool stored = m_host.appendMemoryRow ? m_host.appendMemoryRow(reading) : true;
    if (stored)
        ++m_stored;
    else
        ++m_dropped;
}

void TMemoryDownload::memoryRecordDone()
{
    if (m_host.setLoadCaption)
        m_host.setLoadCaption(QStringLiteral("Data transfering"));
    if (m_host.advanceLoadingDots)
        m_host.advanceLoadingDots();
    if (m_host.pauseLog)
        m_host.pauseLog();
    if (m_host.showOverlays)
        m_host.showOverlays();
}

void TMemoryDownload::exportEnd()
{
    const int stored = m_stored;
    const int dropped = m_dropped;
    m_running = false;
    m_received = m_stored = m_dropped = 0;
    if (m_host.setPollPause)
        m_host.setPollPause(kIdlePollPauseMs);
    if (m_host.commandPanelEnabled)
        m_host.commandPanelEnabled();
    if (m_host.setLoadCaption)
        m_host.setLoadCaption(QStringLiteral("Data transfer completed"));
    if (m_host.clearLoadingDots)
        m_host.clearLoadingDots();
    // The message waits for the user. Shown from inside the receive handler
    // it would hold the reader's hand-over, no data would arrive, and the
    // silent-link watchdog would cut the connection after ten seconds. So it
    // comes on the next turn of the event loop, and the end frame's
    // acknowledgement (raised right after this handler) waits for it.
    m_holdEndAck = true;
    QMetaObject::invokeMethod(
        this, [this, stored, dropped] { finishExport(stored, dropped); }, Qt::QueuedConnection);
}

void TMemoryDownload::finishExport(int stored, int dropped)
{
    if (m_host.inform) {
        m_host.inform(QStringLiteral("Export memory data has been successfully!"));
        // The success message alone would hide records the limit kept out.
        if (dropped > 0)
            m_host.inform(QStringLiteral("%1 memory records were not stored because the record limit was reached.")
                              .arg(dropped));
    }
    if (m_host.sendCommand)
        m_host.sendCommand(protocol::kCmdExportAck);
    Q_EMIT exportCompleted(stored, dropped);
}

void TMemoryDownload::acknowledge()
{
    if (m_holdEndAck) {
        m_holdEndAck = false; // sent by finishExport, after the message
        return;
    }
    if (m_host.sendCommand)
        m_host.sendCommand(protocol::kCmdExportAck);
}

void TMemoryDownload::reset()
{
    m_running = false;
    m_received = m_stored = m_dropped = 0;
}

} // namespace varnetta::log

// Window glue of the command panel and the memory download.
#include "ufrmMain.h"

#include "CommandPanel.h"

#include "controls/NewMsgDlg.h"
#include "display/widgets/uLcdPanel.h"
#include "link/uCP2110.h"
#include "log/LogRecorder.h"
#include "log/LogStore.h"
#include "log/MemoryDownload.h"
#include "log/widgets/uLogPanel.h"

namespace varnetta::app {

QWidget* TfrmMain::createCommandPanel(QWidget* parent)
{
    m_commandPanel = new TCommandPanel(m_sequencer, parent);
    return m_commandPanel;
}

void TfrmMain::SendCommand(uint8_t code)
{
    m_commandPanel->SendCommand(code);
}

void TfrmMain::setupCommands()
{
    m_commandPanel->setMenuGeometry(centralWidget(), Panel5);
    TCommandPort port;
    port.Connected = [this] { return CP21101 && CP21101->Connected(); };
    port.Write = [this](const QByteArray& frame) {
        uint32_t written = 0;
        // A command is not answered; a failed write only shows as no effect.
        (void)CP21101->Write(reinterpret_cast<const uint8_t*>(frame.constData()), uint32_t(frame.size()),
                             written);
    };
    m_commandPanel->setPort(std::move(port));

    m_memoryDownload = new log::TMemoryDownload(this);
    log::TMemoryDownloadHost host;
    host.setPollPause = [](uint32_t ms) { link::TCP2110::setPollPause(ms); };
    host.sendCommand = [this](uint8_t code) { SendCommand(code); };
    host.commandPanelDisabled = [this] { m_commandPanel->exportStarted(); };
    host.commandPanelEnabled = [this] { m_commandPanel->exportEnded(); };
    host.confirm = [](const QString& question) { return MsgDlg(question, mtConfirmation, mbYes | mbNo) == mrYes; };
    host.inform = [](const QString& message) { MsgDlg(message, mtInformation, mbOK); };
    if (m_logPanel) {
        host.appendMemoryRow = [this](const protocol::TReading& r) {
            log::TLogRecorder& recorder = m_logPanel->recorder();
            // Rows held while a log file is read or written count as stored.
            const qsizetype before = recorder.store().rowCount() + recorder.heldRowCount();
            recorder.AppendLogRow(r, true);
            return recorder.store().rowCount() + recorder.heldRowCount() > before;
        };
        host.pauseLog = [this] { m_logPanel->showPausedByMemoryRecord(); };
    } else {
        host.pauseLog = [this] { m_dispatcher.setLogPaused(true); };
    }
    if (m_lcd) {
        host.showTexts = [this](const protocol::TReading& r) { m_lcd->ShowReading(r); };
        host.setLoadCaption = [this](const QString& caption) { m_lcd->SetLoadCaption(caption); };
        host.advanceLoadingDots = [this] {
            m_lcd->AdvanceLoadingDots();
            m_lcd->ShowBackToLiveHint(false);
        };
        // The dots are emptied when the download ends.
        host.clearLoadingDots = [this] {
            m_lcd->ClearLoadingDots();
            m_lcd->ShowBackToLiveHint(true);
        };
        host.showOverlays = [this] { m_lcd->ShowOverlays(); };
    }
    m_memoryDownload->setHost(std::move(host));
    m_memoryDownload->attach(m_dispatcher);
    connect(m_commandPanel, &TCommandPanel::exportRequested, m_memoryDownload,
            &log::TMemoryDownload::btnExportDataClick);
    if (m_logPanel && m_lcd)
        connect(m_logPanel, &log::TLogPanel::logResumed, m_lcd, &display::TLcdPanel::HideOverlays);

    // An export the link cut off ends with it, so the panel works again
    // after the next connection.
    if (CP21101) {
        connect(CP21101, &link::TCP2110::OnConnect, m_commandPanel,
                [this] { m_commandPanel->connectionChanged(CP21101->Connected()); });
        connect(CP21101, &link::TCP2110::OnDisconnect, m_commandPanel, [this] {
            m_memoryDownload->reset();
            m_commandPanel->connectionChanged(CP21101->Connected());
        });
    }
}

} // namespace varnetta::app

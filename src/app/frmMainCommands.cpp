// Window glue of the command panel and the memory download.
#include "ufrmMain.h"

#include "CommandPanel.h"

#include "display/uLcdPanel.h"
#include "log/MemoryDownload.h"

#include <QAbstractButton>
#include <QPalette>
#include <QSignalBlocker>

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

void TfrmMain::pauseLogForExport()
{
    m_dispatcher.setLogPaused(true);
    // btnPause goes down without its click handler: releasing it later is
    // what resumes logging and hides the overlays.
    if (auto* pause = findChild<QAbstractButton*>(QStringLiteral("btnPause"))) {
        const QSignalBlocker block(pause);
        pause->setCheckable(true);
        pause->setChecked(true);
        QPalette p = pause->palette();
        p.setColor(QPalette::ButtonText, QColor(255, 0, 0));
        pause->setPalette(p);
        pause->setText(QStringLiteral("Log Data Mode Disabled"));
    }
}

void TfrmMain::setupCommands()
{
    m_commandPanel->setMenuGeometry(centralWidget(), Panel5);

    m_memoryDownload = new log::TMemoryDownload(this);
    log::TMemoryDownloadHost host;
    host.sendCommand = [this](uint8_t code) { SendCommand(code); };
    host.commandPanelDisabled = [this] { m_commandPanel->exportStarted(); };
    host.commandPanelEnabled = [this] { m_commandPanel->exportEnded(); };
    host.pauseLog = [this] { pauseLogForExport(); };
    if (auto* lcd = qobject_cast<display::TLcdPanel*>(pnlLcd)) {
        host.showTexts = [lcd](const protocol::TReading& r) { lcd->ShowReading(r); };
        host.setLoadCaption = [lcd](const QString& caption) { lcd->SetLoadCaption(caption); };
        host.advanceLoadingDots = [lcd] { lcd->AdvanceLoadingDots(); };
        host.clearLoadingDots = [lcd] { lcd->ClearLoadingDots(); };
        host.showOverlays = [lcd] { lcd->ShowOverlays(); };
    }
    m_memoryDownload->setHost(std::move(host));
    m_memoryDownload->attach(m_dispatcher);
    connect(m_commandPanel, &TCommandPanel::exportRequested, m_memoryDownload,
            &log::TMemoryDownload::btnExportDataClick);
}

} // namespace varnetta::app

// Window glue of the printed report: btnRecordPrint runs PrintLog with the
// port's reader paused and the watchdog held.
#include "ufrmMain.h"

#include "link/uCP2110.h"
#include "log/MemoryDownload.h"
#include "log/widgets/uLogPanel.h"
#include "log/widgets/uPrintLog.h"

#include <QTimer>
#include <QToolButton>

namespace varnetta::app {

void TfrmMain::setupReport()
{
    connect(m_logPanel->printButton(), &QToolButton::clicked, this, &TfrmMain::PrintLog);
}

void TfrmMain::PrintLog()
{
    const log::TReceptionHold hold{
        [this](bool paused) {
            // Readings the meter sent while the preview was open are stale:
            // logged now they would all carry this second's time stamp. They
            // are dropped, unless a memory export waits on its next record.
            if (!paused && !m_memoryDownload->running())
                CP21101->discardWaiting();
            CP21101->setReadPause(paused);
        },
        [this] { return CP21101->Connected(); },
        timerDisconectedUSB,
    };
    log::PrintLog(m_logPanel->store(), hold, this, m_logPanel->recorder().decimalSeparator());
}

} // namespace varnetta::app

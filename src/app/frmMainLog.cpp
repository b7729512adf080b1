// Window glue of the log: table, grid, recording and log files.
#include "ufrmMain.h"

#include "controls/NewMsgDlg.h"
#include "log/widgets/uLogPanel.h"

#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>

namespace varnetta::app {

// The menu bar is built before the regions, so the log panel is made here
// and placed into its region when that is built.
void TfrmMain::createRecordMenu(QMenuBar* bar)
{
    if (!m_logPanel)
        m_logPanel = new log::TLogPanel();
    QMenu* menu = bar->addMenu(QStringLiteral("&Record"));
    menu->setObjectName(QStringLiteral("mniRecord1"));
    m_logPanel->buildRecordMenu(menu);
}

QWidget* TfrmMain::createGridParent(QWidget* parent)
{
    if (!m_logPanel)
        m_logPanel = new log::TLogPanel();
    m_logPanel->setParent(parent);
    return m_logPanel;
}

void TfrmMain::createLogTable()
{
    m_logPanel->store().clear();
    m_logPanel->model().noteReset();
}

void TfrmMain::applyLogDefaults()
{
    log::TLogRecorder& recorder = m_logPanel->recorder();
    recorder.setRecordLimit(log::kDefaultRecordLimit);
    recorder.setSamplingSeconds(1);
    recorder.setDecimalSeparator(m_decimalSeparator);
    recorder.setTimeSeparator(log::SystemTimeSeparator());
}

void TfrmMain::setupLog()
{
    // The recovery journal lives with the user's data of this program; a
    // journal an earlier run left behind is offered once the window shows.
    m_logPanel->setJournalFolder(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
    QTimer::singleShot(0, m_logPanel, [this] { m_logPanel->offerRestore(); });

    log::TLogRecorder& recorder = m_logPanel->recorder();
    connect(&m_dispatcher, &protocol::TFrameDispatcher::readingDecoded, &recorder,
            &log::TLogRecorder::readingDecoded);
    connect(&recorder, &log::TLogRecorder::logPausedChanged, &m_dispatcher,
            &protocol::TFrameDispatcher::setLogPaused);
}

bool TfrmMain::logAllowsQuit()
{
    // A load or save under way has its own Cancel; the close waits for it.
    if (m_logPanel->busy())
        return false;
    const qsizetype unsaved = m_logPanel->unsavedRows();
    if (unsaved == 0)
        return MsgDlg(QStringLiteral("Are you sure that you want to quit this application?"), mtConfirmation,
                      mbYes | mbNo, 0) == mrYes;
    QMessageBox ask(QMessageBox::Question, QString(),
                    QStringLiteral("The log holds %1 recorded rows that have not been saved.").arg(unsaved),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    ask.setObjectName(QStringLiteral("dlgSaveBeforeQuit"));
    ask.setInformativeText(QStringLiteral("Save them before quitting?"));
    ask.setDefaultButton(QMessageBox::Save);
    ask.setEscapeButton(QMessageBox::Cancel);
    ask.button(QMessageBox::Discard)->setToolTip(QStringLiteral("Quit and lose the unsaved rows"));
    switch (ask.exec()) {
    case QMessageBox::Save:
        return m_logPanel->saveWithDialog();
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void TfrmMain::logQuitting()
{
    // A clean end: nothing is left to recover, and rows that still arrive
    // before the port is closed start no new journal.
    m_logPanel->closeJournal();
}

} // namespace varnetta::app

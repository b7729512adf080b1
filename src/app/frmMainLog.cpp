// Window glue of the log: table, grid, recording and log files.
#include "ufrmMain.h"

#include "log/uLogPanel.h"

#include <QMenu>
#include <QMenuBar>
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
    log::TLogRecorder& recorder = m_logPanel->recorder();
    connect(&m_dispatcher, &protocol::TFrameDispatcher::readingDecoded, &recorder,
            &log::TLogRecorder::readingDecoded);
    connect(&recorder, &log::TLogRecorder::logPausedChanged, &m_dispatcher,
            &protocol::TFrameDispatcher::setLogPaused);
}

} // namespace varnetta::app

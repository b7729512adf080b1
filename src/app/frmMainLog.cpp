// Window glue of the log: table, grid, recording and log files.
#include "ufrmMain.h"

#include <QMenuBar>
#include <QWidget>

namespace varnetta::app {

QWidget* TfrmMain::createGridParent(QWidget* parent)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(QStringLiteral("pnlGridParent"));
    return panel;
}

void TfrmMain::createRecordMenu(QMenuBar* bar)
{
    bar->addMenu(QStringLiteral("Record"));
}

void TfrmMain::createLogTable() {}

void TfrmMain::applyLogDefaults() {}

void TfrmMain::setupLog() {}

} // namespace varnetta::app

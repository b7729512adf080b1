// Window glue of the trend chart and the pop-out container.
#include "ufrmMain.h"

#include <QWidget>

namespace varnetta::app {

QWidget* TfrmMain::createChartHome(QWidget* parent)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(QStringLiteral("pnlChartHome"));
    return panel;
}

void TfrmMain::createChartControl() {}

void TfrmMain::installGridWheelHook() {}

void TfrmMain::applyViewDefaults() {}

void TfrmMain::setupViews() {}

} // namespace varnetta::app

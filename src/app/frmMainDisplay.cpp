// Window glue of the LCD panel and the limit comparator.
#include "ufrmMain.h"

#include <QWidget>

namespace varnetta::app {

QWidget* TfrmMain::createLcdPanel(QWidget* parent)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(QStringLiteral("pnlLcd"));
    return panel;
}

QWidget* TfrmMain::createComparatorPanel(QWidget* parent)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(QStringLiteral("pnlSetComp"));
    return panel;
}

void TfrmMain::setupDisplay() {}

} // namespace varnetta::app

// Window glue of the command panel and the memory download.
#include "ufrmMain.h"

#include <QWidget>

namespace varnetta::app {

QWidget* TfrmMain::createCommandPanel(QWidget* parent)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(QStringLiteral("pnlCommand"));
    return panel;
}

void TfrmMain::setupCommands() {}

} // namespace varnetta::app

#include "VarnettaApplication.h"

#include "NewMsgDlg.h"

#include <exception>

namespace varnetta::app {

TVarnettaApplication::TVarnettaApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("varnetta"));
}

bool TVarnettaApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowException(QStringLiteral("Unknown error"));
    }
    return false;
}

void TVarnettaApplication::ShowException(const QString& text)
{
    MsgDlg(text, mtError, mbOK, 0);
}

} // namespace varnetta::app

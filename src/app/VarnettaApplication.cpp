#include "VarnettaApplication.h"

#include "controls/NewMsgDlg.h"

#include <QIcon>

#include <exception>

// The icon lives in this static library; nothing else would pull its
// resources into the program.
static void initResources()
{
    Q_INIT_RESOURCE(app);
}

namespace varnetta::app {

TVarnettaApplication::TVarnettaApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    initResources();
    setApplicationName(QStringLiteral("varnetta"));
    setApplicationVersion(QStringLiteral("1.01"));
    // The title stays empty: the program's name is carried by the main
    // window's caption alone, and no window gets a suffix from it.
    setApplicationDisplayName(QString());
    setWindowIcon(QIcon(QStringLiteral(":/varnetta/varnetta.svg")));
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

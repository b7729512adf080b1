// The window on the simulated meter as a child process of the recovery
// tests. "record": connects through its own button, as a person would, and
// prints "rows N" as rows enter the log, until it is killed. "restore yes"
// or "restore no": answers the restore question so, prints it as "asked:",
// then "rows N" and the rows' numbers, and ends without a clean quit.
#include "controls/NewMsgDlg.h"
#include "app/VarnettaApplication.h"
#include "app/ufrmMain.h"
#include "log/LogRecorder.h"
#include "log/LogStore.h"
#include "log/widgets/uLogPanel.h"

#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstring>

using namespace varnetta;

int main(int argc, char** argv)
{
    const bool record = argc > 1 && std::strcmp(argv[1], "record") == 0;
    const bool yes = argc > 2 && std::strcmp(argv[2], "yes") == 0;
    app::TVarnettaApplication application(argc, argv);
    app::SetMsgDlgHook([yes](const QString& msg, app::TMsgDlgType, app::TMsgDlgButtons) {
        std::printf("asked: %s\n", msg.toUtf8().constData());
        std::fflush(stdout);
        return int(yes ? app::mrYes : app::mrNo);
    });
    app::TfrmMain window;
    window.show();
    log::TLogPanel* panel = window.logPanel();
    const auto report = [panel] {
        std::printf("rows %lld\n", static_cast<long long>(panel->store().rowCount()));
        std::fflush(stdout);
    };
    if (record) {
        QObject::connect(&panel->recorder(), &log::TLogRecorder::rowsRecorded, panel, report);
        QTimer::singleShot(0, &window, [&window] {
            auto* connect = window.findChild<QPushButton*>(QStringLiteral("btnConnect"));
            connect->click();
            std::printf(connect->isChecked() ? "connected\n" : "not connected\n");
            std::fflush(stdout);
        });
    } else {
        // The restore offer comes once the window shows; report after it.
        QTimer::singleShot(200, &window, [panel, report] {
            report();
            for (qsizetype r = 0; r < panel->store().rowCount(); ++r)
                std::printf("%s ", panel->store().fieldText(r, log::fANo).constData());
            std::printf("\n");
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    }
    return QCoreApplication::exec();
}

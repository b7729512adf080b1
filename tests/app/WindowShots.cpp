// Development aid: the window on the simulated meter driven through what a
// person sees, with screenshots of the whole screen (run it under Xvfb with a
// window manager). Usage: window_shots OUTPUT_FOLDER [LOG_FILE]
// A journal left by an earlier run is offered first (shot restore-offer);
// then it records, opens LOG_FILE twice (the second time into a full table:
// shot open-progress, then open-done), asks to quit with unsaved rows (shot
// quit-question, answered Cancel) and ends by kill -9, leaving its journal.
#include "controls/NewMsgDlg.h"
#include "app/VarnettaApplication.h"
#include "app/ufrmMain.h"
#include "log/widgets/uLogPanel.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <functional>

using namespace varnetta;

namespace {

QString g_folder;

void shot(const char* name)
{
    QCoreApplication::processEvents();
    const QString file = g_folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
    QGuiApplication::primaryScreen()->grabWindow(0).save(file);
    std::printf("shot %s\n", qPrintable(file));
    std::fflush(stdout);
}

// Runs `step` after `ms`, inside whatever modal loop is running then.
void later(int ms, std::function<void()> step)
{
    QTimer::singleShot(ms, qApp, std::move(step));
}

} // namespace

int main(int argc, char** argv)
{
    app::TVarnettaApplication application(argc, argv);
    if (argc < 2)
        return 2;
    g_folder = QString::fromLocal8Bit(argv[1]);
    const QString logFile = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    app::TfrmMain window;
    window.show();
    log::TLogPanel* panel = window.logPanel();

    later(1200, [&] {
        if (auto* offer = qobject_cast<app::TMessageForm*>(QApplication::activeModalWidget())) {
            shot("restore-offer");
            offer->buttons().front()->click(); // Yes
        }
    });
    later(2000, [&] { window.findChild<QPushButton*>(QStringLiteral("btnConnect"))->click(); });
    later(6000, [&] {
        shot("recording");
        if (!logFile.isEmpty()) {
            app::SetMsgDlgHook(
                [](const QString&, app::TMsgDlgType, app::TMsgDlgButtons) { return int(app::mrOk); });
            panel->LoadLogFile(logFile, false);
            later(2500, [] { shot("open-progress"); });
            panel->LoadLogFile(logFile, false);
            app::SetMsgDlgHook(nullptr);
            later(500, [] { shot("open-done"); });
        }
        later(1500, [&] {
            later(1000, [] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    shot("quit-question");
                    box->button(QMessageBox::Cancel)->click();
                }
            });
            window.close();
            later(500, [] {
                std::printf("killing\n");
                std::fflush(stdout);
                std::raise(SIGKILL);
            });
        });
    });
    return QCoreApplication::exec();
}

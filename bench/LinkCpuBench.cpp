// CPU used by the whole program while connected to the simulated meter:
// the main window connects through its own button and runs for a while
// (60 s unless a number of seconds is given); getrusage gives the figure.
#include "app/VarnettaApplication.h"
#include "app/ufrmMain.h"
#include "support/IsolatedUserFolders.h"

#include <QPushButton>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

namespace {
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}
} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    IsolateUserFolders();
    varnetta::app::TVarnettaApplication app(argc, argv);
    varnetta::app::TfrmMain window;
    window.show();
    auto* connect = window.findChild<QPushButton*>(QStringLiteral("btnConnect"));
    if (!connect) {
        std::fprintf(stderr, "no connect button\n");
        return 1;
    }
    double startCpu = 0;
    QTimer::singleShot(1000, [&] {
        connect->click();
        if (!connect->isChecked()) {
            std::fprintf(stderr, "not connected: is the simulated bridge beside this program?\n");
            QCoreApplication::exit(1);
            return;
        }
        startCpu = cpuSeconds();
        QTimer::singleShot(seconds * 1000, [&] {
            const double used = cpuSeconds() - startCpu;
            const auto& counters = window.receiveAssembly().counters();
            std::printf(
                "connected %d s: CPU %.3f s = %.2f %% of one core; %llu chunks, %llu bytes, %llu frames\n",
                seconds, used, 100.0 * used / seconds,
                static_cast<unsigned long long>(counters.chunksReceived),
                static_cast<unsigned long long>(counters.bytesReceived),
                static_cast<unsigned long long>(counters.framesDispatched));
            connect->click();
            QCoreApplication::exit(0);
        });
    });
    return QCoreApplication::exec();
}

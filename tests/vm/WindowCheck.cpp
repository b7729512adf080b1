// The main window on the real bridge library in the guest: it lists the
// emulated USB meter, connects, shows live readings, says what the removal
// means when the device is pulled out, and finds it again when it is plugged
// back in, all without a restart.  Run by run-guest-tests beside a copy of the
// real bridge library; messages are captured instead of shown.
//
//   varnetta-window-check live DEVICE_PID SCREENSHOT.png
//   varnetta-window-check denied NODE [SCREENSHOT.png]
#include "controls/NewMsgDlg.h"
#include "app/VarnettaApplication.h"
#include "app/ufrmMain.h"
#include "link/uCP2110.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <functional>

using namespace varnetta;

namespace {

int g_failures = 0;

void check(bool ok, const QString& what)
{
    std::printf("%s window: %s\n", ok ? "ok  " : "FAIL", qPrintable(what));
    std::fflush(stdout);
    if (!ok)
        ++g_failures;
}

// Runs the event loop until `done` holds or the time is up.
bool waitFor(const std::function<bool()>& done, int seconds)
{
    const QDeadlineTimer deadline(seconds * 1000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

template <typename T> T* part(QWidget& window, const char* name)
{
    return window.findChild<T*>(QString::fromLatin1(name));
}

} // namespace

int main(int argc, char* argv[])
{
    app::TVarnettaApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3 || (args[1] == QLatin1String("live") && args.size() < 4)) {
        std::fprintf(stderr, "usage: varnetta-window-check live DEVICE_PID SCREENSHOT | denied NODE [SCREENSHOT]\n");
        return 2;
    }
    QStringList messages;
    app::SetMsgDlgHook([&](const QString& text, app::TMsgDlgType, app::TMsgDlgButtons) {
        messages << text;
        return int(app::mrOk);
    });

    app::TfrmMain window;
    window.show();
    auto* port = part<link::TCP2110>(window, "CP21101");
    auto* devices = part<QComboBox>(window, "cbbDevices");
    auto* connect = part<QPushButton>(window, "btnConnect");
    auto* grid = part<QTableView>(window, "DBGrid1");
    auto* value = part<QLineEdit>(window, "lcdDisplay1");
    const auto rows = [&] { return grid->model()->rowCount(); };
    const auto listed = [&] { return devices->count() > 0; };

    if (args[1] == QLatin1String("denied")) {
        const bool deniedListed = waitFor(listed, 20);
    check(deniedListed, QStringLiteral("the bridge is listed although its node is not ours"));
        connect->click();
        const QString text = messages.value(0);
        check(messages.size() == 1 && text.contains(args[2]) && text.contains(QLatin1String("70-varnetta-bridge.rules")),
              QStringLiteral("the message names %1 and the rule: \"%2\"").arg(args[2], text));
        check(!port->Connected() && connect->text() == QLatin1String("USB Connection"),
              QStringLiteral("the button is back up"));
        if (args.size() > 3) {
            // Once more with the real message dialog, to see it.
            app::SetMsgDlgHook(nullptr);
            QTimer::singleShot(1000, [&] {
                if (QWidget* dialog = QApplication::activeModalWidget()) {
                    dialog->grab().save(args[3]);
                    dialog->close();
                }
            });
            connect->click();
        }
        return g_failures == 0 ? 0 : 1;
    }

    const pid_t device = pid_t(args[2].toLongLong());
    const bool present = waitFor(listed, 20);
    check(present, QStringLiteral("lists the bridge: %1").arg(devices->itemText(0)));
    connect->click();
    check(port->Connected() && connect->text() == QLatin1String("USB Disconnect"), QStringLiteral("connects"));
    const bool live = waitFor([&] { return rows() >= 3 && !value->text().trimmed().isEmpty(); }, 30);
    check(live, QStringLiteral("shows live readings: %1 rows, main value \"%2\"").arg(rows()).arg(value->text()));
    window.grab().save(args[3]);

    // Pulled out while connected: the removal message once, controls back.
    const int rowsBefore = rows();
    const bool wasConnected = port->Connected();
    messages.clear();
    ::kill(device, SIGUSR1);
    const bool told = waitFor([&] { return !messages.isEmpty(); }, 20);
    check(wasConnected && told && messages == QStringList{QStringLiteral(
                                  "No device found.  Please ensure that you have proper USB connection.")},
          QStringLiteral("pulled out: \"%1\"").arg(messages.join(QLatin1String(" | "))));
    check(!port->Connected() && connect->text() == QLatin1String("USB Connection") && !connect->isChecked(),
          QStringLiteral("the controls are back to not connected"));
    const bool left = waitFor([&] { return devices->count() == 0; }, 10);
    check(left, QStringLiteral("the bridge left the list"));
    check(rows() >= rowsBefore, QStringLiteral("the log kept its %1 rows").arg(rows()));

    // Plugged in again: found through hot-plug, connects again.
    ::kill(device, SIGUSR2);
    const bool back = waitFor(listed, 30);
    check(back, QStringLiteral("plugged in again, listed again without a restart"));
    connect->click();
    const int rowsAgain = rows();
    const bool flowing = port->Connected() && waitFor([&] { return rows() >= rowsAgain + 2; }, 30);
    check(flowing, QStringLiteral("connects again and readings flow: %1 rows").arg(rows()));
    connect->click();
    check(!port->Connected(), QStringLiteral("disconnects on the button"));
    return g_failures == 0 ? 0 : 1;
}

// The program: one window on the meter, running until it is closed.
#include "VarnettaApplication.h"
#include "link/BridgeLibrary.h"
#include "link/uCP2110.h"
#include "ufrmMain.h"

#include <QMessageBox>

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUsage = "Usage: varnetta [--demo]\n"
                               "\n"
                               "  --demo     run on the simulated meter instead of a real one\n"
                               "  --help     show this text\n"
                               "  --version  show the program's version\n"
                               "\n"
                               "Qt's own options (-platform, -style, ...) are accepted as well.\n";

} // namespace

int main(int argc, char* argv[])
{
    // Read before the application object, so --help needs no display; the
    // rest is left to Qt, which takes its own options.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("varnetta 1.01");
            return 0;
        }
        // The simulated meter's bridge library instead of the real one, so
        // the program can be tried without a meter.
        if (std::strcmp(argv[i], varnetta::link::kDemoOption) == 0)
            varnetta::link::SelectBridge(varnetta::link::TBridgeChoice::SimulatedMeter);
    }

    varnetta::app::TVarnettaApplication app(argc, argv);
    // A bridge library that is not there is told in the system's error box.
    varnetta::link::TCP2110::setMissingLibraryNotice(
        [](const QString& text) { QMessageBox::critical(nullptr, QStringLiteral("Error"), text); });
    varnetta::app::TfrmMain frmMain;
    frmMain.show();
    return varnetta::app::TVarnettaApplication::exec();
}

// The program: one window on the meter, running until it is closed.
#include "VarnettaApplication.h"
#include "link/BridgeLibrary.h"
#include "ufrmMain.h"

#include <QCommandLineParser>

int main(int argc, char* argv[])
{
    varnetta::app::TVarnettaApplication app(argc, argv);

    // The one option: the simulated meter's bridge library instead of the
    // real one, so the program can be tried without a meter.
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Desktop companion of the Varnetta power meter"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(QStringLiteral("demo"),
                                        QStringLiteral("Run on the simulated meter instead of a real one.")));
    parser.process(app);
    if (parser.isSet(QStringLiteral("demo")))
        varnetta::link::SelectBridge(varnetta::link::TBridgeChoice::SimulatedMeter);

    varnetta::app::TfrmMain frmMain;
    frmMain.show();
    return varnetta::app::TVarnettaApplication::exec();
}

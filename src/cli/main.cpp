// varnetta-cli: the program's protocol, bridge, log and file code without a
// window, for scripts and long unattended runs.
#include "CliCommands.h"
#include "CliOptions.h"
#include "link/BridgeLibrary.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <unistd.h>

using namespace varnetta::cli;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    (void)!::write(g_signalPipe[1], &byte, 1);
}

// Ctrl+C and SIGTERM end a run through the event loop, so rows are flushed
// and files closed as on a normal end.
void installStopSignals(QObject* owner)
{
    if (::pipe(g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [] {
        char byte = 0;
        (void)!::read(g_signalPipe[0], &byte, 1);
        RequestStop();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varnetta-cli"));

    QFile standardOut;
    (void)standardOut.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    QFile standardIn;
    (void)standardIn.open(stdin, QIODevice::ReadOnly);
    QTextStream err(stderr);

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    // "--demo" anywhere: the simulated meter instead of real bridges.
    varnetta::link::TakeDemoOption(arguments);
    QString error;
    const std::optional<TOptions> options = ParseArguments(arguments, error);
    if (!options) {
        err << "varnetta-cli: " << error << "\n\n" << UsageText();
        return kExitUsage;
    }
    installStopSignals(&app);

    switch (options->command) {
    case TCommand::Help:
        QTextStream(stdout) << UsageText();
        return kExitOk;
    case TCommand::List:
        return RunList(*options, standardOut, err);
    case TCommand::Log:
        return RunLog(*options, standardOut, err);
    case TCommand::Export:
        return RunExport(*options, standardOut, err);
    case TCommand::Key:
        return RunKey(*options, err);
    case TCommand::Convert:
        return RunConvert(options->arguments[0], options->arguments[1], err);
    case TCommand::Decode:
        return RunDecode(standardIn, standardOut, err);
    }
    return kExitUsage;
}

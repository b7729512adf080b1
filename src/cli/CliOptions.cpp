#include "CliOptions.h"

#include <QHash>

namespace varnetta::cli {

namespace {

// Longest sampling interval the window accepts.
constexpr qint64 kMaxIntervalSeconds = 99999999;

bool takeValue(const QStringList& args, qsizetype& i, const QString& name, QString& value, QString& error)
{
    const QString& arg = args[i];
    if (arg.startsWith(name + QLatin1Char('='))) {
        value = arg.mid(name.size() + 1);
        return true;
    }
    if (i + 1 >= args.size()) {
        error = QStringLiteral("%1 needs a value").arg(name);
        return false;
    }
    value = args[++i];
    return true;
}

bool isOption(const QString& arg, const QString& name)
{
    return arg == name || arg.startsWith(name + QLatin1Char('='));
}

} // namespace

QString UsageText()
{
    return QStringLiteral(
        "Usage: varnetta-cli [--demo] COMMAND [OPTIONS]\n"
        "\n"
        "  --demo                    use the simulated meter instead of real bridges\n"
        "\n"
        "Commands:\n"
        "  list                      the bridge devices present: serial and path, one a line\n"
        "  log [--interval SECONDS] [--count N] [--duration SECONDS] [--output FILE]\n"
        "                            log the meter's readings as tab-separated rows, header first;\n"
        "                            with --interval one row per period, from the latest reading\n"
        "                            handled in it; a .xml FILE gets the XML data packet, complete\n"
        "                            on disk after every row\n"
        "  export [--output FILE]    download the meter's memory, records as rows without time stamp\n"
        "  key NAME|CODE             send one meter command (a name of the command table such as\n"
        "                            Hold, Select or btnCmdMaxMinCur, or a code like 0x42 or 66)\n"
        "  convert IN OUT            read a log file and write it in the form OUT's extension names\n"
        "                            (.xml: XML data packet; .xls or .txt: tab-separated)\n"
        "  decode                    read raw meter bytes on standard input and print each frame\n"
        "\n"
        "Without --output, rows go to standard output, each flushed as it arrives.\n"
        "list, log, export and key take --ids VID:PID[,VID:PID...]: the USB ids of the bridges to\n"
        "look for, in hex (default 10c4:ea80,10c4:eab0), for a meter whose bridge has its maker's ids.\n"
        "Ctrl+C ends log and export cleanly.\n"
        "\n"
        "Exit codes: 0 done, 1 file or link failure, 2 bad arguments, 3 no device or it could not\n"
        "be opened, 4 no bridge library beside the program, 5 the meter stayed silent.\n");
}

std::optional<TOptions> ParseArguments(const QStringList& args, QString& error)
{
    TOptions options;
    if (args.isEmpty() || args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h") ||
        args[0] == QLatin1String("help")) {
        options.command = TCommand::Help;
        return options;
    }
    static const QHash<QString, TCommand> commands = {
        {QStringLiteral("list"), TCommand::List},       {QStringLiteral("log"), TCommand::Log},
        {QStringLiteral("export"), TCommand::Export},   {QStringLiteral("key"), TCommand::Key},
        {QStringLiteral("convert"), TCommand::Convert}, {QStringLiteral("decode"), TCommand::Decode},
    };
    const auto found = commands.find(args[0]);
    if (found == commands.end()) {
        error = QStringLiteral("unknown command \"%1\"").arg(args[0]);
        return std::nullopt;
    }
    options.command = found.value();

    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        QString value;
        const bool logOptions = options.command == TCommand::Log;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.command = TCommand::Help;
            return options;
        } else if (logOptions && isOption(arg, QStringLiteral("--interval"))) {
            if (!takeValue(args, i, QStringLiteral("--interval"), value, error))
                return std::nullopt;
            bool ok = false;
            const qint64 seconds = value.toLongLong(&ok);
            if (!ok || seconds < 1 || seconds > kMaxIntervalSeconds) {
                error = QStringLiteral("--interval takes whole seconds from 1 to %1").arg(kMaxIntervalSeconds);
                return std::nullopt;
            }
            options.intervalSeconds = int(seconds);
        } else if (logOptions && isOption(arg, QStringLiteral("--count"))) {
            if (!takeValue(args, i, QStringLiteral("--count"), value, error))
                return std::nullopt;
            bool ok = false;
            options.count = value.toLongLong(&ok);
            if (!ok || options.count < 1) {
                error = QStringLiteral("--count takes a whole number of rows, at least 1");
                return std::nullopt;
            }
        } else if (logOptions && isOption(arg, QStringLiteral("--duration"))) {
            if (!takeValue(args, i, QStringLiteral("--duration"), value, error))
                return std::nullopt;
            bool ok = false;
            options.durationSeconds = value.toDouble(&ok);
            if (!ok || options.durationSeconds <= 0) {
                error = QStringLiteral("--duration takes a number of seconds above 0");
                return std::nullopt;
            }
        } else if ((logOptions || options.command == TCommand::Export) &&
                   isOption(arg, QStringLiteral("--output"))) {
            if (!takeValue(args, i, QStringLiteral("--output"), value, error))
                return std::nullopt;
            if (value.isEmpty()) {
                error = QStringLiteral("--output needs a file name");
                return std::nullopt;
            }
            options.output = value;
        } else if (options.command != TCommand::Convert && options.command != TCommand::Decode &&
                   isOption(arg, QStringLiteral("--ids"))) {
            if (!takeValue(args, i, QStringLiteral("--ids"), value, error))
                return std::nullopt;
            QString idsError;
            const auto ids = link::ParseUsbIds(value, idsError);
            if (!ids) {
                error = QStringLiteral("--ids: %1").arg(idsError);
                return std::nullopt;
            }
            options.usbIds = *ids;
        } else if (arg.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("unknown option \"%1\" for %2").arg(arg, args[0]);
            return std::nullopt;
        } else {
            options.arguments << arg;
        }
    }

    const qsizetype wanted = options.command == TCommand::Key       ? 1
                             : options.command == TCommand::Convert ? 2
                                                                    : 0;
    if (options.arguments.size() != wanted) {
        error = wanted == 0   ? QStringLiteral("%1 takes no further arguments").arg(args[0])
                : wanted == 1 ? QStringLiteral("key takes one NAME or CODE")
                              : QStringLiteral("convert takes IN and OUT");
        return std::nullopt;
    }
    return options;
}

} // namespace varnetta::cli

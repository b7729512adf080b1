// The command line of varnetta-cli: parsed into a plain struct, with the
// exit codes every command shares.
#pragma once

#include <QString>
#include <QStringList>

#include "link/UsbIds.h"

#include <optional>

namespace varnetta::cli {

enum TExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,   // a file could not be read or written, the link broke
    kExitUsage = 2,     // bad arguments
    kExitNoDevice = 3,  // no bridge present, or it could not be opened
    kExitNoLibrary = 4, // no bridge library beside the program
    kExitTimeout = 5,   // the meter stayed silent
};

enum class TCommand { Help, List, Log, Export, Key, Convert, Decode };

struct TOptions
{
    TCommand command = TCommand::Help;
    int intervalSeconds = 0;  // 0: a row for every reading
    qint64 count = -1;        // rows; -1: no limit
    double durationSeconds = -1;
    QString output;           // empty: standard output
    QStringList arguments;    // key name or code; convert's IN and OUT
    link::TUsbIds usbIds = link::DefaultUsbIds(); // the bridges looked for
};

// Parses the arguments after the program name; on failure `error` says why.
[[nodiscard]] std::optional<TOptions> ParseArguments(const QStringList& arguments, QString& error);

[[nodiscard]] QString UsageText();

} // namespace varnetta::cli

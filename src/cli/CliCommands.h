// The commands of varnetta-cli. Each returns its exit code; messages go to
// `err`, data to `out`.
#pragma once

#include "CliOptions.h"

#include <QString>

#include <cstdint>
#include <optional>

class QIODevice;
class QTextStream;

namespace varnetta::cli {

// A meter command by table name (control name or caption, letter case and
// punctuation ignored) or by code in decimal or hex ("0x42").
[[nodiscard]] std::optional<uint8_t> ResolveKey(const QString& text, QString& error);

[[nodiscard]] int RunList(const TOptions& options, QIODevice& out, QTextStream& err);
[[nodiscard]] int RunKey(const TOptions& options, QTextStream& err);
[[nodiscard]] int RunLog(const TOptions& options, QIODevice& out, QTextStream& err);
[[nodiscard]] int RunExport(const TOptions& options, QIODevice& out, QTextStream& err);
[[nodiscard]] int RunConvert(const QString& in, const QString& out, QTextStream& err);
[[nodiscard]] int RunDecode(QIODevice& in, QIODevice& out, QTextStream& err);

// Ends a running log or export cleanly at the next turn of the event loop
// (Ctrl+C, SIGTERM).
void RequestStop();

} // namespace varnetta::cli

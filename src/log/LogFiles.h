// The two log file layouts: the XML data packet (read back exactly) and the
// tab-separated text log (read back as additional rows). Pure byte work on
// devices; choosing files, QSaveFile and messages are the caller's.
#pragma once

#include "LogStore.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QIODevice;

namespace varnetta::log {

enum class TLogFileKind
{
    Xml,
    Text
};

// The extension alone decides: ".xml" in any letter case is XML.
[[nodiscard]] TLogFileKind LogFileKind(const QString& fileName);
// A save name with none of .xml/.xls/.txt gets ".xls".
[[nodiscard]] QString LogSaveFileName(const QString& fileName);

// Called now and then during long work with a share done so far; the
// window uses it for its progress dialog and to keep painting.
using TLogProgress = std::function<void(qint64 done, qint64 total)>;

// Writes the whole table as one line of XML; false when the device refused
// a write. The file is plain ASCII: bytes above 127 are written as
// character references to their value, control bytes that XML cannot hold
// as the private-use characters U+E000 + byte; both readers take them back.
[[nodiscard]] bool WriteXmlPacket(const TLogStore& store, QIODevice& out, const TLogProgress& progress = {});
[[nodiscard]] QByteArray XmlPacket(const TLogStore& store);

// The packet of a table without change log in three pieces, for tools that
// write rows as they come and keep a complete packet on disk after each:
// everything up to the first row, one ROW element, and the closing tags.
[[nodiscard]] QByteArray XmlPacketStart();
[[nodiscard]] QByteArray XmlRowElement(const TLogStore& store, qsizetype row);
[[nodiscard]] QByteArray XmlPacketEnd();

// Reads a packet into `out`, which must be empty. On false `out` holds
// nothing useful and the caller keeps its own table as it was.
[[nodiscard]] bool ReadXmlPacket(QIODevice& in, TLogStore& out, const TLogProgress& progress = {});
[[nodiscard]] bool ReadXmlPacket(const QByteArray& data, TLogStore& out);

// The two readers ReadXmlPacket chooses between, open for the tests that
// hold them to the same results. The quick one scans exactly the layout
// WriteXmlPacket produces and declines anything else, well-formed or not;
// the general one reads every packet the program accepts.
enum class TXmlQuickRead
{
    Read,
    Declined
};
[[nodiscard]] TXmlQuickRead ReadOwnXmlPacket(QIODevice& in, TLogStore& out,
                                             const TLogProgress& progress = {});
[[nodiscard]] bool ReadAnyXmlPacket(QIODevice& in, TLogStore& out, const TLogProgress& progress = {});
// The quick reader reads the rows of a large packet in pieces side by side;
// here with the cuts given (ascending byte positions; none: one piece),
// for the tests that hold every cut to the rows of one piece.
[[nodiscard]] TXmlQuickRead ReadOwnXmlPacketInPieces(QIODevice& in, TLogStore& out,
                                                     const std::optional<QList<qint64>>& cuts,
                                                     const TLogProgress& progress = {});

// The grid's captions as the header line expects them.
[[nodiscard]] QList<QByteArray> DefaultTextLogHeader();
// A field the reader would split or unquote is written in double quotes, its
// own quotes doubled; a null ANo as "NULL". A line break inside a field has
// no form in a line-based file: the write stops there and returns false
// (TextLogLineBreakRows tells that case from a device failure).
[[nodiscard]] bool WriteTextLog(const TLogStore& store, QIODevice& out, const QList<QByteArray>& header,
                                const TLogProgress& progress = {});
[[nodiscard]] QByteArray TextLog(const TLogStore& store,
                                 const QList<QByteArray>& header = DefaultTextLogHeader());

// Positions (0-based) of the first `most` rows whose fields hold a line
// break that the tab-separated form cannot carry.
[[nodiscard]] QList<qsizetype> TextLogLineBreakRows(const TLogStore& store, qsizetype most);
// The same as a sentence for the user, the rows named as the grid shows
// them (by No.), the first few only; empty when there is no such row.
[[nodiscard]] QString TextLogLineBreakNote(const TLogStore& store);

// Appends the rows of a text log to `out` (marked inserted, in the change
// log). An ANo item "NULL" is a null ANo, as the writer puts it. A line that
// fails adds nothing; rows of earlier lines stay in `out` and false is
// returned.
[[nodiscard]] bool ReadTextLog(QIODevice& in, TLogStore& out, const TLogProgress& progress = {});
[[nodiscard]] bool ReadTextLog(const QByteArray& data, TLogStore& out);

// What ReadTextLog does, with the pieces and the block size given: the
// file is cut at `splits` (ascending byte positions) into pieces read side
// by side, each from the first line that starts in it to the end of its
// last line, and joined in order. Open for the tests that hold every cut to
// the rows of the uncut file. A device that cannot be opened again (see
// below) is read in one piece.
[[nodiscard]] bool ReadTextLogInPieces(QIODevice& in, TLogStore& out, const QList<qint64>& splits,
                                       const TLogProgress& progress, qsizetype blockBytes);

// One line's items: runs of bytes 1..32 separate them; a leading double
// quote runs to its closing quote, a doubled quote inside stands for one.
[[nodiscard]] QList<QByteArray> SplitTextLogItems(QByteArrayView line);

// One line of the tab-separated form, CR LF included, as WriteTextLog
// writes it: the header line, and the line of one row (none for a row with
// a line break in a field). For tools that write rows as they come.
[[nodiscard]] QByteArray TextLogHeaderLine(const QList<QByteArray>& header = DefaultTextLogHeader());
[[nodiscard]] std::optional<QByteArray> TextLogRowLine(const TLogStore& store, qsizetype row);

} // namespace varnetta::log

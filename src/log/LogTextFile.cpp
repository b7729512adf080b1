// The tab-separated text form: header line, one line per row, quoting
// where a value needs it.
#include "LogFiles.h"
#include "LogFileIo.h"

#include "protocol/Reading.h"

#include <QBuffer>
#include <QIODevice>
#include <QStringList>

#include <algorithm>
#include <cstring>
#include <string>

namespace varnetta::log {

using namespace fileio;

namespace {

bool isItemSeparator(char c)
{
    return uint8_t(c) >= 1 && uint8_t(c) <= 32;
}

QByteArrayView trimmedView(QByteArrayView t)
{
    qsizetype b = 0;
    qsizetype e = t.size();
    while (b < e && isBlankOrControl(t[b]))
        ++b;
    while (e > b && isBlankOrControl(t[e - 1]))
        --e;
    return t.sliced(b, e - b);
}

} // namespace

QList<QByteArray> DefaultTextLogHeader()
{
    return {"No.", "Time", "Function", "Value", "Unit", "SubValueA", "SubUnitA", "SubValueB", "SubUnitB"};
}

namespace {

constexpr QByteArrayView kNullText = "NULL";

// What a field needs so that the reader gives its text back: nothing, double
// quotes (it holds a byte the reader splits at, or starts with a quote), or
// it cannot be written at all (a line break; the reader splits lines first).
enum class TTextForm
{
    Plain,
    Quoted,
    Impossible
};

constexpr std::array<TTextForm, 256> kTextFormOf = [] {
    std::array<TTextForm, 256> t{};
    for (int c = 1; c <= 32; ++c)
        t[size_t(c)] = TTextForm::Quoted;
    t[uint8_t('\r')] = TTextForm::Impossible;
    t[uint8_t('\n')] = TTextForm::Impossible;
    return t;
}();

TTextForm textForm(QByteArrayView text)
{
    TTextForm form = text.startsWith('"') ? TTextForm::Quoted : TTextForm::Plain;
    for (const char c : text)
        form = std::max(form, kTextFormOf[uint8_t(c)]);
    return form;
}

bool appendTextField(QByteArray& buf, QByteArrayView text)
{
    switch (textForm(text)) {
    case TTextForm::Plain:
        buf.append(text);
        return true;
    case TTextForm::Quoted:
        buf.append('"');
        for (const char c : text) {
            buf.append(c);
            if (c == '"')
                buf.append('"');
        }
        buf.append('"');
        return true;
    case TTextForm::Impossible:
        break;
    }
    return false;
}

// A field's text as the tab-separated form has it, before quoting: blanks
// and control bytes at either end gone, every space gone from the value,
// "NULL" for nothing left.
QByteArrayView textLogField(const TLogStore& store, qsizetype r, int f, std::array<char, 24>& scratch,
                            std::string& noSpaces)
{
    const QByteArrayView text = trimmedView(store.fieldView(r, f, scratch));
    if (text.isEmpty())
        return kNullText;
    if (f != fAValue || !text.contains(' '))
        return text;
    noSpaces.clear();
    for (const char c : text)
        if (c != ' ')
            noSpaces.push_back(c);
    return QByteArrayView(noSpaces.data(), qsizetype(noSpaces.size()));
}

// False, with `buf` cut back, for a row that the form cannot carry.
bool appendTextRow(QByteArray& buf, const TLogStore& store, qsizetype r, std::array<char, 24>& scratch,
                   std::string& noSpaces)
{
    const qsizetype rowStart = buf.size();
    if (const auto n = store.ANo(r))
        buf.append(QByteArray::number(*n));
    else
        buf.append(kNullText);
    for (int f = 1; f < kLogFieldCount; ++f) {
        buf.append('\t');
        if (!appendTextField(buf, textLogField(store, r, f, scratch, noSpaces))) {
            buf.truncate(rowStart);
            return false;
        }
    }
    buf.append("\r\n");
    return true;
}

} // namespace

QByteArray TextLogHeaderLine(const QList<QByteArray>& header)
{
    return header.join('\t') + "\r\n";
}

std::optional<QByteArray> TextLogRowLine(const TLogStore& store, qsizetype row)
{
    QByteArray line;
    std::array<char, 24> scratch{};
    std::string noSpaces;
    if (!appendTextRow(line, store, row, scratch, noSpaces))
        return std::nullopt;
    return line;
}

bool WriteTextLog(const TLogStore& store, QIODevice& out, const QList<QByteArray>& header,
                  const TLogProgress& progress)
{
    QByteArray buf;
    buf.reserve(kFlushBytes + 4096);
    buf.append(TextLogHeaderLine(header));
    const qsizetype rows = store.rowCount();
    std::array<char, 24> scratch{};
    std::string noSpaces;
    for (qsizetype r = 0; r < rows; ++r) {
        if (!appendTextRow(buf, store, r, scratch, noSpaces))
            return false;
        if (buf.size() >= kFlushBytes && !flush(out, buf))
            return false;
        if (progress && (r + 1) % kProgressRows == 0)
            progress(r + 1, rows);
    }
    return flush(out, buf);
}

QList<qsizetype> TextLogLineBreakRows(const TLogStore& store, qsizetype most)
{
    QList<qsizetype> rows;
    std::array<char, 24> scratch{};
    std::string noSpaces;
    for (qsizetype r = 0; r < store.rowCount() && rows.size() < most; ++r) {
        for (int f = 1; f < kLogFieldCount; ++f) {
            if (textForm(textLogField(store, r, f, scratch, noSpaces)) == TTextForm::Impossible) {
                rows.append(r);
                break;
            }
        }
    }
    return rows;
}

QByteArray TextLog(const TLogStore& store, const QList<QByteArray>& header)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    (void)WriteTextLog(store, buffer, header);
    return bytes;
}

namespace {

// Walks one line's items, handing each to `take` until it returns false.
// Quoted items are unquoted into `unquoted`, which must not reallocate
// meanwhile: it is reserved to the line's length here.
template <class Take> void forEachItem(QByteArrayView line, std::string& unquoted, Take take)
{
    unquoted.clear();
    unquoted.reserve(size_t(line.size()));
    qsizetype i = 0;
    const qsizetype n = line.size();
    const char* d = line.data();
    while (i < n) {
        while (i < n && isItemSeparator(d[i]))
            ++i;
        if (i >= n)
            break;
        QByteArrayView item;
        if (d[i] == '"') {
            ++i;
            const size_t from = unquoted.size();
            while (i < n) {
                if (d[i] == '"') {
                    if (i + 1 < n && d[i + 1] == '"') {
                        unquoted.push_back('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                unquoted.push_back(d[i++]);
            }
            item = QByteArrayView(unquoted.data() + from, qsizetype(unquoted.size() - from));
        } else {
            const qsizetype start = i;
            while (i < n && !isItemSeparator(d[i]))
                ++i;
            item = QByteArrayView(d + start, i - start);
        }
        if (!take(item))
            return;
    }
}

} // namespace

QList<QByteArray> SplitTextLogItems(QByteArrayView line)
{
    QList<QByteArray> items;
    std::string unquoted;
    forEachItem(line, unquoted, [&](QByteArrayView item) {
        items.append(item.toByteArray());
        return true;
    });
    return items;
}

namespace {

// One data line; false when the line is not a log row. Nothing is stored
// for a failing line.
bool appendTextLine(QByteArrayView line, TLogStore& out, std::string& unquoted)
{
    std::array<QByteArrayView, kLogFieldCount> items;
    qsizetype count = 0; // one more than fits means too many
    forEachItem(line, unquoted, [&](QByteArrayView item) {
        if (count == kLogFieldCount) {
            ++count;
            return false;
        }
        items[size_t(count++)] = item;
        return true;
    });
    if (count == 0)
        return true;
    if (count > kLogFieldCount)
        return false;
    TLogRowView row;
    if (items[0] != kNullText) {
        bool ok = false;
        row.ANo = items[0].toInt(&ok);
        if (!ok)
            return false;
    }
    for (int f = 1; f < count; ++f)
        row.setText(f, items[size_t(f)]);
    row.rowState = kRowStateInserted;
    out.appendRow(row);
    out.appendChange({qint32(out.rowCount()), 0, kRowStateInserted});
    return true;
}

} // namespace

QString TextLogLineBreakNote(const TLogStore& store)
{
    constexpr qsizetype kNamed = 5;
    const QList<qsizetype> rows = TextLogLineBreakRows(store, kNamed + 1);
    if (rows.isEmpty())
        return {};
    QStringList names;
    for (const qsizetype r : rows.first(std::min(kNamed, rows.size()))) {
        const std::optional<qint32> no = store.ANo(r);
        names.append(no ? QStringLiteral("No. %1").arg(*no) : QStringLiteral("row %1 (no No.)").arg(r + 1));
    }
    QString list = names.join(QStringLiteral(", "));
    if (rows.size() > kNamed)
        list += QStringLiteral(" and more");
    return (rows.size() == 1 ? QStringLiteral("The row %1 holds") : QStringLiteral("The rows %1 hold")).arg(list) +
           QStringLiteral(" a line break inside a field, which a text log cannot carry.");
}

bool ReadTextLog(QIODevice& in, TLogStore& out, const TLogProgress& progress)
{
    const qint64 total = in.size();
    qint64 done = 0;
    QByteArray pending; // an unfinished line from the previous block
    bool anyLine = false;
    bool headerDropped = false;
    bool skipLf = false; // the block before ended in CR: a leading LF belongs to it
    qsizetype rowsAtReport = out.rowCount();
    std::string unquoted;

    const auto takeLine = [&](QByteArrayView line) {
        anyLine = true;
        if (!headerDropped) {
            headerDropped = true;
            return true;
        }
        return appendTextLine(line, out, unquoted);
    };

    for (;;) {
        const QByteArray block = readBlock(in);
        if (block.isEmpty())
            break;
        done += block.size();
        qsizetype start = 0;
        if (skipLf && block[0] == '\n')
            start = 1;
        skipLf = false;
        for (qsizetype i = start; i < block.size(); ++i) {
            const char c = block[i];
            if (c != '\r' && c != '\n')
                continue;
            QByteArrayView piece(block.constData() + start, i - start);
            bool ok;
            if (pending.isEmpty()) {
                ok = takeLine(piece);
            } else {
                pending.append(piece);
                ok = takeLine(pending);
                pending.clear();
            }
            if (!ok)
                return false;
            if (c == '\r') {
                if (i + 1 < block.size()) {
                    if (block[i + 1] == '\n')
                        ++i;
                } else {
                    skipLf = true;
                }
            }
            start = i + 1;
        }
        pending.append(block.constData() + start, block.size() - start);
        if (progress && out.rowCount() - rowsAtReport >= kProgressRows) {
            rowsAtReport = out.rowCount();
            progress(done, total);
        }
    }
    if (!pending.isEmpty() && !takeLine(pending))
        return false;
    return anyLine;
}

bool ReadTextLog(const QByteArray& data, TLogStore& out)
{
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return ReadTextLog(buffer, out);
}

} // namespace varnetta::log

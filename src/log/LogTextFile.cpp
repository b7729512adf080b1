// The tab-separated text form: header line, one line per row, quoting
// where a value needs it.
#include "LogFiles.h"
#include "LogFileIo.h"
#include "LogFileThreads.h"

#include "protocol/Reading.h"

#include <QBuffer>
#include <QIODevice>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <limits>
#include <memory>
#include <vector>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Below this a file is read on the calling thread alone.
constexpr qint64 kMinTextPiece = qint64(8) << 20;
// Rows a writer's thread makes at a time (about a megabyte of text).
constexpr qsizetype kRowsPerPart = qsizetype(1) << 14;

// What a field needs so that the reader gives its text back: nothing, double
// quotes (it holds a byte the reader splits at, or starts with a quote), or
// it cannot be written at all (a line break; the reader splits lines first).
enum class TTextForm
{
    Plain,
    Quoted,
    Impossible
};

// Per byte: 1 wants quotes, 2 cannot be written.
constexpr std::array<uint8_t, 256> kTextFormBits = [] {
    std::array<uint8_t, 256> t{};
    for (int c = 1; c <= 32; ++c)
        t[size_t(c)] = 1;
    t[uint8_t('\r')] = 2;
    t[uint8_t('\n')] = 2;
    return t;
}();

TTextForm textForm(QByteArrayView text)
{
    uint8_t bits = text.startsWith('"') ? 1 : 0;
    for (const char c : text)
        bits |= kTextFormBits[uint8_t(c)];
    return (bits & 2) ? TTextForm::Impossible : (bits & 1) ? TTextForm::Quoted : TTextForm::Plain;
}

// A field's text as the tab-separated form has it, before quoting: blanks
// and control bytes at either end gone, every space gone from the value,
// "NULL" for nothing left (or for a null field).
QByteArrayView textLogField(const TLogRowView& row, int f, std::string& noSpaces)
{
    if (!((row.assigned >> f) & 1u))
        return kNullText;
    const QByteArrayView text = trimmedView(row.text[size_t(f)]);
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

// Bytes a row can take: the number, and each field quoted with every byte
// a doubled quote, with its tab; the line end.
constexpr qsizetype kMaxRowBytes = 12 + (kLogFieldCount - 1) * (1 + 2 + 2 * kTextFieldWidth) + 2;

inline char* putBytes(char* p, QByteArrayView text)
{
    std::memcpy(p, text.data(), size_t(text.size()));
    return p + text.size();
}

// Writes the row at `p`, which has room for kMaxRowBytes, and gives the
// end; nullptr for a row that the form cannot carry.
char* putTextRow(char* p, const TLogRowView& row, std::string& noSpaces)
{
    if (row.ANo)
        p = std::to_chars(p, p + 12, *row.ANo).ptr;
    else
        p = putBytes(p, kNullText);
    for (int f = 1; f < kLogFieldCount; ++f) {
        *p++ = '\t';
        const QByteArrayView text = textLogField(row, f, noSpaces);
        switch (textForm(text)) {
        case TTextForm::Plain:
            p = putBytes(p, text);
            break;
        case TTextForm::Quoted:
            *p++ = '"';
            for (const char c : text) {
                *p++ = c;
                if (c == '"')
                    *p++ = '"';
            }
            *p++ = '"';
            break;
        case TTextForm::Impossible:
            return nullptr;
        }
    }
    *p++ = '\r';
    *p++ = '\n';
    return p;
}

// Rows [from, to) at the end of `buf`; false, with `buf` cut back to the
// last whole row, at a row that the form cannot carry.
bool appendTextRows(QByteArray& buf, const TLogStore& store, qsizetype from, qsizetype to)
{
    TLogRowView row;
    std::array<char, 24> scratch{};
    std::string noSpaces;
    qsizetype size = buf.size();
    buf.resize(size + (to - from) * kMaxRowBytes);
    for (qsizetype r = from; r < to; ++r) {
        store.readRow(r, row, scratch);
        char* const start = buf.data() + size;
        char* const end = putTextRow(start, row, noSpaces);
        if (!end) {
            buf.truncate(size);
            return false;
        }
        size += end - start;
    }
    buf.truncate(size);
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
    if (!appendTextRows(line, store, row, row + 1))
        return std::nullopt;
    return line;
}

bool WriteTextLog(const TLogStore& store, QIODevice& out, const QList<QByteArray>& header,
                  const TLogProgress& progress)
{
    if (out.write(TextLogHeaderLine(header)) < 0)
        return false;
    // Parts of rows made on every core, written in order.
    const qsizetype rows = store.rowCount();
    const qsizetype parts = (rows + kRowsPerPart - 1) / kRowsPerPart;
    const auto make = [&](qsizetype part, QByteArray& bytes) {
        return appendTextRows(bytes, store, part * kRowsPerPart, std::min(rows, (part + 1) * kRowsPerPart));
    };
    const auto take = [&](qsizetype part, const QByteArray& bytes) {
        if (out.write(bytes) != bytes.size())
            return false;
        if (progress)
            progress(std::min(rows, (part + 1) * kRowsPerPart), rows);
        return true;
    };
    return MakeInOrder(parts, PieceCount(rows * 60, kMinWriteBytesPerThread), make, take);
}

QList<qsizetype> TextLogLineBreakRows(const TLogStore& store, qsizetype most)
{
    QList<qsizetype> rows;
    TLogRowView row;
    std::array<char, 24> scratch{};
    std::string noSpaces;
    for (qsizetype r = 0; r < store.rowCount() && rows.size() < most; ++r) {
        store.readRow(r, row, scratch);
        for (int f = 1; f < kLogFieldCount; ++f) {
            if (textForm(textLogField(row, f, noSpaces)) == TTextForm::Impossible) {
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

// The No. item as a number, the way QByteArray::toInt() takes it: plain
// digits (what the writer gives) straight away, anything else through it.
std::optional<qint32> itemNumber(QByteArrayView item)
{
    if (item.size() > 0 && item.size() <= 9) {
        qint32 n = 0;
        bool digits = true;
        for (const char c : item) {
            if (c < '0' || c > '9') {
                digits = false;
                break;
            }
            n = n * 10 + (c - '0');
        }
        if (digits)
            return n;
    }
    bool ok = false;
    const int n = item.toInt(&ok);
    return ok ? std::optional<qint32>(n) : std::nullopt;
}

// One data line; false when the line is not a log row. Nothing is stored
// for a failing line.
using TLineItems = std::array<QByteArrayView, kLogFieldCount>;

// A data line's items (`count` of them, more than fit meaning too many)
// as a row; false when they are not a log row, and then nothing is stored.
bool appendTextItems(const TLineItems& items, qsizetype count, TLogStore& out)
{
    if (count == 0)
        return true;
    if (count > kLogFieldCount)
        return false;
    TLogRowView row;
    if (items[0] != kNullText) {
        const std::optional<qint32> n = itemNumber(items[0]);
        if (!n)
            return false;
        row.ANo = n;
    }
    for (int f = 1; f < count; ++f)
        row.setText(f, items[size_t(f)]);
    row.rowState = kRowStateInserted;
    out.appendRow(row);
    out.appendChange({qint32(out.rowCount()), 0, kRowStateInserted});
    return true;
}

bool appendTextLine(QByteArrayView line, TLogStore& out, std::string& unquoted)
{
    TLineItems items;
    qsizetype count = 0;
    forEachItem(line, unquoted, [&](QByteArrayView item) {
        if (count == kLogFieldCount) {
            ++count;
            return false;
        }
        items[size_t(count++)] = item;
        return true;
    });
    return appendTextItems(items, count, out);
}

// The positions of a block's bytes 1..32 (item separators and line ends),
// in order, found 64 bytes at a time.
class TSeparatorScan
{
public:
    TSeparatorScan(const char* data, qsizetype size, qsizetype from) : m_data(data), m_size(size) { seek(from); }

    void seek(qsizetype from)
    {
        m_base = from;
        m_bits = maskAt(from);
    }
    // The next position, or the block's size when there is none.
    qsizetype next()
    {
        while (m_bits == 0) {
            m_base += 64;
            if (m_base >= m_size)
                return m_size;
            m_bits = maskAt(m_base);
        }
        const qsizetype at = m_base + std::countr_zero(m_bits);
        m_bits &= m_bits - 1;
        return at;
    }

private:
    [[nodiscard]] uint64_t maskAt(qsizetype at) const
    {
        uint64_t bits = 0;
#if defined(__SSE2__)
        if (at + 64 <= m_size) {
            const __m128i limit = _mm_set1_epi8(32);
            const __m128i zero = _mm_setzero_si128();
            for (int k = 0; k < 4; ++k) {
                const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_data + at + 16 * k));
                const __m128i upTo32 = _mm_cmpeq_epi8(_mm_min_epu8(x, limit), x);
                const __m128i nul = _mm_cmpeq_epi8(x, zero);
                bits |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_andnot_si128(nul, upTo32)))) << (16 * k);
            }
            return bits;
        }
#endif
        const qsizetype end = std::min(at + 64, m_size);
        for (qsizetype i = at; i < end; ++i)
            if (isItemSeparator(m_data[i]))
                bits |= uint64_t(1) << (i - at);
        return bits;
    }

    const char* m_data;
    qsizetype m_size;
    qsizetype m_base = 0;
    uint64_t m_bits = 0;
};

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

namespace {

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// The lines of `in` that start in [from, to): a line starts at 0 or after
// CR, LF or CR LF. Reading begins at `from` - 1 and skips the line that is
// underway there (the piece before owns it); the last line is read to its
// end, however far past `to` that is. Empty lines add nothing, so an LF
// that a piece boundary parts from its CR does no harm.
class TTextPieceReader
{
public:
    TTextPieceReader(QIODevice& in, TLogStore& out, qsizetype block) : m_in(in), m_out(out), m_block(block) {}

    // False for a line that is not a log row (rows before it stay) or a
    // device that cannot go to `from`. `more` is asked before every block,
    // and gets the bytes read so far; false from it ends the reading.
    bool read(qint64 from, qint64 to, const std::function<bool(qint64 bytesRead)>& more)
    {
        m_to = to;
        qint64 pos = 0;
        bool seeking = false;
        if (from > 0) {
            pos = from - 1;
            seeking = true;
            if (!m_in.seek(pos))
                return false;
        }
        m_header = from == 0;
        qint64 bytesRead = 0;
        for (;;) {
            if (!more(bytesRead))
                return true;
            qint64 want = m_block;
            if (!m_in.isSequential()) {
                // No more than the file holds (a small file costs no big
                // buffer), and near the piece's end only as much as the
                // last line's end is likely to need.
                const qint64 left = std::max<qint64>(to - pos, kTailRead);
                want = std::clamp<qint64>(std::min(left, m_in.size() - pos), 1, m_block);
            }
            // One buffer for all blocks: a fresh one each time would be
            // fresh pages from the system each time.
            if (m_buffer.size() < want)
                m_buffer.resize(want);
            const qint64 got = m_in.read(m_buffer.data(), want);
            if (got <= 0)
                break;
            const QByteArrayView block(m_buffer.constData(), got);
            bytesRead += block.size();
            const qint64 blockPos = pos;
            pos += block.size();
            qsizetype start = 0;
            if (seeking) {
                const auto end = std::find_if(block.begin(), block.end(), isLineEnd);
                if (end == block.end())
                    continue;
                start = (end - block.begin()) + 1;
                seeking = false;
            } else if (m_skipLf && block[0] == '\n') {
                start = 1;
            }
            m_skipLf = false;
            if (m_pending.isEmpty() && blockPos + start >= to)
                return true;
            const auto r = takeLines(block, blockPos, start);
            if (r != TLines::More)
                return r == TLines::Done;
        }
        if (!seeking && !m_pending.isEmpty() && m_pendingStart < to)
            return takeLine(m_pending);
        return true;
    }

    // Whether the piece held any line (a file of no line at all is no log).
    [[nodiscard]] bool anyLine() const { return m_anyLine; }

private:
    static constexpr qint64 kTailRead = qint64(64) << 10;
    enum class TLines
    {
        More,
        Done,
        Failed
    };

    TLines takeLines(QByteArrayView block, qint64 blockPos, qsizetype start)
    {
        const char* d = block.constData();
        const qsizetype n = block.size();
        if (!m_pending.isEmpty()) {
            if (const auto r = takeOneLine(block, blockPos, start))
                return *r;
        }
        // Lines of plain items are split at one go: items and line ends
        // are the bytes 1..32 the scan finds. A CR LF is two line ends
        // with an empty line between, which adds nothing.
        TSeparatorScan scan(d, n, start);
        TLineItems items;
        qsizetype count = 0;
        qsizetype lineStart = start;
        qsizetype last = start - 1; // the last separator or line end
        for (;;) {
            const qsizetype at = scan.next();
            if (at >= n)
                break;
            if (at > last + 1) {
                if (d[last + 1] == '"') {
                    // A quoted item: this line the general way.
                    start = lineStart;
                    if (const auto r = takeOneLine(block, blockPos, start))
                        return *r;
                    lineStart = start;
                    last = start - 1;
                    count = 0;
                    scan.seek(start);
                    continue;
                }
                if (count < kLogFieldCount)
                    items[size_t(count)] = QByteArrayView(d + last + 1, at - last - 1);
                count = std::min<qsizetype>(count + 1, kLogFieldCount + 1);
            }
            last = at;
            if (d[at] == '\r' || d[at] == '\n') {
                if (!takeItems(items, count))
                    return TLines::Failed;
                count = 0;
                lineStart = at + 1;
                if (blockPos + lineStart >= m_to)
                    return TLines::Done;
            }
        }
        if (lineStart < n) {
            m_pendingStart = blockPos + lineStart;
            m_pending.append(d + lineStart, n - lineStart);
        }
        return TLines::More;
    }

    // The line at `start` (with the unfinished one from the blocks before)
    // read whole and split the general way; `start` moves past its end.
    // Nothing when the reading goes on in this block.
    std::optional<TLines> takeOneLine(QByteArrayView block, qint64 blockPos, qsizetype& start)
    {
        const char* d = block.constData();
        const qsizetype n = block.size();
        const auto end = std::find_if(d + start, d + n, isLineEnd);
        if (end == d + n) {
            if (m_pending.isEmpty())
                m_pendingStart = blockPos + start;
            m_pending.append(d + start, n - start);
            return TLines::More;
        }
        qsizetype i = end - d;
        const QByteArrayView piece(d + start, i - start);
        bool ok;
        if (m_pending.isEmpty()) {
            ok = takeLine(piece);
        } else {
            m_pending.append(piece);
            ok = takeLine(m_pending);
            m_pending.clear();
        }
        if (!ok)
            return TLines::Failed;
        if (d[i] == '\r') {
            if (i + 1 < n) {
                if (d[i + 1] == '\n')
                    ++i;
            } else {
                m_skipLf = true;
            }
        }
        start = i + 1;
        if (blockPos + start >= m_to)
            return TLines::Done;
        if (start >= n)
            return TLines::More;
        return std::nullopt;
    }

    bool takeItems(const TLineItems& items, qsizetype count)
    {
        m_anyLine = true;
        if (m_header) {
            m_header = false;
            return true;
        }
        return appendTextItems(items, count, m_out);
    }

    bool takeLine(QByteArrayView line)
    {
        m_anyLine = true;
        if (m_header) {
            m_header = false;
            return true;
        }
        return appendTextLine(line, m_out, m_unquoted);
    }

    QIODevice& m_in;
    TLogStore& m_out;
    const qsizetype m_block;
    qint64 m_to = 0;
    QByteArray m_buffer;
    QByteArray m_pending; // an unfinished line from the previous block
    qint64 m_pendingStart = 0;
    bool m_header = true;
    bool m_skipLf = false; // the block before ended in CR: a leading LF belongs to it
    bool m_anyLine = false;
    std::string m_unquoted;
};

} // namespace

bool ReadTextLogInPieces(QIODevice& in, TLogStore& out, const QList<qint64>& splits, const TLogProgress& progress,
                         qsizetype blockBytes)
{
    const qint64 total = in.size();
    std::vector<std::unique_ptr<QIODevice>> devices;
    if (!splits.isEmpty()) {
        if (in.isSequential() || in.pos() != 0 || !std::is_sorted(splits.begin(), splits.end()) ||
            splits.front() < 0)
            return ReadTextLogInPieces(in, out, {}, progress, blockBytes);
        if (splits.back() > total) {
            QList<qint64> within = splits;
            for (qint64& at : within)
                at = std::min(at, total);
            return ReadTextLogInPieces(in, out, within, progress, blockBytes);
        }
        for (qsizetype k = 0; k < splits.size(); ++k) {
            devices.push_back(OpenAgain(in));
            if (!devices.back())
                return ReadTextLogInPieces(in, out, {}, progress, blockBytes);
        }
    }
    const int count = int(splits.size()) + 1;
    std::vector<TLogStore> stores(size_t(count - 1));
    std::vector<std::atomic<qint64>> bytesRead(static_cast<size_t>(count));
    std::vector<char> anyLines(size_t(count), 0);
    std::atomic<int> firstFailed{count};
    qsizetype rowsAtReport = out.rowCount();
    TPieceRun run;
    const auto report = [&] {
        qint64 done = 0;
        for (const auto& b : bytesRead)
            done += b.load(std::memory_order_relaxed);
        progress(std::min(done, total), total);
    };
    const auto work = [&](int k) {
        QIODevice& device = k == 0 ? in : *devices[size_t(k - 1)];
        TLogStore& into = k == 0 ? out : stores[size_t(k - 1)];
        const qint64 from = k == 0 ? 0 : splits[k - 1];
        const qint64 to = k + 1 < count ? splits[k] : std::numeric_limits<qint64>::max();
        TTextPieceReader reader(device, into, blockBytes);
        const bool ok = reader.read(from, to, [&](qint64 n) {
            bytesRead[size_t(k)].store(n, std::memory_order_relaxed);
            if (k == 0 && progress && into.rowCount() - rowsAtReport >= kProgressRows) {
                rowsAtReport = into.rowCount();
                report();
            }
            // Past a failed piece nothing is kept.
            return !run.stopping() && k < firstFailed.load();
        });
        anyLines[size_t(k)] = reader.anyLine();
        if (!ok) {
            int seen = firstFailed.load();
            while (k < seen && !firstFailed.compare_exchange_weak(seen, k)) {
            }
        }
    };
    run.run(count, work, progress ? std::function<void()>(report) : std::function<void()>());

    // Rows of the pieces up to the first failing line, in file order.
    const int last = std::min(firstFailed.load(), count - 1);
    for (int k = 1; k <= last; ++k)
        out.appendFrom(std::move(stores[size_t(k - 1)]));
    if (firstFailed.load() < count)
        return false;
    return std::any_of(anyLines.begin(), anyLines.end(), [](char a) { return a != 0; });
}

bool ReadTextLog(QIODevice& in, TLogStore& out, const TLogProgress& progress)
{
    QList<qint64> splits;
    if (!in.isSequential() && in.pos() == 0) {
        const qint64 size = in.size();
        const int pieces = PieceCount(size, kMinTextPiece);
        for (int k = 1; k < pieces; ++k)
            splits.append(size * k / pieces);
    }
    return ReadTextLogInPieces(in, out, splits, progress, kReadBlock);
}

bool ReadTextLog(const QByteArray& data, TLogStore& out)
{
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return ReadTextLog(buffer, out);
}

} // namespace varnetta::log

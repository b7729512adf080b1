#include "LogFiles.h"

#include "protocol/Reading.h"

#include <QBuffer>
#include <QFileInfo>
#include <QIODevice>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <string>

namespace varnetta::log {

namespace {

constexpr qsizetype kFlushBytes = qsizetype(1) << 20;
constexpr qsizetype kReadBlock = qsizetype(4) << 20;
constexpr qsizetype kProgressRows = qsizetype(1) << 16;

bool flush(QIODevice& out, QByteArray& buffer)
{
    if (buffer.isEmpty())
        return true;
    const bool ok = out.write(buffer) == buffer.size();
    buffer.clear();
    return ok;
}

bool isBlankOrControl(char c)
{
    return uint8_t(c) <= 32;
}

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

bool isIntegerType(QStringView type)
{
    static const char* const types[] = {"i1", "i2", "i4", "i8", "ui1", "ui2", "ui4", "ui8"};
    return std::any_of(std::begin(types), std::end(types),
                       [&](const char* t) { return type == QLatin1StringView(t); });
}

bool isTextType(QStringView type)
{
    return type == u"string" || type == u"string.uni";
}

// The packet's own structure; anything else in it is refused.
class TXmlPacketReader
{
public:
    TXmlPacketReader(QXmlStreamReader& xml, bool utf8, TLogStore& out) : m_xml(xml), m_utf8(utf8), m_out(out)
    {
    }

    // Reads one token; false with `failed` set ends the read.
    enum class Step
    {
        More,
        NeedData,
        Done,
        Failed
    };
    Step step();
    // The root element has ended: only blanks and comments may follow.
    [[nodiscard]] bool closed() const { return m_where == Where::Closed; }

private:
    [[nodiscard]] QByteArray bytes(QStringView value) const
    {
        return m_utf8 ? protocol::EightBitText(value.toString()) : value.toLatin1();
    }
    bool startElement();
    bool endElement();
    bool readField();
    bool readParams();
    bool readRow();

    enum class Where
    {
        Top,
        Packet,
        Metadata,
        Fields,
        Field,
        Params,
        RowData,
        Row,
        Closed
    };
    QXmlStreamReader& m_xml;
    bool m_utf8;
    TLogStore& m_out;
    Where m_where = Where::Top;
    std::array<bool, kLogFieldCount> m_fieldSeen{};
    bool m_fieldsDone = false;
};

TXmlPacketReader::Step TXmlPacketReader::step()
{
    switch (m_xml.readNext()) {
    case QXmlStreamReader::Invalid:
        return m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError ? Step::NeedData : Step::Failed;
    case QXmlStreamReader::StartDocument:
    case QXmlStreamReader::Comment:
    case QXmlStreamReader::ProcessingInstruction:
        return Step::More;
    case QXmlStreamReader::EndDocument:
        return m_where == Where::Closed ? Step::Done : Step::Failed;
    case QXmlStreamReader::DTD:
    case QXmlStreamReader::EntityReference:
        // No document type and no entities: nothing outside the file is read
        // and nothing grows beyond what the file itself holds.
        return Step::Failed;
    case QXmlStreamReader::Characters:
        return m_xml.isWhitespace() ? Step::More : Step::Failed;
    case QXmlStreamReader::StartElement:
        return startElement() ? Step::More : Step::Failed;
    case QXmlStreamReader::EndElement:
        return endElement() ? Step::More : Step::Failed;
    case QXmlStreamReader::NoToken:
        return Step::Failed;
    }
    return Step::Failed;
}

bool TXmlPacketReader::startElement()
{
    const QStringView name = m_xml.name();
    switch (m_where) {
    case Where::Top:
        if (name != u"DATAPACKET")
            return false;
        m_where = Where::Packet;
        return true;
    case Where::Packet:
        if (name == u"METADATA" && !m_fieldsDone) {
            m_where = Where::Metadata;
            return true;
        }
        if (name == u"ROWDATA" && m_fieldsDone) {
            m_where = Where::RowData;
            return true;
        }
        return false;
    case Where::Metadata:
        if (name == u"FIELDS") {
            m_where = Where::Fields;
            return true;
        }
        if (name == u"PARAMS") {
            m_where = Where::Params;
            return readParams();
        }
        return false;
    case Where::Fields:
        if (name != u"FIELD")
            return false;
        m_where = Where::Field;
        return readField();
    case Where::RowData:
        if (name != u"ROW")
            return false;
        m_where = Where::Row;
        return readRow();
    case Where::Field:
    case Where::Params:
    case Where::Row:
    case Where::Closed:
        return false;
    }
    return false;
}

bool TXmlPacketReader::endElement()
{
    switch (m_where) {
    case Where::Packet:
        m_where = Where::Closed;
        return m_fieldsDone;
    case Where::Metadata:
        m_where = Where::Packet;
        m_fieldsDone = std::all_of(m_fieldSeen.begin(), m_fieldSeen.end(), [](bool b) { return b; });
        return m_fieldsDone;
    case Where::Fields:
    case Where::RowData:
        m_where = m_where == Where::Fields ? Where::Metadata : Where::Packet;
        return true;
    case Where::Field:
        m_where = Where::Fields;
        return true;
    case Where::Params:
        m_where = Where::Metadata;
        return true;
    case Where::Row:
        m_where = Where::RowData;
        return true;
    case Where::Top:
    case Where::Closed:
        return false;
    }
    return false;
}

bool TXmlPacketReader::readField()
{
    const QXmlStreamAttributes attrs = m_xml.attributes();
    const QStringView name = attrs.value(QLatin1StringView("attrname"));
    const QStringView type = attrs.value(QLatin1StringView("fieldtype"));
    for (int f = 0; f < kLogFieldCount; ++f) {
        if (name != QLatin1StringView(LogFieldName(f)))
            continue;
        if (m_fieldSeen[f])
            return false;
        if (f == fANo ? !isIntegerType(type) : !isTextType(type))
            return false;
        m_fieldSeen[f] = true;
    }
    return true; // fields of other names are not the log's and are passed over
}

bool TXmlPacketReader::readParams()
{
    const QXmlStreamAttributes attrs = m_xml.attributes();
    if (!attrs.hasAttribute(QLatin1StringView("CHANGE_LOG")))
        return true;
    const QStringView log = attrs.value(QLatin1StringView("CHANGE_LOG"));
    std::array<qint32, 3> triple{};
    int filled = 0;
    qsizetype i = 0;
    const qsizetype n = log.size();
    while (i < n) {
        while (i < n && log[i].isSpace())
            ++i;
        if (i >= n)
            break;
        qsizetype j = i;
        while (j < n && !log[j].isSpace())
            ++j;
        bool ok = false;
        triple[filled++] = log.sliced(i, j - i).toInt(&ok);
        if (!ok)
            return false;
        if (filled == 3) {
            m_out.appendChange({triple[0], triple[1], triple[2]});
            filled = 0;
        }
        i = j;
    }
    return filled == 0;
}

bool TXmlPacketReader::readRow()
{
    TLogRow row;
    const QXmlStreamAttributes attrs = m_xml.attributes();
    for (const QXmlStreamAttribute& a : attrs) {
        const QStringView name = a.name();
        if (name == u"RowState") {
            bool ok = false;
            const int state = a.value().toInt(&ok);
            if (!ok || state < 0 || state > 255)
                return false;
            row.rowState = uint8_t(state);
            continue;
        }
        for (int f = 0; f < kLogFieldCount; ++f) {
            if (name != QLatin1StringView(LogFieldName(f)))
                continue;
            if (f == fANo) {
                bool ok = false;
                row.ANo = a.value().toInt(&ok);
                if (!ok)
                    return false;
            } else {
                row.setText(f, bytes(a.value()));
            }
            break;
        }
    }
    m_out.appendRow(row);
    return true;
}

// The declaration the reader is fed instead of the file's: UTF-8 files are
// read as such and converted later, every other file byte for byte.
bool splitDeclaration(const QByteArray& head, qsizetype& contentStart, bool& declaresUtf8)
{
    contentStart = 0;
    declaresUtf8 = false;
    if (!head.startsWith("<?xml"))
        return true;
    if (head.size() < 6 || !isBlankOrControl(head[5]))
        return true; // a processing instruction such as <?xml-stylesheet?>; the reader judges it
    const qsizetype end = head.indexOf("?>");
    if (end < 0)
        return false;
    const QByteArray decl = head.left(end);
    const qsizetype enc = decl.indexOf("encoding");
    if (enc >= 0) {
        qsizetype q = enc + 8;
        while (q < decl.size() && (decl[q] == ' ' || decl[q] == '='))
            ++q;
        if (q < decl.size() && (decl[q] == '"' || decl[q] == '\'')) {
            const qsizetype close = decl.indexOf(decl[q], q + 1);
            if (close > q)
                declaresUtf8 = decl.mid(q + 1, close - q - 1).trimmed().toLower() == "utf-8";
        }
    }
    contentStart = end + 2;
    return true;
}

// Reads the next block; on a file or buffer of known size no more than is
// left, so a small file costs no 4 MB allocation.
QByteArray readBlock(QIODevice& in)
{
    qint64 want = kReadBlock;
    if (!in.isSequential())
        want = std::clamp<qint64>(in.size() - in.pos(), 1, kReadBlock);
    return in.read(want);
}

bool validUtf8(QIODevice& in, qint64 from)
{
    if (!in.seek(from))
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    while (!in.atEnd()) {
        const QByteArray block = readBlock(in);
        if (block.isEmpty())
            break;
        const QString text = decoder.decode(block); // decoding happens on conversion
        Q_UNUSED(text);
        if (decoder.hasError())
            return false;
    }
    return true;
}

// What an attribute value needs: 0 kept as it is, otherwise the index + 1
// of its replacement in kEscapes.
constexpr std::array<uint8_t, 256> kEscapeOf = [] {
    std::array<uint8_t, 256> t{};
    const char chars[] = {'<', '>', '&', '\'', '"', '\r', '\n', '\t', '\\'};
    for (size_t i = 0; i < sizeof chars; ++i)
        t[uint8_t(chars[i])] = uint8_t(i + 1);
    return t;
}();
constexpr std::array<QByteArrayView, 9> kEscapes = {"&lt;",   "&gt;",   "&amp;",  "&apos;", "&quot;",
                                                    "&#013;", "&#010;", "&#009;", "&#092;"};

// A write buffer that the writers fill with plain stores: `room` makes sure
// of space for what follows, flushing to the device when needed.
class TOutBuffer
{
public:
    explicit TOutBuffer(QIODevice& out) : m_out(out), m_buf(new char[kOutBytes]), m_pos(m_buf.get()) {}

    void room(size_t n)
    {
        if (size_t(m_buf.get() + kOutBytes - m_pos) < n)
            flush();
    }
    void put(QByteArrayView t)
    {
        room(size_t(t.size()));
        if (size_t(t.size()) > kOutBytes) {
            m_ok = m_ok && m_out.write(t.data(), t.size()) == t.size();
            return;
        }
        std::memcpy(m_pos, t.data(), size_t(t.size()));
        m_pos += t.size();
    }
    // The next three assume `room` was asked for their bytes.
    void putChar(char c) { *m_pos++ = c; }
    void putNumber(qint64 n) { m_pos = std::to_chars(m_pos, m_pos + 24, n).ptr; }
    void putEscaped(QByteArrayView text)
    {
        for (const char c : text) {
            const uint8_t e = kEscapeOf[uint8_t(c)];
            if (e == 0) {
                *m_pos++ = c;
            } else {
                const QByteArrayView with = kEscapes[e - 1u];
                std::memcpy(m_pos, with.data(), size_t(with.size()));
                m_pos += with.size();
            }
        }
    }
    [[nodiscard]] bool ok() const { return m_ok; }
    bool flush()
    {
        const qint64 n = m_pos - m_buf.get();
        if (n > 0 && m_ok)
            m_ok = m_out.write(m_buf.get(), n) == n;
        m_pos = m_buf.get();
        return m_ok;
    }

private:
    static constexpr size_t kOutBytes = size_t(4) << 20;
    QIODevice& m_out;
    std::unique_ptr<char[]> m_buf;
    char* m_pos;
    bool m_ok = true;
};

// The packet up to and including </FIELDS>, exactly as written.
const QByteArray& packetHead()
{
    static const QByteArray head = [] {
        QByteArray h(
            "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>");
        h.append("<FIELD attrname=\"ANo\" fieldtype=\"i4\"/>");
        for (int f = 1; f < kLogFieldCount; ++f)
            h.append("<FIELD attrname=\"")
                .append(LogFieldName(f))
                .append("\" fieldtype=\"string\" WIDTH=\"20\"/>");
        h.append("</FIELDS>");
        return h;
    }();
    return head;
}

// ' ANo="', ' ATime="', ... in field order.
const std::array<QByteArrayView, kLogFieldCount>& attributePrefixes()
{
    static const std::array<QByteArray, kLogFieldCount> texts = [] {
        std::array<QByteArray, kLogFieldCount> t;
        for (int f = 0; f < kLogFieldCount; ++f)
            t[size_t(f)] = QByteArray(" ") + LogFieldName(f) + "=\"";
        return t;
    }();
    static const std::array<QByteArrayView, kLogFieldCount> views = [] {
        std::array<QByteArrayView, kLogFieldCount> v;
        for (int f = 0; f < kLogFieldCount; ++f)
            v[size_t(f)] = texts[size_t(f)];
        return v;
    }();
    return views;
}

} // namespace

TLogFileKind LogFileKind(const QString& fileName)
{
    return fileName.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive) ? TLogFileKind::Xml
                                                                         : TLogFileKind::Text;
}

QString LogSaveFileName(const QString& fileName)
{
    for (const char* ext : {".xml", ".xls", ".txt"})
        if (fileName.endsWith(QLatin1String(ext), Qt::CaseInsensitive))
            return fileName;
    return fileName + QLatin1String(".xls");
}

bool WriteXmlPacket(const TLogStore& store, QIODevice& out, const TLogProgress& progress)
{
    TOutBuffer buf(out);
    buf.put(packetHead());
    const qsizetype changes = store.changeLogSize();
    if (changes == 0) {
        buf.put("<PARAMS/>");
    } else {
        buf.put("<PARAMS CHANGE_LOG=\"");
        for (qsizetype i = 0; i < changes; ++i) {
            const TChangeEntry e = store.changeLogEntry(i);
            buf.room(40);
            if (i > 0)
                buf.putChar(' ');
            buf.putNumber(e.position);
            buf.putChar(' ');
            buf.putNumber(e.detail);
            buf.putChar(' ');
            buf.putNumber(e.kind);
        }
        buf.put("\"/>");
    }
    buf.put("</METADATA><ROWDATA>");

    const qsizetype rows = store.rowCount();
    const std::array<QByteArrayView, kLogFieldCount>& prefixes = attributePrefixes();
    std::array<char, 24> scratch{};
    for (qsizetype r = 0; r < rows; ++r) {
        buf.room(64);
        buf.put("<ROW");
        if (const uint8_t state = store.rowState(r); state != 0) {
            buf.put(" RowState=\"");
            buf.putNumber(state);
            buf.putChar('"');
        }
        if (const auto n = store.ANo(r)) {
            buf.put(prefixes[fANo]);
            buf.putNumber(*n);
            buf.putChar('"');
        }
        for (int f = 1; f < kLogFieldCount; ++f) {
            if (store.isNull(r, f))
                continue;
            const QByteArrayView text = store.fieldView(r, f, scratch);
            buf.room(16 + 6 * size_t(text.size()));
            buf.put(prefixes[size_t(f)]);
            buf.putEscaped(text);
            buf.putChar('"');
        }
        buf.put("/>");
        if (!buf.ok())
            return false;
        if (progress && (r + 1) % kProgressRows == 0)
            progress(r + 1, rows);
    }
    buf.put("</ROWDATA></DATAPACKET>");
    return buf.flush();
}

QByteArray XmlPacket(const TLogStore& store)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    (void)WriteXmlPacket(store, buffer);
    return bytes;
}

bool ReadAnyXmlPacket(QIODevice& in, TLogStore& out, const TLogProgress& progress)
{
    const qint64 total = in.size();
    QByteArray head = in.peek(4096);
    if (head.isEmpty())
        return false;
    qint64 pos = 0;
    bool utf8 = false;
    if (head.startsWith("\xEF\xBB\xBF")) {
        utf8 = true;
        pos = 3;
        head.remove(0, 3);
        if (head.isEmpty() || head[0] != '<')
            return false;
    }
    qsizetype contentStart = 0;
    bool declaresUtf8 = false;
    if (!splitDeclaration(head, contentStart, declaresUtf8))
        return false;
    if (!utf8 && declaresUtf8) {
        if (!in.isSequential())
            utf8 = validUtf8(in, pos + contentStart);
    }
    if (in.isSequential()) {
        if (in.read(pos + contentStart).size() != pos + contentStart)
            return false;
    } else if (!in.seek(pos + contentStart)) {
        return false;
    }

    QXmlStreamReader xml;
    xml.setNamespaceProcessing(false);
    xml.addData(utf8 ? QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>")
                     : QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"));
    TXmlPacketReader reader(xml, utf8, out);
    qint64 done = pos + contentStart;
    qsizetype rowsAtReport = 0;
    for (;;) {
        switch (reader.step()) {
        case TXmlPacketReader::Step::More:
            if (progress && out.rowCount() - rowsAtReport >= kProgressRows) {
                rowsAtReport = out.rowCount();
                progress(done, total);
            }
            continue;
        case TXmlPacketReader::Step::NeedData: {
            const QByteArray block = readBlock(in);
            if (block.isEmpty())
                return reader.closed();
            done += block.size();
            xml.addData(block);
            continue;
        }
        case TXmlPacketReader::Step::Done:
            return true;
        case TXmlPacketReader::Step::Failed:
            return false;
        }
    }
}

namespace {

// The file read in blocks with a cursor: `fill` makes at least n bytes
// readable at the cursor unless the file ends first.
class TBlockInput
{
public:
    explicit TBlockInput(QIODevice& in) : m_in(in), m_buf(new char[kCapacity]) {}

    qsizetype fill(qsizetype n)
    {
        while (m_end - m_pos < n && !m_eof) {
            if (m_pos > 0) {
                std::memmove(m_buf.get(), m_buf.get() + m_pos, size_t(m_end - m_pos));
                m_end -= m_pos;
                m_pos = 0;
            }
            const qint64 got = m_in.read(m_buf.get() + m_end, qint64(kCapacity) - m_end);
            if (got <= 0)
                m_eof = true;
            else
                m_end += qsizetype(got);
        }
        return m_end - m_pos;
    }
    [[nodiscard]] const char* at() const { return m_buf.get() + m_pos; }
    void skip(qsizetype n)
    {
        m_pos += n;
        m_done += n;
    }
    // Takes `t` at the cursor if it is there.
    bool take(QByteArrayView t)
    {
        if (fill(t.size()) < t.size() || std::memcmp(at(), t.data(), size_t(t.size())) != 0)
            return false;
        skip(t.size());
        return true;
    }
    [[nodiscard]] qint64 done() const { return m_done; }

private:
    static constexpr qsizetype kCapacity = kReadBlock + (qsizetype(64) << 10);
    QIODevice& m_in;
    std::unique_ptr<char[]> m_buf;
    qsizetype m_pos = 0;
    qsizetype m_end = 0;
    qint64 m_done = 0;
    bool m_eof = false;
};

// Far more than a row this program writes can take (nine fields of at most
// 20 bytes, each escaped to at most six).
constexpr qsizetype kMaxOwnRowBytes = 4096;

bool takeLiteral(const char*& p, const char* end, QByteArrayView t)
{
    if (end - p < t.size() || std::memcmp(p, t.data(), size_t(t.size())) != 0)
        return false;
    p += t.size();
    return true;
}

// A decimal number as written: an optional minus and 1 to 10 digits that
// fit the type, then `close`.
template <class Int> bool takeNumber(const char*& p, const char* end, char close, Int& value)
{
    const char* q = p;
    if (q < end && *q == '-')
        ++q;
    const char* digits = q;
    while (q < end && *q >= '0' && *q <= '9')
        ++q;
    if (q == digits || q - digits > 10 || q >= end || *q != close)
        return false;
    const auto r = std::from_chars(p, q, value);
    if (r.ec != std::errc() || r.ptr != q)
        return false;
    p = q + 1;
    return true;
}

// An attribute value up to its closing quote, in the form the writer gives
// it: bytes it keeps as they are and its own replacements, nothing else.
// Values with replacements are decoded into `scratch`.
bool takeValue(const char*& p, const char* end, char*& scratch, QByteArrayView& value)
{
    const auto* close = static_cast<const char*>(std::memchr(p, '"', size_t(end - p)));
    if (!close)
        return false;
    bool escaped = false;
    for (const char* q = p; q < close; ++q) {
        const auto c = uint8_t(*q);
        if (c < 0x20 || (kEscapeOf[c] != 0 && c != '&'))
            return false;
        escaped |= c == '&';
    }
    if (!escaped) {
        value = QByteArrayView(p, close - p);
        p = close + 1;
        return true;
    }
    char* const from = scratch;
    for (const char* q = p; q < close;) {
        if (*q != '&') {
            *scratch++ = *q++;
            continue;
        }
        size_t e = 0;
        while (e < kEscapes.size() && !(close - q >= kEscapes[e].size() &&
                                        std::memcmp(q, kEscapes[e].data(), size_t(kEscapes[e].size())) == 0))
            ++e;
        if (e == kEscapes.size())
            return false;
        *scratch++ = "<>&'\"\r\n\t\\"[e];
        q += kEscapes[e].size();
    }
    value = QByteArrayView(from, scratch - from);
    p = close + 1;
    return true;
}

} // namespace

TXmlQuickRead ReadOwnXmlPacket(QIODevice& in, TLogStore& out, const TLogProgress& progress)
{
    const qint64 total = in.size();
    TBlockInput src(in);
    if (!src.take(packetHead()))
        return TXmlQuickRead::Declined;
    if (!src.take("<PARAMS/>")) {
        if (!src.take("<PARAMS CHANGE_LOG=\""))
            return TXmlQuickRead::Declined;
        std::array<qint32, 3> triple{};
        int filled = 0;
        for (;;) {
            const qsizetype avail = src.fill(16);
            const char* p = src.at();
            const char* const end = p + avail;
            const char* const start = p;
            const char* q = p;
            while (q < end && *q != ' ' && *q != '"')
                ++q;
            if (q >= end)
                return TXmlQuickRead::Declined;
            const char close = *q;
            if (!takeNumber(p, end, close, triple[size_t(filled)]))
                return TXmlQuickRead::Declined;
            src.skip(p - start);
            if (++filled == 3) {
                out.appendChange({triple[0], triple[1], triple[2]});
                filled = 0;
            }
            if (close == '"')
                break;
        }
        if (filled != 0 || !src.take("/>"))
            return TXmlQuickRead::Declined;
    }
    if (!src.take("</METADATA><ROWDATA>"))
        return TXmlQuickRead::Declined;

    const std::array<QByteArrayView, kLogFieldCount>& prefixes = attributePrefixes();
    std::array<char, kMaxOwnRowBytes> decoded;
    qsizetype rowsAtReport = 0;
    for (;;) {
        const qsizetype avail = src.fill(kMaxOwnRowBytes);
        const char* p = src.at();
        const char* const end = p + avail;
        const char* const start = p;
        if (!takeLiteral(p, end, "<ROW")) {
            // Only the closing tags may follow, and then the end of the file.
            if (!src.take("</ROWDATA></DATAPACKET>") || src.fill(1) != 0)
                return TXmlQuickRead::Declined;
            return TXmlQuickRead::Read;
        }
        TLogRowView row;
        char* scratch = decoded.data();
        if (takeLiteral(p, end, " RowState=\"")) {
            int state = 0;
            if (!takeNumber(p, end, '"', state) || state < 0 || state > 255)
                return TXmlQuickRead::Declined;
            row.rowState = uint8_t(state);
        }
        if (takeLiteral(p, end, prefixes[fANo])) {
            qint32 n = 0;
            if (!takeNumber(p, end, '"', n))
                return TXmlQuickRead::Declined;
            row.ANo = n;
        }
        for (int f = 1; f < kLogFieldCount; ++f) {
            if (!takeLiteral(p, end, prefixes[size_t(f)]))
                continue;
            QByteArrayView value;
            if (!takeValue(p, end, scratch, value))
                return TXmlQuickRead::Declined;
            row.setText(f, value);
        }
        if (!takeLiteral(p, end, "/>"))
            return TXmlQuickRead::Declined;
        out.appendRow(row);
        src.skip(p - start);
        if (progress && out.rowCount() - rowsAtReport >= kProgressRows) {
            rowsAtReport = out.rowCount();
            progress(src.done(), total);
        }
    }
}

bool ReadXmlPacket(QIODevice& in, TLogStore& out, const TLogProgress& progress)
{
    // Files this program wrote take the quick scan; anything else, or a
    // device that cannot go back, is read by the general reader.
    if (!in.isSequential()) {
        const qint64 start = in.pos();
        if (ReadOwnXmlPacket(in, out, progress) == TXmlQuickRead::Read)
            return true;
        out.clear();
        if (!in.seek(start))
            return false;
    }
    return ReadAnyXmlPacket(in, out, progress);
}

bool ReadXmlPacket(const QByteArray& data, TLogStore& out)
{
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return ReadXmlPacket(buffer, out);
}

QList<QByteArray> DefaultTextLogHeader()
{
    return {"No.", "Time", "Function", "Value", "Unit", "SubValueA", "SubUnitA", "SubValueB", "SubUnitB"};
}

namespace {

void appendTextRow(QByteArray& buf, const TLogStore& store, qsizetype r, std::array<char, 24>& scratch)
{
    if (const auto n = store.ANo(r))
        buf.append(QByteArray::number(*n));
    for (int f = 1; f < kLogFieldCount; ++f) {
        buf.append('\t');
        const QByteArrayView text = trimmedView(store.fieldView(r, f, scratch));
        if (text.isEmpty()) {
            buf.append("NULL");
        } else if (f == fAValue) {
            for (char c : text)
                if (c != ' ')
                    buf.append(c);
        } else {
            buf.append(text);
        }
    }
    buf.append("\r\n");
}

} // namespace

QByteArray TextLogHeaderLine(const QList<QByteArray>& header)
{
    return header.join('\t') + "\r\n";
}

QByteArray TextLogRowLine(const TLogStore& store, qsizetype row)
{
    QByteArray line;
    std::array<char, 24> scratch{};
    appendTextRow(line, store, row, scratch);
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
    for (qsizetype r = 0; r < rows; ++r) {
        appendTextRow(buf, store, r, scratch);
        if (buf.size() >= kFlushBytes && !flush(out, buf))
            return false;
        if (progress && (r + 1) % kProgressRows == 0)
            progress(r + 1, rows);
    }
    return flush(out, buf);
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
    bool ok = false;
    row.ANo = items[0].toInt(&ok);
    if (!ok)
        return false;
    for (int f = 1; f < count; ++f)
        row.setText(f, items[size_t(f)]);
    row.rowState = kRowStateInserted;
    out.appendRow(row);
    out.appendChange({qint32(out.rowCount()), 0, kRowStateInserted});
    return true;
}

} // namespace

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

// The XML data packet: its writer, the quick reader of the program's own
// packets and the general reader for any other.
#include "LogFiles.h"
#include "LogFileIo.h"
#include "LogFileThreads.h"

#include "protocol/Reading.h"

#include <QBuffer>
#include <QIODevice>
#include <QStringDecoder>
#include <QStringList>
#include <QXmlStreamReader>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <limits>
#include <vector>
#include <cstring>
#include <memory>
#include <string>

namespace varnetta::log {

using namespace fileio;

namespace {

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

// How each byte stands in an attribute value: empty when it is written as
// it is. Bytes above 127 are referenced by their value, so the file is plain
// ASCII and means the same to any XML parser (earlier versions wrote them
// raw, which parsers that take the missing declaration as UTF-8 refuse).
// XML 1.0 has no form at all for most control bytes, not even a reference;
// they go to the private-use characters U+E000 + byte, which no meter text
// holds and which the readers turn back into the byte.
constexpr qsizetype kMaxEscapeBytes = 8; // "&#57375;"
constexpr uint32_t kControlBase = 0xE000;

struct TEscape
{
    std::array<char, kMaxEscapeBytes> text{};
    uint8_t size = 0;
};

constexpr TEscape reference(uint32_t codePoint, int minDigits)
{
    TEscape e;
    std::array<char, 8> digits{};
    int n = 0;
    do {
        digits[size_t(n++)] = char('0' + codePoint % 10);
        codePoint /= 10;
    } while (codePoint > 0 || n < minDigits);
    e.text[e.size++] = '&';
    e.text[e.size++] = '#';
    while (n > 0)
        e.text[e.size++] = digits[size_t(--n)];
    e.text[e.size++] = ';';
    return e;
}

constexpr TEscape named(const char* t)
{
    TEscape e;
    while (*t)
        e.text[e.size++] = *t++;
    return e;
}

constexpr bool isXmlControl(uint8_t c)
{
    return c < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

constexpr std::array<TEscape, 256> kEscapeOf = [] {
    std::array<TEscape, 256> t{};
    t[uint8_t('<')] = named("&lt;");
    t[uint8_t('>')] = named("&gt;");
    t[uint8_t('&')] = named("&amp;");
    t[uint8_t('\'')] = named("&apos;");
    t[uint8_t('"')] = named("&quot;");
    for (const char c : {'\r', '\n', '\t', '\\'})
        t[uint8_t(c)] = reference(uint8_t(c), 3);
    for (uint32_t c = 0; c < 256; ++c) {
        if (isXmlControl(uint8_t(c)))
            t[c] = reference(kControlBase + c, 1);
        else if (c >= 0x80)
            t[c] = reference(c, 3);
    }
    return t;
}();

// The byte a character of an attribute value stands for, when there is one.
std::optional<char> byteOfCodePoint(uint32_t c)
{
    if (c <= 0xFF && !isXmlControl(uint8_t(c)))
        return char(c);
    if (c >= kControlBase && c < kControlBase + 0x20)
        return char(c - kControlBase);
    return std::nullopt;
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
    [[nodiscard]] QByteArray bytes(QStringView value) const;
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

// Characters that stand for a byte of their own (see kEscapeOf) become it;
// the rest is text in the system's code page when the file was UTF-8, and
// otherwise has no byte ("?").
QByteArray TXmlPacketReader::bytes(QStringView value) const
{
    QByteArray out;
    out.reserve(value.size());
    qsizetype run = 0; // start of characters still to convert as text
    const auto convertRun = [&](qsizetype end) {
        if (end == run)
            return;
        const QStringView text = value.sliced(run, end - run);
        if (m_utf8) {
            out.append(protocol::EightBitText(text.toString()));
        } else {
            for (const QChar c : text)
                out.append(c.unicode() <= 0xFF ? char(c.unicode()) : '?');
        }
    };
    for (qsizetype i = 0; i < value.size(); ++i) {
        const uint32_t c = value[i].unicode();
        const bool ownByte = m_utf8 ? c >= kControlBase && c < kControlBase + 0x20 : byteOfCodePoint(c).has_value();
        if (!ownByte)
            continue;
        convertRun(i);
        out.append(*byteOfCodePoint(c));
        run = i + 1;
    }
    convertRun(value.size());
    return out;
}

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

// The start of the file up to the end of its XML declaration, however long
// that is; a file without one gives its first few kilobytes.
QByteArray peekHead(QIODevice& in)
{
    qint64 want = 4096;
    QByteArray head = in.peek(want);
    const auto declarationOpen = [&] {
        const QByteArrayView h = QByteArrayView(head).startsWith("\xEF\xBB\xBF") ? QByteArrayView(head).sliced(3)
                                                                                 : QByteArrayView(head);
        return h.startsWith("<?xml") && !h.contains("?>");
    };
    while (head.size() == want && declarationOpen()) {
        want *= 2;
        head = in.peek(want);
    }
    return head;
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

// A write buffer that the writers fill with plain stores: `room` makes sure
// of space for what follows, flushing to the device (and growing, for a
// piece larger than the buffer) when needed.
class TOutBuffer
{
public:
    explicit TOutBuffer(QIODevice& out, size_t capacity = kDefaultBytes)
        : m_out(out), m_capacity(capacity), m_buf(new char[capacity]), m_pos(m_buf.get())
    {
    }

    void room(size_t n)
    {
        if (size_t(m_buf.get() + m_capacity - m_pos) >= n)
            return;
        flush();
        if (n > m_capacity) {
            m_capacity = n;
            m_buf.reset(new char[n]);
            m_pos = m_buf.get();
        }
    }
    void put(QByteArrayView t)
    {
        room(size_t(t.size()));
        std::memcpy(m_pos, t.data(), size_t(t.size()));
        m_pos += t.size();
    }
    // The next three assume `room` was asked for their bytes.
    void putChar(char c) { *m_pos++ = c; }
    void putNumber(qint64 n) { m_pos = std::to_chars(m_pos, m_pos + 24, n).ptr; }
    void putEscaped(QByteArrayView text)
    {
        for (const char c : text) {
            const TEscape& e = kEscapeOf[uint8_t(c)];
            if (e.size == 0) {
                *m_pos++ = c;
            } else {
                std::memcpy(m_pos, e.text.data(), e.size);
                m_pos += e.size;
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
    static constexpr size_t kDefaultBytes = size_t(4) << 20;
    QIODevice& m_out;
    size_t m_capacity;
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
namespace {

void writeXmlRow(TOutBuffer& buf, const TLogRowView& row)
{
    const std::array<QByteArrayView, kLogFieldCount>& prefixes = attributePrefixes();
    buf.room(64);
    buf.put("<ROW");
    if (row.rowState != 0) {
        buf.put(" RowState=\"");
        buf.putNumber(row.rowState);
        buf.putChar('"');
    }
    if (row.ANo) {
        buf.put(prefixes[fANo]);
        buf.putNumber(*row.ANo);
        buf.putChar('"');
    }
    for (int f = 1; f < kLogFieldCount; ++f) {
        if (!((row.assigned >> f) & 1u))
            continue;
        const QByteArrayView text = row.text[size_t(f)];
        buf.room(16 + size_t(kMaxEscapeBytes * text.size()));
        buf.put(prefixes[size_t(f)]);
        buf.putEscaped(text);
        buf.putChar('"');
    }
    buf.put("/>");
}

constexpr QByteArrayView kRowDataStart = "</METADATA><ROWDATA>";
// Below this a packet is read on the calling thread alone.
constexpr qint64 kMinXmlPiece = qint64(16) << 20;
constexpr QByteArrayView kPacketEnd = "</ROWDATA></DATAPACKET>";

} // namespace

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
    buf.put(kRowDataStart);
    if (!buf.flush())
        return false;

    // Parts of rows made on every core, written in order.
    constexpr qsizetype kRowsPerPart = qsizetype(1) << 13; // about a megabyte
    const qsizetype rows = store.rowCount();
    const qsizetype parts = (rows + kRowsPerPart - 1) / kRowsPerPart;
    const auto make = [&](qsizetype part, QByteArray& bytes) {
        QBuffer device(&bytes);
        device.open(QIODevice::WriteOnly);
        TOutBuffer partBuf(device, size_t(256) << 10);
        TLogRowView row;
        std::array<char, 24> scratch{};
        const qsizetype end = std::min(rows, (part + 1) * kRowsPerPart);
        for (qsizetype r = part * kRowsPerPart; r < end; ++r) {
            store.readRow(r, row, scratch);
            writeXmlRow(partBuf, row);
        }
        return partBuf.flush();
    };
    const auto take = [&](qsizetype part, const QByteArray& bytes) {
        if (out.write(bytes) != bytes.size())
            return false;
        if (progress)
            progress(std::min(rows, (part + 1) * kRowsPerPart), rows);
        return true;
    };
    if (!MakeInOrder(parts, PieceCount(rows * 180, kMinWriteBytesPerThread), make, take))
        return false;
    buf.put(kPacketEnd);
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

QByteArray XmlPacketStart()
{
    return packetHead() + "<PARAMS/>" + kRowDataStart.toByteArray();
}

QByteArray XmlRowElement(const TLogStore& store, qsizetype row)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    TOutBuffer buf(buffer, 1024);
    TLogRowView view;
    std::array<char, 24> scratch{};
    store.readRow(row, view, scratch);
    writeXmlRow(buf, view);
    (void)buf.flush();
    return bytes;
}

QByteArray XmlPacketEnd()
{
    return kPacketEnd.toByteArray();
}

bool ReadAnyXmlPacket(QIODevice& in, TLogStore& out, const TLogProgress& progress)
{
    const qint64 total = in.size();
    QByteArray head = peekHead(in);
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
// readable at the cursor unless the file ends first. The buffer starts no
// larger than the file and grows when a single piece needs more.
class TBlockInput
{
public:
    explicit TBlockInput(QIODevice& in) : m_in(in)
    {
        m_capacity = kReadBlock + kSlack;
        if (!in.isSequential())
            m_capacity = std::clamp<qint64>(in.size() - in.pos(), 0, kReadBlock) + kSlack;
        m_buf.reset(new char[size_t(m_capacity)]);
    }

    qsizetype fill(qsizetype n)
    {
        while (m_end - m_pos < n && !m_eof) {
            if (m_pos > 0) {
                std::memmove(m_buf.get(), m_buf.get() + m_pos, size_t(m_end - m_pos));
                m_end -= m_pos;
                m_pos = 0;
            }
            if (n > m_capacity) {
                const qsizetype capacity = std::max(n, 2 * m_capacity);
                std::unique_ptr<char[]> bigger(new char[size_t(capacity)]);
                std::memcpy(bigger.get(), m_buf.get(), size_t(m_end));
                m_buf = std::move(bigger);
                m_capacity = capacity;
            }
            const qint64 got = m_in.read(m_buf.get() + m_end, m_capacity - m_end);
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
    // Bytes read from the device beyond the cursor.
    [[nodiscard]] qsizetype readAhead() const { return m_end - m_pos; }

private:
    static constexpr qsizetype kSlack = qsizetype(64) << 10;
    QIODevice& m_in;
    std::unique_ptr<char[]> m_buf;
    qsizetype m_capacity = 0;
    qsizetype m_pos = 0;
    qsizetype m_end = 0;
    qint64 m_done = 0;
    bool m_eof = false;
};

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

// A reference as the writer gives it: one of the five names, or "&#" and
// decimal digits for a character that stands for a byte. At `p`, past the
// "&"; false for anything else.
bool takeReference(const char*& p, const char* end, char& byte)
{
    static constexpr std::array<std::pair<QByteArrayView, char>, 5> kNamed = {
        {{"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"apos;", '\''}, {"quot;", '"'}}};
    for (const auto& [name, c] : kNamed) {
        if (takeLiteral(p, end, name)) {
            byte = c;
            return true;
        }
    }
    if (!takeLiteral(p, end, "#"))
        return false;
    uint32_t code = 0;
    const char* q = p;
    while (q < end && q - p < 7 && *q >= '0' && *q <= '9')
        code = code * 10 + uint32_t(*q++ - '0');
    if (q == p || q >= end || *q != ';')
        return false;
    const std::optional<char> b = byteOfCodePoint(code);
    if (!b)
        return false;
    byte = *b;
    p = q + 1;
    return true;
}

// An attribute value up to its closing quote, in the form the writer gives
// it (and the raw bytes above 127 of earlier versions), nothing else. A
// value with references is decoded into `decoded`.
bool takeValue(const char*& p, const char* end, std::string& decoded, QByteArrayView& value)
{
    const auto* close = static_cast<const char*>(std::memchr(p, '"', size_t(end - p)));
    if (!close)
        return false;
    bool escaped = false;
    for (const char* q = p; q < close; ++q) {
        const auto c = uint8_t(*q);
        if (c < 0x80 && kEscapeOf[c].size != 0 && c != '&')
            return false;
        escaped |= c == '&';
    }
    if (!escaped) {
        value = QByteArrayView(p, close - p);
        p = close + 1;
        return true;
    }
    decoded.clear();
    for (const char* q = p; q < close;) {
        if (*q != '&') {
            decoded.push_back(*q++);
            continue;
        }
        ++q;
        char byte = 0;
        if (!takeReference(q, close, byte))
            return false;
        decoded.push_back(byte);
    }
    value = QByteArrayView(decoded.data(), qsizetype(decoded.size()));
    p = close + 1;
    return true;
}

// What the quick reader reads of a row at once before it asks for more.
constexpr qsizetype kQuickRowBytes = 4096;

// One ROW element as the writer gives it, at `p`; its length in bytes, or 0
// when [p, end) holds no such element (cut short, or another form).
qsizetype takeOwnRow(const char* p, const char* end, std::array<std::string, kLogFieldCount>& decoded,
                     TLogRowView& row)
{
    const char* const start = p;
    const std::array<QByteArrayView, kLogFieldCount>& prefixes = attributePrefixes();
    if (!takeLiteral(p, end, "<ROW"))
        return 0;
    if (takeLiteral(p, end, " RowState=\"")) {
        int state = 0;
        if (!takeNumber(p, end, '"', state) || state < 0 || state > 255)
            return 0;
        row.rowState = uint8_t(state);
    }
    if (takeLiteral(p, end, prefixes[fANo])) {
        qint32 n = 0;
        if (!takeNumber(p, end, '"', n))
            return 0;
        row.ANo = n;
    }
    for (int f = 1; f < kLogFieldCount; ++f) {
        if (!takeLiteral(p, end, prefixes[size_t(f)]))
            continue;
        QByteArrayView value;
        if (!takeValue(p, end, decoded[size_t(f)], value))
            return 0;
        row.setText(f, value);
    }
    if (!takeLiteral(p, end, "/>"))
        return 0;
    return p - start;
}

// The rows that start before `limit`, from the cursor on; a piece that
// reaches the closing tags checks that the file ends there (`ended`).
// `more(bytes read)` is asked before every row; false ends the reading.
TXmlQuickRead readOwnRows(TBlockInput& src, qint64 cursorAt, qint64 limit, TLogStore& out,
                          const std::function<bool(qint64)>& more, bool& ended, qint64& stoppedAt)
{
    // One per field: a row's decoded values must all stay valid until it is
    // stored, however long each is.
    std::array<std::string, kLogFieldCount> decoded;
    const qint64 start = src.done();
    for (;;) {
        if (!more(src.done() - start))
            return TXmlQuickRead::Read;
        // What starts here is the next piece's.
        if (cursorAt + (src.done() - start) >= limit) {
            stoppedAt = cursorAt + (src.done() - start);
            return TXmlQuickRead::Read;
        }
        if (src.fill(4) < 4 || std::memcmp(src.at(), "<ROW", 4) != 0) {
            // Only the closing tags may follow, and then the end of the file.
            if (!src.take(kPacketEnd) || src.fill(1) != 0)
                return TXmlQuickRead::Declined;
            ended = true;
            return TXmlQuickRead::Read;
        }
        TLogRowView row;
        qsizetype length = 0;
        // Most rows fit in what is read already. One that does not is tried
        // again with more: the writer escapes every ">" in a value, so a
        // row that failed before its first ">" may only be cut short.
        for (qsizetype want = kQuickRowBytes;; want *= 2) {
            const qsizetype avail = src.fill(want);
            row = {};
            length = takeOwnRow(src.at(), src.at() + avail, decoded, row);
            if (length > 0)
                break;
            if (avail < want || std::memchr(src.at(), '>', size_t(avail)))
                return TXmlQuickRead::Declined;
        }
        out.appendRow(row);
        src.skip(length);
    }
}

// The rows from the cursor to the end, in one piece per core for a large
// file. Every "<" in a packet of this program's opens an element (values
// have theirs escaped), so a piece starts at the first "<" at or after its
// cut and holds the rows that start before the next piece's cut; a piece
// that meets anything else declines, and with it the whole packet.
TXmlQuickRead readOwnRowsInPieces(QIODevice& in, TBlockInput& src, TLogStore& out, const TLogProgress& progress,
                                  qint64 total, std::optional<QList<qint64>> givenCuts)
{
    const qint64 rowsAt = in.isSequential() ? 0 : in.pos() - (src.readAhead());
    QList<qint64> cuts;
    if (!in.isSequential()) {
        if (givenCuts) {
            if (std::is_sorted(givenCuts->begin(), givenCuts->end()))
                for (const qint64 at : *givenCuts)
                    cuts.append(std::clamp(at, rowsAt, total));
        } else {
            const int pieces = PieceCount(total - rowsAt, kMinXmlPiece);
            for (int k = 1; k < pieces; ++k)
                cuts.append(rowsAt + (total - rowsAt) * k / pieces);
        }
    }
    std::vector<std::unique_ptr<QIODevice>> devices;
    for (qsizetype k = 0; k < cuts.size(); ++k) {
        devices.push_back(OpenAgain(in));
        if (!devices.back()) {
            cuts.clear();
            devices.clear();
        }
    }
    const int count = int(cuts.size()) + 1;
    std::vector<TLogStore> stores(size_t(count - 1));
    std::vector<std::atomic<qint64>> bytesRead(static_cast<size_t>(count));
    std::vector<TXmlQuickRead> verdicts(size_t(count), TXmlQuickRead::Read);
    std::vector<char> ended(size_t(count), 0);
    // Where each piece began and where it stopped at the next one's cut
    // (-1: it did not); the one must be the other.
    std::vector<qint64> startedAt(size_t(count), rowsAt);
    std::vector<qint64> stoppedAt(size_t(count), -1);
    std::atomic<bool> declined{false};
    qsizetype rowsAtReport = out.rowCount();
    TPieceRun run;
    const auto report = [&] {
        qint64 done = rowsAt;
        for (const auto& b : bytesRead)
            done += b.load(std::memory_order_relaxed);
        progress(std::min(done, total), total);
    };
    const auto work = [&](int k) {
        const qint64 limit = k + 1 < count ? cuts[k] : std::numeric_limits<qint64>::max();
        TLogStore& into = k == 0 ? out : stores[size_t(k - 1)];
        const auto more = [&](qint64 n) {
            bytesRead[size_t(k)].store(n, std::memory_order_relaxed);
            if (k == 0 && progress && into.rowCount() - rowsAtReport >= kProgressRows) {
                rowsAtReport = into.rowCount();
                report();
            }
            return !run.stopping() && !declined.load(std::memory_order_relaxed);
        };
        bool pieceEnded = false;
        TXmlQuickRead verdict;
        if (k == 0) {
            verdict = readOwnRows(src, rowsAt, limit, into, more, pieceEnded, stoppedAt[0]);
        } else {
            QIODevice& device = *devices[size_t(k - 1)];
            if (!device.seek(cuts[k - 1])) {
                verdict = TXmlQuickRead::Declined;
            } else {
                TBlockInput piece(device);
                // To the first "<" at or after the cut; none: an empty piece.
                qint64 skipped = 0;
                for (;;) {
                    const qsizetype avail = piece.fill(kQuickRowBytes);
                    if (avail == 0)
                        break;
                    const auto* lt = static_cast<const char*>(std::memchr(piece.at(), '<', size_t(avail)));
                    const qsizetype n = lt ? lt - piece.at() : avail;
                    piece.skip(n);
                    skipped += n;
                    if (lt)
                        break;
                }
                // A cut inside the closing tags: the piece before, which
                // holds their start, reads them to the end.
                startedAt[size_t(k)] = cuts[k - 1] + skipped;
                const bool empty = piece.fill(1) == 0 || piece.take("</DATAPACKET>");
                verdict = empty ? TXmlQuickRead::Read
                                : readOwnRows(piece, startedAt[size_t(k)], limit, into, more, pieceEnded,
                                              stoppedAt[size_t(k)]);
            }
        }
        verdicts[size_t(k)] = verdict;
        ended[size_t(k)] = pieceEnded;
        if (verdict == TXmlQuickRead::Declined)
            declined.store(true);
    };
    run.run(count, work, progress ? std::function<void()>(report) : std::function<void()>());

    // Read only when every piece was, and exactly one met the closing tags:
    // the last that held anything.
    if (declined.load() || std::count(ended.begin(), ended.end(), 1) != 1)
        return TXmlQuickRead::Declined;
    for (int k = 1; k < count; ++k)
        if (stoppedAt[size_t(k - 1)] >= 0 && stoppedAt[size_t(k - 1)] != startedAt[size_t(k)])
            return TXmlQuickRead::Declined; // bytes between that no piece read
    for (TLogStore& piece : stores)
        out.appendFrom(std::move(piece));
    return TXmlQuickRead::Read;
}

} // namespace

TXmlQuickRead ReadOwnXmlPacket(QIODevice& in, TLogStore& out, const TLogProgress& progress)
{
    return ReadOwnXmlPacketInPieces(in, out, std::nullopt, progress);
}

TXmlQuickRead ReadOwnXmlPacketInPieces(QIODevice& in, TLogStore& out, const std::optional<QList<qint64>>& cuts,
                                       const TLogProgress& progress)
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

    return readOwnRowsInPieces(in, src, out, progress, total, cuts);
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

} // namespace varnetta::log

// The log files against hostile input and awkward values: whatever a file
// holds, the readers load it or refuse it; whatever the table holds, what
// is written reads back.
#include "log/LogFiles.h"
#include "log/LogStore.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>

using namespace varnetta::log;

namespace {

QByteArray packetWithRows(const QByteArray& rows, const QByteArray& params = "<PARAMS/>")
{
    TLogStore empty;
    const QByteArray bare = XmlPacket(empty);
    const QByteArray head = bare.left(bare.indexOf("<PARAMS/>"));
    return head + params + "</METADATA><ROWDATA>" + rows + "</ROWDATA></DATAPACKET>";
}

struct TReads
{
    bool chosen = false;
    TLogStore chosenStore;
    TXmlQuickRead quick = TXmlQuickRead::Declined;
    TLogStore quickStore;
    bool any = false;
    TLogStore anyStore;
};

// The packet through ReadXmlPacket, and through each reader on its own.
std::unique_ptr<TReads> readAllWays(QByteArray bytes)
{
    auto r = std::make_unique<TReads>();
    r->chosen = ReadXmlPacket(bytes, r->chosenStore);
    QBuffer quickIn(&bytes);
    quickIn.open(QIODevice::ReadOnly);
    r->quick = ReadOwnXmlPacket(quickIn, r->quickStore);
    QBuffer anyIn(&bytes);
    anyIn.open(QIODevice::ReadOnly);
    r->any = ReadAnyXmlPacket(anyIn, r->anyStore);
    return r;
}

// Well-formed to a parser that knows nothing of this program: no encoding
// forced, so a file without declaration is taken as UTF-8.
QString xmlError(const QByteArray& bytes)
{
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd())
        xml.readNext();
    return xml.hasError() ? xml.errorString() : QString();
}

QByteArray allBytes()
{
    QByteArray b;
    for (int c = 0; c < 256; ++c)
        b.append(char(c));
    return b;
}

} // namespace

// ---- hostile XML: long values

TEST(XmlHostileLongValues, ValuesOfAnyLengthLoadAndKeepTheirFirstTwentyBytes)
{
    for (const qsizetype length : {qsizetype(4095), qsizetype(4097), qsizetype(5000), qsizetype(1) << 20}) {
        // Escaped values are the ones the quick reader decodes; plain ones it
        // only points at.
        const QByteArray escaped = QByteArray("ab&lt;&#161;").repeated(length / 12);
        const QByteArray plain = QByteArray(length, 'v');
        const QByteArray bytes =
            packetWithRows("<ROW RowState=\"4\" ANo=\"1\" AValue=\"" + escaped + "\" AUnit=\"" + plain +
                           "\" ASubUnit1=\"" + plain + "&amp;\"/><ROW RowState=\"4\" ANo=\"2\" AUnit=\"kW\"/>");
        const auto r = readAllWays(bytes);
        ASSERT_TRUE(r->chosen) << length;
        EXPECT_EQ(r->quick, TXmlQuickRead::Read) << length;
        ASSERT_TRUE(r->any) << length;
        EXPECT_TRUE(r->quickStore.sameContent(r->anyStore)) << length;
        ASSERT_EQ(r->chosenStore.rowCount(), 2);
        EXPECT_EQ(r->chosenStore.fieldText(0, fAValue), QByteArray("ab<\xA1").repeated(5));
        EXPECT_EQ(r->chosenStore.fieldText(0, fAUnit), QByteArray(20, 'v'));
        EXPECT_EQ(r->chosenStore.fieldText(0, fASubUnit1), QByteArray(20, 'v'));
        EXPECT_EQ(r->chosenStore.fieldText(1, fAUnit), "kW");
    }
}

TEST(XmlHostileLongValues, ARowLargerThanTheReadBlockLoadsFromAFile)
{
    // Eight megabytes in one value: more than the quick reader's first
    // buffer, so it has to grow it rather than give up or overrun it.
    QTemporaryDir dir;
    QFile f(dir.filePath("big.xml"));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.write(packetWithRows("<ROW ANo=\"1\" AUnit=\"" + QByteArray(8 << 20, 'x') + "&amp;\"/><ROW ANo=\"2\"/>"));
    ASSERT_TRUE(f.seek(0));
    TLogStore quick;
    EXPECT_EQ(ReadOwnXmlPacket(f, quick), TXmlQuickRead::Read);
    ASSERT_EQ(quick.rowCount(), 2);
    EXPECT_EQ(quick.fieldText(0, fAUnit), QByteArray(20, 'x'));
}

TEST(XmlHostileLongValues, LongDeclarationAndLongChangeLogAreReadToTheirEnd)
{
    const QByteArray body = packetWithRows("<ROW ANo=\"1\"/>");
    const QByteArray content = body.mid(body.indexOf("<DATAPACKET"));
    TLogStore s;
    ASSERT_TRUE(ReadXmlPacket("<?xml version=\"1.0\"" + QByteArray(20000, ' ') + "?>" + content, s));
    EXPECT_EQ(s.rowCount(), 1);

    QByteArray log;
    for (int i = 1; i <= 50000; ++i)
        log += (i > 1 ? " " : "") + QByteArray::number(i) + " 0 4";
    TLogStore t;
    ASSERT_TRUE(ReadXmlPacket(packetWithRows("<ROW ANo=\"1\"/>", "<PARAMS CHANGE_LOG=\"" + log + "\"/>"), t));
    ASSERT_EQ(t.changeLogSize(), 50000);
    EXPECT_EQ(t.changeLogEntry(49999).position, 50000);
}

// ---- hostile XML: structure, entities, truncation

TEST(XmlHostileStructure, DeepNestingIsRefusedWithoutDescending)
{
    QByteArray deep = "<DATAPACKET>";
    deep += QByteArray("<METADATA>").repeated(200000);
    TLogStore s;
    EXPECT_FALSE(ReadXmlPacket(deep, s));
    QByteArray rowsInRows = packetWithRows(QByteArray("<ROW>").repeated(100000));
    EXPECT_FALSE(ReadXmlPacket(rowsInRows, s));
}

TEST(XmlHostileStructure, EntityTricksAreRefusedOrReadLiterally)
{
    const QByteArray content = packetWithRows("<ROW AUnit=\"&e;\"/>").mid(packetWithRows("").indexOf("<DATAPACKET"));
    const std::pair<const char*, QByteArray> refused[] = {
        {"nested entities",
         "<!DOCTYPE DATAPACKET [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY e \"&a;&a;&a;&a;&a;&a;&a;&a;\">]>" + content},
        {"external entity", "<!DOCTYPE DATAPACKET [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>" + content},
        {"parameter entity", "<!DOCTYPE DATAPACKET [<!ENTITY % p \"x\"> %p;]>" + content},
        {"reference to NUL", packetWithRows("<ROW AUnit=\"&#0;\"/>")},
        {"reference to a control byte", packetWithRows("<ROW AUnit=\"&#1;\"/>")},
        {"reference to a surrogate", packetWithRows("<ROW AUnit=\"&#xD800;\"/>")},
        {"reference beyond Unicode", packetWithRows("<ROW AUnit=\"&#99999999;\"/>")},
        {"reference without digits", packetWithRows("<ROW AUnit=\"&#;\"/>")},
        {"entity in the change log", packetWithRows("", "<PARAMS CHANGE_LOG=\"&e;\"/>")},
    };
    for (const auto& [what, bytes] : refused) {
        const auto r = readAllWays(bytes);
        EXPECT_FALSE(r->chosen) << what;
        EXPECT_EQ(r->quick, TXmlQuickRead::Declined) << what;
        EXPECT_FALSE(r->any) << what;
    }

    // References the writer never uses still mean what XML says they mean,
    // and an escaped ampersand is just text.
    const auto r = readAllWays(
        packetWithRows("<ROW AUnit=\"&#x3C;&#x3e;\" AValue=\"&amp;lt;\" ASubUnit1=\"&#0065;\" ASubUnit2=\"&#57345;\"/>"));
    ASSERT_TRUE(r->chosen);
    EXPECT_EQ(r->chosenStore.fieldText(0, fAUnit), "<>");
    EXPECT_EQ(r->chosenStore.fieldText(0, fAValue), "&lt;");
    EXPECT_EQ(r->chosenStore.fieldText(0, fASubUnit1), "A");
    EXPECT_EQ(r->chosenStore.fieldText(0, fASubUnit2), QByteArray(1, '\x01'));
    EXPECT_TRUE(r->anyStore.sameContent(r->chosenStore));
}

TEST(XmlHostileTruncation, EveryCutOfAWrittenPacketIsRefused)
{
    TLogStore s;
    for (int i = 1; i <= 3; ++i) {
        TLogRow row;
        row.ANo = i;
        row.rowState = kRowStateInserted;
        row.setText(fATime, "14:05:09(2024-03-01)");
        row.setText(fAUnit, "\xA1\xA3<\x01");
        s.appendRow(row);
        s.appendChange({i, 0, kRowStateInserted});
    }
    const QByteArray whole = XmlPacket(s);
    for (qsizetype n = 0; n < whole.size(); ++n) {
        TLogStore cut;
        ASSERT_FALSE(ReadXmlPacket(whole.left(n), cut)) << "cut at " << n << ": " << whole.mid(n - 20, 20).data();
    }
    TLogStore back;
    EXPECT_TRUE(ReadXmlPacket(whole, back));
}

// ---- XML out: well-formed, and read back

TEST(XmlOutWellFormed, EveryByteInEveryFieldGivesPlainAsciiThatParsersAccept)
{
    TLogStore s;
    const QByteArray bytes = allBytes();
    for (qsizetype at = 0; at < bytes.size(); at += 18) {
        TLogRow row;
        row.ANo = qint32(at);
        // Framed so that no byte is at an end, where the field rule trims.
        for (int f = 1; f < kLogFieldCount; ++f)
            row.setText(f, "[" + bytes.mid((at + f) % bytes.size(), 18) + "]");
        s.appendRow(row);
    }
    const QByteArray written = XmlPacket(s);
    EXPECT_TRUE(std::all_of(written.begin(), written.end(), [](char c) { return uint8_t(c) < 0x80; }));
    EXPECT_EQ(xmlError(written), QString());
    EXPECT_TRUE(written.startsWith("<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET"));

    const auto r = readAllWays(written);
    ASSERT_EQ(r->quick, TXmlQuickRead::Read);
    ASSERT_TRUE(r->any);
    EXPECT_TRUE(r->quickStore.sameContent(s));
    EXPECT_TRUE(r->anyStore.sameContent(s));
}

TEST(XmlOutWellFormed, EarlierFilesWithRawEightBitBytesStillLoad)
{
    const QByteArray old = packetWithRows("<ROW RowState=\"4\" ANo=\"1\" AValue=\"\xFF\x80 1\" AUnit=\"\xA1\xA3\"/>",
                                          "<PARAMS CHANGE_LOG=\"1 0 4\"/>");
    EXPECT_NE(xmlError(old), QString()); // what other tools made of them
    const auto r = readAllWays(old);
    ASSERT_TRUE(r->chosen);
    EXPECT_EQ(r->quick, TXmlQuickRead::Read);
    EXPECT_TRUE(r->quickStore.sameContent(r->anyStore));
    EXPECT_EQ(r->chosenStore.fieldText(0, fAUnit), "\xA1\xA3");
    EXPECT_EQ(r->chosenStore.fieldText(0, fAValue), "\xFF\x80 1");
    // Saved again, they come out well-formed.
    EXPECT_EQ(xmlError(XmlPacket(r->chosenStore)), QString());
}

TEST(XmlOutWellFormed, PacketWrittenRowByRowIsCompleteAfterEveryRow)
{
    TLogStore s;
    QByteArray file = XmlPacketStart() + XmlPacketEnd();
    for (int i = 1; i <= 3; ++i) {
        TLogRow row;
        row.ANo = i;
        row.rowState = kRowStateInserted;
        row.setText(fAUnit, "\xA1\xA3");
        s.appendRow(row);
        file.insert(file.size() - XmlPacketEnd().size(), XmlRowElement(s, i - 1));
        TLogStore back;
        ASSERT_TRUE(ReadXmlPacket(file, back)) << i;
        ASSERT_EQ(back.rowCount(), i);
        EXPECT_EQ(back.row(i - 1), s.row(i - 1));
    }
    // The same rows as the whole-table writer gives, without the change log.
    EXPECT_EQ(file, XmlPacket(s));
}

// ---- text out: what is written reads back

namespace {

TLogRow awkwardRow(qint32 no)
{
    TLogRow r;
    r.ANo = no;
    r.setText(fATime, "8:00:00 (2026-01-01)");   // a blank inside
    r.setText(fAFunction, "\"quoted\"");          // begins with a quote
    r.setText(fAValue, "1\t2");                   // a tab; spaces go from values anyway
    r.setText(fAUnit, "a\"b");                    // a quote inside, not first
    r.setText(fASubValue1, QByteArray("x\0y", 3)); // NUL is no separator
    r.setText(fASubUnit1, "a\x01\x1F" "b");        // control bytes inside
    r.setText(fASubValue2, "say \"\"hi\"\"");
    r.setText(fASubUnit2, "NULL");
    return r;
}

} // namespace

TEST(TextOutReadsBack, AwkwardValuesComeBackAsTheyWereWritten)
{
    TLogStore s;
    s.appendRow(awkwardRow(1));
    TLogRow noNumber = awkwardRow(0);
    noNumber.ANo.reset();
    s.appendRow(noNumber);
    const QByteArray text = TextLog(s);

    TLogStore back;
    ASSERT_TRUE(ReadTextLog(text, back));
    ASSERT_EQ(back.rowCount(), 2);
    EXPECT_EQ(back.ANo(0), 1);
    EXPECT_EQ(back.ANo(1), std::nullopt);
    EXPECT_EQ(back.fieldText(0, fATime), "8:00:00 (2026-01-01)");
    EXPECT_EQ(back.fieldText(0, fAFunction), "\"quoted\"");
    EXPECT_EQ(back.fieldText(0, fAValue), "1\t2");
    EXPECT_EQ(back.fieldText(0, fAUnit), "a\"b");
    EXPECT_EQ(back.fieldText(0, fASubValue1), QByteArray("x\0y", 3));
    EXPECT_EQ(back.fieldText(0, fASubUnit1), "a\x01\x1F" "b");
    EXPECT_EQ(back.fieldText(0, fASubValue2), "say \"\"hi\"\"");
    EXPECT_EQ(back.fieldText(0, fASubUnit2), "NULL");
    // Read and written again, the file is the same.
    EXPECT_EQ(TextLog(back), text);
}

TEST(TextOutReadsBack, LineBreakInsideAFieldStopsTheSaveAndNamesTheRow)
{
    TLogStore s;
    TLogRow ok = awkwardRow(1);
    s.appendRow(ok);
    TLogRow broken = ok;
    broken.ANo = 7;
    broken.setText(fAUnit, "k\r\nW");
    s.appendRow(broken);
    TLogRow trailing = ok; // a line break at an end is trimmed like any control byte
    trailing.ANo = 8;
    trailing.setText(fAUnit, "kW\n");
    s.appendRow(trailing);
    TLogRow noNumber = broken;
    noNumber.ANo.reset();
    noNumber.setText(fAUnit, "kW");
    noNumber.setText(fATime, "a\rb");
    s.appendRow(noNumber);

    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_FALSE(WriteTextLog(s, buffer, DefaultTextLogHeader()));
    EXPECT_FALSE(out.contains("k\r\nW"));
    EXPECT_EQ(TextLogLineBreakRows(s, 10), (QList<qsizetype>{1, 3}));
    EXPECT_EQ(TextLogLineBreakRows(s, 1), (QList<qsizetype>{1}));
    EXPECT_EQ(TextLogLineBreakNote(s),
              "The rows No. 7, row 4 (no No.) hold a line break inside a field, which a text log cannot carry.");
    EXPECT_FALSE(TextLogRowLine(s, 1));
    EXPECT_TRUE(TextLogRowLine(s, 2));

    TLogStore clean;
    clean.appendRow(ok);
    EXPECT_TRUE(TextLogLineBreakNote(clean).isEmpty());
}

TEST(TextOutReadsBack, TextToXmlToTextIsByteIdenticalForTheProgramsOwnFiles)
{
    const QByteArray text = "No.\tTime\tFunction\tValue\tUnit\tSubValueA\tSubUnitA\tSubValueB\tSubUnitB\r\n"
                            "1\t14:05:09(2024-03-01)\tPWRP\t-1,23\tkW\t230,1\tV\t5,00\tA\r\n"
                            "2\tNULL\tANG\t12,0\t\xA1\xA3\t1,000\tA\t50,00\tHz\r\n"
                            "3\t14:05:10(2024-03-01)\tVTHDf\tNULL\t%f\tNULL\tNULL\t1.9\t%f\r\n";
    TLogStore fromText;
    ASSERT_TRUE(ReadTextLog(text, fromText));
    TLogStore fromXml;
    ASSERT_TRUE(ReadXmlPacket(XmlPacket(fromText), fromXml));
    EXPECT_EQ(TextLog(fromXml), text);
}

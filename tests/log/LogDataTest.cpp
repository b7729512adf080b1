// The log store and the two file layouts, without a window.
#include "log/LogFiles.h"
#include "log/LogStore.h"
#include "protocol/Reading.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QStringDecoder>

#include <limits>

using namespace varnetta::log;

namespace {

TLogRow recorded(qint32 no, const char* time, const char* fn, const char* value, const char* unit,
                 const char* sub1 = "1,000", const char* subUnit1 = "A", const char* sub2 = "50,00",
                 const char* subUnit2 = "Hz")
{
    TLogRow r;
    r.ANo = no;
    if (time)
        r.setText(fATime, time);
    r.setText(fAFunction, fn);
    r.setText(fAValue, value);
    r.setText(fAUnit, unit);
    r.setText(fASubValue1, sub1);
    r.setText(fASubUnit1, subUnit1);
    r.setText(fASubValue2, sub2);
    r.setText(fASubUnit2, subUnit2);
    r.rowState = kRowStateInserted;
    return r;
}

// A row read at once (as the writers read it) holds what each field gives.
void expectRowsReadAtOnceAgree(const TLogStore& s)
{
    TLogRowView view;
    std::array<char, 24> scratch{};
    for (qsizetype r = 0; r < s.rowCount(); ++r) {
        s.readRow(r, view, scratch);
        ASSERT_EQ(view.ANo, s.ANo(r)) << r;
        ASSERT_EQ(view.rowState, s.rowState(r)) << r;
        for (int f = 1; f < kLogFieldCount; ++f) {
            ASSERT_EQ(((view.assigned >> f) & 1u) == 0, s.isNull(r, f)) << r << " " << f;
            if (!s.isNull(r, f))
                ASSERT_EQ(view.text[size_t(f)], s.fieldText(r, f)) << r << " " << f;
        }
    }
}

void record(TLogStore& s, const TLogRow& r)
{
    s.appendRow(r);
    s.appendChange({qint32(s.rowCount()), 0, kRowStateInserted});
}

const QByteArray kXmlHead =
    "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
    "<FIELD attrname=\"ANo\" fieldtype=\"i4\"/>"
    "<FIELD attrname=\"ATime\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"AFunction\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"AValue\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"AUnit\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"ASubValue1\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"ASubUnit1\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"ASubValue2\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"ASubUnit2\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "</FIELDS>";

} // namespace

// ---- store

TEST(LogStoreFields, NullDiffersFromEmptyAndTextsFollowTheFieldRule)
{
    TLogStore s;
    TLogRow r;
    r.ANo = 7;
    r.setText(fATime, "");                           // empty, not null
    r.setText(fAValue, "  -0,123   ");               // leading blanks stay
    r.setText(fAUnit, "abcdefghijklmnopqrstuvwxyz"); // cut to 20
    r.setText(fASubValue1, "1234567890123456789 x"); // cut, then trailing blank dropped
    s.appendRow(r);

    EXPECT_FALSE(s.isNull(0, fATime));
    EXPECT_EQ(s.fieldText(0, fATime), "");
    EXPECT_TRUE(s.isNull(0, fAFunction));
    EXPECT_EQ(s.fieldText(0, fAValue), "  -0,123");
    EXPECT_EQ(s.fieldText(0, fAUnit), "abcdefghijklmnopqrst");
    EXPECT_EQ(s.fieldText(0, fASubValue1), "1234567890123456789");
    EXPECT_EQ(s.fieldText(0, fANo), "7");
    EXPECT_EQ(s.row(0), r);
    expectRowsReadAtOnceAgree(s);
}

TEST(LogStoreFields, TimeStampsAndLookAlikesReadBackExactly)
{
    TLogStore s;
    const char* times[] = {"14:05:09(2024-03-01)",
                           "14.05.09(2024-03-01)",
                           "99:99:99(9999-99-99)",
                           "14:05:09(2024-03-01",
                           "14:05.09(2024-03-01)",
                           "NULL",
                           "a"};
    for (const char* t : times) {
        TLogRow r;
        r.setText(fATime, t);
        r.setText(fAValue, "1");
        s.appendRow(r);
    }
    for (int i = 0; i < int(std::size(times)); ++i) {
        EXPECT_EQ(s.fieldText(i, fATime), QByteArray(times[i])) << i;
        EXPECT_EQ(s.fieldText(i, fAValue), "1") << i;
    }
    expectRowsReadAtOnceAgree(s);
}

TEST(LogStoreFields, ManyDistinctUnitsAndFunctionsStillReadBack)
{
    TLogStore s;
    // More distinct texts than the interned dictionaries hold.
    for (int i = 0; i < 70000; ++i) {
        TLogRow r;
        r.ANo = i;
        r.setText(fAFunction, "F" + QByteArray::number(i));
        r.setText(fAUnit, "U" + QByteArray::number(i));
        r.setText(fASubUnit2, "W" + QByteArray::number(i % 3));
        r.setText(fAValue, QByteArray::number(i));
        s.appendRow(r);
    }
    for (int i : {0, 254, 255, 256, 65534, 65535, 69999}) {
        EXPECT_EQ(s.fieldText(i, fAFunction), "F" + QByteArray::number(i)) << i;
        EXPECT_EQ(s.fieldText(i, fAUnit), "U" + QByteArray::number(i)) << i;
        EXPECT_EQ(s.fieldText(i, fASubUnit2), "W" + QByteArray::number(i % 3)) << i;
        EXPECT_EQ(s.fieldText(i, fAValue), QByteArray::number(i)) << i;
        EXPECT_TRUE(s.isNull(i, fASubUnit1));
    }
    expectRowsReadAtOnceAgree(s);
}

namespace {
// Row `i` of a log whose texts are short in most chunks of 65,536 rows and
// at full width in every seventh from the second, so that a chunk's text
// bytes outgrow or undershoot what the chunk before let the store expect,
// some of them when the memory it was given has no room left.
TLogRow growingRow(qsizetype i)
{
    const bool wide = (i >> 16) % 7 == 1;
    TLogRow r;
    r.ANo = qint32(i);
    r.rowState = uint8_t(i % 5);
    r.setText(fATime, i % 7 == 0 ? QByteArray("not a time") : "10:00:00(2026-01-01)");
    r.setText(fAFunction, "PWR");
    const QByteArray number = QByteArray::number(i);
    r.setText(fAValue, wide ? number.rightJustified(20, '9') : number.right(2));
    r.setText(fAUnit, "kW");
    if (i % 3 != 0)
        r.setText(fASubValue1, wide ? number.leftJustified(20, '-') : QByteArray("1"));
    r.setText(fASubValue2, wide ? QByteArray(20, char('a' + i % 26)) : QByteArray());
    return r;
}
} // namespace

TEST(LogStoreBlocks, TextsThatOutgrowOrUndershootTheirChunkReadBack)
{
    constexpr qsizetype kRows = 9 * 65536 + 123;
    TLogStore s;
    for (qsizetype i = 0; i < kRows; ++i)
        s.appendRow(growingRow(i));
    ASSERT_EQ(s.rowCount(), kRows);
    for (qsizetype i = 0; i < kRows; ++i)
        ASSERT_EQ(s.row(i), growingRow(i)) << i;
    expectRowsReadAtOnceAgree(s);

    // Moved into another table, which goes on taking rows in its last chunk.
    TLogStore moved;
    moved.appendFrom(std::move(s));
    EXPECT_EQ(s.rowCount(), 0);
    for (qsizetype i = kRows; i < kRows + 70000; ++i)
        moved.appendRow(growingRow(i));
    for (qsizetype i = kRows - 70000; i < kRows + 70000; ++i)
        ASSERT_EQ(moved.row(i), growingRow(i)) << i;

    // A cleared table starts afresh.
    moved.clear();
    moved.appendRow(growingRow(65536));
    EXPECT_EQ(moved.row(0), growingRow(65536));
    EXPECT_GT(moved.memoryBytes(), 0);
}

TEST(LogStoreChangeLog, EntriesKeepTheirOrderAcrossRunsAndAppends)
{
    TLogStore a;
    const std::vector<TChangeEntry> entries = {{1, 0, 4}, {2, 0, 4}, {5, 0, 4},
                                               {6, 1, 4}, {7, 1, 4}, {3, 0, 2}};
    for (const auto& e : entries)
        a.appendChange(e);
    ASSERT_EQ(a.changeLogSize(), qsizetype(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(a.changeLogEntry(qsizetype(i)), entries[i]) << i;

    TLogStore b;
    record(b, recorded(1, "", "PF", "1", ""));
    TLogStore c;
    record(c, recorded(9, "", "RF", "2", ""));
    record(c, recorded(8, "", "RF", "3", ""));
    b.appendFrom(std::move(c));
    ASSERT_EQ(b.rowCount(), 3);
    EXPECT_EQ(c.rowCount(), 0);
    EXPECT_EQ(b.fieldText(2, fANo), "8");
    ASSERT_EQ(b.changeLogSize(), 3);
    EXPECT_EQ(b.changeLogEntry(2).position, 3);

    b.clear();
    EXPECT_EQ(b.rowCount(), 0);
    EXPECT_EQ(b.changeLogSize(), 0);
}

// ---- XML data packet

TEST(XmlPacketBytes, EmptyTableGivesFieldsPlainParamsAndEmptyRowData)
{
    TLogStore s;
    EXPECT_EQ(XmlPacket(s), kXmlHead + "<PARAMS/></METADATA><ROWDATA></ROWDATA></DATAPACKET>");
}

TEST(XmlPacketBytes, RowsCarryStateNullsEmptiesAndEscapes)
{
    TLogStore s;
    record(s, recorded(1, "14:05:09(2024-03-01)", "PWRP", "1,234", "kW"));
    record(s, recorded(2, nullptr, "ANG", "12,0", "\xA1\xA3")); // a memory record: no time, 8-bit unit
    TLogRow odd;
    odd.ANo = 3;
    odd.setText(fATime, "");
    odd.setText(fAValue, "<>&'\"\r\n\t\\x");
    s.appendRow(odd); // row state 0, not in the change log

    const QByteArray expected =
        kXmlHead + "<PARAMS CHANGE_LOG=\"1 0 4 2 0 4\"/></METADATA><ROWDATA>"
                   "<ROW RowState=\"4\" ANo=\"1\" ATime=\"14:05:09(2024-03-01)\" AFunction=\"PWRP\" "
                   "AValue=\"1,234\" AUnit=\"kW\" ASubValue1=\"1,000\" ASubUnit1=\"A\" ASubValue2=\"50,00\" "
                   "ASubUnit2=\"Hz\"/>"
                   "<ROW RowState=\"4\" ANo=\"2\" AFunction=\"ANG\" AValue=\"12,0\" AUnit=\"&#161;&#163;\" "
                   "ASubValue1=\"1,000\" ASubUnit1=\"A\" ASubValue2=\"50,00\" ASubUnit2=\"Hz\"/>"
                   "<ROW ANo=\"3\" ATime=\"\" AValue=\"&lt;&gt;&amp;&apos;&quot;&#013;&#010;&#009;&#092;x\"/>"
                   "</ROWDATA></DATAPACKET>";
    EXPECT_EQ(XmlPacket(s), expected);
}

TEST(XmlPacketRoundTrip, ReadingAndWritingAgainGivesTheSameBytes)
{
    TLogStore s;
    for (int i = 1; i <= 5; ++i)
        record(s, recorded(i, i % 2 ? "14:05:09(2024-03-01)" : nullptr, "VHARM", "3,1", "%"));
    TLogRow odd;
    odd.setText(fAValue, "a<b>\"c\"\r\n\\ \xFF\x80");
    odd.rowState = 2;
    s.appendRow(odd);
    s.appendChange({9, 3, 1});
    const QByteArray first = XmlPacket(s);

    TLogStore back;
    ASSERT_TRUE(ReadXmlPacket(first, back));
    ASSERT_EQ(back.rowCount(), s.rowCount());
    for (qsizetype r = 0; r < s.rowCount(); ++r)
        EXPECT_EQ(back.row(r), s.row(r)) << r;
    EXPECT_EQ(XmlPacket(back), first);
}

TEST(XmlPacketReading, Utf8FilesAreConvertedToTheEightBitCodePage)
{
    const QByteArray degree = "\xC2\xB0"; // U+00B0 in UTF-8
    const QByteArray body = kXmlHead.mid(kXmlHead.indexOf("<DATAPACKET")) +
                            "<PARAMS/></METADATA><ROWDATA><ROW ANo=\"1\" AUnit=\"" + degree +
                            "\"/></ROWDATA></DATAPACKET>";
    const QByteArray eightBit = varnetta::protocol::EightBitText(QString(QChar(0x00B0)));

    TLogStore withBom;
    ASSERT_TRUE(ReadXmlPacket("\xEF\xBB\xBF" + body, withBom));
    EXPECT_EQ(withBom.fieldText(0, fAUnit), eightBit);

    TLogStore declared;
    ASSERT_TRUE(ReadXmlPacket("<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + body, declared));
    EXPECT_EQ(declared.fieldText(0, fAUnit), eightBit);

    // Declared UTF-8 but not valid UTF-8: the bytes are taken as they are.
    TLogStore invalid;
    const QByteArray raw = QByteArray(body).replace(degree, "\xA1\xA3");
    ASSERT_TRUE(ReadXmlPacket("<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + raw, invalid));
    EXPECT_EQ(invalid.fieldText(0, fAUnit), "\xA1\xA3");
}

TEST(XmlPacketReading, AcceptsOtherWidthsExtraFieldsAndRowsWithoutState)
{
    QByteArray text = kXmlHead;
    text.replace("<FIELD attrname=\"AUnit\" fieldtype=\"string\" WIDTH=\"20\"/>",
                 "<FIELD attrname=\"AUnit\" fieldtype=\"string\" WIDTH=\"8\"/><FIELD attrname=\"X\" "
                 "fieldtype=\"r8\"/>");
    text.replace("\"i4\"", "\"i2\"");
    text += "<PARAMS LCID=\"1033\"/></METADATA><ROWDATA><ROW ANo=\"-5\" X=\"1.5\"/></ROWDATA></DATAPACKET>";
    TLogStore s;
    ASSERT_TRUE(ReadXmlPacket(text, s));
    ASSERT_EQ(s.rowCount(), 1);
    EXPECT_EQ(s.ANo(0), -5);
    EXPECT_EQ(s.rowState(0), 0);
    EXPECT_TRUE(s.isNull(0, fATime));
    EXPECT_EQ(s.changeLogSize(), 0);
}

class XmlPacketRejects : public ::testing::TestWithParam<std::pair<const char*, QByteArray>>
{
};

TEST_P(XmlPacketRejects, MalformedOrForeignPackets)
{
    TLogStore s;
    EXPECT_FALSE(ReadXmlPacket(GetParam().second, s)) << GetParam().first;

    // Neither reader on its own lets it through.
    QByteArray bytes = GetParam().second;
    QBuffer quickIn(&bytes);
    quickIn.open(QIODevice::ReadOnly);
    TLogStore quick;
    EXPECT_EQ(ReadOwnXmlPacket(quickIn, quick), TXmlQuickRead::Declined) << GetParam().first;
    QBuffer anyIn(&bytes);
    anyIn.open(QIODevice::ReadOnly);
    TLogStore any;
    EXPECT_FALSE(ReadAnyXmlPacket(anyIn, any)) << GetParam().first;
}

namespace {
QByteArray packet(const QByteArray& params, const QByteArray& rows)
{
    return kXmlHead + params + "</METADATA><ROWDATA>" + rows + "</ROWDATA></DATAPACKET>";
}
QByteArray withoutField(const char* name)
{
    QByteArray p = packet("<PARAMS/>", "");
    const QByteArray field = "<FIELD attrname=\"" + QByteArray(name) + "\"";
    const qsizetype at = p.indexOf(field);
    return p.remove(at, p.indexOf("/>", at) + 2 - at);
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlPacketRejects,
    ::testing::Values(
        std::make_pair("empty", QByteArray()), std::make_pair("not xml", QByteArray("hello")),
        std::make_pair("cut short", packet("<PARAMS/>", "<ROW ANo=\"1\"/>").chopped(5)),
        std::make_pair("missing field", withoutField("ASubUnit2")),
        std::make_pair("missing ANo", withoutField("ANo")),
        std::make_pair("ANo of text type",
                       QByteArray(packet("<PARAMS/>", "")).replace("\"i4\"", "\"string\"")),
        std::make_pair("text of number type",
                       QByteArray(packet("<PARAMS/>", ""))
                           .replace("AUnit\" fieldtype=\"string\"", "AUnit\" fieldtype=\"i4\"")),
        std::make_pair("ANo not a number", packet("<PARAMS/>", "<ROW ANo=\"x1\"/>")),
        std::make_pair("ANo too large", packet("<PARAMS/>", "<ROW ANo=\"99999999999\"/>")),
        std::make_pair("RowState not a number", packet("<PARAMS/>", "<ROW RowState=\"a\"/>")),
        std::make_pair("change log not in threes", packet("<PARAMS CHANGE_LOG=\"1 0 4 2\"/>", "")),
        std::make_pair("change log with a word", packet("<PARAMS CHANGE_LOG=\"1 0 x\"/>", "")),
        std::make_pair("nested row", packet("<PARAMS/>", "<ROW ANo=\"1\"><ROW/></ROW>")),
        std::make_pair("text inside rows", packet("<PARAMS/>", "junk")),
        std::make_pair("other root", QByteArray("<?xml version=\"1.0\"?><TABLE/>")),
        std::make_pair("bom then text", QByteArray("\xEF\xBB\xBFx<DATAPACKET/>")),
        std::make_pair("trailing element", packet("<PARAMS/>", "") + "<X/>"),
        std::make_pair("undeclared entity", packet("<PARAMS/>", "<ROW AUnit=\"&foo;\"/>")),
        std::make_pair("document type with entities",
                       QByteArray("<?xml version=\"1.0\"?><!DOCTYPE DATAPACKET [<!ENTITY a \"aaaaaaaa\">]>") +
                           packet("<PARAMS/>", "<ROW AUnit=\"&a;\"/>").mid(kXmlHead.indexOf("<DATAPACKET"))),
        std::make_pair("bytes below blank", packet("<PARAMS/>", "<ROW AUnit=\"\x01\"/>")),
        // Close to what the program writes, which is where the quick reader looks.
        std::make_pair("cut inside a row", packet("<PARAMS/>", "<ROW RowState=\"4\" ANo=\"1\" AUnit=\"k")),
        std::make_pair("cut after the rows", packet("<PARAMS/>", "<ROW ANo=\"1\"/>").chopped(13)),
        std::make_pair("RowState too large", packet("<PARAMS/>", "<ROW RowState=\"256\" ANo=\"1\"/>")),
        std::make_pair("ANo one past the largest", packet("<PARAMS/>", "<ROW ANo=\"2147483648\"/>")),
        std::make_pair("value never closed", packet("<PARAMS/>", "<ROW ANo=\"1\" AUnit=\"kW/>")),
        std::make_pair("replacement without semicolon", packet("<PARAMS/>", "<ROW AUnit=\"&lt\"/>")),
        std::make_pair("raw less-than in a value", packet("<PARAMS/>", "<ROW AUnit=\"<\"/>")),
        std::make_pair("row not closed", packet("<PARAMS/>", "<ROW ANo=\"1\">")),
        std::make_pair("change log cut", packet("<PARAMS CHANGE_LOG=\"1 0 4 2 0\"/>", "")),
        std::make_pair("change log number too large", packet("<PARAMS CHANGE_LOG=\"1 0 99999999999\"/>", "")),
        std::make_pair("second root after the packet", packet("<PARAMS/>", "") + packet("<PARAMS/>", ""))));

// ---- the quick XML reader against the general one

namespace {

void expectSameStore(const TLogStore& a, const TLogStore& b, const char* what)
{
    ASSERT_EQ(a.rowCount(), b.rowCount()) << what;
    for (qsizetype r = 0; r < a.rowCount(); ++r)
        ASSERT_EQ(a.row(r), b.row(r)) << what << " row " << r;
    ASSERT_EQ(a.changeLogSize(), b.changeLogSize()) << what;
    for (qsizetype i = 0; i < a.changeLogSize(); ++i)
        ASSERT_EQ(a.changeLogEntry(i), b.changeLogEntry(i)) << what << " change " << i;
}

struct TBothReads
{
    TXmlQuickRead quickResult;
    TLogStore quick;
    bool anyResult;
    TLogStore any;
};

TBothReads readBoth(QByteArray bytes)
{
    TBothReads r;
    QBuffer quickIn(&bytes);
    quickIn.open(QIODevice::ReadOnly);
    r.quickResult = ReadOwnXmlPacket(quickIn, r.quick);
    QBuffer anyIn(&bytes);
    anyIn.open(QIODevice::ReadOnly);
    r.anyResult = ReadAnyXmlPacket(anyIn, r.any);
    return r;
}

// Rows with every escaped byte, empty and null texts, 8-bit bytes, the
// extremes of ANo and row states other than 4.
void fillOddRows(TLogStore& s, int rows)
{
    const QByteArray special = "<>&'\"\r\n\t\\";
    for (int i = 0; i < rows; ++i) {
        TLogRow r;
        if (i % 7 != 3)
            r.ANo = i % 11 == 0   ? std::numeric_limits<qint32>::min() + i
                    : i % 13 == 0 ? std::numeric_limits<qint32>::max() - i
                                  : i - 50;
        for (int f = 1; f < kLogFieldCount; ++f) {
            const int pick = (i + f) % 6;
            if (pick == 0)
                continue; // null
            if (pick == 1)
                r.setText(f, "");
            else if (pick == 2)
                r.setText(f, QByteArray(20, special[(i + f) % special.size()]));
            else if (pick == 3)
                r.setText(f, QByteArray("x\xA1\xA3\xFF\x80 ") + QByteArray::number(i));
            else
                r.setText(f, QByteArray::number(i * f) + special.mid((i + f) % special.size(), 1));
        }
        r.rowState = uint8_t(i % 5 == 0 ? 0 : i % 5 == 1 ? 4 : i % 256);
        s.appendRow(r);
        if (i % 3 != 0)
            s.appendChange({qint32(i + 1), i % 4 == 0 ? -i : 0, i % 2 ? 4 : 1});
    }
}

} // namespace

TEST(XmlQuickReader, ReadsEveryPacketTheProgramWritesAsTheGeneralReaderDoes)
{
    TLogStore empty;
    TLogStore recordedRows;
    for (int i = 1; i <= 20; ++i)
        record(recordedRows, recorded(i, i % 3 ? "14:05:09(2024-03-01)" : nullptr, "PWRP", "1,234", "kW"));
    TLogStore odd;
    fillOddRows(odd, 300);
    // Rows near the most escaping there can be, over more than one read block.
    TLogStore large;
    fillOddRows(large, 30000);

    for (const auto& [what, store] : {std::pair<const char*, const TLogStore*>{"empty", &empty},
                                      {"recorded", &recordedRows},
                                      {"odd", &odd},
                                      {"large", &large}}) {
        const QByteArray bytes = XmlPacket(*store);
        const TBothReads r = readBoth(bytes);
        ASSERT_EQ(r.quickResult, TXmlQuickRead::Read) << what;
        ASSERT_TRUE(r.anyResult) << what;
        expectSameStore(r.quick, r.any, what);
        expectSameStore(r.quick, *store, what);
        EXPECT_EQ(XmlPacket(r.quick), bytes) << what;
    }
    EXPECT_GT(XmlPacket(large).size(), qsizetype(8) << 20); // the test crossed blocks
}

TEST(XmlQuickReader, LeavesOtherWellFormedPacketsToTheGeneralReader)
{
    const QByteArray row = "<ROW RowState=\"4\" ANo=\"7\" AUnit=\"kW\"/>";
    const QByteArray own = packet("<PARAMS CHANGE_LOG=\"1 0 4\"/>", row);
    const std::pair<const char*, QByteArray> variants[] = {
        {"blanks after the end", own + " \r\n"},
        {"comment between rows", packet("<PARAMS/>", row + "<!-- x -->" + row)},
        {"attributes in another order", packet("<PARAMS/>", "<ROW AUnit=\"kW\" ANo=\"7\"/>")},
        {"state after the number", packet("<PARAMS/>", "<ROW ANo=\"7\" RowState=\"4\"/>")},
        {"single quotes", packet("<PARAMS/>", "<ROW ANo='7' AUnit='k\"W'/>")},
        {"two blanks", packet("<PARAMS/>", "<ROW  ANo=\"7\"/>")},
        {"end tag instead of empty element", packet("<PARAMS/>", "<ROW ANo=\"7\"></ROW>")},
        {"hexadecimal character reference", packet("<PARAMS/>", "<ROW AUnit=\"&#x41;\"/>")},
        {"reference to a character beyond a byte", packet("<PARAMS/>", "<ROW AUnit=\"&#256;\"/>")},
        {"raw greater-than and apostrophe", packet("<PARAMS/>", "<ROW AUnit=\"a>'b\"/>")},
        {"raw tab, read as a blank", packet("<PARAMS/>", "<ROW AUnit=\"a\tb\"/>")},
        {"number with a plus sign", packet("<PARAMS/>", "<ROW ANo=\"+7\"/>")},
        {"other width", QByteArray(own).replace("WIDTH=\"20\"", "WIDTH=\"8\"")},
        {"change log with wider gaps", packet("<PARAMS CHANGE_LOG=\" 1  0 4 \"/>", row)},
        {"field unknown to the log", packet("<PARAMS/>", "<ROW ANo=\"7\" X=\"1\"/>")},
        {"no declaration", own.mid(own.indexOf("<DATAPACKET"))},
    };
    for (const auto& [what, bytes] : variants) {
        const TBothReads r = readBoth(bytes);
        EXPECT_EQ(r.quickResult, TXmlQuickRead::Declined) << what;
        ASSERT_TRUE(r.anyResult) << what;
        TLogStore chosen;
        ASSERT_TRUE(ReadXmlPacket(bytes, chosen)) << what;
        expectSameStore(chosen, r.any, what);
    }
    // The general reader's reading of the raw tab: attribute values turn it into a blank.
    TLogStore tab;
    ASSERT_TRUE(ReadXmlPacket(packet("<PARAMS/>", "<ROW AUnit=\"a\tb\"/>"), tab));
    EXPECT_EQ(tab.fieldText(0, fAUnit), "a b");
}

// ---- tab-separated text

TEST(TextLogBytes, HeaderNullRuleAndSpaceRemoval)
{
    TLogStore s;
    EXPECT_EQ(TextLog(s), "No.\tTime\tFunction\tValue\tUnit\tSubValueA\tSubUnitA\tSubValueB\tSubUnitB\r\n");

    record(s, recorded(1, "14:05:09(2024-03-01)", "PWRP", " - 1,2 3", "kW"));
    TLogRow memory = recorded(2, nullptr, "PF", "0,99", "");
    memory.setText(fASubUnit1, " \x01 ");
    s.appendRow(memory);
    EXPECT_EQ(TextLog(s).mid(TextLog(s).indexOf("\r\n") + 2),
              "1\t14:05:09(2024-03-01)\tPWRP\t-1,23\tkW\t1,000\tA\t50,00\tHz\r\n"
              "2\tNULL\tPF\t0,99\tNULL\t1,000\tNULL\t50,00\tHz\r\n");
}

class TextLogItems : public ::testing::TestWithParam<std::pair<QByteArray, QList<QByteArray>>>
{
};

TEST_P(TextLogItems, SplitAsTheReaderSeesThem)
{
    EXPECT_EQ(SplitTextLogItems(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextLogItems,
    ::testing::Values(std::make_pair(QByteArray("1\t2\t\t3"), QList<QByteArray>{"1", "2", "3"}),
                      std::make_pair(QByteArray("  a b\x01\x1F"
                                                "c  "),
                                     QList<QByteArray>{"a", "b", "c"}),
                      std::make_pair(QByteArray("\"a b\"\t\"say \"\"hi\"\"\""),
                                     QList<QByteArray>{"a b", "say \"hi\""}),
                      std::make_pair(QByteArray("\"\"\tx"), QList<QByteArray>{"", "x"}),
                      std::make_pair(QByteArray("\"open end"), QList<QByteArray>{"open end"}),
                      std::make_pair(QByteArray("\"ab\"cd"), QList<QByteArray>{"ab", "cd"}),
                      std::make_pair(QByteArray(" \t "), QList<QByteArray>{})));

TEST(TextLogReading, HeaderDroppedLineEndingsAndNullText)
{
    TLogStore s;
    ASSERT_TRUE(ReadTextLog("first line is dropped 1 2 3\r\n5\tNULL\tPF\r3\t\t\tx\ny z\n\r\n\r\n7", s) ==
                false);
    // "y z": ANo "y" is no integer; rows before it stay.
    ASSERT_EQ(s.rowCount(), 2);
    EXPECT_EQ(s.ANo(0), 5);
    EXPECT_EQ(s.fieldText(0, fATime), "NULL");
    EXPECT_TRUE(s.isNull(0, fAValue));
    EXPECT_EQ(s.fieldText(1, fATime), "x"); // empty fields vanish, later items move up
    EXPECT_EQ(s.rowState(1), kRowStateInserted);
    ASSERT_EQ(s.changeLogSize(), 2);
    EXPECT_EQ(s.changeLogEntry(1).position, 2);

    TLogStore t;
    ASSERT_TRUE(ReadTextLog("h\r\n\r\n7\tonly\r\n", t));
    ASSERT_EQ(t.rowCount(), 1);
    EXPECT_EQ(t.fieldText(0, fATime), "only");
}

TEST(TextLogReading, FailuresKeepEarlierRowsAndNoHalfRow)
{
    TLogStore tooMany;
    EXPECT_FALSE(ReadTextLog("h\r\n1 a\r\n2 b\r\n3 a b c d e f g h i\r\n4 d\r\n", tooMany));
    ASSERT_EQ(tooMany.rowCount(), 2);
    EXPECT_EQ(tooMany.ANo(1), 2);
    EXPECT_EQ(tooMany.changeLogSize(), 2);

    // A No. that is no number, high bytes and all, fails its line.
    for (const QByteArray& no : {QByteArray(9, char(0xFF)), QByteArray("12345678x"), QByteArray("-")}) {
        TLogStore notANumber;
        EXPECT_FALSE(ReadTextLog("h\r\n1 a\r\n" + no + " b\r\n", notANumber)) << no.toHex().constData();
        EXPECT_EQ(notANumber.rowCount(), 1);
    }

    TLogStore nine;
    EXPECT_TRUE(ReadTextLog("h\r\n3 a b c d e f g h\r\n", nine));
    EXPECT_EQ(nine.fieldText(0, fASubUnit2), "h");

    TLogStore empty;
    EXPECT_FALSE(ReadTextLog(QByteArray(), empty));
    TLogStore headerOnly;
    EXPECT_TRUE(ReadTextLog("No.\tTime", headerOnly));
    EXPECT_EQ(headerOnly.rowCount(), 0);
}

TEST(TextLogReading, QuotedItemsInManyFieldsOfOneLine)
{
    TLogStore s;
    const QByteArray line = "\"1\" \"a \"\"b\"\"\" c \"\"\t\"x y\" \"open";
    ASSERT_TRUE(ReadTextLog("h\r\n" + line + "\r\n", s));
    ASSERT_EQ(s.rowCount(), 1);
    const QList<QByteArray> items = SplitTextLogItems(line);
    ASSERT_EQ(items.size(), 6);
    EXPECT_EQ(s.ANo(0), 1);
    for (int f = 1; f < items.size(); ++f)
        EXPECT_EQ(s.fieldText(0, f), items[f]) << f;
    EXPECT_EQ(s.fieldText(0, fATime), "a \"b\"");
    EXPECT_FALSE(s.isNull(0, fAValue)); // "" is the empty text, not null
    EXPECT_TRUE(s.isNull(0, fASubUnit1));
}

TEST(TextLogRoundTrip, SavedRowsReadBackAfterTheHeader)
{
    TLogStore s;
    record(s, recorded(1, "14:05:09(2024-03-01)", "PWRP", "1,234", "kW"));
    record(s, recorded(2, nullptr, "ANG", "12,0", "\xA1\xA3"));
    TLogStore back;
    ASSERT_TRUE(ReadTextLog(TextLog(s), back));
    ASSERT_EQ(back.rowCount(), 2);
    EXPECT_EQ(back.fieldText(0, fATime), "14:05:09(2024-03-01)");
    EXPECT_EQ(back.fieldText(1, fATime), "NULL");
    EXPECT_EQ(back.fieldText(1, fAUnit), "\xA1\xA3");
    EXPECT_EQ(TextLog(back), TextLog(s));
}

TEST(LogFileNames, ExtensionDecidesTheLayout)
{
    EXPECT_EQ(LogFileKind("LOG.XML"), TLogFileKind::Xml);
    EXPECT_EQ(LogFileKind("log.xls"), TLogFileKind::Text);
    EXPECT_EQ(LogFileKind("log.xml.txt"), TLogFileKind::Text);
    EXPECT_EQ(LogSaveFileName("log.dat"), "log.dat.xls");
    EXPECT_EQ(LogSaveFileName("a.TXT"), "a.TXT");
    EXPECT_EQ(LogSaveFileName("a.Xml"), "a.Xml");
}

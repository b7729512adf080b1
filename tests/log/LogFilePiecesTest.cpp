// Files read in pieces side by side: whatever the cuts, the rows, the
// change log and the verdict are those of reading the file in one go; and
// stores filled apart join into the table one store would have been.
#include "log/LogFiles.h"
#include "log/LogFileThreads.h"
#include "log/LogStore.h"

#include <gtest/gtest.h>

#include <QBuffer>

#include <array>
#include <cstring>
#include <random>
#include <stdexcept>

using namespace varnetta::log;

namespace {

// Every way a line can end, quoted separators, empty and null items, a
// blank line and a last line without its end.
const QByteArray kAwkward = "No.\tTime\tFunction\tValue\tUnit\tSubValueA\tSubUnitA\tSubValueB\tSubUnitB\r\n"
                            "1\t10:00:00(2026-01-01)\tPOWER\t1.5\tkW\t230.1\tV\t6.5\tA\r\n"
                            "2\t10:00:01(2026-01-01)\t\"AC V\"\t\"1 2\"\tV\r"
                            "NULL\t10:00:02(2026-01-01)\tHz\t50.0\tHz\n"
                            "\r\n"
                            "4\t\"say \"\"hi\"\"\"\tDC\tOL\tmV\tNULL\tNULL\tNULL\tNULL\n\r"
                            "5\t10:00:04(2026-01-01)\tPOWER\t-0.7\tkW\t229.9\tV\t3.1\tA\r\r\n"
                            "6\t10:00:05(2026-01-01)\tPF\t0.98";

struct TRead
{
    bool ok = false;
    TLogStore store;
};

std::unique_ptr<TRead> readInPieces(QByteArray bytes, const QList<qint64>& splits, qsizetype block,
                                    const TLogStore* before = nullptr)
{
    auto r = std::make_unique<TRead>();
    if (before)
        r->store = TLogStore::tailFor(*before);
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    r->ok = ReadTextLogInPieces(in, r->store, splits, {}, block);
    return r;
}

void expectSameRead(const QByteArray& bytes, const QList<qint64>& splits, qsizetype block, const TRead& whole)
{
    const auto cut = readInPieces(bytes, splits, block);
    ASSERT_EQ(cut->ok, whole.ok) << "cuts " << splits.size() << " first " << splits.value(0) << " block " << block;
    EXPECT_EQ(cut->store.rowCount(), whole.store.rowCount()) << "cut at " << splits.value(0) << ", " << splits.value(1);
    EXPECT_TRUE(cut->store.sameContent(whole.store)) << "cut at " << splits.value(0) << ", " << splits.value(1);
}

QByteArray manyRows(int rows)
{
    QByteArray text = "No.\tTime\tFunction\tValue\tUnit\tSubValueA\tSubUnitA\tSubValueB\tSubUnitB\r\n";
    for (int i = 1; i <= rows; ++i)
        text += QByteArray::number(i) + "\t10:00:00(2026-01-01)\tPOWER\t" + QByteArray::number(i % 997) +
                ".5\tkW\t230\tV\t" + QByteArray::number(i % 13) + "\tA\r\n";
    return text;
}

} // namespace

TEST(TextLogInPieces, AnyOneCutGivesTheRowsOfTheWholeFile)
{
    const auto whole = readInPieces(kAwkward, {}, 1 << 20);
    ASSERT_TRUE(whole->ok);
    ASSERT_EQ(whole->store.rowCount(), 6);
    for (const qsizetype block : {1, 3, 1 << 20})
        for (qint64 at = 0; at <= kAwkward.size() + 1; ++at)
            expectSameRead(kAwkward, {at}, block, *whole);
}

TEST(TextLogInPieces, AnyTwoCutsGiveTheRowsOfTheWholeFile)
{
    const auto whole = readInPieces(kAwkward, {}, 1 << 20);
    for (qint64 a = 1; a < kAwkward.size(); a += 5)
        for (qint64 b = a; b < kAwkward.size(); b += 7)
            expectSameRead(kAwkward, {a, b}, 2, *whole);
}

TEST(TextLogInPieces, AFailingLineKeepsTheRowsBeforeItWhereverTheCut)
{
    QByteArray bytes = kAwkward;
    bytes.insert(bytes.indexOf("5\t10:00:04"), "x\t1\t2\t3\t4\t5\t6\t7\t8\t9\r\n"); // ten items: no row
    const auto whole = readInPieces(bytes, {}, 1 << 20);
    ASSERT_FALSE(whole->ok);
    ASSERT_EQ(whole->store.rowCount(), 4);
    for (qint64 at = 1; at < bytes.size(); ++at) {
        expectSameRead(bytes, {at}, 7, *whole);
        expectSameRead(bytes, {at / 2, at}, 7, *whole);
    }
}

TEST(TextLogInPieces, FilesOfNoRowAreReadAsInOneGo)
{
    for (const QByteArray& bytes : {QByteArray(), QByteArray("No.\tTime"), QByteArray("No.\r\n"),
                                    QByteArray("\r\n\r\n\n"), QByteArray("\r")}) {
        const auto whole = readInPieces(bytes, {}, 1 << 20);
        for (qint64 at = 0; at <= bytes.size(); ++at)
            expectSameRead(bytes, {at}, 1, *whole);
    }
}

TEST(TextLogInPieces, RowsAddedToATableNumberTheirChangesAfterItsRows)
{
    TLogStore table;
    ASSERT_TRUE(ReadTextLog(kAwkward, table));
    const auto whole = readInPieces(kAwkward, {}, 1 << 20, &table);
    for (qint64 at = 1; at < kAwkward.size(); at += 11) {
        const auto cut = readInPieces(kAwkward, {at, at + 40}, 5, &table);
        ASSERT_TRUE(cut->store.sameContent(whole->store)) << at;
        TLogStore a;
        TLogStore b;
        ASSERT_TRUE(ReadTextLog(kAwkward, a) && ReadTextLog(kAwkward, b));
        a.appendTail(std::move(cut->store));
        TLogStore copy = TLogStore::tailFor(b);
        (void)ReadTextLog(kAwkward, copy);
        b.appendTail(std::move(copy));
        EXPECT_TRUE(a.sameContent(b)) << at;
        EXPECT_EQ(a.changeLogEntry(a.changeLogSize() - 1).position, 12);
    }
}

namespace {
// Lines that look like rows, built from the bytes the reader treats apart:
// every separator 1..32, NUL (part of an item), quotes anywhere, CR and LF,
// items long enough to cross the reader's 64-byte scan windows.
QByteArray randomRowLines(std::mt19937& random, int lines)
{
    static const QByteArray kAlphabet = QByteArray("ab9.,-:()") + '\0' + "\x01\x1f\"" + char(0x80) + char(0xff);
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    QByteArray text = "No.\tTime\tFunction\tValue\tUnit\tSubValueA\tSubUnitA\tSubValueB\tSubUnitB\r\n";
    for (int l = 0; l < lines; ++l) {
        text += pick(9) == 0 ? QByteArray("NULL") : QByteArray::number(pick(100000));
        const int items = pick(11);
        for (int k = 0; k < items; ++k) {
            text += QByteArray(1 + pick(3), "\t \x0b"[pick(3)]);
            if (pick(6) == 0)
                text += '"';
            const int length = pick(5) == 0 ? 20 + pick(60) : pick(8);
            for (int c = 0; c < length; ++c)
                text += kAlphabet[pick(int(kAlphabet.size()))];
        }
        text += std::array<const char*, 4>{"\r\n", "\n", "\r", "\r\r\n"}[size_t(pick(4))];
    }
    return text;
}
} // namespace

TEST(TextLogInPieces, LinesSplitAtOneGoReadAsLinesSplitOneByOne)
{
    // A block of one byte sends every line the general way; a large block
    // splits plain lines at one go.
    std::mt19937 random(20261210);
    int failing = 0;
    for (int file = 0; file < 400; ++file) {
        const QByteArray bytes = randomRowLines(random, 1 + file % 40);
        const auto oneByOne = readInPieces(bytes, {}, 1);
        const auto atOneGo = readInPieces(bytes, {}, 1 << 20);
        ASSERT_EQ(atOneGo->ok, oneByOne->ok) << file;
        ASSERT_TRUE(atOneGo->store.sameContent(oneByOne->store)) << file;
        failing += oneByOne->ok ? 0 : 1;
    }
    // Both verdicts were met.
    EXPECT_GT(failing, 0);
    EXPECT_LT(failing, 400);
}

TEST(TextLogInPieces, ManyChunksOfRowsJoinInFileOrder)
{
    // More rows than a store chunk holds on either side of the cuts, so the
    // joins fall inside chunks.
    const QByteArray bytes = manyRows(150000);
    const auto whole = readInPieces(bytes, {}, 1 << 20);
    ASSERT_TRUE(whole->ok);
    ASSERT_EQ(whole->store.rowCount(), 150000);
    expectSameRead(bytes, {bytes.size() / 3, bytes.size() * 2 / 3}, 1 << 16, *whole);
    expectSameRead(bytes, {bytes.size() / 2}, 1 << 20, *whole);
}

TEST(TextLogInPieces, ACancelFromTheProgressStopsEveryPiece)
{
    QByteArray bytes = manyRows(150000);
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    TLogStore store;
    int calls = 0;
    const TLogProgress cancel = [&](qint64, qint64) {
        ++calls;
        throw std::runtime_error("cancelled");
    };
    EXPECT_THROW((void)ReadTextLogInPieces(in, store, {bytes.size() / 2}, cancel, 1 << 16), std::runtime_error);
    EXPECT_EQ(calls, 1);
}

TEST(TextLogInPieces, ADeviceThatCannotBeOpenedAgainIsReadInOneGo)
{
    // Reads like a pipe: no seeking, no size.
    class TPipe : public QIODevice
    {
    public:
        explicit TPipe(QByteArray bytes) : m_bytes(std::move(bytes)) {}
        bool isSequential() const override { return true; }

    protected:
        qint64 readData(char* data, qint64 most) override
        {
            const qint64 n = std::min<qint64>(most, m_bytes.size() - m_at);
            std::memcpy(data, m_bytes.constData() + m_at, size_t(n));
            m_at += n;
            return n;
        }
        qint64 writeData(const char*, qint64) override { return -1; }

    private:
        QByteArray m_bytes;
        qint64 m_at = 0;
    };
    TPipe in(kAwkward);
    in.open(QIODevice::ReadOnly);
    TLogStore store;
    EXPECT_TRUE(ReadTextLogInPieces(in, store, {10, 100}, {}, 4));
    EXPECT_EQ(store.rowCount(), 6);
}

TEST(StoreJoin, ATableJoinedFromPiecesGoesOnTakingRowsAndTailsAsOneTableWould)
{
    // Files read in pieces leave the table with seams where the pieces
    // met; rows recorded afterwards, a log added through a tail (itself read
    // in pieces) and more rows must all read back as appended one by one.
    const QByteArray first = manyRows(150000);
    const QByteArray second = manyRows(100000);
    TLogStore expected;
    const auto follow = [&](const TLogStore& rows) {
        for (qsizetype i = 0; i < rows.rowCount(); ++i) {
            expected.appendRow(rows.row(i));
            expected.appendChange({qint32(expected.rowCount()), 0, kRowStateInserted});
        }
    };
    const auto record = [](TLogStore& table, int n) {
        for (int i = 0; i < n; ++i) {
            TLogRow r;
            r.ANo = i;
            r.setText(fAFunction, i % 2 ? "Hz" : "DC V");
            r.setText(fAValue, QByteArray::number(i * 3));
            r.setText(fAUnit, i % 2 ? "Hz" : "mV");
            r.rowState = kRowStateInserted;
            table.appendRow(r);
            table.appendChange({qint32(table.rowCount()), 0, kRowStateInserted});
        }
    };

    // A log read in three pieces while the table took rows of its own.
    auto table = std::make_unique<TRead>();
    auto read = readInPieces(first, {first.size() / 3, first.size() * 2 / 3}, 1 << 16, &table->store);
    ASSERT_TRUE(read->ok);
    record(table->store, 1000);
    table->store.appendTail(std::move(read->store));
    TLogStore recorded;
    record(recorded, 1000);
    follow(recorded);
    follow(readInPieces(first, {}, 1 << 20)->store);

    QByteArray bytes = second;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    TLogStore tail = TLogStore::tailFor(table->store);
    ASSERT_TRUE(ReadTextLogInPieces(in, tail, {bytes.size() / 2}, {}, 1 << 16));
    table->store.appendTail(std::move(tail));
    follow(readInPieces(second, {}, 1 << 20)->store);
    record(table->store, 70000);
    TLogStore more;
    record(more, 70000);
    follow(more);

    ASSERT_EQ(table->store.rowCount(), expected.rowCount());
    EXPECT_TRUE(table->store.sameContent(expected));
    // The joined table writes what the table appended one by one writes.
    EXPECT_EQ(TextLog(table->store, DefaultTextLogHeader()), TextLog(expected, DefaultTextLogHeader()));
}

TEST(StoreJoin, StoresWithTheirOwnDictionariesJoinAcrossChunkSeams)
{
    // The second store knows its units and functions in another order, and
    // the first ends inside a chunk; the joined table reads as if each row
    // had been appended to it.
    const auto row = [](int i, const char* fn, const char* unit) {
        TLogRow r;
        r.ANo = i;
        r.setText(fAFunction, fn);
        r.setText(fAValue, QByteArray::number(i));
        r.setText(fAUnit, unit);
        if (i % 3 == 0)
            r.setText(fASubUnit1, "Hz");
        r.rowState = 4;
        return r;
    };
    TLogStore joined;
    TLogStore second;
    TLogStore expected;
    for (int i = 0; i < 70000; ++i) {
        const TLogRow r = row(i, i % 2 ? "POWER" : "AC V", i % 2 ? "kW" : "V");
        joined.appendRow(r);
        expected.appendRow(r);
    }
    for (int i = 0; i < 140000; ++i) {
        const TLogRow r = row(i, i % 5 ? "DC A" : "POWER", i % 7 ? "A" : "kW");
        second.appendRow(r);
        second.appendChange({qint32(i + 1), 0, 4});
        expected.appendRow(r);
        expected.appendChange({qint32(70000 + i + 1), 0, 4});
    }
    joined.appendFrom(std::move(second));
    EXPECT_EQ(second.rowCount(), 0);
    ASSERT_EQ(joined.rowCount(), expected.rowCount());
    EXPECT_TRUE(joined.sameContent(expected));
}

namespace {

using namespace varnetta::log::fileio;

struct TOrderRun
{
    bool whole = false;
    QList<qsizetype> taken;
};

TOrderRun runInOrder(qsizetype parts, int threads, qsizetype makeFailsAt, qsizetype takeFailsAt)
{
    TOrderRun r;
    r.whole = MakeInOrder(
        parts, threads,
        [&](qsizetype part, QByteArray& bytes) {
            if (!bytes.isEmpty())
                throw std::logic_error("a part's bytes were not empty");
            bytes = QByteArray::number(part);
            return part != makeFailsAt;
        },
        [&](qsizetype part, const QByteArray& bytes) {
            if (bytes != QByteArray::number(part))
                throw std::logic_error("a part's bytes went to another part");
            if (part == takeFailsAt)
                return false;
            r.taken.append(part);
            return true;
        });
    return r;
}

TLogStore storeOf(int rows)
{
    TLogStore store;
    for (int i = 0; i < rows; ++i) {
        TLogRow r;
        r.ANo = i % 11 ? std::optional<qint32>(i) : std::nullopt;
        r.setText(fATime, "12:00:00(2026-02-03)");
        r.setText(fAFunction, i % 3 ? "POWER" : "AC V");
        r.setText(fAValue, i % 17 ? QByteArray::number(i * 0.25) : QByteArray("O L"));
        r.setText(fAUnit, i % 3 ? "kW" : "V");
        if (i % 5)
            r.setText(fASubValue1, i % 7 ? "230.0" : "\"<&>\"");
        r.rowState = uint8_t(i % 2 ? 4 : 0);
        store.appendRow(r);
    }
    return store;
}

} // namespace

TEST(PartsInOrder, EveryPartIsTakenOnceInOrder)
{
    for (const int threads : {1, 2, 5}) {
        const TOrderRun r = runInOrder(1000, threads, -1, -1);
        EXPECT_TRUE(r.whole);
        ASSERT_EQ(r.taken.size(), 1000);
        for (qsizetype i = 0; i < r.taken.size(); ++i)
            ASSERT_EQ(r.taken[i], i);
    }
}

TEST(PartsInOrder, AFailureEndsTheRunAtThatPart)
{
    for (const int threads : {1, 2, 5}) {
        const TOrderRun madeBadly = runInOrder(1000, threads, 500, -1);
        EXPECT_FALSE(madeBadly.whole);
        EXPECT_EQ(madeBadly.taken.size(), 500);
        const TOrderRun takenBadly = runInOrder(1000, threads, -1, 300);
        EXPECT_FALSE(takenBadly.whole);
        EXPECT_EQ(takenBadly.taken.size(), 300);
    }
}

TEST(PartsInOrder, AnExceptionOnEitherSidePassesOutOnceAllThreadsEnded)
{
    const auto make = [](qsizetype part, QByteArray& bytes) {
        if (part == 700)
            throw std::runtime_error("no memory");
        bytes = "x";
        return true;
    };
    const auto take = [](qsizetype part, const QByteArray&) {
        if (part == 40)
            throw std::runtime_error("cancelled");
        return true;
    };
    EXPECT_THROW((void)MakeInOrder(1000, 2, make, [](qsizetype, const QByteArray&) { return true; }),
                 std::runtime_error);
    EXPECT_THROW((void)MakeInOrder(1000, 2, [](qsizetype, QByteArray& b) { return b = "y", true; }, take),
                 std::runtime_error);
}

TEST(WritersOnEveryCore, TheTextLogIsItsHeaderAndEachRowsLineInOrder)
{
    // Large enough to be written in parts on more than one thread.
    const TLogStore store = storeOf(150000);
    QByteArray expected = TextLogHeaderLine();
    for (qsizetype r = 0; r < store.rowCount(); ++r)
        expected += *TextLogRowLine(store, r);
    EXPECT_TRUE(TextLog(store) == expected);
}

TEST(WritersOnEveryCore, ThePacketIsItsStartEachRowElementInOrderAndItsEnd)
{
    const TLogStore store = storeOf(150000);
    QByteArray expected = XmlPacketStart();
    for (qsizetype r = 0; r < store.rowCount(); ++r)
        expected += XmlRowElement(store, r);
    expected += XmlPacketEnd();
    EXPECT_TRUE(XmlPacket(store) == expected);
}

TEST(WritersOnEveryCore, ARowTheTextFormCannotCarryFailsTheWriteWherever)
{
    TLogStore store = storeOf(150000);
    TLogRow broken;
    broken.setText(fAValue, "1\n2");
    store.appendRow(broken);
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    EXPECT_FALSE(WriteTextLog(store, out, DefaultTextLogHeader()));
}

namespace {

struct TXmlRead
{
    TXmlQuickRead verdict = TXmlQuickRead::Declined;
    TLogStore store;
};

std::unique_ptr<TXmlRead> readPacket(QByteArray bytes, const std::optional<QList<qint64>>& cuts)
{
    auto r = std::make_unique<TXmlRead>();
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    r->verdict = ReadOwnXmlPacketInPieces(in, r->store, cuts);
    return r;
}

void expectSamePacketRead(const QByteArray& bytes, const QList<qint64>& cuts, const TXmlRead& whole)
{
    const auto cut = readPacket(bytes, cuts);
    ASSERT_EQ(cut->verdict, whole.verdict) << "cut at " << cuts.value(0) << ", " << cuts.value(1);
    if (whole.verdict == TXmlQuickRead::Read)
        EXPECT_TRUE(cut->store.sameContent(whole.store)) << "cut at " << cuts.value(0) << ", " << cuts.value(1);
}

// A small packet with a change log, escapes, null fields and a long value.
QByteArray awkwardPacket()
{
    TLogStore store = storeOf(5);
    TLogRow longRow;
    longRow.setText(fAValue, QByteArray(20, '<'));
    store.appendRow(longRow);
    store.appendChange({3, 0, 4});
    store.appendChange({7, 1, 2});
    return XmlPacket(store);
}

} // namespace

TEST(PacketInPieces, AnyCutGivesTheRowsOfOnePiece)
{
    const QByteArray bytes = awkwardPacket();
    const auto whole = readPacket(bytes, std::nullopt);
    ASSERT_EQ(whole->verdict, TXmlQuickRead::Read);
    ASSERT_EQ(whole->store.rowCount(), 6);
    for (qint64 at = 0; at <= bytes.size(); ++at)
        expectSamePacketRead(bytes, {at}, *whole);
    for (qint64 a = 0; a < bytes.size(); a += 13)
        for (qint64 b = a; b < bytes.size(); b += 23)
            expectSamePacketRead(bytes, {a, b}, *whole);
}

TEST(PacketInPieces, APacketOfAnotherFormIsDeclinedWhateverTheCut)
{
    const QByteArray good = awkwardPacket();
    const qsizetype firstRow = good.indexOf("<ROW ");
    const qsizetype lastRow = good.lastIndexOf("<ROW ");
    const QList<QByteArray> others = {
        good.left(good.size() - 5),                                              // cut short
        good + "x",                                                              // something after the end
        QByteArray(good).insert(lastRow, "</ROWDATA></DATAPACKET>"),             // an end before the last row
        QByteArray(good).insert(lastRow, " "),                                   // a blank between rows
        QByteArray(good).replace(good.indexOf("&lt;"), 4, "<"),                  // a bare "<" in a value
        QByteArray(good).insert(firstRow + 4, "\tX=\"1\""),                      // an attribute unknown here
    };
    for (const QByteArray& bytes : others) {
        const auto whole = readPacket(bytes, std::nullopt);
        ASSERT_EQ(whole->verdict, TXmlQuickRead::Declined) << bytes.toStdString();
        for (qint64 at = 0; at <= bytes.size(); at += 3)
            expectSamePacketRead(bytes, {at}, *whole);
        for (qint64 at = 0; at <= bytes.size(); at += 11)
            expectSamePacketRead(bytes, {at, at + 5}, *whole);
    }
}

TEST(PacketInPieces, ALargePacketIsReadInPiecesAndBackWhole)
{
    // Large enough for one piece per core on its own.
    const TLogStore store = storeOf(150000);
    QByteArray bytes = XmlPacket(store);
    TLogStore read;
    ASSERT_TRUE(ReadXmlPacket(bytes, read));
    EXPECT_TRUE(read.sameContent(store));
    const auto cut = readPacket(bytes, QList<qint64>{bytes.size() / 4, bytes.size() / 2, bytes.size() * 3 / 4});
    ASSERT_EQ(cut->verdict, TXmlQuickRead::Read);
    EXPECT_TRUE(cut->store.sameContent(store));
}

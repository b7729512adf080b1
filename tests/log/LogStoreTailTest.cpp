// Rows added after a table whole chunks at a time: a tail laid out to follow
// the table must give exactly what copying its rows one by one gives.
#include "log/LogStore.h"

#include <gtest/gtest.h>

#include <QString>

using namespace varnetta::log;

namespace {

constexpr qsizetype kChunk = qsizetype(1) << 16;

// Rows that vary in every way the store cares about: nulls, empty texts,
// packed time stamps, plain texts, several functions and units.
TLogRow sample(qsizetype i, const char* unitTag)
{
    TLogRow r;
    r.ANo = qint32(i % 7 == 0 ? -i : i + 1);
    if (i % 5 != 0)
        r.setText(fATime, QString::asprintf("%02d:%02d:%02d(2024-03-01)", int(i / 3600 % 24),
                                            int(i / 60 % 60), int(i % 60))
                              .toLatin1());
    else if (i % 10 == 0)
        r.setText(fATime, "");
    r.setText(fAFunction, i % 3 ? "PWRP" : "FRQ");
    r.setText(fAValue, QByteArray::number(i * 3));
    r.setText(fAUnit, QByteArray(unitTag) + QByteArray::number(i % 4));
    if (i % 11 != 0)
        r.setText(fASubValue1, "230,1");
    r.setText(fASubUnit1, "V");
    r.setText(fASubValue2, QByteArray::number(i % 100));
    r.setText(fASubUnit2, "A");
    r.rowState = uint8_t(i % 2 ? kRowStateInserted : 0);
    return r;
}

void fill(TLogStore& s, qsizetype rows, const char* unitTag)
{
    for (qsizetype i = 0; i < rows; ++i) {
        s.appendRow(sample(i, unitTag));
        s.appendChange({qint32(s.rowCount()), 0, kRowStateInserted});
    }
}

// The rows worth comparing: both ends, every chunk seam, and a stride.
std::vector<qsizetype> probes(qsizetype rows)
{
    std::vector<qsizetype> out;
    for (qsizetype r = 0; r < rows; r += 997)
        out.push_back(r);
    for (qsizetype seam = kChunk; seam - 2 < rows; seam += kChunk)
        for (qsizetype r = seam - 2; r < seam + 2 && r < rows; ++r)
            out.push_back(r);
    if (rows > 0)
        out.push_back(rows - 1);
    return out;
}

void expectSame(const TLogStore& got, const TLogStore& want, const std::string& what)
{
    ASSERT_EQ(got.rowCount(), want.rowCount()) << what;
    for (qsizetype r : probes(want.rowCount()))
        ASSERT_EQ(got.row(r), want.row(r)) << what << " row " << r;
    ASSERT_EQ(got.changeLogSize(), want.changeLogSize()) << what;
    for (qsizetype i : probes(want.changeLogSize()))
        ASSERT_EQ(got.changeLogEntry(i), want.changeLogEntry(i)) << what << " entry " << i;
}

} // namespace

TEST(LogStoreTail, GivesWhatRowByRowCopyingGivesAtEverySeam)
{
    // Table sizes around a chunk's end; tails from none to several chunks.
    const qsizetype tables[] = {0, 1, kChunk - 1, kChunk, kChunk + 5};
    const qsizetype tails[] = {0, 1, kChunk + 3};
    for (qsizetype tableRows : tables) {
        for (qsizetype tailRows : tails) {
            const std::string what = std::to_string(tableRows) + " + " + std::to_string(tailRows);
            TLogStore fast;
            TLogStore slow;
            fill(fast, tableRows, "u");
            fill(slow, tableRows, "u");
            // The tail meets units the table never had.
            TLogStore tail = TLogStore::tailFor(fast);
            fill(tail, tailRows, "t");
            TLogStore copy;
            fill(copy, tailRows, "t");
            fast.appendTail(std::move(tail));
            slow.appendFrom(std::move(copy));
            expectSame(fast, slow, what);
            EXPECT_EQ(tail.rowCount(), 0);

            // Appending goes on normally after the splice.
            fill(fast, 3, "z");
            fill(slow, 3, "z");
            expectSame(fast, slow, what + " then 3");
        }
    }
}

TEST(LogStoreTail, ATableThatChangedMeanwhileStillGetsTheRowsRight)
{
    TLogStore table;
    fill(table, 10, "u");
    TLogStore tail = TLogStore::tailFor(table);
    fill(tail, 100, "t");
    // A row (with a new unit) entered the table after the tail was made.
    TLogRow extra = sample(5, "x");
    table.appendRow(extra);
    table.appendTail(std::move(tail));

    TLogStore want;
    fill(want, 10, "u");
    want.appendRow(extra);
    TLogStore copy;
    fill(copy, 100, "t");
    want.appendFrom(std::move(copy));
    expectSame(table, want, "changed");
}

TEST(LogStoreTail, ATailReadsBackOnItsOwnAndMovesIntoAnEmptyTable)
{
    TLogStore base;
    fill(base, kChunk - 3, "u");
    TLogStore tail = TLogStore::tailFor(base);
    fill(tail, 10, "t");
    // Its first chunk holds only three rows; lookups must still find them.
    TLogStore want;
    fill(want, 10, "t");
    expectSame(tail, want, "tail alone");

    TLogStore empty;
    empty.appendFrom(std::move(tail));
    expectSame(empty, want, "moved");
    fill(empty, kChunk, "v");
    fill(want, kChunk, "v");
    expectSame(empty, want, "moved then a chunk more");
}

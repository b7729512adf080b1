#include "log/LogStatistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace varnetta::log;

namespace {

// The figures computed the plain way: two passes over the numbers.
struct Direct
{
    std::vector<double> values;
    void expectMatches(const TTraceStatistics& s) const
    {
        ASSERT_EQ(s.count, qsizetype(values.size()));
        if (values.empty())
            return;
        double sum = 0, lo = values[0], hi = values[0];
        for (double v : values) {
            sum += v;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        const double mean = sum / double(values.size());
        double squares = 0;
        for (double v : values)
            squares += (v - mean) * (v - mean);
        EXPECT_EQ(s.min, lo);
        EXPECT_EQ(s.max, hi);
        EXPECT_NEAR(s.mean, mean, 1e-9 * std::max(1.0, std::abs(mean)));
        if (values.size() > 1)
            EXPECT_NEAR(s.standardDeviation(), std::sqrt(squares / double(values.size() - 1)), 1e-9 * std::max(1.0, hi - lo));
    }
};

// Rows with values as the meter writes them (comma as the separator here),
// overloads, dashes and empty fields among them.
struct RandomLog
{
    std::mt19937 random{20261210};
    std::array<Direct, 3> direct;

    void append(TLogStore& store, int rows)
    {
        std::uniform_int_distribution<int> kind(0, 9);
        std::uniform_real_distribution<double> number(-500.0, 1500.0);
        for (int i = 0; i < rows; ++i) {
            TLogRow row;
            row.ANo = qint32(store.rowCount() + 1);
            for (int t = 0; t < 3; ++t) {
                const int k = kind(random);
                QByteArray text;
                if (k == 0)
                    text = "OL";
                else if (k == 1)
                    text = "----";
                else if (k == 2)
                    text = "";
                else {
                    const double v = std::round(number(random) * 1000.0) / 1000.0;
                    text = QByteArray::number(v, 'f', 3).replace('.', ',');
                    direct[size_t(t)].values.push_back(v);
                }
                row.setText(TLogStatistics::kTraceFields[size_t(t)], text);
            }
            store.appendRow(row);
        }
    }
};

TEST(LogStatistics, MatchesADirectComputationWhateverTheStepsRowsAreReadIn)
{
    TLogStore store;
    RandomLog log;
    TLogStatistics stats(",");
    log.append(store, 1000);
    EXPECT_FALSE(stats.update(store, 333));
    EXPECT_EQ(stats.rowsRead(), 333);
    while (!stats.update(store, 333)) {
    }
    log.append(store, 2500); // rows arriving after a first count
    EXPECT_TRUE(stats.update(store));
    EXPECT_EQ(stats.rowsRead(), 3500);
    for (int t = 0; t < 3; ++t)
        log.direct[size_t(t)].expectMatches(stats.trace(t));
    // The whole log read afresh gives the same figures.
    const auto fresh = TLogStatistics::ofRows(store, 0, store.rowCount(), ",");
    for (int t = 0; t < 3; ++t)
        log.direct[size_t(t)].expectMatches(fresh[size_t(t)]);
}

TEST(LogStatistics, ACountAfterAClearStartsAgainFromTheNewRows)
{
    TLogStore store;
    RandomLog before;
    TLogStatistics stats(",");
    before.append(store, 800);
    stats.update(store);
    store.clear();
    RandomLog after;
    after.random.seed(7);
    after.append(store, 300);
    stats.update(store); // fewer rows than were read: a new log
    for (int t = 0; t < 3; ++t)
        after.direct[size_t(t)].expectMatches(stats.trace(t));
}

TEST(LogStatistics, TracesWithoutNumbersOrWithOneValueHaveNoSpread)
{
    TLogStore store;
    TLogRow row;
    row.setText(fAValue, "OL");
    row.setText(fASubValue1, "230.5");
    store.appendRow(row);
    TLogStatistics stats;
    stats.update(store);
    EXPECT_EQ(stats.trace(0).count, 0);
    EXPECT_EQ(stats.trace(1).count, 1);
    EXPECT_EQ(stats.trace(1).min, 230.5);
    EXPECT_EQ(stats.trace(1).max, 230.5);
    EXPECT_EQ(stats.trace(1).standardDeviation(), 0.0);
}

TEST(LogStatistics, ALogRecordedWithTheOtherDecimalMarkIsCountedToo)
{
    // Opened from a machine that writes "0,5" on one that writes "0.5", and
    // the other way round; a text with both marks, or two, is no number.
    TLogStore store;
    for (const char* value : {"0,5", "1.5", "2,5", "1.2,3", "1,2,3", "- 1,5"}) {
        TLogRow row;
        row.setText(fAValue, value);
        store.appendRow(row);
    }
    for (const QByteArray separator : {QByteArray("."), QByteArray(",")}) {
        TLogStatistics stats(separator);
        stats.update(store);
        EXPECT_EQ(stats.trace(0).count, 4) << separator.constData();
        EXPECT_EQ(stats.trace(0).min, -1.5);
        EXPECT_EQ(stats.trace(0).max, 2.5);
    }
}

TEST(LogStatistics, LargeOffsetsKeepTheirSpread)
{
    // Values around a large offset: the naive sum of squares loses the spread.
    TTraceStatistics s;
    for (int i = 0; i < 1000; ++i)
        s.add(1e9 + (i % 2 == 0 ? 0.5 : -0.5));
    EXPECT_NEAR(s.mean, 1e9, 1e-6);
    EXPECT_NEAR(s.standardDeviation(), 0.50025, 1e-4);
}

} // namespace

// The chart over a table that already holds its rows: paging follows the
// table's growth and replacement, only the page shown is read, and the log
// table's texts reach the chart as numbers.
#include "log/LogStore.h"
#include "views/ChartPaging.h"
#include "views/widgets/LogChartSource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace varnetta;
using namespace varnetta::views;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Series s of record n holds s * 1000 + n; every record of `gaps` holds no number.
class TCountingSource final : public IChartSource
{
public:
    int64_t count = 0;
    mutable int64_t recordsRead = 0;
    int64_t gapEvery = 0;

    int64_t rows() const override { return count; }
    void values(int series, int64_t first, int64_t n, float* out) const override
    {
        recordsRead += n;
        for (int64_t i = 0; i < n; ++i) {
            const int64_t record = first + i;
            out[i] = gapEvery && record % gapEvery == 0 ? kNaN : float(series * 1000 + record);
        }
    }
    TPointColor color(int series) const override { return 0xFF000000u + TPointColor(series); }
};

struct SourcePaging : ::testing::Test
{
    TCountingSource source;
    TChartPaging paging{4, 100};

    void grow(int64_t rows)
    {
        source.count = rows;
        paging.sourceChanged(true);
    }
};

} // namespace

TEST_F(SourcePaging, PagesFollowTheSourceAndBrowsingHoldsThePageShown)
{
    source.count = 250;
    paging.setSource(&source);
    EXPECT_EQ(paging.rows(), 250);
    EXPECT_EQ(paging.PageCount(), 3);
    EXPECT_EQ(paging.CurPage(), 3);
    EXPECT_FALSE(paging.Browsing());

    paging.FirstPage();
    grow(450);
    EXPECT_EQ(paging.PageCount(), 5);
    EXPECT_EQ(paging.CurPage(), 1); // browsing: the view stays
    paging.LastPage();
    grow(501);
    EXPECT_EQ(paging.CurPage(), 6); // following: a row beyond the page moves it on
    EXPECT_FALSE(paging.Browsing());
}

TEST_F(SourcePaging, AReplacedSourceWithFewerRowsBringsThePageBackInside)
{
    source.count = 1000;
    paging.setSource(&source);
    paging.GotoPage(7);
    ASSERT_TRUE(paging.Browsing());
    source.count = 150;
    paging.sourceChanged(false);
    EXPECT_EQ(paging.PageCount(), 2);
    EXPECT_EQ(paging.CurPage(), 2);
    EXPECT_FALSE(paging.Browsing());
    const std::span<const float> page = paging.pageValues(1);
    ASSERT_EQ(page.size(), 50u);
    EXPECT_EQ(page.front(), 1101.0f);
}

TEST_F(SourcePaging, OnlyThePageShownIsReadAndANewRowReadsOnlyItself)
{
    source.count = 10'000'000;
    paging.setSource(&source);
    ASSERT_EQ(paging.pageValues(1).size(), 100u);
    EXPECT_EQ(source.recordsRead, 100);
    (void)paging.pageValues(1); // the same page again: nothing read
    EXPECT_EQ(source.recordsRead, 100);

    grow(10'000'001); // starts a page of its own
    ASSERT_EQ(paging.pageValues(1).size(), 1u);
    EXPECT_EQ(paging.pageValues(1)[0], 1000.0f + 10'000'001.0f);
    const int64_t before = source.recordsRead;
    grow(10'000'002);
    ASSERT_EQ(paging.pageValues(1).size(), 2u);
    EXPECT_EQ(source.recordsRead - before, 1);

    // A replaced table with the same number of rows is read afresh.
    source.gapEvery = 1;
    paging.sourceChanged(false);
    EXPECT_TRUE(std::isnan(paging.pageValues(1)[0]));
}

TEST_F(SourcePaging, PointsEqualTheSourcesValuesWithNoNumberDrawnAtZero)
{
    source.count = 120;
    source.gapEvery = 7;
    paging.setSource(&source);
    paging.FirstPage();
    QList<QPointF> points;
    paging.pagePoints(3, points);
    ASSERT_EQ(points.size(), 100);
    for (int i = 0; i < 100; ++i) {
        const int record = i + 1;
        EXPECT_EQ(points[i], QPointF(record, record % 7 == 0 ? 0.0 : 3000.0 + record)) << record;
    }
    EXPECT_EQ(paging.pageColor(2), 0xFF000002u);
}

TEST_F(SourcePaging, RowsAddedMeanwhileComeBackWhenTheSourceGoes)
{
    paging.AddValues({0.0, 1.0, 2.0, 3.0}, {0xFF0000FFu, 0xFFFF0000u, 0xFF0000FFu, 0xFF008000u});
    source.count = 500;
    paging.setSource(&source);
    for (int i = 0; i < 150; ++i)
        paging.AddValues({0.0, 9.0, 9.0, 9.0}, {0xFF0000FFu, 0xFFFF0000u, 0xFF0000FFu, 0xFF008000u});
    EXPECT_EQ(paging.PageCount(), 5); // the added rows leave the source's pages alone
    EXPECT_EQ(paging.CurPage(), 5);

    paging.FirstPage();
    paging.setSource(nullptr);
    EXPECT_EQ(paging.rows(), 151);
    EXPECT_EQ(paging.PageCount(), 2);
    EXPECT_EQ(paging.CurPage(), 2);
    EXPECT_FALSE(paging.Browsing());
    EXPECT_EQ(paging.pageColor(1), 0xFFFF0000u);

    paging.setSource(&source);
    paging.Clear(); // the chart's own rows go; the source's pages stay
    EXPECT_EQ(paging.PageCount(), 5);
    EXPECT_EQ(paging.CurPage(), 5);
    paging.setSource(nullptr);
    EXPECT_EQ(paging.rows(), 0);
}

TEST(LogChartSource, ReadsTheThreeValueFieldsUnderTheSeparatorAndNoNumberAsNaN)
{
    log::TLogStore store;
    const auto add = [&store](const char* value, const char* subA, const char* subB) {
        log::TLogRow row;
        row.setText(log::fAValue, value);
        row.setText(log::fASubValue1, subA);
        if (subB)
            row.setText(log::fASubValue2, subB);
        store.appendRow(row);
    };
    add("-0,123", " 230,1", "5,00");
    add("OL", "----", nullptr);
    add("1e39", "- 1,5", "12,5"); // beyond a float; a blank after the sign
    const TLogChartSource source(store, ",");
    EXPECT_EQ(source.rows(), 3);

    std::vector<float> v(3);
    source.values(1, 1, 3, v.data());
    EXPECT_FLOAT_EQ(v[0], -0.123f);
    EXPECT_TRUE(std::isnan(v[1]));
    EXPECT_TRUE(std::isnan(v[2]));
    source.values(2, 1, 3, v.data());
    EXPECT_FLOAT_EQ(v[0], 230.1f);
    EXPECT_TRUE(std::isnan(v[1]));
    EXPECT_FLOAT_EQ(v[2], -1.5f);
    source.values(3, 2, 2, v.data());
    EXPECT_TRUE(std::isnan(v[0])); // a null field
    EXPECT_FLOAT_EQ(v[1], 12.5f);
    source.values(0, 1, 3, v.data());
    EXPECT_EQ(v, (std::vector<float>{0, 0, 0}));
    source.values(1, 3, 3, v.data()); // records beyond the table: no number
    EXPECT_TRUE(std::isnan(v[1]) && std::isnan(v[2]));
    EXPECT_EQ(source.color(1), 0xFFFF0000u);
    EXPECT_EQ(source.color(3), 0xFF00FF00u); // Qt::green, as recorded rows are drawn
}

// The chart's paging state machine: following, browsing, the page moves and
// their guards, page size changes and clearing.
#include "views/ChartPaging.h"

#include <gtest/gtest.h>

using namespace varnetta::views;

namespace {

constexpr TPointColor kBlue = 0xFF0000FFu;
constexpr TPointColor kRed = 0xFFFF0000u;
constexpr TPointColor kGreen = 0xFF008000u;

void addRows(TChartPaging& p, int count)
{
    for (int i = 0; i < count; ++i) {
        const double n = double(p.rows() + 1);
        p.AddValues({0.0, n, -n, n / 2}, {kBlue, kRed, kBlue, kGreen});
    }
}

TChartPaging pagedWith(int rows, int32_t range = 100)
{
    TChartPaging p(4, range);
    addRows(p, rows);
    return p;
}

void expectInvariants(const TChartPaging& p)
{
    const int64_t expectedPages = std::max<int64_t>(1, (p.rows() + p.Range() - 1) / p.Range());
    EXPECT_EQ(p.PageCount(), expectedPages);
    EXPECT_GE(p.CurPage(), 1);
    EXPECT_LE(p.CurPage(), p.PageCount());
    EXPECT_EQ(p.Browsing(), p.CurPage() < p.PageCount());
    EXPECT_EQ(p.window().first, int64_t(p.CurPage() - 1) * p.Range() + 1);
    EXPECT_EQ(p.window().last, int64_t(p.CurPage()) * p.Range());
}

struct FollowCase
{
    int rows;
    int32_t pageCount;
    int64_t windowFirst;
};

class FollowingNewRows : public ::testing::TestWithParam<FollowCase>
{
};

TEST_P(FollowingNewRows, ViewMovesOnOnlyWhenARowBeginsANewPage)
{
    const FollowCase c = GetParam();
    const TChartPaging p = pagedWith(c.rows);
    EXPECT_EQ(p.PageCount(), c.pageCount);
    EXPECT_EQ(p.CurPage(), c.pageCount);
    EXPECT_EQ(p.window().first, c.windowFirst);
    EXPECT_FALSE(p.Browsing());
    expectInvariants(p);
}

INSTANTIATE_TEST_SUITE_P(PageSize100, FollowingNewRows,
                         ::testing::Values(FollowCase{0, 1, 1}, FollowCase{1, 1, 1}, FollowCase{100, 1, 1},
                                           FollowCase{101, 2, 101}, FollowCase{200, 2, 101},
                                           FollowCase{250, 3, 201}));

TEST(ChartPagingCreation, StartsOnPageOneWithAZeroPointInEverySeries)
{
    TChartPaging p(4, 100);
    EXPECT_EQ(p.rows(), 0);
    for (int s = 0; s < 4; ++s) {
        ASSERT_EQ(p.pointCount(s), 1u);
        EXPECT_EQ(p.valueAt(s, 0), 0.0);
        EXPECT_EQ(p.colorAt(s, 0), kZeroPointColor);
    }
    EXPECT_EQ(p.MaxValue(), 0.0);
    EXPECT_EQ(p.MinValue(), 0.0);
    EXPECT_EQ(p.GotoTarget(), 0);
    EXPECT_TRUE(p.FirstSeriesActive());
    expectInvariants(p);
}

TEST(ChartPagingBrowsing, FirstPageOf250RowsStaysWhileRowsArriveAndLastPageResumes)
{
    TChartPaging p = pagedWith(250);
    p.FirstPage();
    EXPECT_EQ(p.CurPage(), 1);
    EXPECT_EQ(p.window(), (TPageWindow{1, 100}));
    EXPECT_TRUE(p.Browsing());

    addRows(p, 60); // 310 rows: a fourth page, the view stays
    EXPECT_EQ(p.PageCount(), 4);
    EXPECT_EQ(p.CurPage(), 1);
    expectInvariants(p);

    p.LastPage();
    EXPECT_EQ(p.CurPage(), 4);
    EXPECT_EQ(p.window(), (TPageWindow{301, 400}));
    EXPECT_FALSE(p.Browsing());
    addRows(p, 91); // row 401 begins page 5
    EXPECT_EQ(p.CurPage(), 5);
    expectInvariants(p);
}

TEST(ChartPagingBrowsing, LastPageOf250RowsShowsRecords201To300)
{
    TChartPaging p = pagedWith(250);
    p.PreviousPage();
    p.PreviousPage();
    p.LastPage();
    EXPECT_EQ(p.window(), (TPageWindow{201, 300}));
    EXPECT_FALSE(p.Browsing());
}

TEST(ChartPagingBrowsing, NextPageArrivingAtTheLastPageResumesFollowing)
{
    TChartPaging p = pagedWith(250);
    p.FirstPage();
    p.NextPage();
    EXPECT_EQ(p.CurPage(), 2);
    EXPECT_TRUE(p.Browsing());
    p.NextPage();
    EXPECT_EQ(p.CurPage(), 3);
    EXPECT_FALSE(p.Browsing());
    addRows(p, 51); // row 301
    EXPECT_EQ(p.CurPage(), 4);
    EXPECT_EQ(p.window().first, 301);
}

TEST(ChartPagingBrowsing, PreviousPageStaysBrowsingEvenAtPageOne)
{
    TChartPaging p = pagedWith(150);
    p.PreviousPage();
    EXPECT_EQ(p.CurPage(), 1);
    EXPECT_TRUE(p.Browsing());
    addRows(p, 100);
    EXPECT_EQ(p.CurPage(), 1);
    expectInvariants(p);
}

struct GuardCase
{
    const char* name;
    int rows;
    int prepareBack; // PreviousPage calls before the move
    void (TChartPaging::*move)();
};

class PageMoveGuards : public ::testing::TestWithParam<GuardCase>
{
};

TEST_P(PageMoveGuards, ChangeNothing)
{
    const GuardCase c = GetParam();
    TChartPaging p = pagedWith(c.rows);
    for (int i = 0; i < c.prepareBack; ++i)
        p.PreviousPage();
    const int32_t page = p.CurPage();
    const bool browsing = p.Browsing();
    (p.*c.move)();
    EXPECT_EQ(p.CurPage(), page);
    EXPECT_EQ(p.Browsing(), browsing);
    expectInvariants(p);
}

INSTANTIATE_TEST_SUITE_P(AtTheEnds, PageMoveGuards,
                         ::testing::Values(GuardCase{"PreviousOnPageOne", 250, 2,
                                                     &TChartPaging::PreviousPage},
                                           GuardCase{"NextOnLastPage", 250, 0, &TChartPaging::NextPage},
                                           GuardCase{"LastOnLastPage", 250, 0, &TChartPaging::LastPage},
                                           GuardCase{"FirstOnPageOne", 250, 2, &TChartPaging::FirstPage},
                                           GuardCase{"FirstWithOnePage", 50, 0, &TChartPaging::FirstPage},
                                           GuardCase{"LastWithOnePage", 50, 0, &TChartPaging::LastPage},
                                           GuardCase{"NextWithOnePage", 50, 0, &TChartPaging::NextPage}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ChartPagingGotoPage, OutOfRangeOrCurrentPageMovesNothing)
{
    TChartPaging p = pagedWith(350); // 4 pages, on page 4
    for (int32_t page : {0, -1, 5, 4}) {
        p.GotoPage(page);
        EXPECT_EQ(p.CurPage(), 4) << page;
        EXPECT_EQ(p.GotoTarget(), page);
        EXPECT_FALSE(p.Browsing());
    }
    TChartPaging single = pagedWith(40);
    single.GotoPage(1);
    EXPECT_EQ(single.CurPage(), 1);
}

TEST(ChartPagingGotoPage, ReachingTheLastPageFollowsAndEarlierPagesBrowse)
{
    TChartPaging p = pagedWith(350);
    p.GotoPage(2);
    EXPECT_EQ(p.CurPage(), 2);
    EXPECT_TRUE(p.Browsing());
    p.GotoPage(4);
    EXPECT_EQ(p.CurPage(), 4);
    EXPECT_FALSE(p.Browsing());
}

TEST(ChartPagingGotoPage, SamePageAskedAgainAfterPagingAwayIsShown)
{
    TChartPaging p = pagedWith(350);
    p.FirstPage();
    p.GotoPage(3);
    p.PreviousPage();
    ASSERT_EQ(p.CurPage(), 2);
    p.GotoPage(3);
    EXPECT_EQ(p.CurPage(), 3);
    expectInvariants(p);
}

TEST(ChartPagingRange, NewPageSizeWhileBrowsingShowsTheLastPageAndFollows)
{
    TChartPaging p = pagedWith(250);
    p.FirstPage();
    p.SetRange(30);
    EXPECT_EQ(p.Range(), 30);
    EXPECT_EQ(p.PageCount(), 9);
    EXPECT_EQ(p.CurPage(), 9);
    EXPECT_EQ(p.window(), (TPageWindow{241, 270}));
    EXPECT_FALSE(p.Browsing());
    addRows(p, 21); // row 271
    EXPECT_EQ(p.CurPage(), 10);
}

TEST(ChartPagingRange, SamePageSizeLeavesABrowsedViewAlone)
{
    TChartPaging p = pagedWith(250);
    p.FirstPage();
    p.SetRange(100);
    EXPECT_EQ(p.CurPage(), 1);
    EXPECT_TRUE(p.Browsing());
}

TEST(ChartPagingRange, PageSizeBelowOneIsRefused)
{
    TChartPaging p = pagedWith(250);
    p.SetRange(0);
    p.SetRange(-5);
    EXPECT_EQ(p.Range(), 100);
    expectInvariants(p);
    TChartPaging zero(4, 0);
    addRows(zero, 3);
    expectInvariants(zero);
}

TEST(ChartPagingClear, NextRowIsRecordOneOnPageOneAndSettingsStay)
{
    TChartPaging p = pagedWith(250, 50);
    p.FirstPage();
    p.GotoPage(3);
    ASSERT_TRUE(p.SetFirstSeriesActive(false));
    p.Clear();
    EXPECT_EQ(p.rows(), 0);
    EXPECT_EQ(p.CurPage(), 1);
    EXPECT_EQ(p.PageCount(), 1);
    EXPECT_FALSE(p.Browsing());
    EXPECT_EQ(p.Range(), 50);
    EXPECT_EQ(p.GotoTarget(), 3);
    EXPECT_FALSE(p.FirstSeriesActive());
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(p.pointCount(s), 1u);

    p.AddValues({0.0, 7.5, 1.0, 2.0}, {kBlue, kRed, kBlue, kGreen});
    QList<QPointF> points;
    p.pagePoints(1, points);
    ASSERT_EQ(points.size(), 1);
    EXPECT_EQ(points[0], QPointF(1, 7.5));
}

TEST(ChartPagingValues, ShortRowsFillOnlyTheLeadingSeriesAndExtraEntriesAreIgnored)
{
    TChartPaging p(4, 100);
    p.AddValues({0.0, 5.0}, {kBlue, kRed});
    EXPECT_EQ(p.rows(), 1);
    EXPECT_EQ(p.pointCount(1), 2u);
    EXPECT_EQ(p.pointCount(2), 1u);
    p.AddValues({0.0, 1, 2, 3, 4, 5}, {kBlue, kRed, kBlue, kGreen, kRed, kRed});
    EXPECT_EQ(p.pointCount(3), 2u);
    EXPECT_EQ(p.valueAt(3, 1), 3.0); // series 3 lagged: its first row sits at X 1
    p.AddValues({}, {});
    EXPECT_EQ(p.rows(), 2);
}

TEST(ChartPagingValues, MissingColoursKeepTheSeriesColourAndRunsAreKeptPerPoint)
{
    TChartPaging p(2, 100);
    p.AddValues({0.0, 1.0}, {kBlue, kRed});
    p.AddValues({0.0, 2.0}, {kBlue}); // no colour for series 1
    p.AddValues({0.0, 3.0}, {kBlue, kGreen});
    EXPECT_EQ(p.colorAt(1, 0), kZeroPointColor);
    EXPECT_EQ(p.colorAt(1, 1), kRed);
    EXPECT_EQ(p.colorAt(1, 2), kRed);
    EXPECT_EQ(p.colorAt(1, 3), kGreen);
    EXPECT_EQ(p.pageColor(1), kGreen);
}

TEST(ChartPagingValues, PagePointsAreTheWindowsRecordsOnly)
{
    TChartPaging p = pagedWith(250);
    QList<QPointF> points;
    p.pagePoints(1, points);
    ASSERT_EQ(points.size(), 50);
    EXPECT_EQ(points.front(), QPointF(201, 201));
    EXPECT_EQ(points.back(), QPointF(250, 250));
    p.PreviousPage();
    p.pagePoints(2, points);
    ASSERT_EQ(points.size(), 100);
    EXPECT_EQ(points.front(), QPointF(101, -101));
}

TEST(ChartPagingValues, CrowdedPagesKeepEveryColumnsLowestAndHighestRecord)
{
    TChartPaging p(1, 1000);
    for (int n = 1; n <= 1000; ++n) {
        const double v = n == 537 ? 900.0 : n == 804 ? -900.0 : double(n % 7);
        p.AddValues({v}, {kRed});
    }
    QList<QPointF> points;
    p.pagePoints(0, points, 100);
    ASSERT_LE(points.size(), 100);
    ASSERT_GE(points.size(), 50);
    EXPECT_TRUE(points.contains(QPointF(537, 900)));
    EXPECT_TRUE(points.contains(QPointF(804, -900)));
    for (qsizetype i = 1; i < points.size(); ++i)
        EXPECT_LT(points[i - 1].x(), points[i].x());
    EXPECT_GE(points.front().x(), 1.0);
    EXPECT_LE(points.back().x(), 1000.0);
    p.pagePoints(0, points, 1000);
    EXPECT_EQ(points.size(), 1000);
}

TEST(ChartPagingAxisLimits, RepeatedValuesReportNoChange)
{
    TChartPaging p(4, 100);
    EXPECT_TRUE(p.SetMaxValue(1000));
    EXPECT_FALSE(p.SetMaxValue(1000));
    EXPECT_TRUE(p.SetMinValue(-1000));
    EXPECT_FALSE(p.SetMinValue(-1000));
    EXPECT_FALSE(p.SetMinValue(0.0 - 1000.0));
    EXPECT_TRUE(p.SetFirstSeriesActive(false));
    EXPECT_FALSE(p.SetFirstSeriesActive(false));
}

} // namespace

// TChartControl on a real chart: what reaches the axes and series, and when.
#include "views/widgets/ChartPanel.h"
#include "views/widgets/uCharControl.h"

#include <QAreaSeries>
#include <QChart>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLineSeries>
#include <QSignalSpy>
#include <QTest>
#include <QValueAxis>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace varnetta::views;

namespace {

struct ChartFixture : ::testing::Test
{
    TChartPanel panel;
    TChartControl control{panel.chart(), 100};

    QValueAxis* axis(Qt::Orientation o) const
    {
        return qobject_cast<QValueAxis*>(panel.chart()->axes(o).front());
    }
    QXYSeries* line(int position) const
    {
        QAbstractSeries* s = panel.chart()->series().at(position);
        if (auto* area = qobject_cast<QAreaSeries*>(s))
            return area->upperSeries();
        return qobject_cast<QXYSeries*>(s);
    }
    void addRows(int count)
    {
        for (int i = 0; i < count; ++i) {
            const double n = double(control.paging().rows() + 1);
            control.AddValues({0.0, n, n + 1, n + 2}, {Qt::blue, Qt::red, Qt::blue, Qt::green});
        }
    }
};

TEST_F(ChartFixture, SeriesStandInTheirOrderAndTheRecordAxisShowsPageOne)
{
    const QStringList names = {"Series2", "Series1", "Series3", "Series4"};
    ASSERT_EQ(panel.chart()->series().size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(panel.chart()->series().at(i)->objectName(), names[i]);
    EXPECT_TRUE(qobject_cast<QAreaSeries*>(panel.chart()->series().at(0)));
    EXPECT_EQ(axis(Qt::Horizontal)->min(), 1.0);
    EXPECT_EQ(axis(Qt::Horizontal)->max(), 100.0);
    EXPECT_FALSE(panel.chart()->legend()->isVisible());
}

TEST_F(ChartFixture, AxisLimitSettersTouchTheAxisOnlyWhenTheValueChanges)
{
    QValueAxis* value = axis(Qt::Vertical);
    control.SetMaxValue(1000);
    control.SetMinValue(-100);
    EXPECT_EQ(value->max(), 1000.0);
    EXPECT_EQ(value->min(), -100.0);
    // Moved behind the control's back: a repeated value must leave it there.
    value->setRange(-5, 5);
    control.SetMaxValue(1000);
    control.SetMinValue(-100);
    EXPECT_EQ(value->max(), 5.0);
    EXPECT_EQ(value->min(), -5.0);
    control.SetMaxValue(600);
    EXPECT_EQ(value->max(), 600.0);
}

TEST_F(ChartFixture, ARowBurstReachesTheChartInOneReplacePerSeries)
{
    QSignalSpy replaced(line(1), &QXYSeries::pointsReplaced);
    addRows(50);
    EXPECT_TRUE(control.repaintPending());
    EXPECT_EQ(line(1)->count(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return line(1)->count() == 50; })) << line(1)->count();
    EXPECT_EQ(replaced.count(), 1);
    EXPECT_EQ(line(1)->at(0), QPointF(1, 1));
    EXPECT_EQ(line(3)->at(49), QPointF(50, 52));
    EXPECT_EQ(line(1)->pen().color(), QColor(Qt::red));
}

TEST_F(ChartFixture, PageMovesRedrawAtOnceWithOnlyThePageOnScreen)
{
    addRows(250);
    control.flushRepaint();
    EXPECT_EQ(line(1)->count(), 50);
    EXPECT_EQ(axis(Qt::Horizontal)->min(), 201.0);

    QSignalSpy replaced(line(2), &QXYSeries::pointsReplaced);
    control.FirstPage();
    EXPECT_EQ(replaced.count(), 1);
    EXPECT_EQ(line(2)->count(), 100);
    EXPECT_EQ(axis(Qt::Horizontal)->min(), 1.0);
    EXPECT_EQ(axis(Qt::Horizontal)->max(), 100.0);

    control.FirstPage(); // guarded: no redraw
    EXPECT_EQ(replaced.count(), 1);
}

TEST_F(ChartFixture, CurPageChangesAreAnnouncedWhateverMovesThem)
{
    QSignalSpy pages(&control, &TChartControl::curPageChanged);
    addRows(101);
    ASSERT_EQ(pages.count(), 1);
    EXPECT_EQ(pages.at(0).at(0).toInt(), 2);
    control.Clear();
    ASSERT_EQ(pages.count(), 2);
    EXPECT_EQ(pages.at(1).at(0).toInt(), 1);
    control.Clear();
    EXPECT_EQ(pages.count(), 2);
}

TEST_F(ChartFixture, ClearEmptiesTheChartAndKeepsTheValueAxis)
{
    control.SetMaxValue(600);
    addRows(20);
    control.flushRepaint();
    control.Clear();
    EXPECT_EQ(line(1)->count(), 0);
    EXPECT_EQ(axis(Qt::Vertical)->max(), 600.0);
    addRows(1);
    control.flushRepaint();
    ASSERT_EQ(line(1)->count(), 1);
    EXPECT_EQ(line(1)->at(0).x(), 1.0);
}

TEST_F(ChartFixture, FirstSeriesShowsAndHidesOnChangeOnly)
{
    QAbstractSeries* first = panel.chart()->series().at(0);
    EXPECT_TRUE(first->isVisible());
    control.SetFirstSeriesActive(false);
    EXPECT_FALSE(first->isVisible());
    first->setVisible(true); // behind its back: a repeat must not hide it again
    control.SetFirstSeriesActive(false);
    EXPECT_TRUE(first->isVisible());
}

TEST_F(ChartFixture, LeavingTheChartAloneWhenTheControlGoes)
{
    auto* extra = new TChartControl(panel.chart(), 50);
    delete extra;
    EXPECT_EQ(panel.chart()->series().size(), 4);
    EXPECT_EQ(panel.chart()->axes().size(), 2);
}

// ---- fitted values

struct FitFixture : ChartFixture
{
    FitFixture()
    {
        control.SetFirstSeriesActive(false);
        control.SetMaxValue(1000);
        control.SetMinValue(-1000);
    }
    // A power page: about 1 kW, 230 V and 4.5 A, with an overload now and then.
    void addPowerRows(int count, double kW = 0.9)
    {
        for (int i = 0; i < count; ++i) {
            const double n = double(control.paging().rows() + 1);
            const double main = int(n) % 10 == 0 ? std::nan("") : kW + 0.001 * (int(n) % 20);
            control.AddValues({0.0, main, 229.0 + 0.01 * (int(n) % 100), 4.5},
                              {Qt::blue, Qt::red, Qt::blue, Qt::green});
        }
        control.flushRepaint();
    }
};

TEST_F(FitFixture, EachTraceGetsAnAxisItIsReadableOn)
{
    addPowerRows(150);
    control.setFitValues(true);
    // The kilowatts alone on the left: the overloads (NaN) pull nothing to 0.
    QValueAxis* left = axis(Qt::Vertical);
    EXPECT_NEAR(left->min(), 0.901 - 0.05 * 0.018, 1e-4);
    EXPECT_NEAR(left->max(), 0.919 + 0.05 * 0.018, 1e-4);
    EXPECT_EQ(left->labelsColor(), QColor(Qt::red));
    // Volts and the steady amperes each on an axis of their own, in their colours.
    ASSERT_EQ(control.valueAxes().size(), 3);
    QValueAxis* volts = control.valueAxisOf(2);
    QValueAxis* amperes = control.valueAxisOf(3);
    EXPECT_EQ(control.valueAxisOf(1), left);
    EXPECT_NE(volts, left);
    EXPECT_NE(amperes, left);
    EXPECT_NE(volts, amperes);
    EXPECT_EQ(panel.chart()->axes(Qt::Vertical, panel.chart()->series().at(2)), QList<QAbstractAxis*>{volts});
    EXPECT_GT(volts->min(), 228.9);
    EXPECT_LT(volts->max(), 230.1);
    EXPECT_EQ(volts->labelsColor(), QColor(Qt::blue));
    EXPECT_LT(amperes->min(), 4.5);
    EXPECT_GT(amperes->max(), 4.5);
    EXPECT_EQ(amperes->alignment(), Qt::AlignRight);
}

TEST_F(FitFixture, PageMovesAndNewRowsFitAgain)
{
    addPowerRows(100, 0.5);
    addPowerRows(100, 3.0); // page 2 in another range
    control.setFitValues(true);
    QValueAxis* left = axis(Qt::Vertical);
    EXPECT_GT(left->min(), 2.9);
    control.FirstPage();
    EXPECT_LT(left->max(), 0.6);
    control.LastPage();
    addPowerRows(1, 9.0); // page 3
    addPowerRows(1, 40.0);
    EXPECT_NEAR(left->min(), 9.001 - 0.05 * 31.001, 1e-3);
    EXPECT_NEAR(left->max(), 40.002 + 0.05 * 31.001, 1e-3);
}

TEST_F(FitFixture, OffGivesTheFunctionsLimitsBackIncludingOnesSetMeanwhile)
{
    addPowerRows(30);
    control.setFitValues(true);
    QValueAxis* left = axis(Qt::Vertical);
    ASSERT_LT(left->max(), 10.0);
    ASSERT_EQ(panel.chart()->axes(Qt::Vertical).size(), 3);
    control.SetMaxValue(600); // a function frame of another function while fitted
    control.SetMinValue(-100);
    EXPECT_LT(left->max(), 10.0);
    control.setFitValues(false);
    EXPECT_EQ(left->max(), 600.0);
    EXPECT_EQ(left->min(), -100.0);
    EXPECT_EQ(control.valueAxes().size(), 1);
    EXPECT_EQ(panel.chart()->axes(Qt::Vertical).size(), 1); // the fit's axes are gone, not just hidden
    EXPECT_NE(left->labelsColor(), QColor(Qt::red));
    EXPECT_TRUE(left->isTitleVisible());
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(control.valueAxisOf(s), left) << s;
    addPowerRows(100); // rows after the fit leave the axis alone
    EXPECT_EQ(left->max(), 600.0);
}

TEST_F(FitFixture, APageWithoutNumbersKeepsTheFunctionsLimits)
{
    for (int i = 0; i < 5; ++i)
        control.AddValues({0.0, std::nan(""), std::nan(""), std::nan("")},
                          {Qt::blue, Qt::red, Qt::blue, Qt::green});
    control.setFitValues(true);
    EXPECT_EQ(axis(Qt::Vertical)->min(), -1000.0);
    EXPECT_EQ(axis(Qt::Vertical)->max(), 1000.0);
    control.flushRepaint();
    EXPECT_EQ(line(1)->at(0).y(), 0.0); // no number is drawn at 0
}

TEST_F(FitFixture, TheChartLosesTheFitsAxesWhenTheControlGoes)
{
    auto* other = new TChartControl(panel.chart(), 50);
    other->AddValues({0.0, 1.0, 300.0, 1.0}, {Qt::blue, Qt::red, Qt::blue, Qt::green});
    other->setFitValues(true);
    ASSERT_EQ(panel.chart()->axes(Qt::Vertical).size(), 2);
    delete other;
    EXPECT_EQ(panel.chart()->axes(Qt::Vertical).size(), 1);
    EXPECT_EQ(panel.chart()->axes(Qt::Vertical, panel.chart()->series().at(2)).size(), 1);
}

// Qt Charts elides a bottom label wider than its share of the plot: every
// record number on the axis, the page's last one included, must stay whole.
struct RecordLabelsCase
{
    int range;
    int width;
};

class RecordLabels : public ChartFixture, public ::testing::WithParamInterface<RecordLabelsCase>
{
};

TEST_P(RecordLabels, ShowTheLastRecordNumberUnclipped)
{
    panel.resize(GetParam().width, 400);
    panel.show();
    control.SetRange(GetParam().range);
    const QString last = QString::number(GetParam().range);
    // The axis labels: visible texts without letters (titles may elide on a narrow chart).
    const auto labels = [this] {
        QStringList texts;
        for (QGraphicsItem* item : panel.chart()->scene()->items())
            if (auto* text = dynamic_cast<QGraphicsTextItem*>(item); text && text->isVisible()) {
                const QString plain = text->toPlainText();
                if (!plain.isEmpty() &&
                    std::none_of(plain.begin(), plain.end(), [](QChar c) { return c.isLetter(); }))
                    texts << plain;
            }
        return texts;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return labels().contains(last); }))
        << labels().join(QLatin1Char('|')).toStdString();
    for (const QString& text : labels())
        EXPECT_FALSE(text.contains(QStringLiteral("...")) || text.contains(QChar(0x2026)))
            << text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(PageSizes, RecordLabels,
                         ::testing::Values(RecordLabelsCase{100, 450}, RecordLabelsCase{1000, 450},
                                           RecordLabelsCase{1000, 300}, RecordLabelsCase{10000, 450}));

} // namespace

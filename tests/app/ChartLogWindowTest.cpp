// "Chart Log" through the whole window: an opened file's rows reach the
// chart only when asked, page by page as the table holds them, and the
// table's later changes follow.
#include "app/ufrmMain.h"
#include "controls/NewMsgDlg.h"
#include "log/LogFiles.h"
#include "log/LogStatistics.h"
#include "log/widgets/StatisticsDialog.h"
#include "log/widgets/uComparator.h"
#include "log/widgets/uLogPanel.h"
#include "protocol/Reading.h"
#include "views/widgets/ChartPanel.h"
#include "views/widgets/uCharControl.h"

#include <QAction>
#include <QAreaSeries>
#include <QChart>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QValueAxis>
#include <QXYSeries>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace varnetta;
using namespace varnetta::app;

namespace {

class ChartLogWindow : public testing::Test
{
protected:
    void SetUp() override
    {
        m_previous = SetMsgDlgHook([](const QString&, TMsgDlgType, TMsgDlgButtons) { return mrYes; });
        m_window = std::make_unique<TfrmMain>();
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void TearDown() override
    {
        m_window.reset();
        SetMsgDlgHook(m_previous);
    }

    template <typename T> T* child(const char* name)
    {
        T* found = m_window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QXYSeries* line(int position) const
    {
        return qobject_cast<QXYSeries*>(m_window->chartPanel()->chart()->series().at(position));
    }

    // A tab-separated log of `rows` power rows; every 13th main value an overload.
    QString writeLog(int rows)
    {
        const QByteArray sep = m_window->decimalSeparator();
        log::TLogStore store;
        for (int n = 1; n <= rows; ++n) {
            log::TLogRow row;
            row.ANo = n;
            row.setText(log::fATime, "10:00:00(2026-12-10)");
            row.setText(log::fAFunction, "PWRP");
            row.setText(log::fAValue, n % 13 == 0 ? QByteArray("OL") : "0" + sep + QByteArray::number(n));
            row.setText(log::fAUnit, "KW");
            row.setText(log::fASubValue1, "230" + sep + QByteArray::number(n % 10));
            row.setText(log::fASubUnit1, "V");
            row.setText(log::fASubValue2, "-" + QByteArray::number(n));
            row.setText(log::fASubUnit2, "A");
            store.appendRow(row);
        }
        const QString name = m_dir.filePath(QStringLiteral("log.xls"));
        QFile file(name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_TRUE(log::WriteTextLog(store, file, log::DefaultTextLogHeader()));
        return name;
    }

    // The chart's points of each value series equal the table's values of
    // the page shown (a record without a number at 0).
    void expectPageMatchesTable(int page)
    {
        views::TChartControl* control = m_window->chartControl();
        control->flushRepaint();
        ASSERT_EQ(control->CurPage(), page);
        EXPECT_EQ(child<QLineEdit>("edtCurPage")->text(), QString::number(page));
        const log::TLogStore& store = m_window->logPanel()->store();
        const int range = control->Range();
        const qsizetype first = qsizetype(page - 1) * range;
        const qsizetype count = std::min<qsizetype>(range, store.rowCount() - first);
        const int fields[] = {log::fAValue, log::fASubValue1, log::fASubValue2};
        for (int s = 1; s <= 3; ++s) {
            const QList<QPointF> points = line(s)->points();
            ASSERT_EQ(points.size(), count) << "series " << s << " page " << page;
            for (qsizetype i = 0; i < count; ++i) {
                const std::optional<double> v = protocol::ValueTextToNumber(
                    store.fieldText(first + i, fields[s - 1]), m_window->decimalSeparator());
                EXPECT_EQ(points[i].x(), double(first + i + 1));
                EXPECT_FLOAT_EQ(float(points[i].y()), v ? float(*v) : 0.0f)
                    << "series " << s << " record " << first + i + 1;
            }
        }
    }

    std::unique_ptr<TfrmMain> m_window;
    TMsgDlgHook m_previous;
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(ChartLogWindow, TheTogglesFollowTheRecordMenusOwnItemsAndStartOff)
{
    auto* menu = child<QMenu>("mniRecord1");
    QStringList names;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            names << a->objectName();
    ASSERT_GE(names.size(), 3);
    EXPECT_EQ(names.mid(names.size() - 3), (QStringList{"mniStatistics1", "mniChartLog", "mniFitValues"}));
    for (const char* name : {"mniChartLog", "mniFitValues"}) {
        auto* action = child<QAction>(name);
        EXPECT_TRUE(action->isCheckable());
        EXPECT_FALSE(action->isChecked());
        EXPECT_TRUE(action->isEnabled());
    }
    EXPECT_EQ(child<QToolButton>("btnChartLog")->defaultAction(), child<QAction>("mniChartLog"));
    EXPECT_EQ(child<QToolButton>("btnFitValues")->defaultAction(), child<QAction>("mniFitValues"));
}

TEST_F(ChartLogWindow, AnOpenedLogIsChartedPageByPageOnlyWhenAsked)
{
    ASSERT_TRUE(m_window->logPanel()->LoadLogFile(writeLog(250), true));
    views::TChartControl* control = m_window->chartControl();
    control->flushRepaint();
    EXPECT_EQ(line(1)->count(), 0); // off: file rows stay off the chart
    EXPECT_EQ(control->PageCount(), 1);

    child<QAction>("mniChartLog")->trigger();
    EXPECT_EQ(control->PageCount(), 3);
    expectPageMatchesTable(3);
    child<QToolButton>("btnFirst")->click();
    expectPageMatchesTable(1);
    child<QToolButton>("btnNext")->click();
    expectPageMatchesTable(2);
    child<QToolButton>("btnLast")->click();
    expectPageMatchesTable(3);

    // Rows recorded into the table now reach the chart through the table.
    protocol::TReading reading;
    reading.FunMode = protocol::fmPWRP;
    reading.Value = "0" + m_window->decimalSeparator() + "5";
    reading.SubValue1 = "231";
    reading.SubValue2 = "OL";
    for (int i = 0; i < 51; ++i)
        m_window->logPanel()->recorder().AppendLogRow(reading, false);
    EXPECT_EQ(control->PageCount(), 4);
    expectPageMatchesTable(4);

    // Off again: the chart's own rows, of which the file gave none.
    child<QAction>("mniChartLog")->trigger();
    control->flushRepaint();
    EXPECT_EQ(control->paging().rows(), 51);
    EXPECT_EQ(line(1)->count(), 51);
}

TEST_F(ChartLogWindow, ClearingOrReplacingTheTableFollowsOnTheChart)
{
    child<QAction>("mniChartLog")->trigger();
    ASSERT_TRUE(m_window->logPanel()->LoadLogFile(writeLog(120), true));
    views::TChartControl* control = m_window->chartControl();
    EXPECT_EQ(control->PageCount(), 2);
    expectPageMatchesTable(2);
    ASSERT_TRUE(m_window->logPanel()->LoadLogFile(writeLog(30), true));
    expectPageMatchesTable(1);
    child<QToolButton>("btnNew")->click(); // Clear
    control->flushRepaint();
    EXPECT_EQ(control->paging().rows(), 0);
    EXPECT_EQ(line(1)->count(), 0);
}

TEST_F(ChartLogWindow, FitValuesGivesTheOpenedLogsValuesTheirOwnAxes)
{
    ASSERT_TRUE(m_window->logPanel()->LoadLogFile(writeLog(100), true));
    child<QAction>("mniChartLog")->trigger();
    child<QAction>("mniFitValues")->trigger();
    views::TChartControl* control = m_window->chartControl();
    QList<QValueAxis*> axes = control->valueAxes();
    // Tenths of a kilowatt on the left; volts and amperes on the right.
    ASSERT_EQ(axes.size(), 3);
    EXPECT_LT(axes[0]->max(), 1.1);
    EXPECT_GT(axes[0]->min(), 0.0);
    EXPECT_NEAR(control->valueAxisOf(2)->min(), 230.0 - 0.05 * 0.9, 1e-4);
    EXPECT_LT(control->valueAxisOf(3)->min(), -100.0);
    EXPECT_GT(control->valueAxisOf(3)->max(), -1.0);
    child<QAction>("mniFitValues")->trigger();
    EXPECT_EQ(control->valueAxes().size(), 1);
    EXPECT_EQ(control->valueAxes().front()->max(), 1000.0);
    EXPECT_EQ(control->valueAxes().front()->min(), -1000.0);
}

TEST_F(ChartLogWindow, StatisticsShowThePageOnTheChartAndTheVerdictsSinceTheLastClear)
{
    ASSERT_TRUE(m_window->logPanel()->LoadLogFile(writeLog(250), true));
    child<QAction>("mniChartLog")->trigger();
    child<QAction>("mniStatistics1")->trigger();
    log::TStatisticsDialog* dialog = m_window->logPanel()->statisticsDialog();
    ASSERT_NE(dialog, nullptr);

    // Against a direct computation over the same rows of the table; the
    // chart keeps single precision, so the figures agree to about 7 digits.
    const auto expectPage = [&](qsizetype from, qsizetype to) {
        dialog->refresh();
        ASSERT_TRUE(dialog->pageFigures());
        const auto direct = log::TLogStatistics::ofRows(m_window->logPanel()->store(), from, to,
                                                        m_window->decimalSeparator());
        for (size_t t = 0; t < 3; ++t) {
            const log::TTraceStatistics& shown = dialog->pageFigures()->traces[t];
            EXPECT_EQ(shown.count, direct[t].count) << t;
            EXPECT_NEAR(shown.min, direct[t].min, 1e-4 * std::abs(direct[t].min));
            EXPECT_NEAR(shown.max, direct[t].max, 1e-4 * std::abs(direct[t].max));
            EXPECT_NEAR(shown.mean, direct[t].mean, 1e-5 * std::abs(direct[t].mean));
            EXPECT_NEAR(shown.standardDeviation(), direct[t].standardDeviation(),
                        1e-4 * direct[t].standardDeviation());
        }
    };
    expectPage(200, 250);
    EXPECT_TRUE(
        dialog->findChild<QLabel*>("lblPageStatistics")->text().contains(QStringLiteral("201 to 250")));
    child<QToolButton>("btnFirst")->click();
    expectPage(0, 100);

    // The comparator's verdicts, counted afresh after Clear but not after a file.
    protocol::TReading reading;
    reading.FunMode = protocol::fmPWRP;
    reading.Value = "5";
    m_window->dispatcher().readingDecoded(reading);
    reading.Value = "OL";
    m_window->dispatcher().readingDecoded(reading);
    m_window->dispatcher().readingDecoded(reading);
    dialog->refresh();
    EXPECT_EQ(dialog->findChild<QLabel*>("lblVerdictCounts")->text(),
              QStringLiteral("Comparator since the last clear: Pass 1, Fail 2"));
    ASSERT_TRUE(m_window->logPanel()->LoadLogFile(writeLog(10), true));
    EXPECT_EQ(m_window->comparator()->verdictCounts(), (log::TVerdictCounts{1, 2}));
    child<QToolButton>("btnNew")->click();
    EXPECT_EQ(m_window->comparator()->verdictCounts(), (log::TVerdictCounts{}));
}

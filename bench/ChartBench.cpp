// The trend chart at scale: the cost of one row, and a page move with its
// repaint on a ten-million-row log at 10000 records a page, the chart's own
// rows beside the log table charted as its source.
#include "support/LogSampleRows.h"

#include "log/LogStore.h"
#include "views/ChartPaging.h"
#include "views/widgets/ChartPanel.h"
#include "views/widgets/LogChartSource.h"
#include "views/widgets/uCharControl.h"

#include <QApplication>
#include <QChartView>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <memory>

using namespace varnetta::views;

namespace {

constexpr int kBigLogRows = 9'999'999;
constexpr int kBigPageSize = 10'000;

const QList<QColor> kColors = {Qt::blue, Qt::red, Qt::blue, Qt::green};

QList<double> rowValues(int64_t n)
{
    const double v = double(n % 997);
    return {0.0, 230.0 + v / 100.0, 5.0 - v / 300.0, v / 10.0};
}

// The paging object alone: arrays and page arithmetic.
void BM_PagingAddValues(benchmark::State& state)
{
    std::unique_ptr<TChartPaging> paging;
    const QList<TPointColor> colors = {0xFF0000FFu, 0xFFFF0000u, 0xFF0000FFu, 0xFF008000u};
    int64_t n = 0;
    for (auto _ : state) {
        if (n % 1'000'000 == 0)
            paging = std::make_unique<TChartPaging>(4, 100);
        paging->AddValues(rowValues(++n), colors);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PagingAddValues);

// A row through TChartControl as the log hands it over; the repaints it asks
// for are capped by the timer, so this is the amortised cost per row.
void BM_ChartAddValues(benchmark::State& state)
{
    TChartPanel panel;
    panel.resize(800, 500);
    std::unique_ptr<TChartControl> control;
    int64_t n = 0;
    for (auto _ : state) {
        if (n % 1'000'000 == 0)
            control = std::make_unique<TChartControl>(panel.chart(), 100);
        control->AddValues(rowValues(++n), kColors);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ChartAddValues);

struct BigLog
{
    TChartPanel panel;
    TChartControl control{panel.chart(), kBigPageSize};
    BigLog()
    {
        panel.resize(800, 500);
        panel.show();
        control.SetFirstSeriesActive(false); // as the window starts
        for (int64_t n = 1; n <= kBigLogRows; ++n)
            control.AddValues(rowValues(n), kColors);
        control.flushRepaint();
        QApplication::processEvents();
    }
};

BigLog& bigLog()
{
    static BigLog log;
    return log;
}

// Page back and forth: window, axis and the four series replaced.
void BM_PageMoveAt10MRows(benchmark::State& state)
{
    BigLog& log = bigLog();
    bool back = true;
    for (auto _ : state) {
        if (back)
            log.control.PreviousPage();
        else
            log.control.NextPage();
        back = !back;
    }
    state.counters["rows"] = double(log.control.paging().rows());
    state.counters["pages"] = log.control.PageCount();
}
BENCHMARK(BM_PageMoveAt10MRows)->Unit(benchmark::kMillisecond);

// The same page move, then the chart drawn as it is on screen.
void BM_PageMoveAndRepaintAt10MRows(benchmark::State& state)
{
    BigLog& log = bigLog();
    QImage frame(log.panel.chartView()->size(), QImage::Format_RGB32);
    bool back = true;
    for (auto _ : state) {
        if (back)
            log.control.PreviousPage();
        else
            log.control.NextPage();
        back = !back;
        QPainter painter(&frame);
        log.panel.chartView()->render(&painter);
    }
    state.counters["width"] = frame.width();
    state.counters["height"] = frame.height();
}
BENCHMARK(BM_PageMoveAndRepaintAt10MRows)->Unit(benchmark::kMillisecond);

// The log table of ten million rows charted through its source: the page
// read from the table's texts on every move.
struct BigTable
{
    TChartPanel panel;
    varnetta::log::TLogStore store;
    TLogChartSource source{store, ","};
    TChartControl control{panel.chart(), kBigPageSize};
    BigTable()
    {
        panel.resize(800, 500);
        panel.show();
        control.SetFirstSeriesActive(false);
        control.SetMaxValue(1000);
        control.SetMinValue(-1000);
        varnetta::log::bench::FillSampleLog(store, kBigLogRows);
        control.setSource(&source);
        control.flushRepaint();
        QApplication::processEvents();
    }
};

BigTable& bigTable()
{
    static BigTable table;
    return table;
}

// To the last page and back to the first, one move an iteration.
void pageToEndAndBack(benchmark::State& state, TChartControl& control)
{
    bool toEnd = control.CurPage() == 1;
    for (auto _ : state) {
        if (toEnd)
            control.LastPage();
        else
            control.FirstPage();
        toEnd = !toEnd;
    }
    state.counters["rows"] = double(control.paging().rows());
    state.counters["pages"] = control.PageCount();
}

// Reference: the same moves over the chart's own arrays.
void BM_PageToEndAndBackOwnRows(benchmark::State& state)
{
    pageToEndAndBack(state, bigLog().control);
}
BENCHMARK(BM_PageToEndAndBackOwnRows)->Unit(benchmark::kMillisecond);

void BM_PageToEndAndBackLogTable(benchmark::State& state)
{
    BigTable& table = bigTable();
    table.control.setFitValues(state.range(0) != 0);
    pageToEndAndBack(state, table.control);
    table.control.setFitValues(false);
}
BENCHMARK(BM_PageToEndAndBackLogTable)->ArgName("fit")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

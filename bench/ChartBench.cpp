// The trend chart at scale: the cost of one row, and a page move with its
// repaint on a ten-million-row log at 10000 records a page.
#include "views/ChartPaging.h"
#include "views/widgets/ChartPanel.h"
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

} // namespace

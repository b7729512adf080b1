// One live reading frame through the LCD panel and the comparator, shown
// on screen (offscreen platform) and repainted: steady indicators, and every
// indicator toggling each frame. The whole frame adds the grid's new row
// and the chart's new point, as the window wires them.
#include "display/widgets/uLcdPanel.h"
#include "log/LogChartSink.h"
#include "log/widgets/uComparator.h"
#include "log/widgets/uLogPanel.h"
#include "views/widgets/ChartPanel.h"
#include "views/widgets/uCharControl.h"

#include "protocol/FrameDispatcher.h"
#include "protocol/MeterFrame.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

using namespace varnetta;

namespace {

QByteArray readingFrame(int n, uint8_t statusByte)
{
    QByteArray head;
    head.append(char(protocol::kHeader0)).append(char(protocol::kHeader1)).append(char(0x20));
    head.append(char(protocol::kFrameTypeReading)).append(char(0x30));
    const QByteArray value = QByteArray::number(0.5 + (n % 500) * 0.001, 'f', 3).rightJustified(6, ' ');
    head += "050" + value + " 230.1" + "  4.25";
    head += QByteArray(5, char(statusByte));
    return protocol::WithChecksum(head) + "\r\n";
}

struct Window
{
    Window() : comparator(".")
    {
        auto* layout = new QHBoxLayout(&host);
        panel = new display::TLcdPanel(&host);
        layout->addWidget(panel);
        comparator.setParent(&host);
        layout->addWidget(&comparator);
        using protocol::TFrameDispatcher;
        QObject::connect(&dispatcher, &TFrameDispatcher::unitChanged, panel,
                         &display::TLcdPanel::SetUnitText);
        QObject::connect(&dispatcher, &TFrameDispatcher::functionSymbols, panel,
                         &display::TLcdPanel::SetFunctionSymbols);
        QObject::connect(&dispatcher, &TFrameDispatcher::readingDecoded, panel,
                         &display::TLcdPanel::ShowReading);
        QObject::connect(&dispatcher, &TFrameDispatcher::readingDecoded, &comparator,
                         &log::TComparatorPanel::Judge);
        QObject::connect(&dispatcher, &TFrameDispatcher::statusReceived, panel,
                         &display::TLcdPanel::CP21041ReceiveStatusData);
        QObject::connect(&dispatcher, &TFrameDispatcher::frameHandled, panel,
                         &display::TLcdPanel::FlipActivity);
        host.resize(800, 260);
        host.show();
        QApplication::processEvents();
    }
    QWidget host;
    display::TLcdPanel* panel = nullptr;
    log::TComparatorPanel comparator;
    protocol::TFrameDispatcher dispatcher;
};

void runFrames(benchmark::State& state, bool toggleIndicators)
{
    Window w;
    QImage image(w.host.size(), QImage::Format_ARGB32_Premultiplied);
    int n = 0;
    for (auto _ : state) {
        ++n;
        const uint8_t status = toggleIndicators && (n % 2) ? 0x0F : 0x00;
        w.dispatcher.CP21041ReceiveData(readingFrame(n, status));
        // What the event loop would paint for this frame.
        QPainter painter(&image);
        w.host.render(&painter);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_LiveFrameSteadyIndicators(benchmark::State& state)
{
    runFrames(state, false);
}
void BM_LiveFrameEveryIndicatorToggling(benchmark::State& state)
{
    runFrames(state, true);
}

// Without painting: the handlers' own cost.
void runHandlers(benchmark::State& state, bool toggleIndicators)
{
    Window w;
    int n = 0;
    for (auto _ : state) {
        ++n;
        w.dispatcher.CP21041ReceiveData(readingFrame(n, toggleIndicators && (n % 2) ? 0x0F : 0x00));
    }
    state.SetItemsProcessed(state.iterations());
}
void BM_HandlersSteadyIndicators(benchmark::State& state)
{
    runHandlers(state, false);
}
void BM_HandlersEveryIndicatorToggling(benchmark::State& state)
{
    runHandlers(state, true);
}
// The chart as the log's sink, the way the window hands rows to it.
class TChartSinkForBench final : public log::ILogChartSink
{
public:
    explicit TChartSinkForBench(views::TChartControl& control) : m_control(control) {}
    void AddValues(const QList<double>& values, const QList<Qt::GlobalColor>& globalColors) override
    {
        m_control.AddValues(values, QList<QColor>(globalColors.cbegin(), globalColors.cend()));
    }
    void Clear() override { m_control.Clear(); }

private:
    views::TChartControl& m_control;
};

// Every reading frame through LCD, comparator, a new grid row and a new
// chart point, with what the event loop then does for it: the grid's layout,
// the repaints of every shown widget that changed, the chart's timer.
void BM_WholeLiveFrame(benchmark::State& state)
{
    Window w;
    log::TLogPanel logPanel;
    views::TChartPanel chartPanel;
    views::TChartControl chart(chartPanel.chart(), 100);
    TChartSinkForBench sink(chart);
    logPanel.recorder().setChartSink(&sink);
    logPanel.recorder().setRecordLimit(log::kMaxLogRows);
    logPanel.recorder().setDecimalSeparator(".");
    QObject::connect(&w.dispatcher, &protocol::TFrameDispatcher::readingDecoded, &logPanel.recorder(),
                     &log::TLogRecorder::readingDecoded);
    logPanel.resize(444, 400);
    chartPanel.resize(800, 400);
    logPanel.show();
    chartPanel.show();
    QApplication::processEvents();
    int n = 0;
    for (auto _ : state) {
        ++n;
        w.dispatcher.CP21041ReceiveData(readingFrame(n, 0x00));
        QApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["rows"] = double(logPanel.store().rowCount());
}
BENCHMARK(BM_WholeLiveFrame)->Unit(benchmark::kMicrosecond);

// The text conversion each display field and unit goes through.
void BM_DisplayText(benchmark::State& state)
{
    const QByteArray text(" 230.1");
    for (auto _ : state)
        benchmark::DoNotOptimize(protocol::DisplayText(text));
}

BENCHMARK(BM_LiveFrameSteadyIndicators)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LiveFrameEveryIndicatorToggling)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HandlersSteadyIndicators)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HandlersEveryIndicatorToggling)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayText)->Unit(benchmark::kMicrosecond);

} // namespace

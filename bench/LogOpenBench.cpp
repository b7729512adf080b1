// Opening a ten-million-row log into a table that holds ten million rows,
// as the window does it: the figures are the wall time and the longest the
// user-interface thread went without turning its event loop (a 5 ms timer
// measures the gaps). The reference, measured in the same run, is the way
// it was done before: read and merged on the user-interface thread.
#include "controls/NewMsgDlg.h"
#include "support/LogSampleRows.h"
#include "log/LogFiles.h"
#include "log/LogStore.h"
#include "log/widgets/uLogPanel.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <limits>

#include <time.h>

using namespace varnetta;
using namespace varnetta::log;

namespace {

constexpr qsizetype kRows = kMaxLogRows;
const QString kTextFile = QStringLiteral("/tmp/varnetta-open-bench.xls");
const QString kXmlFile = QStringLiteral("/tmp/varnetta-open-bench.xml");

void fill(TLogStore& store)
{
    store.clear();
    bench::FillSampleLog(store, kRows);
}

void writeFiles()
{
    TLogStore store;
    fill(store);
    QFile text(kTextFile);
    QFile xml(kXmlFile);
    if (!text.open(QIODevice::WriteOnly) || !WriteTextLog(store, text, DefaultTextLogHeader()) ||
        !xml.open(QIODevice::WriteOnly) || !WriteXmlPacket(store, xml))
        qFatal("cannot write the benchmark's files in /tmp");
}

qint64 threadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// How the user-interface thread fared while `work` ran, from the ticks of a
// 5 ms timer: the longest gap between two ticks, and the most processor time
// the thread itself spent between two ticks. On a loaded machine the first
// also holds the time the thread waited for a processor; the second is what
// the program's own work on that thread costs.
struct TStall
{
    double wallMs = 0;
    double busyMs = 0;
};

template <typename Work> TStall longestStall(Work&& work)
{
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 lastCpu = threadCpuNs();
    qint64 longest = 0;
    qint64 longestCpu = 0;
    const auto note = [&] {
        const qint64 now = clock.nsecsElapsed();
        const qint64 cpu = threadCpuNs();
        longest = std::max(longest, now - last);
        longestCpu = std::max(longestCpu, cpu - lastCpu);
        last = now;
        lastCpu = cpu;
    };
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, note);
    clock.start();
    tick.start();
    work();
    note();
    return {double(longest) / 1e6, double(longestCpu) / 1e6};
}

void openIntoFullTable(benchmark::State& state, const QString& file,
                       int sliceRows = TLogTableModel::kDefaultSliceRows)
{
    TLogPanel panel;
    panel.model().setSliceRows(sliceRows);
    panel.resize(444, 400);
    panel.show();
    for (auto _ : state) {
        state.PauseTiming();
        fill(panel.store());
        panel.model().noteReset();
        while (panel.model().catchingUp())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QApplication::processEvents();
        state.ResumeTiming();
        const TStall stall = longestStall([&] {
            if (!panel.LoadLogFile(file, false))
                state.SkipWithError("load failed");
            // Until the grid shows every row and has been laid out and
            // painted with them.
            while (panel.model().catchingUp())
                QApplication::processEvents(QEventLoop::WaitForMoreEvents);
            QApplication::processEvents();
        });
        state.counters["longest_stall_ms"] = stall.wallMs;
        state.counters["longest_busy_ms"] = stall.busyMs;
        state.counters["rows_after"] = double(panel.store().rowCount());
    }
}

void BM_OpenTextIntoFullTable(benchmark::State& state)
{
    openIntoFullTable(state, kTextFile);
}
BENCHMARK(BM_OpenTextIntoFullTable)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

void BM_OpenXmlIntoFullTable(benchmark::State& state)
{
    openIntoFullTable(state, kXmlFile);
}
BENCHMARK(BM_OpenXmlIntoFullTable)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

// The log opened into an empty table, from the moment the file is chosen
// to a grid that shows its last row, against the reader alone on the same
// file in the same run: what the window adds to the reader's time.
void openIntoEmptyTable(benchmark::State& state, const QString& file)
{
    TLogPanel panel;
    panel.resize(444, 400);
    panel.show();
    for (auto _ : state) {
        state.PauseTiming();
        panel.store().clear();
        panel.model().noteReset();
        QApplication::processEvents();
        state.ResumeTiming();
        const TStall stall = longestStall([&] {
            if (!panel.LoadLogFile(file, true))
                state.SkipWithError("load failed");
            while (panel.model().catchingUp())
                QApplication::processEvents(QEventLoop::WaitForMoreEvents);
            QApplication::processEvents();
        });
        if (panel.store().rowCount() != kRows)
            state.SkipWithError("rows missing");
        state.counters["longest_stall_ms"] = stall.wallMs;
    }
}
void readerAlone(benchmark::State& state, const QString& file, bool xml)
{
    for (auto _ : state) {
        QFile in(file);
        TLogStore store;
        if (!in.open(QIODevice::ReadOnly) || !(xml ? ReadXmlPacket(in, store) : ReadTextLog(in, store)) ||
            store.rowCount() != kRows)
            state.SkipWithError("load failed");
    }
}
void BM_ReferenceTextReaderAlone(benchmark::State& state)
{
    readerAlone(state, kTextFile, false);
}
void BM_OpenTextIntoEmptyTable(benchmark::State& state)
{
    openIntoEmptyTable(state, kTextFile);
}
void BM_ReferenceXmlReaderAlone(benchmark::State& state)
{
    readerAlone(state, kXmlFile, true);
}
void BM_OpenXmlIntoEmptyTable(benchmark::State& state)
{
    openIntoEmptyTable(state, kXmlFile);
}
BENCHMARK(BM_ReferenceTextReaderAlone)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenTextIntoEmptyTable)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceXmlReaderAlone)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenXmlIntoEmptyTable)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

// Reference: the same, with the grid told about all new rows at once, as
// it was before the model announced them a slice per turn.
void BM_ReferenceTextOpenGridToldAtOnce(benchmark::State& state)
{
    openIntoFullTable(state, kTextFile, std::numeric_limits<int>::max());
}
BENCHMARK(BM_ReferenceTextOpenGridToldAtOnce)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

// Reference: the text log read and its rows merged one by one on the
// user-interface thread, which then stalls for the whole of it.
void BM_ReferenceTextOpenOnTheUiThread(benchmark::State& state)
{
    TLogStore table;
    for (auto _ : state) {
        state.PauseTiming();
        fill(table);
        state.ResumeTiming();
        const TStall stall = longestStall([&] {
            QTimer::singleShot(0, [&] {
                QFile in(kTextFile);
                TLogStore loaded;
                if (!in.open(QIODevice::ReadOnly) || !ReadTextLog(in, loaded))
                    state.SkipWithError("load failed");
                table.appendFrom(std::move(loaded));
                QCoreApplication::exit(0);
            });
            QCoreApplication::exec();
        });
        state.counters["longest_stall_ms"] = stall.wallMs;
        state.counters["longest_busy_ms"] = stall.busyMs;
    }
}
BENCHMARK(BM_ReferenceTextOpenOnTheUiThread)->Iterations(1)->Repetitions(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    // The success messages must not wait for a person.
    app::SetMsgDlgHook([](const QString&, app::TMsgDlgType, app::TMsgDlgButtons) { return int(app::mrOk); });
    benchmark::Initialize(&argc, argv);
    if (!QFile::exists(kTextFile) || !QFile::exists(kXmlFile))
        writeFiles();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (qEnvironmentVariableIsEmpty("VARNETTA_BENCH_KEEP_FILES")) {
        QFile::remove(kTextFile);
        QFile::remove(kXmlFile);
    }
    return 0;
}

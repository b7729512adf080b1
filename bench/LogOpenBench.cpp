// Opening a ten-million-row log into a table that holds ten million rows,
// as the window does it: the figures are the wall time and the longest the
// user-interface thread went without turning its event loop (a 5 ms timer
// measures the gaps). The reference, measured in the same run, is the way
// it was done before: read and merged on the user-interface thread.
#include "app/NewMsgDlg.h"
#include "support/LogSampleRows.h"
#include "log/LogFiles.h"
#include "log/LogStore.h"
#include "log/uLogPanel.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

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

// The longest gap between ticks of a 5 ms timer while `work` runs.
template <typename Work> double longestStallMs(Work&& work)
{
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    clock.start();
    tick.start();
    work();
    longest = std::max(longest, clock.nsecsElapsed() - last);
    return double(longest) / 1e6;
}

void openIntoFullTable(benchmark::State& state, const QString& file)
{
    TLogPanel panel;
    panel.resize(444, 400);
    panel.show();
    for (auto _ : state) {
        state.PauseTiming();
        fill(panel.store());
        panel.model().noteReset();
        QApplication::processEvents();
        state.ResumeTiming();
        const double stall = longestStallMs([&] {
            if (!panel.LoadLogFile(file, false))
                state.SkipWithError("load failed");
        });
        state.counters["longest_stall_ms"] = stall;
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

// Reference: the text log read and its rows merged one by one on the
// user-interface thread, which then stalls for the whole of it.
void BM_ReferenceTextOpenOnTheUiThread(benchmark::State& state)
{
    TLogStore table;
    for (auto _ : state) {
        state.PauseTiming();
        fill(table);
        state.ResumeTiming();
        const double stall = longestStallMs([&] {
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
        state.counters["longest_stall_ms"] = stall;
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

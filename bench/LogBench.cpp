// The log at its largest: 9,999,999 rows appended, saved and loaded in both
// layouts, and the grid moved to the last row.
#include "log/LogFiles.h"
#include "log/LogRecorder.h"
#include "log/LogStatistics.h"
#include "log/LogStore.h"
#include "log/LogTableModel.h"
#include "support/LogSampleRows.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QTableView>

using namespace varnetta;
using namespace varnetta::log;

namespace {

constexpr qsizetype kRows = kMaxLogRows;
const QString kTextFile = QStringLiteral("/tmp/varnetta-bench-log.xls");
const QString kXmlFile = QStringLiteral("/tmp/varnetta-bench-log.xml");

using bench::FillSampleLog;
using bench::SampleLogRow;

TLogStore& fullStore()
{
    static TLogStore store;
    if (store.rowCount() == 0)
        FillSampleLog(store, kRows);
    return store;
}

// Rows made beforehand, taken in turn: the figures are the store's own cost.
std::vector<TLogRow> sampleRows()
{
    std::vector<TLogRow> rows;
    rows.reserve(4096);
    for (qsizetype i = 0; i < 4096; ++i)
        rows.push_back(SampleLogRow(i));
    return rows;
}

void BM_AppendRows(benchmark::State& state)
{
    const std::vector<TLogRow> rows = sampleRows();
    for (auto _ : state) {
        TLogStore store;
        for (qsizetype i = 0; i < kRows; ++i) {
            store.appendRow(rows[size_t(i & 4095)]);
            store.appendChange({qint32(i + 1), 0, kRowStateInserted});
        }
        state.counters["bytes_per_row"] = double(store.memoryBytes()) / double(store.rowCount());
        benchmark::DoNotOptimize(store.rowCount());
    }
    state.counters["rows"] = double(kRows);
}
BENCHMARK(BM_AppendRows)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same appends with the statistics kept up to date as the dialog keeps
// them (a step every 4096 rows): what counting costs beside the append.
void BM_AppendRowsWithStatistics(benchmark::State& state)
{
    const std::vector<TLogRow> rows = sampleRows();
    for (auto _ : state) {
        TLogStore store;
        TLogStatistics statistics(",");
        for (qsizetype i = 0; i < kRows; ++i) {
            store.appendRow(rows[size_t(i & 4095)]);
            store.appendChange({qint32(i + 1), 0, kRowStateInserted});
            if ((i & 4095) == 4095)
                statistics.update(store);
        }
        statistics.update(store);
        if (statistics.trace(0).count != kRows)
            state.SkipWithError("values not counted");
    }
}
BENCHMARK(BM_AppendRowsWithStatistics)->Iterations(1)->Unit(benchmark::kMillisecond);

// Every value of a full log counted afresh, as when the dialog opens on it.
void BM_StatisticsOfAFullLog(benchmark::State& state)
{
    const TLogStore& store = fullStore();
    for (auto _ : state) {
        TLogStatistics statistics(",");
        statistics.update(store);
        benchmark::DoNotOptimize(statistics.trace(0).mean);
    }
    state.counters["rows"] = double(store.rowCount());
}
BENCHMARK(BM_StatisticsOfAFullLog)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

void BM_AppendRowsThroughRecorder(benchmark::State& state)
{
    protocol::TReading reading;
    reading.FunMode = protocol::fmPWRP;
    reading.Value = "230,12";
    reading.Unit = "kW";
    reading.SubValue1 = "231,4";
    reading.SubUnit1 = "V";
    reading.SubValue2 = "5,02";
    reading.SubUnit2 = "A";
    for (auto _ : state) {
        TLogStore store;
        TLogRecorder recorder(store);
        recorder.setRecordLimit(kRows);
        for (qsizetype i = 0; i < 1000000; ++i)
            recorder.AppendLogRow(reading, false);
        benchmark::DoNotOptimize(store.rowCount());
    }
    state.counters["rows"] = 1000000;
}
BENCHMARK(BM_AppendRowsThroughRecorder)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_TextSave(benchmark::State& state)
{
    const TLogStore& store = fullStore();
    for (auto _ : state) {
        QFile file(kTextFile);
        file.open(QIODevice::WriteOnly);
        if (!WriteTextLog(store, file, DefaultTextLogHeader()))
            state.SkipWithError("write failed");
        state.counters["MB"] = double(file.size()) / 1e6;
    }
}
BENCHMARK(BM_TextSave)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_TextLoad(benchmark::State& state)
{
    for (auto _ : state) {
        QFile file(kTextFile);
        file.open(QIODevice::ReadOnly);
        TLogStore store;
        if (!ReadTextLog(file, store) || store.rowCount() != kRows)
            state.SkipWithError("load failed");
        state.counters["store_MiB"] = double(store.memoryBytes()) / double(1 << 20);
    }
}
BENCHMARK(BM_TextLoad)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_XmlSave(benchmark::State& state)
{
    const TLogStore& store = fullStore();
    for (auto _ : state) {
        QFile file(kXmlFile);
        file.open(QIODevice::WriteOnly);
        if (!WriteXmlPacket(store, file))
            state.SkipWithError("write failed");
        state.counters["MB"] = double(file.size()) / 1e6;
    }
}
BENCHMARK(BM_XmlSave)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_XmlLoad(benchmark::State& state)
{
    for (auto _ : state) {
        QFile file(kXmlFile);
        file.open(QIODevice::ReadOnly);
        TLogStore store;
        if (!ReadXmlPacket(file, store) || store.rowCount() != kRows)
            state.SkipWithError("load failed");
    }
}
BENCHMARK(BM_XmlLoad)->Iterations(1)->Unit(benchmark::kMillisecond);

// The four above with the calling thread alone: the reference for what
// the other cores add, measured in the same run.
template <void (*Bench)(benchmark::State&)> void OneThread(benchmark::State& state)
{
    qputenv("VARNETTA_FILE_THREADS", "1");
    Bench(state);
    qunsetenv("VARNETTA_FILE_THREADS");
}
BENCHMARK(OneThread<BM_TextSave>)->Name("BM_TextSaveOneThread")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(OneThread<BM_TextLoad>)->Name("BM_TextLoadOneThread")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(OneThread<BM_XmlSave>)->Name("BM_XmlSaveOneThread")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(OneThread<BM_XmlLoad>)->Name("BM_XmlLoadOneThread")->Iterations(1)->Unit(benchmark::kMillisecond);

// One row whose value is 1 MB long, escaped throughout, against the
// reference of a packet of ordinary rows of about the same size.
QByteArray packetOfSize(bool oneLongValue)
{
    constexpr qsizetype kBytes = qsizetype(1) << 20;
    TLogStore store;
    QByteArray bytes = XmlPacket(store);
    const qsizetype at = bytes.indexOf("</ROWDATA>");
    if (oneLongValue) {
        bytes.insert(at, "<ROW RowState=\"4\" ANo=\"1\" AUnit=\"" + QByteArray("a&lt;b&#161;").repeated(kBytes / 11) +
                             "\"/>");
        return bytes;
    }
    FillSampleLog(store, kBytes / 165); // about 165 bytes a row
    return XmlPacket(store);
}

void xmlLoad(benchmark::State& state, bool oneLongValue)
{
    QByteArray bytes = packetOfSize(oneLongValue);
    for (auto _ : state) {
        TLogStore store;
        if (!ReadXmlPacket(bytes, store))
            state.SkipWithError("the packet did not load");
        benchmark::DoNotOptimize(store.rowCount());
    }
    state.counters["bytes"] = double(bytes.size());
}
void BM_XmlLoadOneMegabyteValue(benchmark::State& state)
{
    xmlLoad(state, true);
}
void BM_XmlLoadOneMegabyteOfRows(benchmark::State& state)
{
    xmlLoad(state, false);
}
BENCHMARK(BM_XmlLoadOneMegabyteValue)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlLoadOneMegabyteOfRows)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

void BM_GridJumpToLastRow(benchmark::State& state)
{
    TLogTableModel model(fullStore());
    QTableView grid;
    grid.verticalHeader()->hide();
    grid.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid.verticalHeader()->setDefaultSectionSize(17);
    grid.setSelectionBehavior(QAbstractItemView::SelectRows);
    grid.resize(444, 400);
    grid.setModel(&model);
    grid.show();
    QApplication::processEvents();
    bool top = false;
    for (auto _ : state) {
        // Alternate ends so every jump moves the whole height of the table.
        const QModelIndex target = model.index(top ? 0 : model.rowCount() - 1, 0);
        grid.setCurrentIndex(target);
        grid.scrollTo(target);
        grid.repaint();
        top = !top;
    }
}
BENCHMARK(BM_GridJumpToLastRow)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // VARNETTA_BENCH_KEEP_FILES=1 keeps the files, e.g. to profile a load alone.
    if (qEnvironmentVariableIsEmpty("VARNETTA_BENCH_KEEP_FILES")) {
        QFile::remove(kTextFile);
        QFile::remove(kXmlFile);
    }
    return 0;
}

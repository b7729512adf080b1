// Opening the report preview on logs of 1,000 to 9,999,999 rows: time to the
// first page drawn, and resident memory. Run with QT_QPA_PLATFORM=offscreen.
// With VARNETTA_REPORT_PDF=<file> it also prints the first three pages of
// the largest log to that PDF, to look at.
#include "log/LogStore.h"
#include "log/widgets/uReport.h"
#include "log/widgets/uReportPreview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPrinter>

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace varnetta::log;

namespace {

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

TLogStore& storeOf(qsizetype rows)
{
    static std::map<qsizetype, std::unique_ptr<TLogStore>> stores;
    auto& slot = stores[rows];
    if (!slot) {
        slot = std::make_unique<TLogStore>();
        TLogRow row;
        row.setText(fAFunction, "PWRP");
        row.setText(fAUnit, "KW");
        row.setText(fASubUnit1, "V");
        row.setText(fASubUnit2, "A");
        row.rowState = kRowStateInserted;
        for (qsizetype i = 0; i < rows; ++i) {
            row.ANo = qint32(i + 1);
            row.setText(fATime, QByteArray("10:00:") + QByteArray::number(i % 60).rightJustified(2, '0') +
                                    "(2026-12-09)");
            row.setText(fAValue, QByteArray::number(double(i % 1000) / 10, 'f', 3));
            row.setText(fASubValue1, "230.1");
            row.setText(fASubValue2, " 2.34");
            slot->appendRow(row);
        }
    }
    return *slot;
}

void BM_OpenPreview(benchmark::State& state)
{
    TLogStore& store = storeOf(state.range(0));
    const long before = residentKiB();
    long peak = before;
    for (auto _ : state) {
        TLogReport report(store);
        TReportPreview preview(report);
        benchmark::DoNotOptimize(preview.findChild<QLabel*>(QStringLiteral("imgPreviewPage")));
        peak = std::max(peak, residentKiB());
    }
    state.counters["pages"] = double(TLogReport(store).pageCount());
    state.counters["preview_extra_KiB"] = double(peak - before);
    state.counters["resident_MiB"] = double(peak) / 1024.0;
}
BENCHMARK(BM_OpenPreview)->Arg(1000)->Arg(100000)->Arg(9999999)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PageMoveToLast(benchmark::State& state)
{
    TLogStore& store = storeOf(state.range(0));
    TLogReport report(store);
    TReportPreview preview(report);
    for (auto _ : state) {
        preview.lastPage();
        preview.firstPage();
    }
}
BENCHMARK(BM_PageMoveToLast)->Arg(9999999)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    const QString pdf = qEnvironmentVariable("VARNETTA_REPORT_PDF");
    if (!pdf.isEmpty()) {
        TLogReport report(storeOf(1000));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        const bool ok = TReportPreview::PrintPages(report, printer, 1, 3) == TReportPreview::TPrintResult::Printed;
        std::printf("report pages 1-3 -> %s: %s\n", qPrintable(pdf), ok ? "written" : "FAILED");
    }
    benchmark::Shutdown();
    return 0;
}

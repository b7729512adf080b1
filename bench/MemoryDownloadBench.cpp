// A memory download from the simulated meter over two 9600 bit/s serial
// lines, with the program's own receive assembly, dispatcher and download in
// the loop. Time is simulated: the lines' character times, the reader's 1 ms
// poll pause and the measured wall time the program spends on each chunk.
//
// The line allows, per record, the 35-byte memory frame one way and the
// 7-byte acknowledgement the other, since the meter sends a record only after
// the previous one was answered; the export command and the end frame come
// on top once. The figure is the share of that the download reaches.
#include "controls/NewMsgDlg.h"
#include "log/MemoryDownload.h"
#include "protocol/FrameDispatcher.h"
#include "protocol/MeterFrame.h"
#include "sim/MeterSimulator.h"
#include "sim/SerialLine.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>

using namespace varnetta;
using namespace std::chrono_literals;
using sim::Nanos;

namespace {

constexpr Nanos kPollPause = 1ms;

struct DownloadResult
{
    size_t records = 0;
    Nanos span{};  // export command written to end frame handled
    Nanos ideal{}; // the same exchange with the lines never idle
};

DownloadResult RunDownload(size_t extraRecords)
{
    sim::MeterSimulator meter(Nanos{0});
    sim::SerialLine down; // meter to program
    sim::SerialLine up;   // program to meter
    protocol::TCommandSequencer sequencer;
    protocol::TReceiveAssembly assembly;
    protocol::TFrameDispatcher dispatcher;
    log::TMemoryDownload download;
    QObject::connect(&assembly, &protocol::TReceiveAssembly::frameReady, &dispatcher,
                     &protocol::TFrameDispatcher::CP21041ReceiveData);
    download.attach(dispatcher);

    Nanos now{0};
    bool done = false;
    Nanos endHandled{};
    log::TMemoryDownloadHost host;
    host.sendCommand = [&](uint8_t code) {
        const QByteArray f = sequencer.BuildCommandFrame(code);
        up.send(now, reinterpret_cast<const uint8_t*>(f.constData()), size_t(f.size()));
    };
    host.setPollPause = [](uint32_t) {};
    host.appendMemoryRow = [](const protocol::TReading&) { return true; };
    download.setHost(std::move(host));
    QObject::connect(&download, &log::TMemoryDownload::exportCompleted, [&] { done = true; });
    QObject::connect(&dispatcher, &protocol::TFrameDispatcher::exportEndReceived, [&] { endHandled = now; });

    // More records than the meter starts with: stored by its SaveData key.
    for (size_t i = 0; i < extraRecords; ++i) {
        const QByteArray f = sequencer.BuildCommandFrame(protocol::kCmdSaveData);
        meter.receive(now, reinterpret_cast<const uint8_t*>(f.constData()), size_t(f.size()));
        now += 10ms;
    }
    (void)meter.takeFrames();
    const size_t records = meter.memory().size();

    const Nanos start = now;
    download.btnExportDataClick();
    uint8_t buf[2048];
    while (!done && now - start < 60s) {
        const size_t toMeter = up.take(now, buf, sizeof buf);
        if (toMeter > 0)
            meter.receive(now, buf, toMeter);
        else
            meter.advanceTo(now);
        for (const auto& f : meter.takeFrames())
            down.send(std::max(f.at, now), f.bytes);

        const size_t got = down.take(now, buf, sizeof buf);
        if (got > 0) {
            const auto t0 = std::chrono::steady_clock::now();
            assembly.CP21101ReceiveData(buf, int(got));
            QCoreApplication::processEvents();
            now += std::chrono::duration_cast<Nanos>(std::chrono::steady_clock::now() - t0);
        }
        now += kPollPause;
    }
    const Nanos charTime = down.charTime();
    const size_t endFrameBytes = sim::MeterSimulator::ExportEndFrame().size();
    const size_t chars = protocol::kCommandFrameSize +
                         records * (protocol::kFrameSize + protocol::kCommandFrameSize) + endFrameBytes;
    return {records, endHandled - start, charTime * chars};
}

void BM_MemoryDownloadAt9600(benchmark::State& state)
{
    const auto previous = app::SetMsgDlgHook([](const QString&, app::TMsgDlgType type, app::TMsgDlgButtons) {
        return type == app::mtConfirmation ? int(app::mrYes) : int(app::mrOk);
    });
    DownloadResult last;
    for (auto _ : state) {
        last = RunDownload(size_t(state.range(0)));
        state.SetIterationTime(std::chrono::duration<double>(last.span).count());
    }
    app::SetMsgDlgHook(previous);
    const double seconds = std::chrono::duration<double>(last.span).count();
    state.counters["records"] = double(last.records);
    state.counters["records_per_s"] = seconds > 0 ? double(last.records) / seconds : 0;
    state.counters["line_allows_per_s"] =
        double(last.records) / std::chrono::duration<double>(last.ideal).count();
    state.counters["share_of_line_pct"] =
        seconds > 0 ? 100.0 * double(last.ideal.count()) / double(last.span.count()) : 0;
}
BENCHMARK(BM_MemoryDownloadAt9600)
    ->Arg(0)
    ->Arg(63)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace

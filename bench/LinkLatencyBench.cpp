// Latency of the hand-over: from the bridge read that returned a chunk to the
// chunk's handler on the user-interface thread, over the test bridge.
#include "TestBridge.h"
#include "link/uCP2110.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

namespace {

int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// No udev monitor: the bench has no use for hot-plug.
class TNoHotplug : public varnetta::link::THotplugSource
{
};

void BM_ChunkReadToHandler(benchmark::State& state)
{
    using varnetta::link::TCP2110;
    TestBridge_Reset();
    TestBridge_AddDevice("BENCH", "/dev/hidraw0");
    TCP2110 port(nullptr, std::make_unique<TNoHotplug>());
    TCP2110::setPollPause(uint32_t(state.range(0)));
    int64_t handledNs = 0;
    QObject::connect(&port, &TCP2110::OnReceiveData, [&](const uint8_t*, uint32_t) { handledNs = nowNs(); });
    if (!port.Connect()) {
        state.SkipWithError("connect failed");
        return;
    }
    const QByteArray frame(35, '\x55');
    for (auto _ : state) {
        handledNs = 0;
        TestBridge_Feed(reinterpret_cast<const uint8_t*>(frame.constData()), uint32_t(frame.size()));
        while (handledNs == 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        state.SetIterationTime(double(handledNs - TestBridge_LastDataReadNs()) * 1e-9);
    }
    port.Disconnect();
}
BENCHMARK(BM_ChunkReadToHandler)
    ->Arg(1)
    ->Arg(70)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(200);

} // namespace

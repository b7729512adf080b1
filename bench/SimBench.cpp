// Cost of the simulated meter and its bridge: how much CPU the demo's meter
// takes, what one idle poll costs, and how long a memory download occupies
// the simulated 9600 bit/s line with a host that answers at once.
#include "SimBridge.h"
#include "protocol/MeterCommands.h"
#include "sim/MeterSimulator.h"

#include <benchmark/benchmark.h>

namespace {

using namespace std::chrono_literals;
using varnetta::sim::MeterSimulator;
using varnetta::sim::Nanos;
using namespace varnetta::simbridge;

class JumpClock final : public Clock
{
public:
    Nanos now() override { return t; }
    void waitUntil(std::unique_lock<std::mutex>&, std::condition_variable&, Nanos until) override
    {
        t = std::max(t, until);
    }
    Nanos t{0};
};

std::vector<uint8_t> command(uint8_t code)
{
    const uint32_t sum = 0xAB + 0xCD + 0x04 + code + 1;
    return {0xAB, 0xCD, 0x04, code, 1, uint8_t(sum / 256), uint8_t(sum % 256)};
}

// An hour of meter time: 7200 reading frames built and handed out.
void BM_MeterHour(benchmark::State& state)
{
    MeterSimulator meter;
    Nanos t{0};
    size_t frames = 0;
    for (auto _ : state) {
        for (int i = 0; i < 7200; ++i) {
            t += MeterSimulator::kFramePeriod;
            meter.advanceTo(t);
            frames += meter.takeFrames().size();
        }
    }
    state.counters["frames"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MeterHour)->Unit(benchmark::kMillisecond);

// One poll as the reader makes it: 2048 bytes asked, no time-out, on the
// monotonic clock.
void BM_IdlePoll(benchmark::State& state)
{
    SimBridge bridge(std::make_shared<SteadyClock>());
    HID_UART_DEVICE dev = nullptr;
    if (bridge.Open(&dev, 0, 0, 0) != HID_UART_SUCCESS ||
        bridge.SetUartConfig(dev, 9600, HID_UART_EIGHT_DATA_BITS, 0, 0, 0) != HID_UART_SUCCESS ||
        bridge.SetTimeouts(dev, 0, 500) != HID_UART_SUCCESS) {
        state.SkipWithError("open failed");
        return;
    }
    uint8_t buf[2048];
    uint32_t got = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(bridge.Read(dev, buf, sizeof buf, &got));
    (void)bridge.Close(dev);
}
BENCHMARK(BM_IdlePoll);

// A whole export of the 36 stored records with a host that acknowledges
// each record the moment its last byte is in. Reports the line time it
// takes against the characters it moves at 960 per second.
void BM_DownloadLineTime(benchmark::State& state)
{
    double lineSeconds = 0;
    double idealSeconds = 0;
    double records = 0;
    for (auto _ : state) {
        auto clock = std::make_shared<JumpClock>();
        SimBridge bridge(clock);
        HID_UART_DEVICE dev = nullptr;
        (void)bridge.Open(&dev, 0, 0, 0);
        (void)bridge.SetUartConfig(dev, 9600, HID_UART_EIGHT_DATA_BITS, 0, 0, 0);
        (void)bridge.SetTimeouts(dev, 0, 500);
        clock->t = 600ms;
        uint8_t buf[64];
        uint32_t n = 0;
        (void)bridge.Read(dev, buf, sizeof buf, &n); // the live frame of 0.5 s
        (void)bridge.SetTimeouts(dev, 5000, 500);
        const Nanos start = clock->t;
        auto cmd = command(varnetta::protocol::kCmdExportData);
        (void)bridge.Write(dev, cmd.data(), 7, &n);
        size_t chars = 7;
        size_t count = bridge.meterMemoryCount();
        for (size_t i = 0; i < count; ++i) {
            (void)bridge.Read(dev, buf, 35, &n);
            cmd = command(varnetta::protocol::kCmdExportAck);
            (void)bridge.Write(dev, cmd.data(), 7, &n);
            chars += 35 + 7;
        }
        (void)bridge.Read(dev, buf, 9, &n);
        chars += 9;
        lineSeconds += std::chrono::duration<double>(clock->t - start).count();
        idealSeconds += double(chars) / 960.0;
        records += double(count);
        (void)bridge.Close(dev);
    }
    state.counters["records_per_line_s"] = records / lineSeconds;
    state.counters["line_share"] = idealSeconds / lineSeconds;
}
BENCHMARK(BM_DownloadLineTime)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

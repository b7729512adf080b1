// The real bridge library's read path over an in-memory transport: what one
// poll of the reader costs inside the library, apart from the kernel call.
#include "HidUartCore.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

using namespace varnetta::bridge;

namespace {

// Serves the same reports again and again: `perPoll` reports, then one
// empty read, as hidraw does once its queue is empty.
class LoopTransport final : public HidTransport
{
public:
    explicit LoopTransport(int perPoll, uint8_t length) : m_perPoll(perPoll), m_length(length) {}

protected:
    int doSetFeature(const uint8_t*, size_t length) override { return static_cast<int>(length); }
    int doGetFeature(uint8_t* data, size_t) override
    {
        data[1] = HID_UART_PART_CP2110;
        data[2] = 1;
        return 3;
    }
    int doReadReport(uint8_t* data, size_t, int) override
    {
        if (m_served == m_perPoll) {
            m_served = 0;
            return 0;
        }
        ++m_served;
        data[0] = m_length;
        std::memset(data + 1, 0x5A, m_length);
        return m_length + 1;
    }
    int doWriteReport(const uint8_t*, size_t length) override { return static_cast<int>(length); }

private:
    int m_perPoll;
    uint8_t m_length;
    int m_served = 0;
};

class LoopHost final : public HidHost
{
public:
    LoopHost(int perPoll, uint8_t length) : m_perPoll(perPoll), m_length(length) {}
    std::vector<HidDeviceEntry> enumerate(uint16_t vid, uint16_t pid) override
    {
        return {{"/dev/hidraw0", vid, pid, "0001", "", ""}};
    }
    std::unique_ptr<HidTransport> open(const std::string&) override
    {
        return std::make_unique<LoopTransport>(m_perPoll, m_length);
    }
    uint64_t nowMs() override
    {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }

private:
    int m_perPoll;
    uint8_t m_length;
};

// One reader poll for 2048 bytes with the 0 ms time-out the port sets.
void readerPoll(benchmark::State& state, int reportsPerPoll, uint8_t reportLength)
{
    LoopHost host(reportsPerPoll, reportLength);
    HidUartCore core(host);
    HID_UART_DEVICE device = nullptr;
    if (core.open(&device, 0, 0, 0) != HID_UART_SUCCESS ||
        core.setTimeouts(device, 0, 500) != HID_UART_SUCCESS) {
        state.SkipWithError("open failed");
        return;
    }
    std::vector<uint8_t> buffer(2048);
    uint64_t bytes = 0;
    for (auto _ : state) {
        uint32_t got = 0;
        const auto status = core.read(device, buffer.data(), 2048, &got);
        benchmark::DoNotOptimize(status);
        bytes += got;
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    (void)core.close(device);
}

void BM_PollWithNothingWaiting(benchmark::State& state)
{
    readerPoll(state, 0, 0);
}
void BM_PollTakingOneReadingFrame(benchmark::State& state)
{
    readerPoll(state, 1, 35);
}
void BM_PollDrainingFullReports(benchmark::State& state)
{
    readerPoll(state, 32, 63);
}

void BM_WriteCommandFrame(benchmark::State& state)
{
    LoopHost host(0, 0);
    HidUartCore core(host);
    HID_UART_DEVICE device = nullptr;
    if (core.open(&device, 0, 0, 0) != HID_UART_SUCCESS) {
        state.SkipWithError("open failed");
        return;
    }
    const uint8_t frame[7] = {0xAB, 0xCD, 0x04, 0x41, 0x01, 0x01, 0xBE};
    for (auto _ : state) {
        uint32_t sent = 0;
        benchmark::DoNotOptimize(core.write(device, frame, 7, &sent));
    }
    (void)core.close(device);
}

} // namespace

BENCHMARK(BM_PollWithNothingWaiting);
BENCHMARK(BM_PollTakingOneReadingFrame);
BENCHMARK(BM_PollDrainingFullReports);
BENCHMARK(BM_WriteCommandFrame);
BENCHMARK_MAIN();

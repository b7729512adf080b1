// Receive assembly plus dispatch without widgets: frames per second.
#include "protocol/FrameDispatcher.h"
#include "protocol/MeterFrame.h"

#include <benchmark/benchmark.h>

using namespace varnetta::protocol;

namespace {

QByteArray readingFrame(uint8_t code, int n)
{
    QByteArray body = QByteArray::number(n % 1000).rightJustified(3, ' ') + " 0.123 230.1  2.34";
    body = body.leftJustified(kBodySize, ' ', true);
    QByteArray head = QByteArray::fromHex("abcd20") + char(kFrameTypeReading) + char(code) + body;
    head += QByteArray(kStatusSize, '\x01');
    return WithChecksum(head) + "\r\n";
}

// A realistic stream: frames of several functions, cut into chunks of the
// given size, as the reader hands them over.
void BM_AssembleAndDispatch(benchmark::State& state)
{
    const qsizetype chunkSize = state.range(0);
    QByteArray stream;
    const uint8_t codes[] = {0x30, 0x31, 0x36, 0x37, 0x39, 0x62};
    constexpr int kFrames = 4096;
    for (int i = 0; i < kFrames; ++i)
        stream += readingFrame(codes[i % 6], i);

    TReceiveAssembly assembly;
    TFrameDispatcher dispatcher;
    dispatcher.setDecimalSeparator(",");
    QObject::connect(&assembly, &TReceiveAssembly::frameReady, &dispatcher, &TFrameDispatcher::CP21041ReceiveData);
    quint64 readings = 0;
    QObject::connect(&dispatcher, &TFrameDispatcher::readingDecoded, [&](const TReading&) { ++readings; });

    for (auto _ : state) {
        for (qsizetype pos = 0; pos < stream.size(); pos += chunkSize)
            assembly.CP21101ReceiveData(QByteArrayView(stream).sliced(pos, std::min(chunkSize, stream.size() - pos)));
    }
    benchmark::DoNotOptimize(readings);
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()) * kFrames, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AssembleAndDispatch)->Arg(35)->Arg(64)->Arg(2048)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

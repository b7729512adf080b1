// Arbitrary chunk sequences into the receive assembly and the dispatcher.
// The first byte of each step gives the chunk's length, the rest its bytes.
#include "protocol/FrameDispatcher.h"
#include "protocol/MeterFrame.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace varnetta::protocol;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TReceiveAssembly assembly;
    TFrameDispatcher dispatcher;
    dispatcher.setDecimalSeparator(size % 2 ? "," : ".");
    QObject::connect(&assembly, &TReceiveAssembly::frameReady, &dispatcher, &TFrameDispatcher::CP21041ReceiveData);
    quint64 readings = 0;
    QObject::connect(&dispatcher, &TFrameDispatcher::readingDecoded, [&](const TReading& r) {
        // What the comparator and the log do with every reading.
        (void)ValueTextToNumber(r.Value, dispatcher.decimalSeparator());
        (void)DisplayText(r.Unit);
        ++readings;
    });

    size_t pos = 0;
    while (pos < size) {
        const size_t len = std::min<size_t>(data[pos], size - pos - 1);
        ++pos;
        assembly.CP21101ReceiveData(data + pos, int(len));
        pos += len;
        if (assembly.bufferedBytes() > TReceiveAssembly::kMaxBufferBytes + 256)
            std::abort();
    }
    // A dispatched frame takes at least its four header and trailer bytes,
    // a failed one at least the byte in front of a header inside it.
    const TAssemblyCounters& c = assembly.counters();
    if (c.framesDispatched * 4 + c.checksumFailures > c.bytesReceived)
        std::abort();
    return 0;
}

// Drives a MeterSimulator on a fake clock and reads its frames back through
// the program's own frame and body decoding.
#pragma once

#include "protocol/MeterCommands.h"
#include "protocol/MeterFrame.h"
#include "protocol/Reading.h"
#include "sim/MeterSimulator.h"

#include <QByteArray>

#include <optional>
#include <vector>

namespace varnetta::sim::testing {

inline QByteArray Bytes(const std::vector<uint8_t>& v)
{
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

inline std::vector<uint8_t> CommandFrame(uint8_t code, uint8_t seq = 1)
{
    const uint32_t sum = 0xAB + 0xCD + 0x04 + code + seq;
    return {0xAB, 0xCD, 0x04, code, seq, uint8_t(sum / 256), uint8_t(sum % 256)};
}

struct DecodedFrame
{
    Nanos at;
    QByteArray bytes;
    uint8_t type = 0;
    uint8_t code = 0;
    protocol::TBodyTexts texts;
    Status status{};
};

inline DecodedFrame Decode(const SentFrame& f)
{
    DecodedFrame d;
    d.at = f.at;
    d.bytes = Bytes(f.bytes);
    if (d.bytes.size() > 4) {
        d.type = uint8_t(d.bytes[3]);
        d.code = uint8_t(d.bytes[4]);
    }
    if (d.bytes.size() == protocol::kFrameSize) {
        d.texts = protocol::DecodeBody(
            QByteArrayView(d.bytes).sliced(protocol::kBodyOffset, protocol::kBodySize), ".");
        for (int i = 0; i < 5; ++i)
            d.status[size_t(i)] = uint8_t(d.bytes[protocol::kStatusOffset + i]);
    }
    return d;
}

inline double Number(const QByteArray& text)
{
    return protocol::ValueTextToNumber(text, ".").value_or(-1e9);
}

// A meter and the time on its clock.
class SimDriver
{
public:
    explicit SimDriver(uint32_t seed = 1) : meter(Nanos{0}, seed) {}

    std::vector<DecodedFrame> runFor(Nanos d)
    {
        t += d;
        meter.advanceTo(t);
        return take();
    }
    std::vector<DecodedFrame> take()
    {
        std::vector<DecodedFrame> out;
        for (const SentFrame& f : meter.takeFrames())
            out.push_back(Decode(f));
        return out;
    }
    // Presses a key and returns what the meter sent in answer, at once.
    std::vector<DecodedFrame> press(uint8_t code)
    {
        meter.receive(t, CommandFrame(code));
        return take();
    }
    // The next reading frame.
    DecodedFrame nextReading()
    {
        (void)take();
        for (int i = 0; i < 4; ++i) {
            for (DecodedFrame& f : runFor(MeterSimulator::kFramePeriod / 2))
                if (f.type == protocol::kFrameTypeReading)
                    return f;
        }
        return {};
    }

    MeterSimulator meter;
    Nanos t{0};
};

} // namespace varnetta::sim::testing

// One direction of an asynchronous serial line: bytes handed in at a moment
// leave the far end one character time apart, as a UART shifts them out.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace varnetta::sim {

using Nanos = std::chrono::nanoseconds;

class SerialLine
{
public:
    // 9600 bit/s with a start bit, eight data bits and one stop bit.
    static constexpr uint32_t kMeterBitRate = 9600;
    static constexpr uint32_t kBitsPerChar8N1 = 10;

    explicit SerialLine(uint32_t bitRate = kMeterBitRate, uint32_t bitsPerChar = kBitsPerChar8N1);

    // Queues bytes for sending at `now`; they start as soon as the bytes
    // queued earlier have gone. Sends must come in time order.
    void send(Nanos now, const uint8_t* data, size_t len);
    void send(Nanos now, const std::vector<uint8_t>& bytes) { send(now, bytes.data(), bytes.size()); }

    // Bytes that have reached the far end by `now` and were not taken yet.
    [[nodiscard]] size_t arrived(Nanos now) const;
    // Takes up to `max` arrived bytes, oldest first; returns the count.
    size_t take(Nanos now, uint8_t* out, size_t max);

    // Bytes queued and not taken, on the wire or already arrived.
    [[nodiscard]] size_t pending() const { return m_bytes.size(); }
    // Bytes queued and still on their way at `now`.
    [[nodiscard]] size_t inFlight(Nanos now) const { return pending() - arrived(now); }
    // When the next byte that has not arrived by `now` will arrive.
    [[nodiscard]] std::optional<Nanos> nextArrival(Nanos now) const;
    // When the k-th byte not yet taken (1-based) arrives; nothing when fewer
    // are queued.
    [[nodiscard]] std::optional<Nanos> arrivalOfPending(size_t k) const;
    // The moment the line falls idle.
    [[nodiscard]] Nanos idleAt() const { return m_idleAt; }

    [[nodiscard]] Nanos charTime() const { return charsTime(1); }
    void clear();

private:
    struct Run
    {
        Nanos start;
        size_t count = 0; // bytes of this run not taken yet
        size_t taken = 0; // bytes of this run already taken from the front
    };
    // Time the first n characters of a run need, rounded up to a nanosecond.
    [[nodiscard]] Nanos charsTime(size_t n) const;
    [[nodiscard]] size_t arrivedInRun(const Run& run, Nanos now) const;

    uint32_t m_bitRate;
    uint32_t m_bitsPerChar;
    std::deque<uint8_t> m_bytes;
    std::deque<Run> m_runs;
    Nanos m_idleAt{0};
};

} // namespace varnetta::sim

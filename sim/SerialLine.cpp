#include "SerialLine.h"

#include <algorithm>

namespace varnetta::sim {

namespace {
constexpr int64_t kNanosPerSecond = 1'000'000'000;
}

SerialLine::SerialLine(uint32_t bitRate, uint32_t bitsPerChar)
    : m_bitRate(std::max<uint32_t>(bitRate, 1)), m_bitsPerChar(std::max<uint32_t>(bitsPerChar, 1))
{
}

Nanos SerialLine::charsTime(size_t n) const
{
    // n characters take n * C / rate ns, C the nanoseconds-times-bits of one
    // character; split so the product stays within 64 bits. Each run is
    // timed from its own start, so rounding never adds up.
    const uint64_t c = uint64_t(m_bitsPerChar) * kNanosPerSecond;
    const uint64_t whole = (n / m_bitRate) * c;
    const uint64_t part = ((n % m_bitRate) * c + m_bitRate - 1) / m_bitRate;
    return Nanos(int64_t(whole + part));
}

size_t SerialLine::arrivedInRun(const Run& run, Nanos now) const
{
    if (now <= run.start)
        return 0;
    // Character i (0-based) is in once (i + 1) character times have passed.
    const uint64_t c = uint64_t(m_bitsPerChar) * kNanosPerSecond;
    const auto elapsed = uint64_t((now - run.start).count());
    const uint64_t done = (elapsed / c) * m_bitRate + (elapsed % c) * m_bitRate / c;
    const auto total = run.taken + run.count;
    const size_t inRun = done >= total ? total : static_cast<size_t>(done);
    return inRun > run.taken ? inRun - run.taken : 0;
}

void SerialLine::send(Nanos now, const uint8_t* data, size_t len)
{
    if (len == 0)
        return;
    const Nanos start = std::max(now, m_idleAt);
    m_bytes.insert(m_bytes.end(), data, data + len);
    m_runs.push_back(Run{start, len, 0});
    m_idleAt = start + charsTime(len);
}

size_t SerialLine::arrived(Nanos now) const
{
    size_t total = 0;
    for (const Run& run : m_runs) {
        const size_t n = arrivedInRun(run, now);
        total += n;
        if (n < run.count)
            break; // later runs start after this one ends
    }
    return total;
}

size_t SerialLine::take(Nanos now, uint8_t* out, size_t max)
{
    size_t done = 0;
    while (done < max && !m_runs.empty()) {
        Run& run = m_runs.front();
        const size_t n = std::min(arrivedInRun(run, now), max - done);
        std::copy_n(m_bytes.begin(), n, out + done);
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(n));
        done += n;
        run.taken += n;
        run.count -= n;
        if (run.count != 0)
            break;
        m_runs.pop_front();
    }
    return done;
}

std::optional<Nanos> SerialLine::nextArrival(Nanos now) const
{
    for (const Run& run : m_runs) {
        const size_t n = arrivedInRun(run, now);
        if (n < run.count)
            return run.start + charsTime(run.taken + n + 1);
    }
    return std::nullopt;
}

std::optional<Nanos> SerialLine::arrivalOfPending(size_t k) const
{
    if (k == 0 || k > m_bytes.size())
        return std::nullopt;
    for (const Run& run : m_runs) {
        if (k <= run.count)
            return run.start + charsTime(run.taken + k);
        k -= run.count;
    }
    return std::nullopt;
}

void SerialLine::clear()
{
    m_bytes.clear();
    m_runs.clear();
    m_idleAt = Nanos{0};
}

} // namespace varnetta::sim

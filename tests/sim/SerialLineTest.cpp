#include "sim/SerialLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace varnetta::sim {
namespace {

using namespace std::chrono_literals;

// One character at 9600 bit/s 8N1 is 10 bits: 1041666.67 ns.
constexpr Nanos kChar{1041667};

TEST(SerialLinePacing, BytesArriveOneCharacterTimeApart)
{
    SerialLine line;
    EXPECT_EQ(line.charTime(), kChar);
    const std::vector<uint8_t> bytes(10, 0x55);
    line.send(Nanos{0}, bytes);
    EXPECT_EQ(line.arrived(kChar - Nanos(1)), 0u);
    EXPECT_EQ(line.arrived(kChar), 1u);
    EXPECT_EQ(line.arrived(Nanos(10'416'666)), 9u);
    EXPECT_EQ(line.arrived(Nanos(10'416'667)), 10u);
    EXPECT_EQ(line.nextArrival(Nanos(5'000'000)), Nanos(5'208'334));
    EXPECT_EQ(line.idleAt(), Nanos(10'416'667));
}

TEST(SerialLinePacing, ASecondCarriesExactly960BytesHoweverTheyAreQueued)
{
    SerialLine line;
    const std::vector<uint8_t> frame(35, 0x41);
    // Everything handed in at once, in frame-sized pieces: they queue up.
    for (int i = 0; i < 96; ++i)
        line.send(Nanos{0}, frame); // 3360 bytes = 3.5 s of line time
    EXPECT_EQ(line.arrived(1s - Nanos(1000)), 959u);
    EXPECT_EQ(line.arrived(1s + Nanos(1000)), 960u);
    EXPECT_EQ(line.arrived(3500ms + Nanos(1000)), 3360u);
    EXPECT_EQ(line.arrivalOfPending(3360), line.idleAt());
    EXPECT_NEAR(double(line.idleAt().count()), 3.5e9, 96.0) << "at most a nanosecond of rounding per piece";
}

TEST(SerialLinePacing, AnIdleLineStartsAtOnceAndTakingKeepsTheOrder)
{
    SerialLine line;
    const std::vector<uint8_t> a{1, 2, 3};
    const std::vector<uint8_t> b{4, 5};
    line.send(Nanos{0}, a);
    line.send(10s, b); // the line was idle long before
    uint8_t out[8] = {};
    EXPECT_EQ(line.take(5s, out, sizeof out), 3u);
    EXPECT_EQ(line.take(10s + kChar, out + 3, sizeof out - 3), 1u);
    EXPECT_EQ(line.pending(), 1u);
    EXPECT_EQ(line.arrivalOfPending(1), 10s + Nanos(2'083'334)); // the second byte of its piece
    EXPECT_EQ(line.take(11s, out + 4, sizeof out - 4), 1u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 5), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(line.pending(), 0u);
    EXPECT_FALSE(line.nextArrival(11s).has_value());
}

} // namespace
} // namespace varnetta::sim

#include "display/uStatusDecoder.h"

#include <gtest/gtest.h>

#include <string>

namespace varnetta::display {
namespace {

struct BitCase
{
    int byte;
    int bit;
    TIndicator indicator;
    const char* control;
};

// The meter's status bits, written out independently of the decoder's table.
const BitCase kBits[] = {
    {0, 0, idHold, "lcdHold"},       {0, 2, idLowPower, "lcdLowPower"},
    {0, 3, idWarning, "lcdWarning"}, {1, 0, idAutoPower, "lcdAutoPower"},
    {1, 1, idRstB2, "lcdRstB2"},     {1, 2, idRstB1, "lcdRstB1"},
    {2, 0, idMemClr, "lcdMemClr"},   {2, 1, idMemFull, "lcdMemFull"},
    {2, 2, idMem, "lcdMem"},         {2, 3, idMr, "lcdMr"},
    {3, 0, idSum, "lcdSum"},         {3, 1, idSelect3, "lcdSelect3"},
    {3, 2, idSelect2, "lcdSelect2"}, {3, 3, idSelect1, "lcdSelect1"},
    {4, 0, idMin, "lcdMin"},         {4, 1, idMax, "lcdMax"},
    {4, 2, idTime, "lcdTime"},       {4, 3, idW, "lcdW"},
};

class EachStatusBit : public ::testing::TestWithParam<BitCase>
{
};

TEST_P(EachStatusBit, drivesExactlyItsIndicator)
{
    const BitCase c = GetParam();
    protocol::TStatusBytes status{};
    status[size_t(c.byte)] = uint8_t(1U << c.bit);
    const TIndicatorStates states = DecodeStatus(status);
    for (int i = 0; i < kIndicatorCount; ++i)
        EXPECT_EQ(states[size_t(i)], i == c.indicator) << IndicatorControlName(TIndicator(i));
    EXPECT_STREQ(IndicatorControlName(c.indicator), c.control);
}

TEST_P(EachStatusBit, ignoresTheSameBitInTheHighNibble)
{
    const BitCase c = GetParam();
    protocol::TStatusBytes status{};
    status[size_t(c.byte)] = uint8_t(0x10U << c.bit);
    const TIndicatorStates states = DecodeStatus(status);
    for (bool on : states)
        EXPECT_FALSE(on);
}

INSTANTIATE_TEST_SUITE_P(StatusTable, EachStatusBit, ::testing::ValuesIn(kBits),
                         [](const auto& info) { return std::string(info.param.control); });

TEST(StatusDecoding, setterOrderIsByteByByteFromBitZeroUpwards)
{
    const auto& table = StatusBitTable();
    for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].indicator, kBits[i].indicator) << i;
        EXPECT_EQ(table[i].byte, kBits[i].byte) << i;
        EXPECT_EQ(table[i].bit, kBits[i].bit) << i;
    }
}

TEST(StatusDecoding, asciiDigitsShowOnlyHold)
{
    const TIndicatorStates states = DecodeStatus({0x31, 0x30, 0x30, 0x30, 0x30});
    for (int i = 0; i < kIndicatorCount; ++i)
        EXPECT_EQ(states[size_t(i)], i == idHold) << IndicatorControlName(TIndicator(i));
}

TEST(StatusDecoding, unusedBitsDriveNothing)
{
    // Bit 1 of byte 0 and bit 3 of byte 1.
    const TIndicatorStates states = DecodeStatus({0x02, 0x08, 0x00, 0x00, 0x00});
    for (bool on : states)
        EXPECT_FALSE(on);
}

TEST(StatusDecoding, everyLowBitSetShowsEveryIndicator)
{
    const TIndicatorStates states = DecodeStatus({0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    for (int i = 0; i < kIndicatorCount; ++i)
        EXPECT_TRUE(states[size_t(i)]) << IndicatorControlName(TIndicator(i));
}

} // namespace
} // namespace varnetta::display

#include "uStatusDecoder.h"

namespace varnetta::display {

const std::array<TStatusBit, kIndicatorCount>& StatusBitTable()
{
    static constexpr std::array<TStatusBit, kIndicatorCount> table{{
        {0, 0, idHold},
        {0, 2, idLowPower},
        {0, 3, idWarning},
        {1, 0, idAutoPower},
        {1, 1, idRstB2},
        {1, 2, idRstB1},
        {2, 0, idMemClr},
        {2, 1, idMemFull},
        {2, 2, idMem},
        {2, 3, idMr},
        {3, 0, idSum},
        {3, 1, idSelect3},
        {3, 2, idSelect2},
        {3, 3, idSelect1},
        {4, 0, idMin},
        {4, 1, idMax},
        {4, 2, idTime},
        {4, 3, idW},
    }};
    return table;
}

TIndicatorStates DecodeStatus(const protocol::TStatusBytes& status)
{
    TIndicatorStates states{};
    for (const TStatusBit& entry : StatusBitTable()) {
        const uint8_t low = status[entry.byte] & 0x0F;
        states[entry.indicator] = (low >> entry.bit) & 1U;
    }
    return states;
}

const char* IndicatorControlName(TIndicator indicator)
{
    static constexpr std::array<const char*, kIndicatorCount> names{
        "lcdHold",    "lcdLowPower", "lcdWarning", "lcdAutoPower", "lcdRstB2", "lcdRstB1",
        "lcdMemClr",  "lcdMemFull",  "lcdMem",     "lcdMr",        "lcdSum",   "lcdSelect3",
        "lcdSelect2", "lcdSelect1",  "lcdMin",     "lcdMax",       "lcdTime",  "lcdW",
    };
    return indicator < kIndicatorCount ? names[indicator] : "";
}

} // namespace varnetta::display

// The five status bytes of a frame and the meter's indicator symbols they
// drive. Pure: no widget.
#pragma once

#include "protocol/Reading.h"

#include <array>
#include <cstdint>

namespace varnetta::display {

// The status-driven indicators, in the order their setters are called:
// byte by byte, and within a byte from bit 0 upwards.
enum TIndicator : uint8_t
{
    idHold,
    idLowPower,
    idWarning,
    idAutoPower,
    idRstB2,
    idRstB1,
    idMemClr,
    idMemFull,
    idMem,
    idMr,
    idSum,
    idSelect3,
    idSelect2,
    idSelect1,
    idMin,
    idMax,
    idTime,
    idW,
};
inline constexpr int kIndicatorCount = idW + 1;

using TIndicatorStates = std::array<bool, kIndicatorCount>;

struct TStatusBit
{
    uint8_t byte; // 0 ... 4: offset within the five status bytes
    uint8_t bit;  // 0 ... 3
    TIndicator indicator;
};

// Which bit drives which indicator, in setter order. Bit 1 of byte 0 and
// bit 3 of byte 1 drive nothing.
[[nodiscard]] const std::array<TStatusBit, kIndicatorCount>& StatusBitTable();

// Each byte counts by its low four bits only.
[[nodiscard]] TIndicatorStates DecodeStatus(const protocol::TStatusBytes& status);

// The control an indicator drives ("lcdHold", "lcdMax", ...).
[[nodiscard]] const char* IndicatorControlName(TIndicator indicator);

} // namespace varnetta::display

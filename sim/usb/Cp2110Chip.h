// The report side of a CP2110/CP2114 bridge chip: what it answers to each
// feature report, what it refuses (by stalling the control request), and
// how its data reports carry UART bytes.  A plain object with no transport:
// the emulated USB meter puts it behind USB/IP, the bridge library's tests
// behind an emulated HID host.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace varnetta::usbmeter {

struct UartSettings
{
    uint32_t baudRate = 0;
    uint8_t parity = 0;      // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t flowControl = 0; // 0 none, 1 RTS/CTS
    uint8_t dataBits = 0;    // 0..3 for 5..8 bits
    uint8_t stopBits = 0;    // 0 short, 1 long
};

class Cp2110Chip
{
public:
    static constexpr uint8_t kResetReport = 0x40;
    static constexpr uint8_t kUartEnableReport = 0x41;
    static constexpr uint8_t kUartStatusReport = 0x42;
    static constexpr uint8_t kPurgeReport = 0x43;
    static constexpr uint8_t kVersionReport = 0x46;
    static constexpr uint8_t kUartConfigReport = 0x50;
    static constexpr uint8_t kLineBreakReport = 0x51;
    static constexpr uint8_t kStopLineBreakReport = 0x52;
    static constexpr uint8_t kPartCp2110 = 0x0A;
    static constexpr uint8_t kPartCp2114 = 0x0E;
    static constexpr size_t kMaxDataPerReport = 63;
    static constexpr uint8_t kPurgeTx = 0x01;
    static constexpr uint8_t kPurgeRx = 0x02;

    uint8_t partNumber = kPartCp2110;
    uint8_t version = 0x01;
    bool uartEnabled = false; // off after power-up
    // bytes 1..8 of report 0x50; the reset default is 115200 8N1, rate MSB first
    std::array<uint8_t, 8> uartConfig{0x00, 0x01, 0xC2, 0x00, 0x00, 0x00, 0x03, 0x00};

    // The answer to a Get of a feature report, id first; empty where the
    // chip stalls.
    [[nodiscard]] std::vector<uint8_t> getFeature(uint8_t reportId) const;
    // A Set of a feature report, id first; false where the chip stalls.
    [[nodiscard]] bool setFeature(const uint8_t* data, size_t length);

    [[nodiscard]] UartSettings uartSettings() const;
    // The purge bits (kPurgeTx, kPurgeRx) asked for since the last call.
    [[nodiscard]] uint8_t takePurge();

    // The UART bytes an interrupt data report carries: as many as its id
    // says, never more than arrived; none for an id that is not data.
    [[nodiscard]] static std::vector<uint8_t> dataPayload(const uint8_t* report, size_t length);
    // The one-time-programmable reports: a wrong write to them is permanent.
    [[nodiscard]] static bool isProgrammingReport(uint8_t reportId);

private:
    [[nodiscard]] bool acceptsConfig(const uint8_t* config) const;

    uint8_t m_purge = 0;
};

} // namespace varnetta::usbmeter

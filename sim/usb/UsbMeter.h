// The meter behind the emulated USB bridge: a CP2110's reports in front of
// the simulated meter's 9600 bit/s line.  The chip answers the feature
// reports; the UART bytes go to and come from the same simulated bridge the
// demo copy of the program uses, paced like the real line.  Everything the
// host asks of the chip is written to the log, so a test can check the bytes.
#pragma once

#include "Cp2110Chip.h"
#include "UsbIpDevice.h"

#include "SimBridge.h"

#include <memory>
#include <ostream>

namespace varnetta::usbmeter {

class UsbMeter final : public HidFunction
{
public:
    UsbMeter(std::shared_ptr<simbridge::Clock> clock, std::ostream& log);
    ~UsbMeter() override;
    UsbMeter(const UsbMeter&) = delete;
    UsbMeter& operator=(const UsbMeter&) = delete;

    [[nodiscard]] std::vector<uint8_t> getFeature(uint8_t reportId) override;
    [[nodiscard]] bool setFeature(const uint8_t* data, size_t length) override;
    void output(const uint8_t* data, size_t length) override;

    // The next input report of UART bytes that have come in from the meter
    // (id = count, at most 63); empty when none has.
    [[nodiscard]] std::vector<uint8_t> nextInputReport();
    // A plug-in powers the chip up afresh: UART off, reset configuration,
    // whatever the line held dropped.
    void powerUp();
    // Writes what changed on the meter's display since the last call.
    void logMeterChanges();

    [[nodiscard]] const Cp2110Chip& chip() const { return m_chip; }
    [[nodiscard]] simbridge::SimBridge& line() { return m_line; }

    // Data reports 1..63 in and out and the chip's feature reports, on a
    // vendor usage page.
    [[nodiscard]] static std::vector<uint8_t> reportDescriptor();

private:
    void discardReceived();

    std::ostream& m_log;
    Cp2110Chip m_chip;
    simbridge::SimBridge m_line;
    HID_UART_DEVICE m_handle = nullptr;
    uint8_t m_shownFunction = 0;
};

} // namespace varnetta::usbmeter

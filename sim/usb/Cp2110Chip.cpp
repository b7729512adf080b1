#include "Cp2110Chip.h"

#include <algorithm>
#include <utility>

namespace varnetta::usbmeter {

namespace {
constexpr uint32_t kMinBaudCp2110 = 300;
constexpr uint32_t kMinBaudCp2114 = 375;
constexpr uint32_t kMaxBaud = 1000000;
constexpr uint32_t kMaxBaudShortWords = 500000; // 5 and 6 data bits
constexpr size_t kUartConfigLength = 9;
constexpr size_t kUartStatusLength = 7;

uint32_t bigEndian32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
} // namespace

bool Cp2110Chip::isProgrammingReport(uint8_t reportId)
{
    return reportId == 0x47 || (reportId >= 0x60 && reportId <= 0x66);
}

std::vector<uint8_t> Cp2110Chip::getFeature(uint8_t reportId) const
{
    switch (reportId) {
    case kUartEnableReport:
        return {kUartEnableReport, static_cast<uint8_t>(uartEnabled ? 1 : 0)};
    case kUartStatusReport: {
        // FIFO counts, error bits and break state: all clear, as on an idle line
        std::vector<uint8_t> status(kUartStatusLength, 0);
        status[0] = kUartStatusReport;
        return status;
    }
    case kVersionReport:
        return {kVersionReport, partNumber, version};
    case kUartConfigReport: {
        std::vector<uint8_t> report{kUartConfigReport};
        report.insert(report.end(), uartConfig.begin(), uartConfig.end());
        return report;
    }
    default:
        return {}; // an invalid Get stalls
    }
}

bool Cp2110Chip::acceptsConfig(const uint8_t* config) const
{
    const uint32_t baud = bigEndian32(config);
    const uint8_t parity = config[4];
    const uint8_t flow = config[5];
    const uint8_t dataBits = config[6];
    const uint8_t stopBits = config[7];
    if (parity > 4 || flow > 1 || dataBits > 3 || stopBits > 1)
        return false;
    const uint32_t minBaud = partNumber == kPartCp2114 ? kMinBaudCp2114 : kMinBaudCp2110;
    const uint32_t maxBaud = dataBits <= 1 ? kMaxBaudShortWords : kMaxBaud;
    return baud >= minBaud && baud <= maxBaud;
}

bool Cp2110Chip::setFeature(const uint8_t* data, size_t length)
{
    if (data == nullptr || length < 2)
        return false; // every Set carries at least one byte after its id
    switch (data[0]) {
    case kUartEnableReport:
        if (data[1] > 1)
            return false;
        uartEnabled = data[1] == 1;
        return true;
    case kPurgeReport:
        if (data[1] < kPurgeTx || data[1] > (kPurgeTx | kPurgeRx))
            return false;
        m_purge |= data[1];
        return true;
    case kUartConfigReport:
        if (length < kUartConfigLength || !acceptsConfig(data + 1))
            return false;
        std::copy_n(data + 1, uartConfig.size(), uartConfig.begin());
        return true;
    case kLineBreakReport:
        if (data[1] > 125)
            return false;
        m_purge |= kPurgeTx; // a break empties the transmit FIFO
        return true;
    case kStopLineBreakReport:
        return true;
    default:
        // Reset (it would re-enumerate), the GPIO and the one-time PROM
        // reports are not emulated, so they stall like an unknown id.
        return false;
    }
}

UartSettings Cp2110Chip::uartSettings() const
{
    return {bigEndian32(uartConfig.data()), uartConfig[4], uartConfig[5], uartConfig[6], uartConfig[7]};
}

uint8_t Cp2110Chip::takePurge()
{
    return std::exchange(m_purge, uint8_t{0});
}

std::vector<uint8_t> Cp2110Chip::dataPayload(const uint8_t* report, size_t length)
{
    if (report == nullptr || length < 2 || report[0] == 0 || report[0] > kMaxDataPerReport)
        return {};
    const size_t count = std::min<size_t>(report[0], length - 1);
    return {report + 1, report + 1 + count};
}

} // namespace varnetta::usbmeter

#include "UsbMeter.h"

#include <array>
#include <cstdio>
#include <string>
#include <utility>

namespace varnetta::usbmeter {

namespace {

// Feature reports of the descriptor and their payload sizes.
constexpr std::array<std::pair<uint8_t, uint8_t>, 10> kFeatures{{{0x40, 1},
                                                                 {0x41, 1},
                                                                 {0x42, 6},
                                                                 {0x43, 1},
                                                                 {0x44, 2},
                                                                 {0x45, 4},
                                                                 {0x46, 2},
                                                                 {0x50, 8},
                                                                 {0x51, 1},
                                                                 {0x52, 1}}};
// Long enough that a command frame always fits into the chip's FIFO.
constexpr uint32_t kWriteTimeoutMs = 100;

std::string hex(const uint8_t* data, size_t length)
{
    std::string out;
    char byte[4];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : " %02x", data[i]);
        out += byte;
    }
    return out;
}

} // namespace

std::vector<uint8_t> UsbMeter::reportDescriptor()
{
    // usage page 0xFF00, usage 1, application collection; 8-bit fields 0..255
    std::vector<uint8_t> d{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08};
    for (uint8_t id = 1; id <= Cp2110Chip::kMaxDataPerReport; ++id)
        d.insert(d.end(), {0x85, id, 0x95, id, 0x09, 0x01, 0x81, 0x02, 0x09, 0x01, 0x91, 0x02});
    for (const auto& [id, size] : kFeatures)
        d.insert(d.end(), {0x85, id, 0x95, size, 0x09, 0x01, 0xB1, 0x02});
    d.push_back(0xC0);
    return d;
}

UsbMeter::UsbMeter(std::shared_ptr<simbridge::Clock> clock, std::ostream& log)
    : m_log(log), m_line(std::move(clock))
{
    // The line to the meter stays open for the device's life; the chip's own
    // state (UART enable, configuration) decides what crosses it.
    (void)m_line.Open(&m_handle, 0, 0, 0);
    (void)m_line.SetTimeouts(m_handle, 0, kWriteTimeoutMs);
    m_shownFunction = m_line.meterFunctionCode();
    m_log << "meter memory " << m_line.meterMemoryCount() << " records, function "
          << hex(&m_shownFunction, 1) << std::endl;
}

UsbMeter::~UsbMeter()
{
    if (m_handle)
        (void)m_line.Close(m_handle);
}

std::vector<uint8_t> UsbMeter::getFeature(uint8_t reportId)
{
    auto report = m_chip.getFeature(reportId);
    if (report.empty())
        m_log << "refused get " << hex(&reportId, 1) << std::endl;
    return report;
}

bool UsbMeter::setFeature(const uint8_t* data, size_t length)
{
    const bool wasEnabled = m_chip.uartEnabled;
    const std::string bytes = hex(data + 1, length > 1 ? length - 1 : 0);
    if (Cp2110Chip::isProgrammingReport(data[0]))
        m_log << "DANGER: one-time-programmable report " << hex(data, 1) << " sent" << std::endl;
    if (!m_chip.setFeature(data, length)) {
        m_log << "refused set " << hex(data, 1) << ": " << bytes << std::endl;
        return false;
    }
    m_log << "set " << hex(data, 1) << ": " << bytes << std::endl;

    if (data[0] == Cp2110Chip::kUartConfigReport) {
        const UartSettings s = m_chip.uartSettings();
        (void)m_line.SetUartConfig(m_handle, s.baudRate, s.dataBits, s.parity, s.stopBits, s.flowControl);
        m_log << "uart config " << s.baudRate << " bit/s, " << (s.dataBits + 5) << " data bits, parity "
              << int(s.parity) << ", stop bits code " << int(s.stopBits) << ", flow control " << int(s.flowControl)
              << std::endl;
    }
    // Enabling counts as opening the UART, which flushes both FIFOs.
    const bool opened = !wasEnabled && m_chip.uartEnabled;
    if ((m_chip.takePurge() & Cp2110Chip::kPurgeRx) != 0 || opened)
        discardReceived();
    return true;
}

void UsbMeter::output(const uint8_t* data, size_t length)
{
    std::vector<uint8_t> bytes = Cp2110Chip::dataPayload(data, length);
    if (bytes.empty()) {
        m_log << "ignored output report of " << length << " bytes" << std::endl;
        return;
    }
    if (!m_chip.uartEnabled) {
        m_log << "uart disabled, dropped: " << hex(bytes.data(), bytes.size()) << std::endl;
        return;
    }
    uint32_t written = 0;
    const HID_UART_STATUS status =
        m_line.Write(m_handle, bytes.data(), static_cast<uint32_t>(bytes.size()), &written);
    m_log << "uart out: " << hex(bytes.data(), bytes.size());
    if (status != HID_UART_SUCCESS)
        m_log << " (only " << written << " went out)";
    m_log << std::endl;
}

void UsbMeter::discardReceived()
{
    std::array<uint8_t, 4096> sink{};
    uint32_t got = 0;
    do {
        got = 0;
        (void)m_line.Read(m_handle, sink.data(), static_cast<uint32_t>(sink.size()), &got);
    } while (got == sink.size());
}

std::vector<uint8_t> UsbMeter::nextInputReport()
{
    if (!m_chip.uartEnabled) {
        discardReceived(); // a closed UART lets the line's bytes fall on the floor
        return {};
    }
    std::vector<uint8_t> report(1 + Cp2110Chip::kMaxDataPerReport);
    uint32_t got = 0;
    (void)m_line.Read(m_handle, report.data() + 1, Cp2110Chip::kMaxDataPerReport, &got);
    if (got == 0)
        return {};
    report[0] = static_cast<uint8_t>(got);
    report.resize(1 + got);
    return report;
}

void UsbMeter::powerUp()
{
    const uint8_t part = m_chip.partNumber;
    const uint8_t version = m_chip.version;
    m_chip = Cp2110Chip{};
    m_chip.partNumber = part;
    m_chip.version = version;
    const UartSettings s = m_chip.uartSettings();
    (void)m_line.SetUartConfig(m_handle, s.baudRate, s.dataBits, s.parity, s.stopBits, s.flowControl);
    discardReceived();
}

void UsbMeter::logMeterChanges()
{
    const uint8_t function = m_line.meterFunctionCode();
    if (function != m_shownFunction) {
        m_log << "meter function " << hex(&m_shownFunction, 1) << " -> " << hex(&function, 1) << std::endl;
        m_shownFunction = function;
    }
}

} // namespace varnetta::usbmeter

#include "HidUartCore.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>

namespace varnetta::bridge {

namespace {

constexpr uint8_t kUartEnableReport = 0x41;
constexpr uint8_t kVersionReport = 0x46;
constexpr uint8_t kUartConfigReport = 0x50;
constexpr size_t kReportLength = 64;
constexpr size_t kUartConfigLength = 9;
constexpr uint32_t kMaxDataPerReport = 63;
constexpr uint32_t kDefaultTimeoutMs = 1000;

constexpr uint32_t kMinBaudCp2110 = 300;
constexpr uint32_t kMinBaudCp2114 = 375;
constexpr uint32_t kMaxBaud = 1000000;
constexpr uint32_t kMaxBaudShortWords = 500000; // 5 and 6 data bits

// The HID device-interface class GUID {4D1E55B2-F16F-11CF-88CB-001111000030}
// in its in-memory layout (the first three fields little-endian).
constexpr std::array<uint8_t, 16> kHidGuid = {0xB2, 0x55, 0x1E, 0x4D, 0x6F, 0xF1, 0xCF, 0x11,
                                              0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30};

HID_UART_STATUS copyString(const std::string& text, char* out)
{
    const size_t n = std::min(text.size(), static_cast<size_t>(HID_UART_DEVICE_STRLEN - 1));
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return HID_UART_SUCCESS;
}

std::string hexId(uint16_t id)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(id));
    return text;
}

HID_UART_STATUS entryString(const HidDeviceEntry& entry, char* out, uint32_t options)
{
    switch (options) {
    case HID_UART_GET_VID_STR:
        return copyString(hexId(entry.vendorId), out);
    case HID_UART_GET_PID_STR:
        return copyString(hexId(entry.productId), out);
    case HID_UART_GET_PATH_STR:
        return copyString(entry.path, out);
    case HID_UART_GET_SERIAL_STR:
        return copyString(entry.serial, out);
    case HID_UART_GET_MANUFACTURER_STR:
        return copyString(entry.manufacturer, out);
    case HID_UART_GET_PRODUCT_STR:
        return copyString(entry.product, out);
    default:
        return HID_UART_INVALID_PARAMETER;
    }
}

} // namespace

// One open bridge.  Reads run on the reader thread and everything else on
// the caller's thread, so the read queue has its own lock and the timeouts
// are atomics.
class HidUartDevice
{
public:
    HidUartDevice(std::unique_ptr<HidTransport> transport, HidDeviceEntry entry)
        : transport(std::move(transport)), entry(std::move(entry))
    {
    }

    std::unique_ptr<HidTransport> transport;
    const HidDeviceEntry entry;
    uint8_t partNumber = 0;
    std::atomic<uint32_t> readTimeoutMs{kDefaultTimeoutMs};
    std::atomic<uint32_t> writeTimeoutMs{kDefaultTimeoutMs};
    std::mutex readMutex;
    std::deque<uint8_t> rxQueue;
    std::mutex writeMutex;
};

HidUartCore::HidUartCore(HidHost& host) : m_host(host) {}

HidUartCore::~HidUartCore() = default;

std::vector<std::pair<uint16_t, uint16_t>> HidUartCore::idsToSearch(uint16_t vid, uint16_t pid)
{
    const uint16_t vendor = vid != 0 ? vid : HID_UART_CP2110_VID;
    if (pid != 0)
        return {{vendor, pid}};
    return {{vendor, HID_UART_CP2110_PID}, {vendor, HID_UART_CP2114_PID}};
}

std::vector<HidDeviceEntry> HidUartCore::enumerateFamily(uint16_t vid, uint16_t pid)
{
    // hidraw lists one entry per top-level usage, all with the same path.
    std::vector<HidDeviceEntry> devices;
    std::set<std::string> seen;
    for (const auto& [v, p] : idsToSearch(vid, pid)) {
        for (auto& entry : m_host.enumerate(v, p)) {
            if (entry.vendorId != v || entry.productId != p)
                continue;
            if (seen.insert(entry.path).second)
                devices.push_back(std::move(entry));
        }
    }
    return devices;
}

std::vector<HidDeviceEntry> HidUartCore::snapshot(uint16_t vid, uint16_t pid)
{
    std::lock_guard lock(m_mutex);
    const Filter filter{vid, pid};
    auto it = m_snapshots.find(filter);
    if (it == m_snapshots.end())
        it = m_snapshots.emplace(filter, enumerateFamily(vid, pid)).first;
    return it->second;
}

std::shared_ptr<HidUartDevice> HidUartCore::find(HID_UART_DEVICE device)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_devices.find(device);
    return it == m_devices.end() ? nullptr : it->second;
}

HID_UART_STATUS HidUartCore::getNumDevices(uint32_t* numDevices, uint16_t vid, uint16_t pid)
{
    if (numDevices == nullptr)
        return HID_UART_INVALID_PARAMETER;
    auto devices = enumerateFamily(vid, pid);
    *numDevices = static_cast<uint32_t>(devices.size());
    std::lock_guard lock(m_mutex);
    m_snapshots[{vid, pid}] = std::move(devices);
    return HID_UART_SUCCESS;
}

HID_UART_STATUS HidUartCore::getString(uint32_t deviceNum, uint16_t vid, uint16_t pid, char* deviceString,
                                       uint32_t options)
{
    if (deviceString == nullptr)
        return HID_UART_INVALID_PARAMETER;
    const auto devices = snapshot(vid, pid);
    if (deviceNum >= devices.size())
        return HID_UART_DEVICE_NOT_FOUND;
    return entryString(devices[deviceNum], deviceString, options);
}

HID_UART_STATUS HidUartCore::getOpenedString(HID_UART_DEVICE device, char* deviceString, uint32_t options)
{
    const auto dev = find(device);
    if (!dev)
        return HID_UART_INVALID_DEVICE_OBJECT;
    if (deviceString == nullptr)
        return HID_UART_INVALID_PARAMETER;
    return entryString(dev->entry, deviceString, options);
}

HID_UART_STATUS HidUartCore::getHidGuid(void* guid)
{
    if (guid == nullptr)
        return HID_UART_INVALID_PARAMETER;
    std::memcpy(guid, kHidGuid.data(), kHidGuid.size());
    return HID_UART_SUCCESS;
}

HID_UART_STATUS HidUartCore::open(HID_UART_DEVICE* device, uint32_t deviceNum, uint16_t vid, uint16_t pid)
{
    if (device == nullptr)
        return HID_UART_INVALID_PARAMETER;
    *device = nullptr;
    const auto devices = snapshot(vid, pid);
    if (deviceNum >= devices.size())
        return HID_UART_DEVICE_NOT_FOUND;

    auto transport = m_host.open(devices[deviceNum].path);
    if (!transport) {
        // The caller can tell a node it may not open (the udev rule is
        // missing) from one that went away since the listing.
        switch (m_host.whyOpenFailed(devices[deviceNum].path)) {
        case HidOpenFailure::Denied:
            return HID_UART_DEVICE_ACCESS_ERROR;
        case HidOpenFailure::Gone:
            return HID_UART_DEVICE_NOT_FOUND;
        case HidOpenFailure::Other:
            break;
        }
        return HID_UART_DEVICE_IO_FAILED;
    }

    // The same ids may be given to other HID products, so only the part
    // number says this is a bridge whose reports we may send.
    std::array<uint8_t, kReportLength> report{};
    report[0] = kVersionReport;
    if (transport->getFeature(report.data(), report.size()) < 3 || report[0] != kVersionReport)
        return HID_UART_DEVICE_IO_FAILED;
    const uint8_t part = report[1];
    if (part != HID_UART_PART_CP2110 && part != HID_UART_PART_CP2114)
        return HID_UART_DEVICE_NOT_SUPPORTED;

    // The UART is off after power-up; nothing moves until it is enabled.
    const std::array<uint8_t, 2> enable{kUartEnableReport, 0x01};
    if (transport->setFeature(enable.data(), enable.size()) < 0)
        return HID_UART_DEVICE_IO_FAILED;

    auto dev = std::make_shared<HidUartDevice>(std::move(transport), devices[deviceNum]);
    dev->partNumber = part;
    std::lock_guard lock(m_mutex);
    *device = dev.get();
    m_devices.emplace(dev.get(), std::move(dev));
    return HID_UART_SUCCESS;
}

HID_UART_STATUS HidUartCore::close(HID_UART_DEVICE device)
{
    std::shared_ptr<HidUartDevice> dev;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_devices.find(device);
        if (it == m_devices.end())
            return HID_UART_INVALID_DEVICE_OBJECT;
        dev = std::move(it->second);
        m_devices.erase(it);
    }
    // The node is closed when the last call still using it returns.
    return HID_UART_SUCCESS;
}

HID_UART_STATUS HidUartCore::getPartNumber(HID_UART_DEVICE device, uint8_t* partNumber, uint8_t* version)
{
    const auto dev = find(device);
    if (!dev)
        return HID_UART_INVALID_DEVICE_OBJECT;
    if (partNumber == nullptr || version == nullptr)
        return HID_UART_INVALID_PARAMETER;
    std::array<uint8_t, kReportLength> report{};
    report[0] = kVersionReport;
    if (dev->transport->getFeature(report.data(), report.size()) < 3 || report[0] != kVersionReport)
        return HID_UART_DEVICE_IO_FAILED;
    *partNumber = report[1];
    *version = report[2];
    return HID_UART_SUCCESS;
}

HID_UART_STATUS HidUartCore::setUartConfig(HID_UART_DEVICE device, uint32_t baudRate, uint8_t dataBits,
                                           uint8_t parity, uint8_t stopBits, uint8_t flowControl)
{
    const auto dev = find(device);
    if (!dev)
        return HID_UART_INVALID_DEVICE_OBJECT;
    if (dataBits > HID_UART_EIGHT_DATA_BITS || parity > HID_UART_SPACE_PARITY ||
        stopBits > HID_UART_LONG_STOP_BIT || flowControl > HID_UART_RTS_CTS_FLOW_CONTROL)
        return HID_UART_INVALID_PARAMETER;
    // The chip does not acknowledge a Set, so an impossible rate is stopped here.
    const uint32_t minBaud = dev->partNumber == HID_UART_PART_CP2114 ? kMinBaudCp2114 : kMinBaudCp2110;
    const uint32_t maxBaud = dataBits <= HID_UART_SIX_DATA_BITS ? kMaxBaudShortWords : kMaxBaud;
    if (baudRate < minBaud || baudRate > maxBaud)
        return HID_UART_INVALID_PARAMETER;

    // The report's field order differs from the parameter order; the rate
    // goes most significant byte first.
    const std::array<uint8_t, kUartConfigLength> report{kUartConfigReport,
                                                        static_cast<uint8_t>(baudRate >> 24),
                                                        static_cast<uint8_t>(baudRate >> 16),
                                                        static_cast<uint8_t>(baudRate >> 8),
                                                        static_cast<uint8_t>(baudRate),
                                                        parity,
                                                        flowControl,
                                                        dataBits,
                                                        stopBits};
    if (dev->transport->setFeature(report.data(), report.size()) < 0)
        return HID_UART_DEVICE_IO_FAILED;
    return HID_UART_SUCCESS;
}

HID_UART_STATUS HidUartCore::getUartConfig(HID_UART_DEVICE device, uint32_t* baudRate, uint8_t* dataBits,
                                           uint8_t* parity, uint8_t* stopBits, uint8_t* flowControl)
{
    const auto dev = find(device);
    if (!dev)
        return HID_UART_INVALID_DEVICE_OBJECT;
    if (baudRate == nullptr || dataBits == nullptr || parity == nullptr || stopBits == nullptr ||
        flowControl == nullptr)
        return HID_UART_INVALID_PARAMETER;
    std::array<uint8_t, kReportLength> report{};
    report[0] = kUartConfigReport;
    const int got = dev->transport->getFeature(report.data(), report.size());
    if (got < static_cast<int>(kUartConfigLength) || report[0] != kUartConfigReport)
        return HID_UART_DEVICE_IO_FAILED;
    *baudRate = (uint32_t{report[1]} << 24) | (uint32_t{report[2]} << 16) | (uint32_t{report[3]} << 8) |
                uint32_t{report[4]};
    *parity = report[5];
    *flowControl = report[6];
    *dataBits = report[7];
    *stopBits = report[8];
    return HID_UART_SUCCESS;
}

HID_UART_STATUS HidUartCore::setTimeouts(HID_UART_DEVICE device, uint32_t readTimeout, uint32_t writeTimeout)
{
    const auto dev = find(device);
    if (!dev)
        return HID_UART_INVALID_DEVICE_OBJECT;
    dev->readTimeoutMs = readTimeout;
    dev->writeTimeoutMs = writeTimeout;
    return HID_UART_SUCCESS;
}

HID_UART_STATUS HidUartCore::read(HID_UART_DEVICE device, uint8_t* buffer, uint32_t numBytesToRead,
                                  uint32_t* numBytesRead)
{
    const auto dev = find(device);
    if (!dev)
        return HID_UART_INVALID_DEVICE_OBJECT;
    if (buffer == nullptr || numBytesRead == nullptr)
        return HID_UART_INVALID_PARAMETER;
    *numBytesRead = 0;
    if (numBytesToRead == 0 || numBytesToRead > HID_UART_MAX_READ_SIZE)
        return HID_UART_INVALID_REQUEST_LENGTH;

    std::lock_guard lock(dev->readMutex);
    auto& queue = dev->rxQueue;
    const uint64_t deadline = m_host.nowMs() + dev->readTimeoutMs.load();
    bool failed = false;
    std::array<uint8_t, kReportLength> report{};

    // Appends one report's payload; false when nothing more is to be had now.
    const auto take = [&](int timeoutMs) {
        const int got = dev->transport->readReport(report.data(), report.size(), timeoutMs);
        if (got < 0) {
            failed = true;
            return false;
        }
        if (got == 0)
            return false;
        // Only ids 1..63 are data.  The id is the payload length; never trust
        // it beyond what arrived.
        if (report[0] > kMaxDataPerReport)
            return true;
        const size_t count = std::min<size_t>({report[0], kMaxDataPerReport, static_cast<size_t>(got - 1)});
        queue.insert(queue.end(), report.begin() + 1,
                     report.begin() + 1 + static_cast<std::ptrdiff_t>(count));
        return true;
    };

    // At least one pass even with a 0 ms time-out: it takes every report the
    // kernel already holds, then waits for more only while time remains.
    for (;;) {
        while (queue.size() < numBytesToRead && take(0)) {
        }
        if (failed || queue.size() >= numBytesToRead)
            break;
        const uint64_t now = m_host.nowMs();
        if (now >= deadline)
            break;
        const uint64_t remaining = std::min<uint64_t>(deadline - now, INT_MAX);
        if (!take(static_cast<int>(remaining)) && failed)
            break;
    }

    const size_t count = std::min<size_t>(queue.size(), numBytesToRead);
    std::copy_n(queue.begin(), count, buffer);
    queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(count));
    *numBytesRead = static_cast<uint32_t>(count);
    // Bytes that arrived before a failure are delivered first; the failure
    // shows again on the next call, when nothing is left to lose.
    if (failed && count == 0)
        return HID_UART_READ_ERROR;
    return count == numBytesToRead ? HID_UART_SUCCESS : HID_UART_READ_TIMED_OUT;
}

HID_UART_STATUS HidUartCore::write(HID_UART_DEVICE device, const uint8_t* buffer, uint32_t numBytesToWrite,
                                   uint32_t* numBytesWritten)
{
    const auto dev = find(device);
    if (!dev)
        return HID_UART_INVALID_DEVICE_OBJECT;
    if (buffer == nullptr || numBytesWritten == nullptr)
        return HID_UART_INVALID_PARAMETER;
    *numBytesWritten = 0;
    if (numBytesToWrite == 0 || numBytesToWrite > HID_UART_MAX_WRITE_SIZE)
        return HID_UART_INVALID_REQUEST_LENGTH;

    std::lock_guard lock(dev->writeMutex);
    const uint64_t start = m_host.nowMs();
    const uint32_t timeout = dev->writeTimeoutMs.load();
    uint32_t sent = 0;
    // The first report always goes out, so a 0 ms time-out still sends a
    // short command; later ones only while time remains.
    do {
        const uint32_t chunk = std::min(numBytesToWrite - sent, kMaxDataPerReport);
        std::array<uint8_t, kReportLength> report{};
        report[0] = static_cast<uint8_t>(chunk);
        std::copy_n(buffer + sent, chunk, report.begin() + 1);
        if (dev->transport->writeReport(report.data(), report.size()) < 0) {
            *numBytesWritten = sent;
            return HID_UART_WRITE_ERROR;
        }
        sent += chunk;
    } while (sent < numBytesToWrite && m_host.nowMs() - start < timeout);

    *numBytesWritten = sent;
    return sent == numBytesToWrite ? HID_UART_SUCCESS : HID_UART_WRITE_TIMED_OUT;
}

} // namespace varnetta::bridge

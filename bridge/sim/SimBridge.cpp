#include "SimBridge.h"

#include <algorithm>
#include <cstring>

namespace varnetta::simbridge {

namespace {

constexpr Nanos ms(uint32_t v)
{
    return std::chrono::milliseconds(v);
}

HID_UART_STATUS copyString(char* out, const char* text)
{
    std::strncpy(out, text, HID_UART_DEVICE_STRLEN - 1);
    out[HID_UART_DEVICE_STRLEN - 1] = '\0';
    return HID_UART_SUCCESS;
}

HID_UART_STATUS writeDeviceString(char* out, uint32_t options)
{
    if (out == nullptr)
        return HID_UART_INVALID_PARAMETER;
    switch (options) {
    case HID_UART_GET_VID_STR:
        return copyString(out, "10C4");
    case HID_UART_GET_PID_STR:
        return copyString(out, "EA80");
    case HID_UART_GET_PATH_STR:
        return copyString(out, kPath);
    case HID_UART_GET_SERIAL_STR:
        return copyString(out, kSerial);
    case HID_UART_GET_MANUFACTURER_STR:
        return copyString(out, kManufacturer);
    case HID_UART_GET_PRODUCT_STR:
        return copyString(out, kProduct);
    default:
        return HID_UART_INVALID_PARAMETER;
    }
}

} // namespace

Nanos SteadyClock::now()
{
    return std::chrono::duration_cast<Nanos>(std::chrono::steady_clock::now().time_since_epoch());
}

void SteadyClock::waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Nanos until)
{
    wake.wait_until(lock, std::chrono::steady_clock::time_point(
                              std::chrono::duration_cast<std::chrono::steady_clock::duration>(until)));
}

SimBridge::SimBridge(std::shared_ptr<Clock> clock, uint32_t meterSeed)
    : m_clock(std::move(clock)), m_meter(m_clock->now(), meterSeed)
{
}

bool SimBridge::matches(uint16_t vid, uint16_t pid)
{
    return (vid == 0 || vid == HID_UART_CP2110_VID) && (pid == 0 || pid == HID_UART_CP2110_PID);
}

bool SimBridge::isOpenHandle(HID_UART_DEVICE device) const
{
    return m_open && device == &m_handleTag;
}

bool SimBridge::lineMatchesMeter() const
{
    return m_config.baudRate == sim::SerialLine::kMeterBitRate &&
           m_config.dataBits == HID_UART_EIGHT_DATA_BITS && m_config.parity == HID_UART_NO_PARITY &&
           m_config.stopBits == HID_UART_SHORT_STOP_BIT && m_config.flowControl == HID_UART_NO_FLOW_CONTROL;
}

void SimBridge::forwardMeterFrames()
{
    for (sim::SentFrame& f : m_meter.takeFrames()) {
        // With the device closed the frames go nowhere; with a framing
        // other than the meter's they arrive as garbage, which the chip
        // drops as framing errors.
        if (!m_open)
            continue;
        if (!lineMatchesMeter() || m_toHost.pending() + f.bytes.size() > kRxQueueBytes) {
            m_bytesLost += f.bytes.size();
            continue;
        }
        m_toHost.send(f.at, f.bytes);
    }
}

void SimBridge::pump(Nanos now)
{
    // Command bytes reach the meter at the moment their stop bit is in, so
    // its answer starts then, however late the next call comes.
    while (const auto at = m_toMeter.arrivalOfPending(1)) {
        if (*at > now)
            break;
        m_meter.advanceTo(*at);
        forwardMeterFrames();
        uint8_t byte = 0;
        (void)m_toMeter.take(*at, &byte, 1);
        if (lineMatchesMeter())
            m_meter.receive(*at, &byte, 1);
        forwardMeterFrames();
    }
    m_meter.advanceTo(now);
    forwardMeterFrames();
}

Nanos SimBridge::nextWake(Nanos now, Nanos deadline) const
{
    Nanos next = std::min(deadline, m_meter.nextEventAt());
    if (const auto at = m_toMeter.arrivalOfPending(1))
        next = std::min(next, *at);
    return std::max(next, now + Nanos(1));
}

HID_UART_STATUS SimBridge::GetNumDevices(uint32_t* numDevices, uint16_t vid, uint16_t pid)
{
    if (numDevices == nullptr)
        return HID_UART_INVALID_PARAMETER;
    *numDevices = matches(vid, pid) ? 1 : 0;
    return HID_UART_SUCCESS;
}

HID_UART_STATUS SimBridge::GetString(uint32_t deviceNum, uint16_t vid, uint16_t pid, char* deviceString,
                                     uint32_t options)
{
    if (deviceNum != 0 || !matches(vid, pid))
        return HID_UART_DEVICE_NOT_FOUND;
    return writeDeviceString(deviceString, options);
}

HID_UART_STATUS SimBridge::GetOpenedString(HID_UART_DEVICE device, char* deviceString, uint32_t options)
{
    std::lock_guard lock(m_mutex);
    if (!isOpenHandle(device))
        return HID_UART_INVALID_DEVICE_OBJECT;
    return writeDeviceString(deviceString, options);
}

HID_UART_STATUS SimBridge::GetHidGuid(void* guid)
{
    // The HID device-interface class as Windows lays a GUID out in memory.
    static constexpr uint8_t kHidGuid[16] = {0xB2, 0x55, 0x1E, 0x4D, 0x6F, 0xF1, 0xCF, 0x11,
                                             0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30};
    if (guid == nullptr)
        return HID_UART_INVALID_PARAMETER;
    std::memcpy(guid, kHidGuid, sizeof kHidGuid);
    return HID_UART_SUCCESS;
}

HID_UART_STATUS SimBridge::Open(HID_UART_DEVICE* device, uint32_t deviceNum, uint16_t vid, uint16_t pid)
{
    if (device == nullptr)
        return HID_UART_INVALID_PARAMETER;
    *device = nullptr;
    if (deviceNum != 0 || !matches(vid, pid))
        return HID_UART_DEVICE_NOT_FOUND;
    std::lock_guard lock(m_mutex);
    if (m_open)
        return HID_UART_DEVICE_ACCESS_ERROR;
    // The meter ran on while nobody listened; what it sent then is gone.
    m_meter.advanceTo(m_clock->now());
    (void)m_meter.takeFrames();
    m_toHost.clear();
    m_toMeter.clear();
    m_config = Config{};
    m_readTimeoutMs = kDefaultTimeoutMs;
    m_writeTimeoutMs = kDefaultTimeoutMs;
    m_open = true;
    ++m_generation;
    *device = handle();
    return HID_UART_SUCCESS;
}

HID_UART_STATUS SimBridge::Close(HID_UART_DEVICE device)
{
    std::lock_guard lock(m_mutex);
    if (!isOpenHandle(device))
        return HID_UART_INVALID_DEVICE_OBJECT;
    m_open = false;
    ++m_generation;
    m_toHost.clear();
    m_toMeter.clear();
    m_wake.notify_all();
    return HID_UART_SUCCESS;
}

HID_UART_STATUS SimBridge::GetPartNumber(HID_UART_DEVICE device, uint8_t* partNumber, uint8_t* version)
{
    std::lock_guard lock(m_mutex);
    if (!isOpenHandle(device))
        return HID_UART_INVALID_DEVICE_OBJECT;
    if (partNumber == nullptr || version == nullptr)
        return HID_UART_INVALID_PARAMETER;
    *partNumber = HID_UART_PART_CP2110;
    *version = kVersion;
    return HID_UART_SUCCESS;
}

HID_UART_STATUS SimBridge::SetUartConfig(HID_UART_DEVICE device, uint32_t baudRate, uint8_t dataBits,
                                         uint8_t parity, uint8_t stopBits, uint8_t flowControl)
{
    std::lock_guard lock(m_mutex);
    if (!isOpenHandle(device))
        return HID_UART_INVALID_DEVICE_OBJECT;
    const uint32_t maxBaud = dataBits <= HID_UART_SIX_DATA_BITS ? 500000 : 1000000;
    if (baudRate < 300 || baudRate > maxBaud || dataBits > HID_UART_EIGHT_DATA_BITS ||
        parity > HID_UART_SPACE_PARITY || stopBits > HID_UART_LONG_STOP_BIT ||
        flowControl > HID_UART_RTS_CTS_FLOW_CONTROL)
        return HID_UART_INVALID_PARAMETER;
    pump(m_clock->now());
    m_config = Config{baudRate, dataBits, parity, stopBits, flowControl};
    return HID_UART_SUCCESS;
}

HID_UART_STATUS SimBridge::GetUartConfig(HID_UART_DEVICE device, uint32_t* baudRate, uint8_t* dataBits,
                                         uint8_t* parity, uint8_t* stopBits, uint8_t* flowControl)
{
    std::lock_guard lock(m_mutex);
    if (!isOpenHandle(device))
        return HID_UART_INVALID_DEVICE_OBJECT;
    if (!baudRate || !dataBits || !parity || !stopBits || !flowControl)
        return HID_UART_INVALID_PARAMETER;
    *baudRate = m_config.baudRate;
    *dataBits = m_config.dataBits;
    *parity = m_config.parity;
    *stopBits = m_config.stopBits;
    *flowControl = m_config.flowControl;
    return HID_UART_SUCCESS;
}

HID_UART_STATUS SimBridge::SetTimeouts(HID_UART_DEVICE device, uint32_t readTimeout, uint32_t writeTimeout)
{
    std::lock_guard lock(m_mutex);
    if (!isOpenHandle(device))
        return HID_UART_INVALID_DEVICE_OBJECT;
    m_readTimeoutMs = readTimeout;
    m_writeTimeoutMs = writeTimeout;
    return HID_UART_SUCCESS;
}

HID_UART_STATUS SimBridge::Read(HID_UART_DEVICE device, uint8_t* buffer, uint32_t numBytesToRead,
                                uint32_t* numBytesRead)
{
    if (numBytesRead == nullptr || buffer == nullptr)
        return HID_UART_INVALID_PARAMETER;
    *numBytesRead = 0;
    std::unique_lock lock(m_mutex);
    if (!isOpenHandle(device))
        return HID_UART_INVALID_DEVICE_OBJECT;
    if (numBytesToRead == 0 || numBytesToRead > HID_UART_MAX_READ_SIZE)
        return HID_UART_INVALID_REQUEST_LENGTH;

    const uint64_t generation = m_generation;
    const Nanos deadline = m_clock->now() + ms(m_readTimeoutMs);
    Nanos now;
    // Looks at the line at least once, even with no time-out at all.
    while (true) {
        now = m_clock->now();
        pump(now);
        if (m_toHost.arrived(now) >= numBytesToRead || now >= deadline)
            break;
        Nanos wake = nextWake(now, deadline);
        if (const auto at = m_toHost.arrivalOfPending(numBytesToRead))
            wake = std::min(wake, std::max(*at, now + Nanos(1)));
        m_clock->waitUntil(lock, m_wake, wake);
        if (m_generation != generation)
            return HID_UART_READ_ERROR; // closed while waiting
    }
    const size_t got = m_toHost.take(now, buffer, numBytesToRead);
    *numBytesRead = uint32_t(got);
    return got == numBytesToRead ? HID_UART_SUCCESS : HID_UART_READ_TIMED_OUT;
}

HID_UART_STATUS SimBridge::Write(HID_UART_DEVICE device, uint8_t* buffer, uint32_t numBytesToWrite,
                                 uint32_t* numBytesWritten)
{
    if (numBytesWritten == nullptr || buffer == nullptr)
        return HID_UART_INVALID_PARAMETER;
    *numBytesWritten = 0;
    std::unique_lock lock(m_mutex);
    if (!isOpenHandle(device))
        return HID_UART_INVALID_DEVICE_OBJECT;
    if (numBytesToWrite == 0 || numBytesToWrite > HID_UART_MAX_WRITE_SIZE)
        return HID_UART_INVALID_REQUEST_LENGTH;

    const uint64_t generation = m_generation;
    const Nanos start = m_clock->now();
    const Nanos deadline = start + ms(m_writeTimeoutMs);
    size_t sent = 0;
    // Bytes go into the chip's transmit FIFO while the time-out lasts; the
    // line drains it at its own pace.
    while (true) {
        const Nanos now = m_clock->now();
        pump(now);
        if (now >= deadline)
            break;
        const size_t space = kTxFifoBytes - std::min(kTxFifoBytes, m_toMeter.pending());
        const size_t chunk = std::min<size_t>(space, numBytesToWrite - sent);
        if (chunk != 0) {
            m_toMeter.send(now, buffer + sent, chunk);
            sent += chunk;
        }
        if (sent == numBytesToWrite)
            break;
        Nanos wake = deadline;
        if (const auto at = m_toMeter.arrivalOfPending(1))
            wake = std::min(wake, *at);
        m_clock->waitUntil(lock, m_wake, std::max(wake, now + Nanos(1)));
        if (m_generation != generation) {
            *numBytesWritten = uint32_t(sent);
            return HID_UART_WRITE_ERROR;
        }
    }
    *numBytesWritten = uint32_t(sent);
    // A reader waiting for the answer must look at the new due times.
    m_wake.notify_all();
    return sent == numBytesToWrite ? HID_UART_SUCCESS : HID_UART_WRITE_TIMED_OUT;
}

size_t SimBridge::meterMemoryCount()
{
    std::lock_guard lock(m_mutex);
    return m_meter.memory().size();
}

uint8_t SimBridge::meterFunctionCode()
{
    std::lock_guard lock(m_mutex);
    return m_meter.functionCode();
}

uint64_t SimBridge::bytesLost()
{
    std::lock_guard lock(m_mutex);
    return m_bytesLost;
}

} // namespace varnetta::simbridge

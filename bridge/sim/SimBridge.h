// The bridge chip of the simulated meter: one device whose UART carries the
// virtual meter at the pace of its 9600 bit/s line in both directions.
//
// Every call first brings the meter and both line directions up to the
// clock's present, so no thread of its own is needed; a read that has to
// wait sleeps until the next byte is due, its deadline, or a write.
#pragma once

#include "HidUartApi.h"
#include "sim/MeterSimulator.h"
#include "sim/SerialLine.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace varnetta::simbridge {

using sim::Nanos;

// Time as the bridge sees it. The real clock is the monotonic one; tests
// pass a clock that jumps instead of sleeping.
class Clock
{
public:
    virtual ~Clock() = default;
    [[nodiscard]] virtual Nanos now() = 0;
    // Waits until `until` or until `wake` is notified, with `lock` released
    // meanwhile; may return early.
    virtual void waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                           Nanos until) = 0;
};

class SteadyClock final : public Clock
{
public:
    Nanos now() override;
    void waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Nanos until) override;
};

inline constexpr char kSerial[] = "VARNETTA-SIM";
inline constexpr char kPath[] = "sim:VARNETTA-SIM";
inline constexpr char kManufacturer[] = "Varnetta";
inline constexpr char kProduct[] = "Varnetta simulated meter";
inline constexpr uint8_t kVersion = 0x01;
// The chip's transmit FIFO: a write blocks while it is full.
inline constexpr size_t kTxFifoBytes = 480;
// What the chip's receive FIFO and the host's report queue hold together;
// bytes beyond it are lost, as on a real line nobody reads.
inline constexpr size_t kRxQueueBytes = 480 + 64 * 63;
// What the chip starts with after opening.
inline constexpr uint32_t kDefaultTimeoutMs = 1000;
inline constexpr uint32_t kDefaultBaudRate = 115200;

class SimBridge
{
public:
    explicit SimBridge(std::shared_ptr<Clock> clock, uint32_t meterSeed = 1);
    SimBridge(const SimBridge&) = delete;
    SimBridge& operator=(const SimBridge&) = delete;

    HID_UART_STATUS GetNumDevices(uint32_t* numDevices, uint16_t vid, uint16_t pid);
    HID_UART_STATUS GetString(uint32_t deviceNum, uint16_t vid, uint16_t pid, char* deviceString,
                              uint32_t options);
    HID_UART_STATUS GetOpenedString(HID_UART_DEVICE device, char* deviceString, uint32_t options);
    static HID_UART_STATUS GetHidGuid(void* guid);
    HID_UART_STATUS Open(HID_UART_DEVICE* device, uint32_t deviceNum, uint16_t vid, uint16_t pid);
    HID_UART_STATUS Close(HID_UART_DEVICE device);
    HID_UART_STATUS GetPartNumber(HID_UART_DEVICE device, uint8_t* partNumber, uint8_t* version);
    HID_UART_STATUS SetUartConfig(HID_UART_DEVICE device, uint32_t baudRate, uint8_t dataBits, uint8_t parity,
                                  uint8_t stopBits, uint8_t flowControl);
    HID_UART_STATUS GetUartConfig(HID_UART_DEVICE device, uint32_t* baudRate, uint8_t* dataBits,
                                  uint8_t* parity, uint8_t* stopBits, uint8_t* flowControl);
    HID_UART_STATUS SetTimeouts(HID_UART_DEVICE device, uint32_t readTimeout, uint32_t writeTimeout);
    HID_UART_STATUS Read(HID_UART_DEVICE device, uint8_t* buffer, uint32_t numBytesToRead,
                         uint32_t* numBytesRead);
    HID_UART_STATUS Write(HID_UART_DEVICE device, uint8_t* buffer, uint32_t numBytesToWrite,
                          uint32_t* numBytesWritten);

    // Figures for tools and tests, under the bridge's lock.
    [[nodiscard]] size_t meterMemoryCount();
    [[nodiscard]] uint8_t meterFunctionCode();
    [[nodiscard]] uint64_t bytesLost();

private:
    struct Config
    {
        uint32_t baudRate = kDefaultBaudRate;
        uint8_t dataBits = HID_UART_EIGHT_DATA_BITS;
        uint8_t parity = HID_UART_NO_PARITY;
        uint8_t stopBits = HID_UART_SHORT_STOP_BIT;
        uint8_t flowControl = HID_UART_NO_FLOW_CONTROL;
    };

    [[nodiscard]] static bool matches(uint16_t vid, uint16_t pid);
    [[nodiscard]] bool isOpenHandle(HID_UART_DEVICE device) const;
    // The meter is understood only when both ends agree on the framing.
    [[nodiscard]] bool lineMatchesMeter() const;
    // Brings the meter and both directions of the line up to `now`.
    void pump(Nanos now);
    void forwardMeterFrames();
    [[nodiscard]] Nanos nextWake(Nanos now, Nanos deadline) const;
    [[nodiscard]] HID_UART_DEVICE handle() { return &m_handleTag; }

    std::shared_ptr<Clock> m_clock;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    sim::MeterSimulator m_meter;
    sim::SerialLine m_toHost;
    sim::SerialLine m_toMeter;
    bool m_open = false;
    uint64_t m_generation = 0; // bumped by every open and close
    Config m_config;
    uint32_t m_readTimeoutMs = kDefaultTimeoutMs;
    uint32_t m_writeTimeoutMs = kDefaultTimeoutMs;
    uint64_t m_bytesLost = 0;
    int m_handleTag = 0;
};

} // namespace varnetta::simbridge

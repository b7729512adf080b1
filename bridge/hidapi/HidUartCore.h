// The bridge library's behaviour over a HidHost: enumeration of the bridge
// family, opening with the part-number check, the UART configuration report,
// the host-side read queue and chunked writes.  The exported C functions are
// thin calls into one instance of this class.
#pragma once

#include "HidTransport.h"
#include "HidUartApi.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace varnetta::bridge {

class HidUartDevice;

class HidUartCore
{
public:
    explicit HidUartCore(HidHost& host);
    HidUartCore(const HidUartCore&) = delete;
    HidUartCore& operator=(const HidUartCore&) = delete;
    ~HidUartCore();

    [[nodiscard]] HID_UART_STATUS getNumDevices(uint32_t* numDevices, uint16_t vid, uint16_t pid);
    [[nodiscard]] HID_UART_STATUS getString(uint32_t deviceNum, uint16_t vid, uint16_t pid,
                                            char* deviceString, uint32_t options);
    [[nodiscard]] HID_UART_STATUS getOpenedString(HID_UART_DEVICE device, char* deviceString,
                                                  uint32_t options);
    [[nodiscard]] static HID_UART_STATUS getHidGuid(void* guid);
    [[nodiscard]] HID_UART_STATUS open(HID_UART_DEVICE* device, uint32_t deviceNum, uint16_t vid,
                                       uint16_t pid);
    [[nodiscard]] HID_UART_STATUS close(HID_UART_DEVICE device);
    [[nodiscard]] HID_UART_STATUS getPartNumber(HID_UART_DEVICE device, uint8_t* partNumber,
                                                uint8_t* version);
    [[nodiscard]] HID_UART_STATUS setUartConfig(HID_UART_DEVICE device, uint32_t baudRate, uint8_t dataBits,
                                                uint8_t parity, uint8_t stopBits, uint8_t flowControl);
    [[nodiscard]] HID_UART_STATUS getUartConfig(HID_UART_DEVICE device, uint32_t* baudRate, uint8_t* dataBits,
                                                uint8_t* parity, uint8_t* stopBits, uint8_t* flowControl);
    [[nodiscard]] HID_UART_STATUS setTimeouts(HID_UART_DEVICE device, uint32_t readTimeout,
                                              uint32_t writeTimeout);
    [[nodiscard]] HID_UART_STATUS read(HID_UART_DEVICE device, uint8_t* buffer, uint32_t numBytesToRead,
                                       uint32_t* numBytesRead);
    [[nodiscard]] HID_UART_STATUS write(HID_UART_DEVICE device, const uint8_t* buffer,
                                        uint32_t numBytesToWrite, uint32_t* numBytesWritten);

    // The USB id pairs a vid/pid filter stands for: 0 never widens the search
    // beyond the bridge family (0/0 is both default bridges).
    [[nodiscard]] static std::vector<std::pair<uint16_t, uint16_t>> idsToSearch(uint16_t vid, uint16_t pid);

private:
    using Filter = std::pair<uint16_t, uint16_t>;

    std::vector<HidDeviceEntry> enumerateFamily(uint16_t vid, uint16_t pid);
    // the snapshot that indexes refer to, taken by getNumDevices
    std::vector<HidDeviceEntry> snapshot(uint16_t vid, uint16_t pid);
    // the live device behind a handle, kept alive for the call
    std::shared_ptr<HidUartDevice> find(HID_UART_DEVICE device);

    HidHost& m_host;
    std::mutex m_mutex;
    std::map<Filter, std::vector<HidDeviceEntry>> m_snapshots;
    std::map<HID_UART_DEVICE, std::shared_ptr<HidUartDevice>> m_devices;
};

} // namespace varnetta::bridge

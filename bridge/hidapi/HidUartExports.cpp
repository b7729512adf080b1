// The exported C interface of the real bridge library: one core over hidapi
// for the whole process.
#include "HidUartApi.h"
#include "HidUartCore.h"
#include "HidapiHost.h"

using varnetta::bridge::HidapiHost;
using varnetta::bridge::HidUartCore;

namespace {

HidUartCore& core()
{
    static HidapiHost host;
    static HidUartCore instance(host);
    return instance;
}

// No exception may cross into the C caller.
template <typename F> HID_UART_STATUS guarded(F&& call) noexcept
{
    try {
        return call();
    } catch (...) {
        return HID_UART_UNKNOWN_ERROR;
    }
}

} // namespace

extern "C" {

HID_UART_STATUS HidUart_GetNumDevices(uint32_t* numDevices, uint16_t vid, uint16_t pid)
{
    return guarded([&] { return core().getNumDevices(numDevices, vid, pid); });
}

HID_UART_STATUS HidUart_GetString(uint32_t deviceNum, uint16_t vid, uint16_t pid, char* deviceString,
                                  uint32_t options)
{
    return guarded([&] { return core().getString(deviceNum, vid, pid, deviceString, options); });
}

HID_UART_STATUS HidUart_GetOpenedString(HID_UART_DEVICE device, char* deviceString, uint32_t options)
{
    return guarded([&] { return core().getOpenedString(device, deviceString, options); });
}

HID_UART_STATUS HidUart_GetHidGuid(void* guid)
{
    return HidUartCore::getHidGuid(guid);
}

HID_UART_STATUS HidUart_Open(HID_UART_DEVICE* device, uint32_t deviceNum, uint16_t vid, uint16_t pid)
{
    return guarded([&] { return core().open(device, deviceNum, vid, pid); });
}

HID_UART_STATUS HidUart_Close(HID_UART_DEVICE device)
{
    return guarded([&] { return core().close(device); });
}

HID_UART_STATUS HidUart_GetPartNumber(HID_UART_DEVICE device, uint8_t* partNumber, uint8_t* version)
{
    return guarded([&] { return core().getPartNumber(device, partNumber, version); });
}

HID_UART_STATUS HidUart_SetUartConfig(HID_UART_DEVICE device, uint32_t baudRate, uint8_t dataBits,
                                      uint8_t parity, uint8_t stopBits, uint8_t flowControl)
{
    return guarded(
        [&] { return core().setUartConfig(device, baudRate, dataBits, parity, stopBits, flowControl); });
}

HID_UART_STATUS HidUart_GetUartConfig(HID_UART_DEVICE device, uint32_t* baudRate, uint8_t* dataBits,
                                      uint8_t* parity, uint8_t* stopBits, uint8_t* flowControl)
{
    return guarded(
        [&] { return core().getUartConfig(device, baudRate, dataBits, parity, stopBits, flowControl); });
}

HID_UART_STATUS HidUart_SetTimeouts(HID_UART_DEVICE device, uint32_t readTimeout, uint32_t writeTimeout)
{
    return guarded([&] { return core().setTimeouts(device, readTimeout, writeTimeout); });
}

HID_UART_STATUS HidUart_Read(HID_UART_DEVICE device, uint8_t* buffer, uint32_t numBytesToRead,
                             uint32_t* numBytesRead)
{
    return guarded([&] { return core().read(device, buffer, numBytesToRead, numBytesRead); });
}

HID_UART_STATUS HidUart_Write(HID_UART_DEVICE device, uint8_t* buffer, uint32_t numBytesToWrite,
                              uint32_t* numBytesWritten)
{
    return guarded([&] { return core().write(device, buffer, numBytesToWrite, numBytesWritten); });
}

} // extern "C"

// The exported C interface of the simulated bridge: one process-wide device
// on the monotonic clock.
#pragma GCC visibility push(default)
#include "HidUartApi.h"
#pragma GCC visibility pop

#include "SimBridge.h"

using varnetta::simbridge::SimBridge;
using varnetta::simbridge::SteadyClock;

namespace {

SimBridge& bridge()
{
    static SimBridge instance(std::make_shared<SteadyClock>());
    return instance;
}

} // namespace

extern "C" {

HID_UART_STATUS HidUart_GetNumDevices(uint32_t* numDevices, uint16_t vid, uint16_t pid)
{
    return bridge().GetNumDevices(numDevices, vid, pid);
}

HID_UART_STATUS HidUart_GetString(uint32_t deviceNum, uint16_t vid, uint16_t pid, char* deviceString,
                                  uint32_t options)
{
    return bridge().GetString(deviceNum, vid, pid, deviceString, options);
}

HID_UART_STATUS HidUart_GetOpenedString(HID_UART_DEVICE device, char* deviceString, uint32_t options)
{
    return bridge().GetOpenedString(device, deviceString, options);
}

HID_UART_STATUS HidUart_GetHidGuid(void* guid)
{
    return SimBridge::GetHidGuid(guid);
}

HID_UART_STATUS HidUart_Open(HID_UART_DEVICE* device, uint32_t deviceNum, uint16_t vid, uint16_t pid)
{
    return bridge().Open(device, deviceNum, vid, pid);
}

HID_UART_STATUS HidUart_Close(HID_UART_DEVICE device)
{
    return bridge().Close(device);
}

HID_UART_STATUS HidUart_GetPartNumber(HID_UART_DEVICE device, uint8_t* partNumber, uint8_t* version)
{
    return bridge().GetPartNumber(device, partNumber, version);
}

HID_UART_STATUS HidUart_SetUartConfig(HID_UART_DEVICE device, uint32_t baudRate, uint8_t dataBits,
                                      uint8_t parity, uint8_t stopBits, uint8_t flowControl)
{
    return bridge().SetUartConfig(device, baudRate, dataBits, parity, stopBits, flowControl);
}

HID_UART_STATUS HidUart_GetUartConfig(HID_UART_DEVICE device, uint32_t* baudRate, uint8_t* dataBits,
                                      uint8_t* parity, uint8_t* stopBits, uint8_t* flowControl)
{
    return bridge().GetUartConfig(device, baudRate, dataBits, parity, stopBits, flowControl);
}

HID_UART_STATUS HidUart_SetTimeouts(HID_UART_DEVICE device, uint32_t readTimeout, uint32_t writeTimeout)
{
    return bridge().SetTimeouts(device, readTimeout, writeTimeout);
}

HID_UART_STATUS HidUart_Read(HID_UART_DEVICE device, uint8_t* buffer, uint32_t numBytesToRead,
                             uint32_t* numBytesRead)
{
    return bridge().Read(device, buffer, numBytesToRead, numBytesRead);
}

HID_UART_STATUS HidUart_Write(HID_UART_DEVICE device, uint8_t* buffer, uint32_t numBytesToWrite,
                              uint32_t* numBytesWritten)
{
    return bridge().Write(device, buffer, numBytesToWrite, numBytesWritten);
}

} // extern "C"

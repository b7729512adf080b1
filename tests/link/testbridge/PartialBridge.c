/* A bridge library that lacks most entry points: it lists one device, and
 * counts every call of the few entry points it has. */
#include "HidUartApi.h"

#include <string.h>

#define EXPORT __attribute__((visibility("default")))

static unsigned g_calls;

EXPORT unsigned PartialBridge_Calls(void)
{
    return g_calls;
}
EXPORT void PartialBridge_ResetCalls(void)
{
    g_calls = 0;
}

EXPORT HID_UART_STATUS HidUart_GetNumDevices(uint32_t* numDevices, uint16_t vid, uint16_t pid)
{
    (void)vid;
    (void)pid;
    ++g_calls;
    *numDevices = 1;
    return HID_UART_SUCCESS;
}

EXPORT HID_UART_STATUS HidUart_GetString(uint32_t deviceNum, uint16_t vid, uint16_t pid, char* deviceString,
                                         uint32_t options)
{
    (void)deviceNum;
    (void)vid;
    (void)pid;
    ++g_calls;
    memset(deviceString, 0, HID_UART_DEVICE_STRLEN);
    strcpy(deviceString, options == HID_UART_GET_SERIAL_STR ? "PARTIAL" : "/dev/hidraw90");
    return HID_UART_SUCCESS;
}

EXPORT HID_UART_STATUS HidUart_Open(HID_UART_DEVICE* device, uint32_t deviceNum, uint16_t vid, uint16_t pid)
{
    (void)deviceNum;
    (void)vid;
    (void)pid;
    ++g_calls;
    *device = &g_calls;
    return HID_UART_SUCCESS;
}

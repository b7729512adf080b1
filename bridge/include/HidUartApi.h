/* The C interface of the HID-to-UART bridge library.
 *
 * The program binds it at run time from its own folder under the name
 * libSLABHIDtoUART.so; three libraries implement it (real bridges through
 * hidapi, the simulated meter, and a scriptable one for tests). */
#ifndef VARNETTA_HIDUARTAPI_H
#define VARNETTA_HIDUARTAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t HID_UART_STATUS;
typedef void* HID_UART_DEVICE;

/* Status codes */
#define HID_UART_SUCCESS 0x00
#define HID_UART_DEVICE_NOT_FOUND 0x01
#define HID_UART_INVALID_HANDLE 0x02
#define HID_UART_INVALID_DEVICE_OBJECT 0x03
#define HID_UART_INVALID_PARAMETER 0x04
#define HID_UART_INVALID_REQUEST_LENGTH 0x05
#define HID_UART_READ_ERROR 0x10
#define HID_UART_WRITE_ERROR 0x11
#define HID_UART_READ_TIMED_OUT 0x12
#define HID_UART_WRITE_TIMED_OUT 0x13
#define HID_UART_DEVICE_IO_FAILED 0x14
#define HID_UART_DEVICE_ACCESS_ERROR 0x15
#define HID_UART_DEVICE_NOT_SUPPORTED 0x16
#define HID_UART_INVALID_CONFIG_VERSION 0x17
#define HID_UART_UNKNOWN_ERROR 0xFF

/* String options of HidUart_GetString and HidUart_GetOpenedString */
#define HID_UART_GET_VID_STR 0x01
#define HID_UART_GET_PID_STR 0x02
#define HID_UART_GET_PATH_STR 0x03
#define HID_UART_GET_SERIAL_STR 0x04
#define HID_UART_GET_MANUFACTURER_STR 0x05
#define HID_UART_GET_PRODUCT_STR 0x06

#define HID_UART_DEVICE_STRLEN 260

/* Part numbers */
#define HID_UART_PART_CP2110 0x0A
#define HID_UART_PART_CP2114 0x0E

/* UART configuration values */
#define HID_UART_FIVE_DATA_BITS 0x00
#define HID_UART_SIX_DATA_BITS 0x01
#define HID_UART_SEVEN_DATA_BITS 0x02
#define HID_UART_EIGHT_DATA_BITS 0x03

#define HID_UART_NO_PARITY 0x00
#define HID_UART_ODD_PARITY 0x01
#define HID_UART_EVEN_PARITY 0x02
#define HID_UART_MARK_PARITY 0x03
#define HID_UART_SPACE_PARITY 0x04

#define HID_UART_SHORT_STOP_BIT 0x00
#define HID_UART_LONG_STOP_BIT 0x01

#define HID_UART_NO_FLOW_CONTROL 0x00
#define HID_UART_RTS_CTS_FLOW_CONTROL 0x01

#define HID_UART_MAX_READ_SIZE 32768
#define HID_UART_MAX_WRITE_SIZE 4096

/* Default USB ids of the bridge family */
#define HID_UART_CP2110_VID 0x10C4
#define HID_UART_CP2110_PID 0xEA80
#define HID_UART_CP2114_PID 0xEAB0

HID_UART_STATUS HidUart_GetNumDevices(uint32_t* numDevices, uint16_t vid, uint16_t pid);
HID_UART_STATUS HidUart_GetString(uint32_t deviceNum, uint16_t vid, uint16_t pid, char* deviceString,
                                  uint32_t options);
HID_UART_STATUS HidUart_GetOpenedString(HID_UART_DEVICE device, char* deviceString, uint32_t options);
HID_UART_STATUS HidUart_GetHidGuid(void* guid); /* 16 bytes */
/* HidUart_Open returns HID_UART_DEVICE_ACCESS_ERROR when the device is present
 * but this user may not open it (on Linux: its /dev/hidrawN node lacks the
 * permission the udev rule gives), HID_UART_DEVICE_NOT_FOUND when it went away
 * since the last HidUart_GetNumDevices.  HidUart_GetString with
 * HID_UART_GET_PATH_STR then names the node. */
HID_UART_STATUS HidUart_Open(HID_UART_DEVICE* device, uint32_t deviceNum, uint16_t vid, uint16_t pid);
HID_UART_STATUS HidUart_Close(HID_UART_DEVICE device);
HID_UART_STATUS HidUart_GetPartNumber(HID_UART_DEVICE device, uint8_t* partNumber, uint8_t* version);
HID_UART_STATUS HidUart_SetUartConfig(HID_UART_DEVICE device, uint32_t baudRate, uint8_t dataBits, uint8_t parity,
                                      uint8_t stopBits, uint8_t flowControl);
HID_UART_STATUS HidUart_GetUartConfig(HID_UART_DEVICE device, uint32_t* baudRate, uint8_t* dataBits,
                                      uint8_t* parity, uint8_t* stopBits, uint8_t* flowControl);
HID_UART_STATUS HidUart_SetTimeouts(HID_UART_DEVICE device, uint32_t readTimeout, uint32_t writeTimeout);
HID_UART_STATUS HidUart_Read(HID_UART_DEVICE device, uint8_t* buffer, uint32_t numBytesToRead,
                             uint32_t* numBytesRead);
HID_UART_STATUS HidUart_Write(HID_UART_DEVICE device, uint8_t* buffer, uint32_t numBytesToWrite,
                              uint32_t* numBytesWritten);

#ifdef __cplusplus
}
#endif

#endif

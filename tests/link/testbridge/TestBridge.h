// The scripting side of the test bridge: what the tests arrange and observe.
// The bridge itself exports the ordinary HidUart_* entry points.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

void TestBridge_Reset(void);
/* A device with the ids 10c4:ea80. */
void TestBridge_AddDevice(const char* serial, const char* path);
/* Calls with ids 0/0 list every device; other ids list only their own. */
void TestBridge_AddDeviceWithIds(const char* serial, const char* path, uint16_t vid, uint16_t pid);
/* The ids the last HidUart_Open was called with. */
void TestBridge_LastOpenIds(uint16_t* vid, uint16_t* pid);
void TestBridge_RemoveDevice(const char* path);
/* Bytes the open device delivers to later reads, in order. */
void TestBridge_Feed(const uint8_t* data, uint32_t len);
/* Every read of the open device returns this many bytes more (0: off). */
void TestBridge_SetStream(uint32_t bytesPerRead);
/* Takes the bytes written so far; returns how many were copied. */
uint32_t TestBridge_TakeWritten(uint8_t* buffer, uint32_t capacity);
/* The named entry point (e.g. "HidUart_Open") returns status; 0 clears. */
void TestBridge_FailCall(const char* name, int32_t status);
/* Status of reads that deliver bytes: 0, or 0x12 for a time-out with data. */
void TestBridge_SetReadStatus(int32_t status);
/* GetUartConfig reports the bit rate set plus this much. */
void TestBridge_SetBaudReadBackSkew(uint32_t skew);
void TestBridge_LastConfig(uint32_t* baud, uint8_t* dataBits, uint8_t* parity, uint8_t* stopBits,
                           uint8_t* flow);
void TestBridge_LastTimeouts(uint32_t* readTimeout, uint32_t* writeTimeout);
uint32_t TestBridge_CallCount(const char* name);
int32_t TestBridge_OpenHandles(void);
/* Blocks until a read has delivered bytes since the last call; 1 if so. */
int32_t TestBridge_WaitForDataRead(uint32_t timeoutMs);
/* Steady-clock time, in ns, of the last read that delivered bytes. */
int64_t TestBridge_LastDataReadNs(void);

#ifdef __cplusplus
}
#endif

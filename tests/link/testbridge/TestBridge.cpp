// A bridge library for tests: devices, bytes and failures as the test
// scripts them. Thread-safe: the reader calls HidUart_Read while the test
// thread scripts and writes.
#include "TestBridge.h"
#include "HidUartApi.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Device
{
    std::string serial;
    std::string path;
    uint16_t vid = HID_UART_CP2110_VID;
    uint16_t pid = HID_UART_CP2110_PID;
};

struct Handle
{
    std::string path;
};

struct State
{
    std::mutex mutex;
    std::condition_variable dataRead;
    std::vector<Device> devices;
    std::set<Handle*> handles;
    std::deque<uint8_t> incoming;
    std::vector<uint8_t> written;
    std::map<std::string, int32_t> failures;
    std::map<std::string, uint32_t> calls;
    uint32_t stream = 0;
    uint8_t streamByte = 0;
    int32_t readStatus = HID_UART_SUCCESS;
    uint32_t baudSkew = 0;
    uint32_t baud = 0;
    uint8_t dataBits = 0, parity = 0, stopBits = 0, flow = 0;
    uint32_t readTimeout = 0, writeTimeout = 0;
    uint16_t openVid = 0, openPid = 0;
    bool dataReadFlag = false;
    int64_t lastDataReadNs = 0;
};

State& state()
{
    static State s;
    return s;
}

// Counts the call; returns the scripted failure or success.
int32_t enter(State& s, const char* name)
{
    ++s.calls[name];
    const auto it = s.failures.find(name);
    return it == s.failures.end() ? HID_UART_SUCCESS : it->second;
}

void copyString(const std::string& text, char* out)
{
    std::memset(out, 0, HID_UART_DEVICE_STRLEN);
    std::memcpy(out, text.data(), std::min<size_t>(text.size(), HID_UART_DEVICE_STRLEN - 1));
}

bool valid(State& s, HID_UART_DEVICE device)
{
    return s.handles.count(static_cast<Handle*>(device)) != 0;
}

// The devices a call with these ids sees, in their order.
std::vector<Device> listed(const State& s, uint16_t vid, uint16_t pid)
{
    std::vector<Device> out;
    for (const Device& d : s.devices)
        if ((vid == 0 || d.vid == vid) && (pid == 0 || d.pid == pid))
            out.push_back(d);
    return out;
}

bool present(State& s, const std::string& path)
{
    return std::any_of(s.devices.begin(), s.devices.end(), [&](const Device& d) { return d.path == path; });
}

} // namespace

EXPORT void TestBridge_Reset(void)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.devices.clear();
    for (Handle* h : s.handles)
        delete h;
    s.handles.clear();
    s.incoming.clear();
    s.written.clear();
    s.failures.clear();
    s.calls.clear();
    s.stream = 0;
    s.readStatus = HID_UART_SUCCESS;
    s.baudSkew = 0;
    s.dataReadFlag = false;
}

EXPORT void TestBridge_AddDevice(const char* serial, const char* path)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.devices.push_back({serial, path});
}

EXPORT void TestBridge_AddDeviceWithIds(const char* serial, const char* path, uint16_t vid, uint16_t pid)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.devices.push_back({serial, path, vid, pid});
}

EXPORT void TestBridge_LastOpenIds(uint16_t* vid, uint16_t* pid)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    *vid = s.openVid;
    *pid = s.openPid;
}

EXPORT void TestBridge_RemoveDevice(const char* path)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.devices.erase(
        std::remove_if(s.devices.begin(), s.devices.end(), [&](const Device& d) { return d.path == path; }),
        s.devices.end());
}

EXPORT void TestBridge_Feed(const uint8_t* data, uint32_t len)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.incoming.insert(s.incoming.end(), data, data + len);
}

EXPORT void TestBridge_SetStream(uint32_t bytesPerRead)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.stream = bytesPerRead;
}

EXPORT uint32_t TestBridge_TakeWritten(uint8_t* buffer, uint32_t capacity)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    const uint32_t n = std::min<uint32_t>(capacity, uint32_t(s.written.size()));
    std::copy_n(s.written.begin(), n, buffer);
    s.written.erase(s.written.begin(), s.written.begin() + n);
    return n;
}

EXPORT void TestBridge_FailCall(const char* name, int32_t status)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (status == HID_UART_SUCCESS)
        s.failures.erase(name);
    else
        s.failures[name] = status;
}

EXPORT void TestBridge_SetReadStatus(int32_t status)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.readStatus = status;
}

EXPORT void TestBridge_SetBaudReadBackSkew(uint32_t skew)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.baudSkew = skew;
}

EXPORT void TestBridge_LastConfig(uint32_t* baud, uint8_t* dataBits, uint8_t* parity, uint8_t* stopBits,
                                  uint8_t* flow)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    *baud = s.baud;
    *dataBits = s.dataBits;
    *parity = s.parity;
    *stopBits = s.stopBits;
    *flow = s.flow;
}

EXPORT void TestBridge_LastTimeouts(uint32_t* readTimeout, uint32_t* writeTimeout)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    *readTimeout = s.readTimeout;
    *writeTimeout = s.writeTimeout;
}

EXPORT uint32_t TestBridge_CallCount(const char* name)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    const auto it = s.calls.find(name);
    return it == s.calls.end() ? 0 : it->second;
}

EXPORT int32_t TestBridge_OpenHandles(void)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    return int32_t(s.handles.size());
}

EXPORT int32_t TestBridge_WaitForDataRead(uint32_t timeoutMs)
{
    State& s = state();
    std::unique_lock lock(s.mutex);
    const bool got =
        s.dataRead.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return s.dataReadFlag; });
    s.dataReadFlag = false;
    return got ? 1 : 0;
}

EXPORT int64_t TestBridge_LastDataReadNs(void)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.lastDataReadNs;
}

// ---- the bridge library's interface

EXPORT HID_UART_STATUS HidUart_GetNumDevices(uint32_t* numDevices, uint16_t vid, uint16_t pid)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (const int32_t st = enter(s, "HidUart_GetNumDevices"))
        return st;
    *numDevices = uint32_t(listed(s, vid, pid).size());
    return HID_UART_SUCCESS;
}

EXPORT HID_UART_STATUS HidUart_GetString(uint32_t deviceNum, uint16_t vid, uint16_t pid, char* deviceString,
                                         uint32_t options)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (const int32_t st = enter(s, "HidUart_GetString"))
        return st;
    const std::vector<Device> devices = listed(s, vid, pid);
    if (deviceNum >= devices.size())
        return HID_UART_DEVICE_NOT_FOUND;
    const Device& d = devices[deviceNum];
    if (options == HID_UART_GET_SERIAL_STR)
        copyString(d.serial, deviceString);
    else if (options == HID_UART_GET_PATH_STR)
        copyString(d.path, deviceString);
    else
        return HID_UART_INVALID_PARAMETER;
    return HID_UART_SUCCESS;
}

EXPORT HID_UART_STATUS HidUart_GetOpenedString(HID_UART_DEVICE device, char* deviceString, uint32_t options)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (const int32_t st = enter(s, "HidUart_GetOpenedString"))
        return st;
    if (!valid(s, device))
        return HID_UART_INVALID_HANDLE;
    if (options != HID_UART_GET_PATH_STR)
        return HID_UART_INVALID_PARAMETER;
    copyString(static_cast<Handle*>(device)->path, deviceString);
    return HID_UART_SUCCESS;
}

EXPORT HID_UART_STATUS HidUart_GetHidGuid(void* guid)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (const int32_t st = enter(s, "HidUart_GetHidGuid"))
        return st;
    std::memset(guid, 0, 16);
    return HID_UART_SUCCESS;
}

EXPORT HID_UART_STATUS HidUart_Open(HID_UART_DEVICE* device, uint32_t deviceNum, uint16_t vid, uint16_t pid)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (const int32_t st = enter(s, "HidUart_Open"))
        return st;
    const std::vector<Device> devices = listed(s, vid, pid);
    if (deviceNum >= devices.size())
        return HID_UART_DEVICE_NOT_FOUND;
    s.openVid = vid;
    s.openPid = pid;
    auto* h = new Handle{devices[deviceNum].path};
    s.handles.insert(h);
    *device = h;
    return HID_UART_SUCCESS;
}

EXPORT HID_UART_STATUS HidUart_Close(HID_UART_DEVICE device)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    const int32_t st = enter(s, "HidUart_Close");
    if (!valid(s, device))
        return HID_UART_INVALID_HANDLE;
    // A failing close still releases the handle, as a real one would.
    s.handles.erase(static_cast<Handle*>(device));
    delete static_cast<Handle*>(device);
    return st;
}

EXPORT HID_UART_STATUS HidUart_GetPartNumber(HID_UART_DEVICE device, uint8_t* partNumber, uint8_t* version)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (const int32_t st = enter(s, "HidUart_GetPartNumber"))
        return st;
    if (!valid(s, device))
        return HID_UART_INVALID_HANDLE;
    *partNumber = HID_UART_PART_CP2110;
    *version = 1;
    return HID_UART_SUCCESS;
}

EXPORT HID_UART_STATUS HidUart_SetUartConfig(HID_UART_DEVICE device, uint32_t baudRate, uint8_t dataBits,
                                             uint8_t parity, uint8_t stopBits, uint8_t flowControl)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (const int32_t st = enter(s, "HidUart_SetUartConfig"))
        return st;
    if (!valid(s, device))
        return HID_UART_INVALID_HANDLE;
    s.baud = baudRate;
    s.dataBits = dataBits;
    s.parity = parity;
    s.stopBits = stopBits;
    s.flow = flowControl;
    return HID_UART_SUCCESS;
}

EXPORT HID_UART_STATUS HidUart_GetUartConfig(HID_UART_DEVICE device, uint32_t* baudRate, uint8_t* dataBits,
                                             uint8_t* parity, uint8_t* stopBits, uint8_t* flowControl)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (const int32_t st = enter(s, "HidUart_GetUartConfig"))
        return st;
    if (!valid(s, device))
        return HID_UART_INVALID_HANDLE;
    *baudRate = s.baud + s.baudSkew;
    *dataBits = s.dataBits;
    *parity = s.parity;
    *stopBits = s.stopBits;
    *flowControl = s.flow;
    return HID_UART_SUCCESS;
}

EXPORT HID_UART_STATUS HidUart_SetTimeouts(HID_UART_DEVICE device, uint32_t readTimeout,
                                           uint32_t writeTimeout)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (const int32_t st = enter(s, "HidUart_SetTimeouts"))
        return st;
    if (!valid(s, device))
        return HID_UART_INVALID_HANDLE;
    s.readTimeout = readTimeout;
    s.writeTimeout = writeTimeout;
    return HID_UART_SUCCESS;
}

EXPORT HID_UART_STATUS HidUart_Read(HID_UART_DEVICE device, uint8_t* buffer, uint32_t numBytesToRead,
                                    uint32_t* numBytesRead)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    *numBytesRead = 0;
    if (const int32_t st = enter(s, "HidUart_Read"))
        return st;
    if (!valid(s, device))
        return HID_UART_INVALID_HANDLE;
    if (!present(s, static_cast<Handle*>(device)->path))
        return HID_UART_DEVICE_IO_FAILED;
    uint32_t n = 0;
    while (n < numBytesToRead && !s.incoming.empty()) {
        buffer[n++] = s.incoming.front();
        s.incoming.pop_front();
    }
    for (uint32_t i = 0; i < s.stream && n < numBytesToRead; ++i)
        buffer[n++] = s.streamByte++;
    *numBytesRead = n;
    if (n == 0)
        return HID_UART_READ_TIMED_OUT;
    s.dataReadFlag = true;
    s.lastDataReadNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count();
    s.dataRead.notify_all();
    return s.readStatus;
}

EXPORT HID_UART_STATUS HidUart_Write(HID_UART_DEVICE device, uint8_t* buffer, uint32_t numBytesToWrite,
                                     uint32_t* numBytesWritten)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    *numBytesWritten = 0;
    if (const int32_t st = enter(s, "HidUart_Write"))
        return st;
    if (!valid(s, device))
        return HID_UART_INVALID_HANDLE;
    s.written.insert(s.written.end(), buffer, buffer + numBytesToWrite);
    *numBytesWritten = numBytesToWrite;
    return HID_UART_SUCCESS;
}

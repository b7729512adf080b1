// The built library, loaded the way the program loads it.
#include "HidUartApi.h"
#include "protocol/MeterFrame.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <QByteArray>

namespace {

struct Library
{
    Library() : handle(dlopen(SIM_BRIDGE_LIBRARY, RTLD_NOW | RTLD_LOCAL)) {}
    ~Library()
    {
        if (handle)
            dlclose(handle);
    }
    template <typename F> F* get(const char* name) { return reinterpret_cast<F*>(dlsym(handle, name)); }
    void* handle;
};

TEST(SimBridgeLibrary, ExportsEveryEntryPointAndDeliversMeterFrames)
{
    Library lib;
    ASSERT_NE(lib.handle, nullptr) << dlerror();
    const char* names[] = {"HidUart_GetNumDevices", "HidUart_GetString",     "HidUart_GetOpenedString",
                           "HidUart_GetHidGuid",    "HidUart_Open",          "HidUart_Close",
                           "HidUart_GetPartNumber", "HidUart_SetUartConfig", "HidUart_GetUartConfig",
                           "HidUart_SetTimeouts",   "HidUart_Read",          "HidUart_Write"};
    for (const char* name : names)
        EXPECT_NE(dlsym(lib.handle, name), nullptr) << name;
    // Nothing of the meter's insides leaks into the program's symbol space.
    EXPECT_EQ(
        dlsym(
            lib.handle,
            "_ZN8varnetta3sim14MeterSimulator9advanceToENSt6chrono8durationIlSt5ratioILl1ELl1000000000EEEE"),
        nullptr);

    uint32_t n = 0;
    ASSERT_EQ(lib.get<decltype(HidUart_GetNumDevices)>("HidUart_GetNumDevices")(&n, 0, 0), HID_UART_SUCCESS);
    ASSERT_EQ(n, 1u);
    char serial[HID_UART_DEVICE_STRLEN] = {};
    ASSERT_EQ(
        lib.get<decltype(HidUart_GetString)>("HidUart_GetString")(0, 0, 0, serial, HID_UART_GET_SERIAL_STR),
        HID_UART_SUCCESS);
    EXPECT_STREQ(serial, "VARNETTA-SIM");

    HID_UART_DEVICE dev = nullptr;
    ASSERT_EQ(lib.get<decltype(HidUart_Open)>("HidUart_Open")(&dev, 0, 0, 0), HID_UART_SUCCESS);
    ASSERT_EQ(lib.get<decltype(HidUart_SetUartConfig)>("HidUart_SetUartConfig")(dev, 9600, 3, 0, 0, 0),
              HID_UART_SUCCESS);
    ASSERT_EQ(lib.get<decltype(HidUart_SetTimeouts)>("HidUart_SetTimeouts")(dev, 3000, 500),
              HID_UART_SUCCESS);
    uint8_t buf[35] = {};
    uint32_t got = 0;
    EXPECT_EQ(lib.get<decltype(HidUart_Read)>("HidUart_Read")(dev, buf, sizeof buf, &got), HID_UART_SUCCESS);
    ASSERT_EQ(got, 35u);
    EXPECT_TRUE(varnetta::protocol::CheckFrame(QByteArray(reinterpret_cast<const char*>(buf), 35)));
    EXPECT_EQ(lib.get<decltype(HidUart_Close)>("HidUart_Close")(dev), HID_UART_SUCCESS);
}

} // namespace

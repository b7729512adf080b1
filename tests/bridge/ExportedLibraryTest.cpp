// The shipped library as the program binds it: by name, from its file.
#include "HidUartApi.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

class ExportedLibrary : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_module = dlopen(VARNETTA_REAL_BRIDGE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_module, nullptr) << dlerror();
    }
    void TearDown() override
    {
        if (m_module != nullptr)
            dlclose(m_module);
    }
    template <typename F> F* entry(const char* name) { return reinterpret_cast<F*>(dlsym(m_module, name)); }

    void* m_module = nullptr;
};

} // namespace

TEST_F(ExportedLibrary, ResolvesEveryEntryPointByName)
{
    for (const char* name :
         {"HidUart_GetNumDevices", "HidUart_GetString", "HidUart_GetOpenedString", "HidUart_GetHidGuid",
          "HidUart_Open", "HidUart_Close", "HidUart_GetPartNumber", "HidUart_SetUartConfig",
          "HidUart_GetUartConfig", "HidUart_SetTimeouts", "HidUart_Read", "HidUart_Write"})
        EXPECT_NE(dlsym(m_module, name), nullptr) << name;
}

TEST_F(ExportedLibrary, AnswersWithoutABridgeAttached)
{
    uint8_t guid[16] = {};
    ASSERT_EQ(entry<decltype(HidUart_GetHidGuid)>("HidUart_GetHidGuid")(guid), HID_UART_SUCCESS);
    EXPECT_EQ(guid[0], 0xB2);
    EXPECT_EQ(guid[15], 0x30);

    uint32_t count = 0xFFFFFFFF;
    EXPECT_EQ(entry<decltype(HidUart_GetNumDevices)>("HidUart_GetNumDevices")(&count, 0, 0),
              HID_UART_SUCCESS);
    EXPECT_NE(count, 0xFFFFFFFFu);

    int notADevice = 0;
    EXPECT_EQ(entry<decltype(HidUart_Close)>("HidUart_Close")(&notADevice), HID_UART_INVALID_DEVICE_OBJECT);
    uint8_t buffer[8];
    uint32_t got = 5;
    EXPECT_EQ(entry<decltype(HidUart_Read)>("HidUart_Read")(&notADevice, buffer, 8, &got),
              HID_UART_INVALID_DEVICE_OBJECT);
    char text[HID_UART_DEVICE_STRLEN];
    EXPECT_EQ(
        entry<decltype(HidUart_GetString)>("HidUart_GetString")(count, 0, 0, text, HID_UART_GET_PATH_STR),
        HID_UART_DEVICE_NOT_FOUND);
}

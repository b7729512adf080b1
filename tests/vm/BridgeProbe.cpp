// Reads the bridge through the real bridge library exactly as the reader
// thread does (read time-out 0, up to 2048 bytes, a pause between polls) until
// a read fails, then prints the failing status.  run-guest-tests pulls the
// device out while it streams.
//
//   varnetta-bridge-probe LIBRARY
#include "HidUartApi.h"

#include <chrono>
#include <cstdio>
#include <dlfcn.h>
#include <thread>

namespace {

template <typename F> F entry(void* library, const char* name)
{
    return reinterpret_cast<F>(dlsym(library, name));
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: varnetta-bridge-probe LIBRARY\n");
        return 2;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "probe: %s\n", dlerror());
        return 2;
    }
    const auto count = entry<decltype(&HidUart_GetNumDevices)>(library, "HidUart_GetNumDevices");
    const auto open = entry<decltype(&HidUart_Open)>(library, "HidUart_Open");
    const auto config = entry<decltype(&HidUart_SetUartConfig)>(library, "HidUart_SetUartConfig");
    const auto timeouts = entry<decltype(&HidUart_SetTimeouts)>(library, "HidUart_SetTimeouts");
    const auto read = entry<decltype(&HidUart_Read)>(library, "HidUart_Read");
    const auto close = entry<decltype(&HidUart_Close)>(library, "HidUart_Close");

    uint32_t devices = 0;
    HID_UART_DEVICE device = nullptr;
    if (count(&devices, 0, 0) != HID_UART_SUCCESS || devices == 0 || open(&device, 0, 0, 0) != HID_UART_SUCCESS ||
        config(device, 9600, HID_UART_EIGHT_DATA_BITS, HID_UART_NO_PARITY, HID_UART_SHORT_STOP_BIT,
               HID_UART_NO_FLOW_CONTROL) != HID_UART_SUCCESS ||
        timeouts(device, 0, 500) != HID_UART_SUCCESS) {
        std::printf("probe: could not open and configure the bridge\n");
        return 1;
    }
    std::printf("probe: streaming\n");
    std::fflush(stdout);
    uint64_t total = 0;
    uint8_t buffer[2048];
    for (;;) {
        uint32_t got = 0;
        const HID_UART_STATUS status = read(device, buffer, sizeof buffer, &got);
        total += got;
        if (status != HID_UART_SUCCESS && status != HID_UART_READ_TIMED_OUT) {
            std::printf("probe: read ended with status 0x%02x after %llu bytes\n", unsigned(status),
                        static_cast<unsigned long long>(total));
            (void)close(device);
            return 0;
        }
        if (got > 0 && total == got) {
            std::printf("probe: first bytes arrived\n");
            std::fflush(stdout);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(70));
    }
}

// varnetta-usb-meter: the simulated meter behind an emulated CP2110 on the
// kernel's USB/IP virtual host controller, so the real bridge library meets
// usbcore, usbhid, hidraw and udev as with a meter on a USB port.
//
//   varnetta-usb-meter [--serial S] [--vid HEX] [--pid HEX]
//   SIGUSR1 pulls the device out, SIGUSR2 plugs it in again,
//   SIGTERM or SIGINT pull it out and end the program.
// Needs root and vhci-hcd.  The log (standard error) records every feature
// report the host sets, the UART configuration and every byte sent to the meter.
#include "UsbMeter.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>

using namespace varnetta::usbmeter;

namespace {

// How often the UART bytes that came in are packed into input reports.
constexpr int kTickMs = 4;

std::optional<uint16_t> parseId(const std::string& text)
{
    try {
        size_t used = 0;
        const unsigned long value = std::stoul(text, &used, 16);
        if (used == text.size() && value > 0 && value <= 0xFFFF)
            return static_cast<uint16_t>(value);
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

int usage()
{
    std::cerr << "usage: varnetta-usb-meter [--serial TEXT] [--vid HEX] [--pid HEX]\n"
                 "  SIGUSR1 pulls the device out, SIGUSR2 plugs it in again, SIGTERM ends\n";
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    UsbIdentity identity{0x10C4, 0xEA80, 0x0100, "Varnetta test bench", "CP2110 HID USB-to-UART Bridge",
                         "VUSB0001"};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return usage();
        const std::string value = argv[++i];
        if (arg == "--serial" && !value.empty() && value.size() <= 126) {
            identity.serial = value;
        } else if (arg == "--vid" && parseId(value)) {
            identity.vendorId = *parseId(value);
        } else if (arg == "--pid" && parseId(value)) {
            identity.productId = *parseId(value);
        } else {
            return usage();
        }
    }

    sigset_t signals;
    sigemptyset(&signals);
    for (const int s : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT})
        sigaddset(&signals, s);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);

    std::ostream& log = std::cerr;
    UsbMeter meter(std::make_shared<varnetta::simbridge::SteadyClock>(), log);
    std::unique_ptr<UsbIpDevice> device;
    int port = -1;

    const auto plugIn = [&] {
        std::string error;
        const int fd = attachToVhci(port, error);
        if (fd < 0) {
            log << "cannot plug in: " << error << std::endl;
            return false;
        }
        meter.powerUp();
        device = std::make_unique<UsbIpDevice>(fd, identity, UsbMeter::reportDescriptor(), meter);
        char ids[16];
        std::snprintf(ids, sizeof ids, "%04x:%04x", identity.vendorId, identity.productId);
        log << "plugged in on port " << port << " as " << ids << ", serial " << identity.serial << std::endl;
        return true;
    };
    const auto pullOut = [&] {
        if (!device)
            return;
        std::string error;
        if (!detachFromVhci(port, error))
            log << error << std::endl;
        // The kernel closes its end; what it still sends is of no interest.
        device.reset();
        log << "pulled out of port " << port << std::endl;
    };

    if (!plugIn())
        return 1;
    for (;;) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {device ? device->fd() : -1, POLLIN, 0}};
        if (::poll(fds, 2, kTickMs) < 0 && errno != EINTR) {
            log << "poll: " << std::strerror(errno) << std::endl;
            return 1;
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            if (::read(signalFd, &info, sizeof info) == sizeof info) {
                if (info.ssi_signo == SIGUSR1) {
                    pullOut();
                } else if (info.ssi_signo == SIGUSR2) {
                    if (!device && !plugIn())
                        return 1;
                } else {
                    pullOut();
                    return 0;
                }
            }
        }
        if (device && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && !device->handleOne()) {
            log << "the host let go of port " << port << std::endl;
            device.reset();
        }
        while (device && device->inputWanted() > 0) {
            const auto report = meter.nextInputReport();
            if (report.empty())
                break;
            device->sendInput(report);
        }
        if (!device)
            (void)meter.nextInputReport(); // the meter talks on, to nobody
        meter.logMeterChanges();
    }
}

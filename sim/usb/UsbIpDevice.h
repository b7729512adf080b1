// A full-speed USB HID device as the Linux USB/IP virtual host controller
// (vhci_hcd) sees it: the device answers the kernel's URBs over a stream
// socket, so usbcore enumerates it and usbhid drives it like a plugged-in
// chip.  One interface, an interrupt IN and an interrupt OUT endpoint;
// feature reports travel as control transfers.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace varnetta::usbmeter {

// What the device does with the HID traffic the host sends.
class HidFunction
{
public:
    virtual ~HidFunction() = default;
    // the report, id first; empty stalls the request
    [[nodiscard]] virtual std::vector<uint8_t> getFeature(uint8_t reportId) = 0;
    // false stalls the request
    [[nodiscard]] virtual bool setFeature(const uint8_t* data, size_t length) = 0;
    // one interrupt OUT report, as the host sent it
    virtual void output(const uint8_t* data, size_t length) = 0;
};

struct UsbIdentity
{
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t release = 0x0100;
    std::string manufacturer;
    std::string product;
    std::string serial;
};

class UsbIpDevice
{
public:
    // `fd` is this side of a connected stream socket whose other side the
    // kernel (or a test) holds; the device owns it from now on.
    UsbIpDevice(int fd, UsbIdentity identity, std::vector<uint8_t> reportDescriptor, HidFunction& function);
    ~UsbIpDevice();
    UsbIpDevice(const UsbIpDevice&) = delete;
    UsbIpDevice& operator=(const UsbIpDevice&) = delete;

    [[nodiscard]] int fd() const { return m_fd; }
    // Reads and answers one command; false once the other side has let go.
    [[nodiscard]] bool handleOne();
    // Interrupt IN URBs waiting for a report.
    [[nodiscard]] size_t inputWanted() const { return m_pendingIn.size(); }
    // Completes the oldest waiting IN URB with this report; false when none waits.
    bool sendInput(const std::vector<uint8_t>& report);

    // The standard descriptors of this device.
    [[nodiscard]] std::vector<uint8_t> deviceDescriptor() const;
    [[nodiscard]] std::vector<uint8_t> configurationDescriptor() const;

private:
    [[nodiscard]] bool readExactly(uint8_t* out, size_t length);
    void writeAll(const std::vector<uint8_t>& bytes);
    void returnSubmit(uint32_t seq, int32_t status, const std::vector<uint8_t>& data, uint32_t actualLength);
    // status and reply of a control transfer on endpoint 0
    [[nodiscard]] int32_t control(const uint8_t* setup, const std::vector<uint8_t>& data,
                                  std::vector<uint8_t>& reply);
    [[nodiscard]] std::vector<uint8_t> hidDescriptor() const;
    [[nodiscard]] std::vector<uint8_t> stringDescriptor(uint8_t index) const;

    int m_fd;
    UsbIdentity m_identity;
    std::vector<uint8_t> m_reportDescriptor;
    HidFunction& m_function;
    std::deque<uint32_t> m_pendingIn;
};

// Plugs a device into a free port of the virtual host controller: returns
// the device's end of the socket and the port, or -1 with `error` set.
[[nodiscard]] int attachToVhci(int& port, std::string& error);
// Pulls the device on `port` out, as a cable pulled from the socket.
[[nodiscard]] bool detachFromVhci(int port, std::string& error);

} // namespace varnetta::usbmeter

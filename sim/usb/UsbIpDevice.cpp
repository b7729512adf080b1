#include "UsbIpDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace varnetta::usbmeter {

namespace {

constexpr uint32_t kCmdSubmit = 1;
constexpr uint32_t kCmdUnlink = 2;
constexpr uint32_t kRetSubmit = 3;
constexpr uint32_t kRetUnlink = 4;
constexpr size_t kHeaderLength = 48;
constexpr int32_t kStall = -EPIPE;
constexpr int32_t kUnlinked = -ECONNRESET;
constexpr uint32_t kDirIn = 1;
constexpr uint32_t kInEndpoint = 1;
constexpr uint32_t kOutEndpoint = 2;
constexpr uint16_t kMaxPacket = 64;
// A transfer longer than any this device takes is a broken peer.
constexpr int32_t kMaxTransfer = 4096;
constexpr int kFullSpeed = 2;
const char* const kVhci = "/sys/devices/platform/vhci_hcd.0";

uint32_t be32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void putBe32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

void putLe16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

uint16_t le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

} // namespace

UsbIpDevice::UsbIpDevice(int fd, UsbIdentity identity, std::vector<uint8_t> reportDescriptor,
                         HidFunction& function)
    : m_fd(fd), m_identity(std::move(identity)), m_reportDescriptor(std::move(reportDescriptor)),
      m_function(function)
{
}

UsbIpDevice::~UsbIpDevice()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::vector<uint8_t> UsbIpDevice::deviceDescriptor() const
{
    std::vector<uint8_t> d{18, 1};
    putLe16(d, 0x0200);                        // USB 2.0
    d.insert(d.end(), {0, 0, 0, kMaxPacket}); // class in the interface; ep0 size
    putLe16(d, m_identity.vendorId);
    putLe16(d, m_identity.productId);
    putLe16(d, m_identity.release);
    d.insert(d.end(), {1, 2, 3, 1}); // manufacturer, product and serial strings; one configuration
    return d;
}

std::vector<uint8_t> UsbIpDevice::hidDescriptor() const
{
    std::vector<uint8_t> d{9, 0x21};
    putLe16(d, 0x0111);
    d.insert(d.end(), {0, 1, 0x22});
    putLe16(d, static_cast<uint16_t>(m_reportDescriptor.size()));
    return d;
}

std::vector<uint8_t> UsbIpDevice::configurationDescriptor() const
{
    std::vector<uint8_t> body{9, 4, 0, 0, 2, 3, 0, 0, 0}; // interface 0: HID, two endpoints
    const auto hid = hidDescriptor();
    body.insert(body.end(), hid.begin(), hid.end());
    for (const uint8_t address : {static_cast<uint8_t>(0x80 | kInEndpoint), static_cast<uint8_t>(kOutEndpoint)}) {
        body.insert(body.end(), {7, 5, address, 3}); // interrupt
        putLe16(body, kMaxPacket);
        body.push_back(1); // every frame
    }
    std::vector<uint8_t> d{9, 2};
    putLe16(d, static_cast<uint16_t>(9 + body.size()));
    d.insert(d.end(), {1, 1, 0, 0x80, 50}); // bus powered, 100 mA
    d.insert(d.end(), body.begin(), body.end());
    return d;
}

std::vector<uint8_t> UsbIpDevice::stringDescriptor(uint8_t index) const
{
    if (index == 0)
        return {4, 3, 0x09, 0x04}; // US English
    const std::string* text = index == 1   ? &m_identity.manufacturer
                              : index == 2 ? &m_identity.product
                              : index == 3 ? &m_identity.serial
                                           : nullptr;
    if (text == nullptr)
        return {};
    // ASCII as UTF-16LE; a descriptor holds at most 126 characters
    const size_t n = std::min<size_t>(text->size(), 126);
    std::vector<uint8_t> d{static_cast<uint8_t>(2 + 2 * n), 3};
    for (size_t i = 0; i < n; ++i)
        putLe16(d, static_cast<uint8_t>((*text)[i]));
    return d;
}

int32_t UsbIpDevice::control(const uint8_t* setup, const std::vector<uint8_t>& data, std::vector<uint8_t>& reply)
{
    const uint8_t requestType = setup[0];
    const uint8_t request = setup[1];
    const uint16_t value = le16(setup + 2);
    const uint16_t length = le16(setup + 6);
    const uint8_t high = static_cast<uint8_t>(value >> 8);
    const uint8_t low = static_cast<uint8_t>(value);
    bool ok = true;
    reply.clear();

    if ((requestType == 0x80 || requestType == 0x81) && request == 6) { // GET_DESCRIPTOR
        if (high == 1)
            reply = deviceDescriptor();
        else if (high == 2)
            reply = configurationDescriptor();
        else if (high == 3)
            reply = stringDescriptor(low);
        else if (high == 0x21)
            reply = hidDescriptor();
        else if (high == 0x22)
            reply = m_reportDescriptor;
        ok = !reply.empty();
    } else if (requestType == 0x80 && request == 0) { // GET_STATUS
        reply = {0, 0};
    } else if ((requestType == 0x00 && request == 9) ||  // SET_CONFIGURATION
               (requestType == 0x01 && request == 11) || // SET_INTERFACE
               (requestType == 0x02 && request == 1) ||  // CLEAR_FEATURE (halt)
               (requestType == 0x21 && request == 0x0A)) { // SET_IDLE
    } else if (requestType == 0xA1 && request == 1 && high == 3) { // GET_REPORT, feature
        reply = m_function.getFeature(low);
        ok = !reply.empty();
    } else if (requestType == 0x21 && request == 9 && high == 3) { // SET_REPORT, feature
        ok = !data.empty() && data[0] == low && m_function.setFeature(data.data(), data.size());
    } else {
        ok = false;
    }
    if (!ok) {
        reply.clear();
        return kStall;
    }
    if (reply.size() > length)
        reply.resize(length);
    return 0;
}

bool UsbIpDevice::readExactly(uint8_t* out, size_t length)
{
    size_t got = 0;
    while (got < length) {
        const ssize_t n = ::recv(m_fd, out + got, length - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

void UsbIpDevice::writeAll(const std::vector<uint8_t>& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the kernel let go; the next read says so
        sent += static_cast<size_t>(n);
    }
}

void UsbIpDevice::returnSubmit(uint32_t seq, int32_t status, const std::vector<uint8_t>& data,
                               uint32_t actualLength)
{
    std::vector<uint8_t> out;
    out.reserve(kHeaderLength + data.size());
    for (const uint32_t v : {kRetSubmit, seq, 0u, 0u, 0u})
        putBe32(out, v);
    for (const uint32_t v : {static_cast<uint32_t>(status), actualLength, 0u, 0u, 0u})
        putBe32(out, v);
    out.resize(kHeaderLength, 0);
    out.insert(out.end(), data.begin(), data.end());
    writeAll(out);
}

bool UsbIpDevice::handleOne()
{
    uint8_t head[kHeaderLength];
    if (!readExactly(head, sizeof head))
        return false;
    const uint32_t command = be32(head);
    const uint32_t seq = be32(head + 4);
    const uint32_t direction = be32(head + 12);
    const uint32_t endpoint = be32(head + 16);

    if (command == kCmdUnlink) {
        const uint32_t victim = be32(head + 20);
        int32_t status = 0; // already completed
        for (auto it = m_pendingIn.begin(); it != m_pendingIn.end(); ++it) {
            if (*it == victim) {
                m_pendingIn.erase(it);
                status = kUnlinked;
                break;
            }
        }
        std::vector<uint8_t> out;
        for (const uint32_t v : {kRetUnlink, seq, 0u, 0u, 0u, static_cast<uint32_t>(status)})
            putBe32(out, v);
        out.resize(kHeaderLength, 0);
        writeAll(out);
        return true;
    }
    if (command != kCmdSubmit)
        return false; // not a peer this device can talk to

    const auto transferLength = static_cast<int32_t>(be32(head + 24));
    if (transferLength < 0 || transferLength > kMaxTransfer)
        return false;
    std::vector<uint8_t> data;
    if (direction != kDirIn && transferLength > 0) {
        data.resize(static_cast<size_t>(transferLength));
        if (!readExactly(data.data(), data.size()))
            return false;
    }

    if (endpoint == 0) {
        std::vector<uint8_t> reply;
        const int32_t status = control(head + 40, data, reply);
        if (direction == kDirIn)
            returnSubmit(seq, status, reply, static_cast<uint32_t>(reply.size()));
        else
            returnSubmit(seq, status, {}, status == 0 ? static_cast<uint32_t>(data.size()) : 0);
    } else if (endpoint == kInEndpoint && direction == kDirIn) {
        m_pendingIn.push_back(seq); // answered when there is something to say
    } else if (endpoint == kOutEndpoint && direction != kDirIn) {
        m_function.output(data.data(), data.size());
        returnSubmit(seq, 0, {}, static_cast<uint32_t>(data.size()));
    } else {
        returnSubmit(seq, kStall, {}, 0);
    }
    return true;
}

bool UsbIpDevice::sendInput(const std::vector<uint8_t>& report)
{
    if (m_pendingIn.empty())
        return false;
    const uint32_t seq = m_pendingIn.front();
    m_pendingIn.pop_front();
    returnSubmit(seq, 0, report, static_cast<uint32_t>(report.size()));
    return true;
}

int attachToVhci(int& port, std::string& error)
{
    port = -1;
    std::ifstream status(std::string(kVhci) + "/status");
    if (!status) {
        error = "no USB/IP virtual host controller (modprobe vhci-hcd)";
        return -1;
    }
    // "hs  0000 004 ..." : a high-speed-hub port whose state is free (4)
    std::string line;
    while (std::getline(status, line)) {
        std::istringstream fields(line);
        std::string hub;
        std::string number;
        std::string state;
        fields >> hub >> number >> state;
        if (hub == "hs" && state == "004") {
            port = std::stoi(number);
            break;
        }
    }
    if (port < 0) {
        error = "no free port on the virtual host controller";
        return -1;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        error = std::string("socketpair: ") + std::strerror(errno);
        return -1;
    }
    std::ofstream attach(std::string(kVhci) + "/attach");
    attach << port << ' ' << pair[1] << ' ' << ((1u << 16) | 2u) << ' ' << kFullSpeed << std::flush;
    const bool attached = static_cast<bool>(attach);
    ::close(pair[1]); // the kernel holds its own reference now
    if (!attached) {
        ::close(pair[0]);
        error = "the virtual host controller refused the device on port " + std::to_string(port);
        port = -1;
        return -1;
    }
    return pair[0];
}

bool detachFromVhci(int port, std::string& error)
{
    std::ofstream detach(std::string(kVhci) + "/detach");
    detach << port << std::flush;
    if (!detach) {
        error = "could not detach port " + std::to_string(port);
        return false;
    }
    return true;
}

} // namespace varnetta::usbmeter

// The HID traffic of the bridge library, kept behind two small interfaces so
// that the report encoding and the read queue run against an emulated chip in
// the tests and against hidapi in the shipped library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace varnetta::bridge {

// One HID device as enumeration reports it; strings already narrowed to ASCII.
struct HidDeviceEntry
{
    std::string path;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::string serial;
    std::string manufacturer;
    std::string product;
};

// An open HID device.  Every buffer starts with its report id, and the lengths
// passed and returned include it, as hidapi counts them.
//
// The public calls check the report id before anything reaches the device:
// the one-time-programmable reports can never be sent (a wrong write to them
// is permanent), and the interrupt pipe only ever carries data reports
// 1..63.  Implementations override the do* hooks.
class HidTransport
{
public:
    HidTransport() = default;
    HidTransport(const HidTransport&) = delete;
    HidTransport& operator=(const HidTransport&) = delete;
    virtual ~HidTransport() = default;

    // bytes sent, or -1 (also for a refused report id)
    [[nodiscard]] int setFeature(const uint8_t* data, size_t length);
    // data[0] holds the report id; bytes received including the id, or -1
    [[nodiscard]] int getFeature(uint8_t* data, size_t length);
    // one interrupt report: bytes including the id, 0 on time-out, -1 on error
    [[nodiscard]] int readReport(uint8_t* data, size_t length, int timeoutMs);
    // one interrupt data report; data[0] is the payload length 1..63
    [[nodiscard]] int writeReport(const uint8_t* data, size_t length);

    [[nodiscard]] static bool isProgrammingReport(uint8_t reportId);

protected:
    virtual int doSetFeature(const uint8_t* data, size_t length) = 0;
    virtual int doGetFeature(uint8_t* data, size_t length) = 0;
    virtual int doReadReport(uint8_t* data, size_t length, int timeoutMs) = 0;
    virtual int doWriteReport(const uint8_t* data, size_t length) = 0;
};

// Why a device node could not be opened.
enum class HidOpenFailure
{
    Gone,   // the node is not there (any more)
    Denied, // it is there, but this user may not read and write it
    Other,
};

// The HID layer as a whole: enumeration, opening by path, and the clock that
// read and write deadlines are measured on.
class HidHost
{
public:
    HidHost() = default;
    HidHost(const HidHost&) = delete;
    HidHost& operator=(const HidHost&) = delete;
    virtual ~HidHost() = default;

    // every HID interface with exactly these ids (both non-zero)
    [[nodiscard]] virtual std::vector<HidDeviceEntry> enumerate(uint16_t vendorId, uint16_t productId) = 0;
    // nullptr when the node cannot be opened (gone, or no permission)
    [[nodiscard]] virtual std::unique_ptr<HidTransport> open(const std::string& path) = 0;
    // asked right after open(path) returned nullptr
    [[nodiscard]] virtual HidOpenFailure whyOpenFailed(const std::string& /*path*/)
    {
        return HidOpenFailure::Other;
    }
    // monotonic milliseconds
    [[nodiscard]] virtual uint64_t nowMs() = 0;
};

} // namespace varnetta::bridge

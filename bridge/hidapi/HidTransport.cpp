#include "HidTransport.h"

namespace varnetta::bridge {

namespace {
constexpr uint8_t kLockByteReport = 0x47;
constexpr uint8_t kFirstPromReport = 0x60;
constexpr uint8_t kLastPromReport = 0x66;
constexpr uint8_t kMaxDataReport = 63;
constexpr size_t kMaxReportLength = 64;
} // namespace

bool HidTransport::isProgrammingReport(uint8_t reportId)
{
    return reportId == kLockByteReport || (reportId >= kFirstPromReport && reportId <= kLastPromReport);
}

int HidTransport::setFeature(const uint8_t* data, size_t length)
{
    // Feature reports are the configuration ids; data ids travel on the
    // interrupt pipe.  A report without payload is not sent by hidraw.
    if (data == nullptr || length < 2 || length > kMaxReportLength || data[0] <= kMaxDataReport ||
        isProgrammingReport(data[0]))
        return -1;
    return doSetFeature(data, length);
}

int HidTransport::getFeature(uint8_t* data, size_t length)
{
    if (data == nullptr || length < 2 || data[0] <= kMaxDataReport || isProgrammingReport(data[0]))
        return -1;
    return doGetFeature(data, length);
}

int HidTransport::readReport(uint8_t* data, size_t length, int timeoutMs)
{
    // hidraw truncates a report to the buffer and drops the rest.
    if (data == nullptr || length < kMaxReportLength)
        return -1;
    return doReadReport(data, length, timeoutMs < 0 ? 0 : timeoutMs);
}

int HidTransport::writeReport(const uint8_t* data, size_t length)
{
    if (data == nullptr || length < 2 || length > kMaxReportLength || data[0] == 0 ||
        data[0] > kMaxDataReport || static_cast<size_t>(data[0]) + 1 > length)
        return -1;
    return doWriteReport(data, length);
}

} // namespace varnetta::bridge

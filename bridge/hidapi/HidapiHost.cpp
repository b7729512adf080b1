#include "HidapiHost.h"

#include <hidapi/hidapi.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <unistd.h>

namespace varnetta::bridge {

namespace {

// Strings travel as ASCII through the C interface.
std::string narrow(const wchar_t* text)
{
    std::string out;
    if (text == nullptr)
        return out;
    for (; *text != L'\0'; ++text)
        out.push_back(*text > 0 && *text < 0x80 ? static_cast<char>(*text) : '?');
    return out;
}

class HidapiTransport final : public HidTransport
{
public:
    explicit HidapiTransport(hid_device* device) : m_device(device) {}
    ~HidapiTransport() override { hid_close(m_device); }

protected:
    int doSetFeature(const uint8_t* data, size_t length) override
    {
        return hid_send_feature_report(m_device, data, length);
    }
    int doGetFeature(uint8_t* data, size_t length) override
    {
        return hid_get_feature_report(m_device, data, length);
    }
    int doReadReport(uint8_t* data, size_t length, int timeoutMs) override
    {
        return hid_read_timeout(m_device, data, length, timeoutMs);
    }
    int doWriteReport(const uint8_t* data, size_t length) override
    {
        return hid_write(m_device, data, length);
    }

private:
    hid_device* m_device;
};

} // namespace

HidapiHost::HidapiHost()
{
    hid_init();
}

HidapiHost::~HidapiHost()
{
    hid_exit();
}

std::vector<HidDeviceEntry> HidapiHost::enumerate(uint16_t vendorId, uint16_t productId)
{
    std::vector<HidDeviceEntry> devices;
    // Never ask hidapi for 0/0: that would be every HID device of the machine.
    if (vendorId == 0 || productId == 0)
        return devices;
    hid_device_info* list = hid_enumerate(vendorId, productId);
    for (const hid_device_info* info = list; info != nullptr; info = info->next) {
        if (info->path == nullptr)
            continue;
        devices.push_back({info->path, info->vendor_id, info->product_id, narrow(info->serial_number),
                           narrow(info->manufacturer_string), narrow(info->product_string)});
    }
    hid_free_enumeration(list);
    return devices;
}

std::unique_ptr<HidTransport> HidapiHost::open(const std::string& path)
{
    hid_device* device = hid_open_path(path.c_str());
    if (device == nullptr)
        return nullptr;
    return std::make_unique<HidapiTransport>(device);
}

HidOpenFailure HidapiHost::whyOpenFailed(const std::string& path)
{
    // hidapi keeps only a text of the failed open(2), so ask the file system.
    if (::access(path.c_str(), F_OK) != 0)
        return HidOpenFailure::Gone;
    if (::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) != 0 && (errno == EACCES || errno == EPERM))
        return HidOpenFailure::Denied;
    return HidOpenFailure::Other;
}

uint64_t HidapiHost::nowMs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

} // namespace varnetta::bridge

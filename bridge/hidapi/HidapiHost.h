// The HidHost of real bridges: hidapi over the kernel's hidraw nodes.
#pragma once

#include "HidTransport.h"

namespace varnetta::bridge {

class HidapiHost final : public HidHost
{
public:
    HidapiHost();
    ~HidapiHost() override;

    [[nodiscard]] std::vector<HidDeviceEntry> enumerate(uint16_t vendorId, uint16_t productId) override;
    [[nodiscard]] std::unique_ptr<HidTransport> open(const std::string& path) override;
    [[nodiscard]] HidOpenFailure whyOpenFailed(const std::string& path) override;
    [[nodiscard]] uint64_t nowMs() override;
};

} // namespace varnetta::bridge

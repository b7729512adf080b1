#include "EmulatedCp2110.h"

#include <algorithm>
#include <cstring>

namespace varnetta::bridge::testing {

namespace {

class EmulatedTransport final : public HidTransport
{
public:
    EmulatedTransport(EmulatedHost& host, std::shared_ptr<EmulatedChip> chip)
        : m_host(host), m_chip(std::move(chip))
    {
        ++m_chip->openTransports;
    }
    ~EmulatedTransport() override
    {
        std::lock_guard lock(m_host.mutex);
        --m_chip->openTransports;
    }

protected:
    int doSetFeature(const uint8_t* data, size_t length) override
    {
        std::lock_guard lock(m_host.mutex);
        m_chip->featureSets.emplace_back(data, data + length);
        return m_chip->setFeature(data, length) ? static_cast<int>(length) : -1;
    }

    int doGetFeature(uint8_t* data, size_t length) override
    {
        std::lock_guard lock(m_host.mutex);
        m_chip->featureGets.push_back(data[0]);
        if (data[0] == usbmeter::Cp2110Chip::kVersionReport && m_chip->versionReportFails)
            return -1;
        std::vector<uint8_t> answer = m_chip->getFeature(data[0]);
        if (answer.empty())
            return -1; // the chip stalls what it does not know
        if (data[0] == usbmeter::Cp2110Chip::kUartConfigReport)
            answer.resize(static_cast<size_t>(m_chip->uartConfigLength));
        const size_t n = std::min(answer.size(), length);
        std::copy_n(answer.begin(), n, data);
        return static_cast<int>(n);
    }

    int doReadReport(uint8_t* data, size_t length, int timeoutMs) override
    {
        std::lock_guard lock(m_host.mutex);
        auto& chip = *m_chip;
        chip.readTimeouts.push_back(timeoutMs);
        if (chip.readFailuresAfter == 0)
            return -1;
        const uint64_t until = m_host.clockMs + static_cast<uint64_t>(timeoutMs);
        // a disabled UART receives nothing
        if (!chip.uartEnabled || chip.incoming.empty() || chip.incoming.front().atMs > until) {
            m_host.clockMs = until;
            return 0;
        }
        auto report = std::move(chip.incoming.front());
        chip.incoming.pop_front();
        m_host.clockMs = std::max(m_host.clockMs, report.atMs);
        if (chip.readFailuresAfter > 0)
            --chip.readFailuresAfter;
        const size_t n = std::min(report.bytes.size(), length);
        std::copy_n(report.bytes.begin(), n, data);
        return static_cast<int>(n);
    }

    int doWriteReport(const uint8_t* data, size_t length) override
    {
        std::lock_guard lock(m_host.mutex);
        auto& chip = *m_chip;
        if (chip.writeFailuresAfter == 0)
            return -1;
        if (chip.writeFailuresAfter > 0)
            --chip.writeFailuresAfter;
        chip.writtenReports.emplace_back(data, data + length);
        // the chip takes exactly as many bytes as the id says
        const auto payload = usbmeter::Cp2110Chip::dataPayload(data, length);
        chip.uartOut.insert(chip.uartOut.end(), payload.begin(), payload.end());
        m_host.clockMs += chip.writeCostMs;
        return static_cast<int>(length);
    }

private:
    EmulatedHost& m_host;
    std::shared_ptr<EmulatedChip> m_chip;
};

} // namespace

EmulatedChip& EmulatedHost::addDevice(HidDeviceEntry entry, int usages)
{
    std::lock_guard lock(mutex);
    auto& chip = chips[entry.path];
    if (!chip)
        chip = std::make_shared<EmulatedChip>();
    for (int i = 0; i < usages; ++i)
        listing.push_back(entry);
    return *chip;
}

void EmulatedHost::removeDevice(const std::string& path)
{
    std::lock_guard lock(mutex);
    std::erase_if(listing, [&](const HidDeviceEntry& e) { return e.path == path; });
}

EmulatedChip& EmulatedHost::chip(const std::string& path)
{
    std::lock_guard lock(mutex);
    return *chips.at(path);
}

void EmulatedHost::receive(const std::string& path, const std::vector<uint8_t>& bytes, uint64_t atMs)
{
    for (size_t at = 0; at < bytes.size(); at += 63) {
        const size_t n = std::min<size_t>(63, bytes.size() - at);
        std::vector<uint8_t> report{static_cast<uint8_t>(n)};
        report.insert(report.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
        receiveReport(path, std::move(report), atMs);
    }
}

void EmulatedHost::receiveReport(const std::string& path, std::vector<uint8_t> report, uint64_t atMs)
{
    std::lock_guard lock(mutex);
    chips.at(path)->incoming.push_back({atMs, std::move(report)});
}

std::vector<HidDeviceEntry> EmulatedHost::enumerate(uint16_t vendorId, uint16_t productId)
{
    std::lock_guard lock(mutex);
    std::vector<HidDeviceEntry> found;
    for (const auto& e : listing)
        if ((vendorId == 0 || e.vendorId == vendorId) && (productId == 0 || e.productId == productId))
            found.push_back(e);
    return found;
}

std::unique_ptr<HidTransport> EmulatedHost::open(const std::string& path)
{
    std::lock_guard lock(mutex);
    const auto it = chips.find(path);
    const bool listed =
        std::any_of(listing.begin(), listing.end(), [&](const HidDeviceEntry& e) { return e.path == path; });
    if (it == chips.end() || !listed || it->second->openFails || it->second->openDenied)
        return nullptr;
    return std::make_unique<EmulatedTransport>(*this, it->second);
}

HidOpenFailure EmulatedHost::whyOpenFailed(const std::string& path)
{
    std::lock_guard lock(mutex);
    const auto it = chips.find(path);
    const bool listed =
        std::any_of(listing.begin(), listing.end(), [&](const HidDeviceEntry& e) { return e.path == path; });
    if (it == chips.end() || !listed)
        return HidOpenFailure::Gone;
    return it->second->openDenied ? HidOpenFailure::Denied : HidOpenFailure::Other;
}

uint64_t EmulatedHost::nowMs()
{
    std::lock_guard lock(mutex);
    return clockMs;
}

void EmulatedHost::advance(uint64_t ms)
{
    std::lock_guard lock(mutex);
    clockMs += ms;
}

} // namespace varnetta::bridge::testing

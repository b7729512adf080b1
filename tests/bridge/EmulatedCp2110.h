// A HidHost whose devices answer like CP2110/CP2114 bridges, on a clock that
// only moves when a read waits or a write takes time, so time-outs are exact
// without sleeping.
#pragma once

#include "Cp2110Chip.h"
#include "HidTransport.h"

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace varnetta::bridge::testing {

// The chip's own answers come from Cp2110Chip; what is added here are the
// faults a test can arrange and the record of what reached the chip.
struct EmulatedChip : usbmeter::Cp2110Chip
{
    bool openFails = false;
    bool openDenied = false; // the node exists but may not be opened
    bool versionReportFails = false;
    int uartConfigLength = 9; // what a get of 0x50 returns
    struct Report
    {
        uint64_t atMs;
        std::vector<uint8_t> bytes; // as the interrupt pipe delivers it, id first
    };
    std::deque<Report> incoming;
    int readFailuresAfter = -1; // reports delivered before reads start failing
    int writeFailuresAfter = -1;
    uint64_t writeCostMs = 0;
    // what reached the chip
    std::vector<std::vector<uint8_t>> featureSets;
    std::vector<uint8_t> featureGets;
    std::vector<std::vector<uint8_t>> writtenReports;
    std::vector<uint8_t> uartOut; // the bytes the chip put on its UART
    std::vector<int> readTimeouts;
    int openTransports = 0;
};

class EmulatedHost final : public HidHost
{
public:
    // every entry is listed once per usage, as hidraw does
    EmulatedChip& addDevice(HidDeviceEntry entry, int usages = 1);
    void removeDevice(const std::string& path);
    EmulatedChip& chip(const std::string& path);

    // UART bytes arriving at the given time, packed into full reports
    void receive(const std::string& path, const std::vector<uint8_t>& bytes, uint64_t atMs = 0);
    void receiveReport(const std::string& path, std::vector<uint8_t> report, uint64_t atMs = 0);

    [[nodiscard]] std::vector<HidDeviceEntry> enumerate(uint16_t vendorId, uint16_t productId) override;
    [[nodiscard]] std::unique_ptr<HidTransport> open(const std::string& path) override;
    [[nodiscard]] HidOpenFailure whyOpenFailed(const std::string& path) override;
    [[nodiscard]] uint64_t nowMs() override;
    void advance(uint64_t ms);

    std::mutex mutex; // guards everything below and every chip
    std::vector<HidDeviceEntry> listing;
    std::map<std::string, std::shared_ptr<EmulatedChip>> chips;
    uint64_t clockMs = 1000;
};

} // namespace varnetta::bridge::testing

// A HidHost whose devices answer like CP2110/CP2114 bridges, on a clock that
// only moves when a read waits or a write takes time, so time-outs are exact
// without sleeping.
#pragma once

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

struct EmulatedChip
{
    uint8_t partNumber = 0x0A;
    uint8_t version = 0x01;
    bool openFails = false;
    bool versionReportFails = false;
    bool uartEnabled = false;
    // bytes 1..8 of report 0x50; reset default 115200 8N1
    std::array<uint8_t, 8> uartConfig{0x00, 0x01, 0xC2, 0x00, 0x00, 0x00, 0x03, 0x00};
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
    [[nodiscard]] uint64_t nowMs() override;
    void advance(uint64_t ms);

    std::mutex mutex; // guards everything below and every chip
    std::vector<HidDeviceEntry> listing;
    std::map<std::string, std::shared_ptr<EmulatedChip>> chips;
    uint64_t clockMs = 1000;
};

} // namespace varnetta::bridge::testing

#include "HidUartCore.h"
#include "EmulatedCp2110.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <thread>

using namespace varnetta::bridge;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using varnetta::bridge::testing::EmulatedChip;
using varnetta::bridge::testing::EmulatedHost;

namespace {

const std::string kPath = "/dev/hidraw3";

HidDeviceEntry bridgeEntry(std::string path, std::string serial = "0001", uint16_t pid = HID_UART_CP2110_PID)
{
    return {std::move(path),   HID_UART_CP2110_VID,         pid,
            std::move(serial), "Silicon Laboratories Inc.", "CP2110 HID USB-to-UART Bridge"};
}

std::vector<uint8_t> counting(size_t n, uint8_t first = 0)
{
    std::vector<uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

class OneBridge : public ::testing::Test
{
protected:
    void SetUp() override
    {
        host.addDevice(bridgeEntry(kPath), 2);
        uint32_t n = 0;
        ASSERT_EQ(core.getNumDevices(&n, 0, 0), HID_UART_SUCCESS);
        ASSERT_EQ(n, 1u);
    }

    HID_UART_DEVICE openIt()
    {
        HID_UART_DEVICE device = nullptr;
        EXPECT_EQ(core.open(&device, 0, 0, 0), HID_UART_SUCCESS);
        return device;
    }

    EmulatedChip& chip() { return host.chip(kPath); }

    EmulatedHost host;
    HidUartCore core{host};
};

} // namespace

// ---- enumeration ----------------------------------------------------------

struct FilterCase
{
    uint16_t vid, pid;
    std::vector<std::pair<uint16_t, uint16_t>> searched;
};

class EnumerationFilter : public ::testing::TestWithParam<FilterCase>
{
};

TEST_P(EnumerationFilter, ZeroIdsStayWithinTheBridgeFamily)
{
    EXPECT_EQ(HidUartCore::idsToSearch(GetParam().vid, GetParam().pid), GetParam().searched);
}

INSTANTIATE_TEST_SUITE_P(Ids, EnumerationFilter,
                         ::testing::Values(FilterCase{0, 0, {{0x10C4, 0xEA80}, {0x10C4, 0xEAB0}}},
                                           FilterCase{0x10C4, 0, {{0x10C4, 0xEA80}, {0x10C4, 0xEAB0}}},
                                           FilterCase{0, 0xEA80, {{0x10C4, 0xEA80}}},
                                           FilterCase{0x1234, 0, {{0x1234, 0xEA80}, {0x1234, 0xEAB0}}},
                                           FilterCase{0x1234, 0x5678, {{0x1234, 0x5678}}}));

TEST(Enumeration, CountsBothBridgeKindsOnceEachAndNoOtherHidDevice)
{
    EmulatedHost host;
    host.addDevice(bridgeEntry("/dev/hidraw1"), 3); // one entry per usage
    host.addDevice(bridgeEntry("/dev/hidraw2", "5A3F", HID_UART_CP2114_PID));
    host.addDevice({"/dev/hidraw0", 0x046D, 0xC077, "", "Logitech", "Mouse"});
    host.addDevice({"/dev/hidraw4", 0x10C4, 0x8108, "", "Silicon Labs", "Other"});
    HidUartCore core(host);

    uint32_t n = 99;
    ASSERT_EQ(core.getNumDevices(&n, 0, 0), HID_UART_SUCCESS);
    EXPECT_EQ(n, 2u);
    ASSERT_EQ(core.getNumDevices(&n, 0x10C4, 0xEAB0), HID_UART_SUCCESS);
    EXPECT_EQ(n, 1u);
    ASSERT_EQ(core.getNumDevices(&n, 0x046D, 0xC077), HID_UART_SUCCESS);
    EXPECT_EQ(n, 1u) << "explicit ids reach any device";
    EXPECT_EQ(core.getNumDevices(nullptr, 0, 0), HID_UART_INVALID_PARAMETER);
}

TEST(Enumeration, IndexesReferToTheLastCountUntilTheNextOne)
{
    EmulatedHost host;
    host.addDevice(bridgeEntry("/dev/hidraw1", "A"));
    HidUartCore core(host);
    uint32_t n = 0;
    ASSERT_EQ(core.getNumDevices(&n, 0, 0), HID_UART_SUCCESS);
    host.addDevice(bridgeEntry("/dev/hidraw2", "B"));

    char text[HID_UART_DEVICE_STRLEN] = {};
    EXPECT_EQ(core.getString(1, 0, 0, text, HID_UART_GET_SERIAL_STR), HID_UART_DEVICE_NOT_FOUND);
    ASSERT_EQ(core.getNumDevices(&n, 0, 0), HID_UART_SUCCESS);
    ASSERT_EQ(core.getString(1, 0, 0, text, HID_UART_GET_SERIAL_STR), HID_UART_SUCCESS);
    EXPECT_STREQ(text, "B");
}

struct StringCase
{
    uint32_t option;
    HID_UART_STATUS status;
    const char* text;
};

class DeviceStrings : public OneBridge, public ::testing::WithParamInterface<StringCase>
{
};

TEST_P(DeviceStrings, ComeFromTheListedDeviceAndTheOpenOneAlike)
{
    char listed[HID_UART_DEVICE_STRLEN] = {};
    EXPECT_EQ(core.getString(0, 0, 0, listed, GetParam().option), GetParam().status);
    const auto device = openIt();
    char opened[HID_UART_DEVICE_STRLEN] = {};
    EXPECT_EQ(core.getOpenedString(device, opened, GetParam().option), GetParam().status);
    if (GetParam().status == HID_UART_SUCCESS) {
        EXPECT_STREQ(listed, GetParam().text);
        EXPECT_STREQ(opened, GetParam().text);
    }
}

INSTANTIATE_TEST_SUITE_P(Options, DeviceStrings,
                         ::testing::Values(StringCase{1, HID_UART_SUCCESS, "10C4"},
                                           StringCase{2, HID_UART_SUCCESS, "EA80"},
                                           StringCase{3, HID_UART_SUCCESS, "/dev/hidraw3"},
                                           StringCase{4, HID_UART_SUCCESS, "0001"},
                                           StringCase{5, HID_UART_SUCCESS, "Silicon Laboratories Inc."},
                                           StringCase{6, HID_UART_SUCCESS, "CP2110 HID USB-to-UART Bridge"},
                                           StringCase{0, HID_UART_INVALID_PARAMETER, ""},
                                           StringCase{7, HID_UART_INVALID_PARAMETER, ""}));

TEST_F(OneBridge, StringRequestsOutsideTheListOrWithoutBufferAreRefused)
{
    char text[HID_UART_DEVICE_STRLEN] = {};
    EXPECT_EQ(core.getString(1, 0, 0, text, HID_UART_GET_PATH_STR), HID_UART_DEVICE_NOT_FOUND);
    EXPECT_EQ(core.getString(0, 0, 0, nullptr, HID_UART_GET_PATH_STR), HID_UART_INVALID_PARAMETER);
}

TEST(Enumeration, OverlongStringIsCutToTheBufferWithItsTerminator)
{
    EmulatedHost host;
    host.addDevice(bridgeEntry("/dev/hidraw1", std::string(400, 'S')));
    HidUartCore core(host);
    uint32_t n = 0;
    ASSERT_EQ(core.getNumDevices(&n, 0, 0), HID_UART_SUCCESS);
    std::vector<char> text(HID_UART_DEVICE_STRLEN + 8, 'x');
    ASSERT_EQ(core.getString(0, 0, 0, text.data(), HID_UART_GET_SERIAL_STR), HID_UART_SUCCESS);
    EXPECT_EQ(std::string(text.data()).size(), static_cast<size_t>(HID_UART_DEVICE_STRLEN - 1));
    EXPECT_EQ(text[HID_UART_DEVICE_STRLEN], 'x') << "nothing written past the 260-byte buffer";
}

// ---- open and close -------------------------------------------------------

TEST_F(OneBridge, OpenChecksThePartNumberAndEnablesTheUartWithoutConfiguringIt)
{
    const auto device = openIt();
    ASSERT_NE(device, nullptr);
    EXPECT_THAT(chip().featureGets, ElementsAre(0x46));
    ASSERT_EQ(chip().featureSets.size(), 1u);
    EXPECT_THAT(chip().featureSets[0], ElementsAre(0x41, 0x01));
    EXPECT_TRUE(chip().uartEnabled);
}

TEST_F(OneBridge, OpenSetsOneSecondTimeoutsBothWays)
{
    const auto device = openIt();
    const uint64_t start = host.nowMs();
    uint8_t buffer[16];
    uint32_t got = 0;
    EXPECT_EQ(core.read(device, buffer, 16, &got), HID_UART_READ_TIMED_OUT);
    EXPECT_EQ(host.nowMs() - start, 1000u);

    chip().writeCostMs = 300; // four reports fit before the second is over
    const auto data = counting(63 * 6);
    uint32_t sent = 0;
    EXPECT_EQ(core.write(device, data.data(), static_cast<uint32_t>(data.size()), &sent),
              HID_UART_WRITE_TIMED_OUT);
    EXPECT_EQ(sent, 63u * 4);
}

TEST_F(OneBridge, OpenAcceptsTheAudioBridgeToo)
{
    chip().partNumber = HID_UART_PART_CP2114;
    const auto device = openIt();
    uint8_t part = 0, version = 0;
    ASSERT_EQ(core.getPartNumber(device, &part, &version), HID_UART_SUCCESS);
    EXPECT_EQ(part, HID_UART_PART_CP2114);
    EXPECT_EQ(version, 0x01);
}

struct OpenFailure
{
    const char* what;
    void (*arrange)(EmulatedChip&);
    HID_UART_STATUS status;
};

class FailedOpen : public OneBridge, public ::testing::WithParamInterface<OpenFailure>
{
};

TEST_P(FailedOpen, ReportsTheCauseAndLeavesNoDeviceOpen)
{
    GetParam().arrange(chip());
    HID_UART_DEVICE device = reinterpret_cast<HID_UART_DEVICE>(0x1);
    EXPECT_EQ(core.open(&device, 0, 0, 0), GetParam().status) << GetParam().what;
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(chip().openTransports, 0);
    EXPECT_FALSE(chip().uartEnabled) << "nothing sent to a device that is not a bridge";
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FailedOpen,
    ::testing::Values(
        OpenFailure{"node not ours to open", [](EmulatedChip& c) { c.openDenied = true; },
                    HID_UART_DEVICE_ACCESS_ERROR},
        OpenFailure{"open fails otherwise", [](EmulatedChip& c) { c.openFails = true; }, HID_UART_DEVICE_IO_FAILED},
        OpenFailure{"wrong part", [](EmulatedChip& c) { c.partNumber = 0x16; },
                    HID_UART_DEVICE_NOT_SUPPORTED},
        OpenFailure{"version report stalls", [](EmulatedChip& c) { c.versionReportFails = true; },
                    HID_UART_DEVICE_IO_FAILED}));

TEST_F(OneBridge, OpenRefusesAMissingIndexOrHandlePointer)
{
    HID_UART_DEVICE device = nullptr;
    EXPECT_EQ(core.open(&device, 1, 0, 0), HID_UART_DEVICE_NOT_FOUND);
    EXPECT_EQ(core.open(nullptr, 0, 0, 0), HID_UART_INVALID_PARAMETER);
    host.removeDevice(kPath); // unplugged since the last count: not a permission problem
    EXPECT_EQ(core.open(&device, 0, 0, 0), HID_UART_DEVICE_NOT_FOUND);
}

TEST_F(OneBridge, ClosedOrUnknownHandlesAreRefusedByEveryCall)
{
    const auto device = openIt();
    ASSERT_EQ(core.close(device), HID_UART_SUCCESS);
    EXPECT_EQ(chip().openTransports, 0);

    int unrelated = 0;
    for (HID_UART_DEVICE handle :
         {device, static_cast<HID_UART_DEVICE>(nullptr), static_cast<HID_UART_DEVICE>(&unrelated)}) {
        uint8_t b = 0, c = 0, d = 0, e = 0, f = 0;
        uint32_t u = 0;
        char text[HID_UART_DEVICE_STRLEN];
        EXPECT_EQ(core.close(handle), HID_UART_INVALID_DEVICE_OBJECT);
        EXPECT_EQ(core.getOpenedString(handle, text, 3), HID_UART_INVALID_DEVICE_OBJECT);
        EXPECT_EQ(core.getPartNumber(handle, &b, &c), HID_UART_INVALID_DEVICE_OBJECT);
        EXPECT_EQ(core.setUartConfig(handle, 9600, 3, 0, 0, 0), HID_UART_INVALID_DEVICE_OBJECT);
        EXPECT_EQ(core.getUartConfig(handle, &u, &b, &c, &d, &e), HID_UART_INVALID_DEVICE_OBJECT);
        EXPECT_EQ(core.setTimeouts(handle, 0, 0), HID_UART_INVALID_DEVICE_OBJECT);
        EXPECT_EQ(core.read(handle, &f, 1, &u), HID_UART_INVALID_DEVICE_OBJECT);
        EXPECT_EQ(core.write(handle, &f, 1, &u), HID_UART_INVALID_DEVICE_OBJECT);
    }
}

TEST(HidGuid, IsTheHidInterfaceClassInItsMemoryLayout)
{
    uint8_t guid[16] = {};
    ASSERT_EQ(HidUartCore::getHidGuid(guid), HID_UART_SUCCESS);
    EXPECT_THAT(guid, ElementsAre(0xB2, 0x55, 0x1E, 0x4D, 0x6F, 0xF1, 0xCF, 0x11, 0x88, 0xCB, 0x00, 0x11,
                                  0x11, 0x00, 0x00, 0x30));
    EXPECT_EQ(HidUartCore::getHidGuid(nullptr), HID_UART_INVALID_PARAMETER);
}

// ---- UART configuration ---------------------------------------------------

struct ConfigCase
{
    uint32_t baud;
    uint8_t dataBits, parity, stopBits, flow;
    std::vector<uint8_t> report;
};

class UartConfig : public OneBridge, public ::testing::WithParamInterface<ConfigCase>
{
};

TEST_P(UartConfig, TravelsInTheReportsFieldOrderAndReadsBackUnchanged)
{
    const auto& c = GetParam();
    const auto device = openIt();
    ASSERT_EQ(core.setUartConfig(device, c.baud, c.dataBits, c.parity, c.stopBits, c.flow), HID_UART_SUCCESS);
    EXPECT_THAT(chip().featureSets.back(), ElementsAreArray(c.report));

    uint32_t baud = 0;
    uint8_t dataBits = 9, parity = 9, stopBits = 9, flow = 9;
    ASSERT_EQ(core.getUartConfig(device, &baud, &dataBits, &parity, &stopBits, &flow), HID_UART_SUCCESS);
    EXPECT_EQ(baud, c.baud);
    EXPECT_EQ(dataBits, c.dataBits);
    EXPECT_EQ(parity, c.parity);
    EXPECT_EQ(stopBits, c.stopBits);
    EXPECT_EQ(flow, c.flow);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, UartConfig,
    ::testing::Values(ConfigCase{9600, 3, 0, 0, 0, {0x50, 0x00, 0x00, 0x25, 0x80, 0x00, 0x00, 0x03, 0x00}},
                      ConfigCase{115200, 2, 2, 1, 1, {0x50, 0x00, 0x01, 0xC2, 0x00, 0x02, 0x01, 0x02, 0x01}},
                      ConfigCase{1000000, 3, 1, 0, 0, {0x50, 0x00, 0x0F, 0x42, 0x40, 0x01, 0x00, 0x03, 0x00}},
                      ConfigCase{500000, 0, 4, 1, 0, {0x50, 0x00, 0x07, 0xA1, 0x20, 0x04, 0x00, 0x00, 0x01}},
                      ConfigCase{300, 1, 3, 0, 1, {0x50, 0x00, 0x00, 0x01, 0x2C, 0x03, 0x01, 0x01, 0x00}}));

struct BadConfig
{
    uint32_t baud;
    uint8_t dataBits, parity, stopBits, flow;
    uint8_t part;
};

class RefusedUartConfig : public OneBridge, public ::testing::WithParamInterface<BadConfig>
{
};

TEST_P(RefusedUartConfig, IsInvalidAndNeverReachesTheChip)
{
    const auto& c = GetParam();
    chip().partNumber = c.part;
    const auto device = openIt();
    const auto before = chip().featureSets.size();
    EXPECT_EQ(core.setUartConfig(device, c.baud, c.dataBits, c.parity, c.stopBits, c.flow),
              HID_UART_INVALID_PARAMETER);
    EXPECT_EQ(chip().featureSets.size(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RefusedUartConfig,
    ::testing::Values(BadConfig{9600, 4, 0, 0, 0, 0x0A}, BadConfig{9600, 3, 5, 0, 0, 0x0A},
                      BadConfig{9600, 3, 0, 2, 0, 0x0A}, BadConfig{9600, 3, 0, 0, 2, 0x0A},
                      BadConfig{299, 3, 0, 0, 0, 0x0A}, BadConfig{1000001, 3, 0, 0, 0, 0x0A},
                      BadConfig{500001, 1, 0, 0, 0, 0x0A}, BadConfig{374, 3, 0, 0, 0, 0x0E}));

TEST_F(OneBridge, UartConfigIsUnpackedFromWhatTheChipHolds)
{
    const auto device = openIt();
    chip().uartConfig = {0x00, 0x00, 0x4B, 0x00, 0x02, 0x01, 0x02, 0x01}; // 19200 7E2 RTS/CTS
    uint32_t baud = 0;
    uint8_t dataBits = 0, parity = 0, stopBits = 0, flow = 0;
    ASSERT_EQ(core.getUartConfig(device, &baud, &dataBits, &parity, &stopBits, &flow), HID_UART_SUCCESS);
    EXPECT_EQ(baud, 19200u);
    EXPECT_EQ(dataBits, HID_UART_SEVEN_DATA_BITS);
    EXPECT_EQ(parity, HID_UART_EVEN_PARITY);
    EXPECT_EQ(stopBits, HID_UART_LONG_STOP_BIT);
    EXPECT_EQ(flow, HID_UART_RTS_CTS_FLOW_CONTROL);

    chip().uartConfigLength = 5;
    EXPECT_EQ(core.getUartConfig(device, &baud, &dataBits, &parity, &stopBits, &flow),
              HID_UART_DEVICE_IO_FAILED);
    EXPECT_EQ(core.getUartConfig(device, &baud, nullptr, &parity, &stopBits, &flow),
              HID_UART_INVALID_PARAMETER);
}

// ---- reading --------------------------------------------------------------

class OpenBridge : public OneBridge
{
protected:
    void SetUp() override
    {
        OneBridge::SetUp();
        device = openIt();
        ASSERT_EQ(core.setTimeouts(device, 0, 500), HID_UART_SUCCESS);
    }

    HID_UART_STATUS readUpTo(uint32_t n, std::vector<uint8_t>& out)
    {
        out.assign(n, 0xEE);
        uint32_t got = 0;
        const auto status = core.read(device, out.data(), n, &got);
        out.resize(got);
        return status;
    }

    HID_UART_DEVICE device = nullptr;
    std::vector<uint8_t> data;
};

TEST_F(OpenBridge, ZeroTimeoutPollsOnceWithoutWaiting)
{
    const uint64_t start = host.nowMs();
    EXPECT_EQ(readUpTo(2048, data), HID_UART_READ_TIMED_OUT);
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(host.nowMs(), start);
    EXPECT_THAT(chip().readTimeouts, ElementsAre(0));
}

TEST_F(OpenBridge, ZeroTimeoutTakesEveryReportAlreadyWaiting)
{
    host.receive(kPath, counting(10, 0));
    host.receive(kPath, counting(35, 10));
    host.receive(kPath, counting(5, 45));
    EXPECT_EQ(readUpTo(2048, data), HID_UART_READ_TIMED_OUT)
        << "fewer than asked is a time-out with the bytes";
    EXPECT_EQ(data, counting(50));
}

TEST_F(OpenBridge, BytesBeyondTheRequestWaitForTheNextRead)
{
    host.receive(kPath, counting(3000));
    EXPECT_EQ(readUpTo(2048, data), HID_UART_SUCCESS);
    EXPECT_EQ(data, counting(2048));
    EXPECT_EQ(readUpTo(2048, data), HID_UART_READ_TIMED_OUT);
    const auto all = counting(3000);
    EXPECT_EQ(data, std::vector<uint8_t>(all.begin() + 2048, all.end()));
}

TEST_F(OpenBridge, ExactRequestIsSuccessAndLeavesTheRestQueued)
{
    host.receive(kPath, counting(70));
    EXPECT_EQ(readUpTo(50, data), HID_UART_SUCCESS);
    EXPECT_EQ(data, counting(50));
    EXPECT_EQ(readUpTo(20, data), HID_UART_SUCCESS);
    EXPECT_EQ(data, counting(20, 50));
}

TEST_F(OpenBridge, LongerTimeoutWaitsForLateBytesUntilTheDeadline)
{
    ASSERT_EQ(core.setTimeouts(device, 100, 500), HID_UART_SUCCESS);
    const uint64_t start = host.nowMs();
    host.receive(kPath, counting(5), start + 30);
    host.receive(kPath, counting(5, 5), start + 60);
    host.receive(kPath, counting(5, 10), start + 150);
    EXPECT_EQ(readUpTo(2048, data), HID_UART_READ_TIMED_OUT);
    EXPECT_EQ(data, counting(10));
    EXPECT_EQ(host.nowMs(), start + 100);
}

TEST_F(OpenBridge, LongerTimeoutReturnsAsSoonAsTheRequestIsFilled)
{
    ASSERT_EQ(core.setTimeouts(device, 1000, 500), HID_UART_SUCCESS);
    const uint64_t start = host.nowMs();
    host.receive(kPath, counting(4), start + 30);
    host.receive(kPath, counting(4, 4), start + 60);
    EXPECT_EQ(readUpTo(8, data), HID_UART_SUCCESS);
    EXPECT_EQ(data, counting(8));
    EXPECT_EQ(host.nowMs(), start + 60);
}

TEST_F(OpenBridge, ReportsAreTakenByTheirCountNeverBeyondWhatArrived)
{
    host.receiveReport(kPath, {3, 'a', 'b', 'c', 'x', 'x'});    // padded report
    host.receiveReport(kPath, {40, 'd', 'e'});                  // count larger than the report
    host.receiveReport(kPath, {0, 'y'});                        // empty
    host.receiveReport(kPath, {0x42, 'z', 'z', 'z', 'z', 'z'}); // not a data report
    host.receiveReport(kPath, {1, 'f'});
    EXPECT_EQ(readUpTo(100, data), HID_UART_READ_TIMED_OUT);
    EXPECT_EQ(std::string(data.begin(), data.end()), "abcdef");
}

TEST_F(OpenBridge, FailureAfterSomeBytesDeliversThemFirst)
{
    host.receive(kPath, counting(20));
    chip().readFailuresAfter = 1;
    EXPECT_EQ(readUpTo(2048, data), HID_UART_READ_TIMED_OUT);
    EXPECT_EQ(data, counting(20));
    EXPECT_EQ(readUpTo(2048, data), HID_UART_READ_ERROR);
    EXPECT_TRUE(data.empty());
}

TEST_F(OpenBridge, ReadLengthsOutsideTheRangeAreRefused)
{
    std::vector<uint8_t> buffer(HID_UART_MAX_READ_SIZE + 1);
    uint32_t got = 7;
    EXPECT_EQ(core.read(device, buffer.data(), 0, &got), HID_UART_INVALID_REQUEST_LENGTH);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(core.read(device, buffer.data(), HID_UART_MAX_READ_SIZE + 1, &got),
              HID_UART_INVALID_REQUEST_LENGTH);
    EXPECT_EQ(core.read(device, buffer.data(), HID_UART_MAX_READ_SIZE, &got), HID_UART_READ_TIMED_OUT);
    EXPECT_EQ(core.read(device, nullptr, 1, &got), HID_UART_INVALID_PARAMETER);
    EXPECT_EQ(core.read(device, buffer.data(), 1, nullptr), HID_UART_INVALID_PARAMETER);
}

// ---- writing --------------------------------------------------------------

TEST_F(OpenBridge, WritesGoOutIn63ByteReportsCountedByTheirId)
{
    const auto bytes = counting(150);
    uint32_t sent = 0;
    ASSERT_EQ(core.write(device, bytes.data(), 150, &sent), HID_UART_SUCCESS);
    EXPECT_EQ(sent, 150u);
    ASSERT_EQ(chip().writtenReports.size(), 3u);
    EXPECT_EQ(chip().writtenReports[0][0], 63);
    EXPECT_EQ(chip().writtenReports[1][0], 63);
    EXPECT_EQ(chip().writtenReports[2][0], 24);
    EXPECT_EQ(chip().uartOut, bytes) << "no byte added or lost on the line";
}

TEST_F(OpenBridge, CommandFrameIsOneReport)
{
    const std::vector<uint8_t> frame{0xAB, 0xCD, 0x04, 0x41, 0x01, 0x01, 0xBE};
    uint32_t sent = 0;
    ASSERT_EQ(core.write(device, frame.data(), 7, &sent), HID_UART_SUCCESS);
    ASSERT_EQ(chip().writtenReports.size(), 1u);
    EXPECT_EQ(chip().writtenReports[0][0], 7);
    EXPECT_EQ(chip().uartOut, frame);
}

TEST_F(OpenBridge, WriteStopsAtItsTimeoutAndSaysHowFarItGot)
{
    chip().writeCostMs = 200; // timeout 500: reports at 0, 200 and 400 ms
    const auto bytes = counting(300);
    uint32_t sent = 0;
    EXPECT_EQ(core.write(device, bytes.data(), 300, &sent), HID_UART_WRITE_TIMED_OUT);
    EXPECT_EQ(sent, 189u);
    EXPECT_EQ(chip().uartOut, counting(189));
}

TEST_F(OpenBridge, ZeroWriteTimeoutStillSendsTheFirstReport)
{
    ASSERT_EQ(core.setTimeouts(device, 0, 0), HID_UART_SUCCESS);
    const auto bytes = counting(7);
    uint32_t sent = 0;
    EXPECT_EQ(core.write(device, bytes.data(), 7, &sent), HID_UART_SUCCESS);
    EXPECT_EQ(chip().uartOut, bytes);
}

TEST_F(OpenBridge, FailedReportIsAWriteErrorWithTheCountSentBefore)
{
    chip().writeFailuresAfter = 1;
    const auto bytes = counting(100);
    uint32_t sent = 0;
    EXPECT_EQ(core.write(device, bytes.data(), 100, &sent), HID_UART_WRITE_ERROR);
    EXPECT_EQ(sent, 63u);
}

TEST_F(OpenBridge, WriteLengthsOutsideTheRangeAreRefused)
{
    const auto bytes = counting(HID_UART_MAX_WRITE_SIZE + 1);
    uint32_t sent = 9;
    EXPECT_EQ(core.write(device, bytes.data(), 0, &sent), HID_UART_INVALID_REQUEST_LENGTH);
    EXPECT_EQ(sent, 0u);
    EXPECT_EQ(core.write(device, bytes.data(), HID_UART_MAX_WRITE_SIZE + 1, &sent),
              HID_UART_INVALID_REQUEST_LENGTH);
    EXPECT_TRUE(chip().writtenReports.empty());
    EXPECT_EQ(core.write(device, bytes.data(), HID_UART_MAX_WRITE_SIZE, &sent), HID_UART_SUCCESS);
    EXPECT_EQ(chip().writtenReports.size(), 66u);
    EXPECT_EQ(core.write(device, nullptr, 1, &sent), HID_UART_INVALID_PARAMETER);
}

TEST_F(OpenBridge, ReaderThreadAndWriterShareTheDevice)
{
    // The reader polls with a 0 ms time-out while commands go out from the
    // other thread, as the program uses the library; run under TSan.
    std::vector<uint8_t> received;
    std::thread reader([&] {
        uint8_t buffer[2048];
        for (;;) {
            uint32_t got = 0;
            const auto status = core.read(device, buffer, sizeof buffer, &got);
            if (status == HID_UART_SUCCESS || status == HID_UART_READ_TIMED_OUT)
                received.insert(received.end(), buffer, buffer + got);
            if (received.size() >= 35 * 50)
                break;
            std::this_thread::yield();
        }
    });
    const std::vector<uint8_t> command{0xAB, 0xCD, 0x04, 0x41, 0x01, 0x01, 0xBE};
    for (int i = 0; i < 50; ++i) {
        host.receive(kPath, std::vector<uint8_t>(35, static_cast<uint8_t>(i)));
        uint32_t sent = 0;
        EXPECT_EQ(core.write(device, command.data(), 7, &sent), HID_UART_SUCCESS);
    }
    reader.join();
    ASSERT_EQ(received.size(), 35u * 50);
    for (size_t i = 0; i < received.size(); ++i)
        ASSERT_EQ(received[i], i / 35) << "bytes stay in order at " << i;
    EXPECT_EQ(chip().uartOut.size(), 7u * 50);
}

// ---- the transport's own guard --------------------------------------------

class ProgrammingReport : public OneBridge, public ::testing::WithParamInterface<uint8_t>
{
};

TEST_P(ProgrammingReport, NeverReachesTheChipEitherWay)
{
    auto transport = host.open(kPath);
    ASSERT_NE(transport, nullptr);
    std::vector<uint8_t> report(64, 0);
    report[0] = GetParam();
    EXPECT_EQ(transport->setFeature(report.data(), report.size()), -1);
    EXPECT_EQ(transport->getFeature(report.data(), report.size()), -1);
    report = {GetParam(), 0x01};
    EXPECT_EQ(transport->setFeature(report.data(), report.size()), -1);
    EXPECT_TRUE(chip().featureSets.empty());
    EXPECT_TRUE(chip().featureGets.empty());
}

INSTANTIATE_TEST_SUITE_P(Ids, ProgrammingReport,
                         ::testing::Values(0x47, 0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66));

TEST_F(OneBridge, TransportSendsOnlyWellFormedDataReportsOnTheInterruptPipe)
{
    auto transport = host.open(kPath);
    ASSERT_NE(transport, nullptr);
    const std::vector<std::vector<uint8_t>> refused{{0x00, 0x01}, {0x40, 0x00}, {0x47, 0x00},
                                                    {0x05, 1, 2}, {0x01},       std::vector<uint8_t>(65, 1)};
    for (const auto& report : refused)
        EXPECT_EQ(transport->writeReport(report.data(), report.size()), -1) << int(report[0]);
    const std::vector<uint8_t> data_reports{0x01, 0xAA}; // feature ids are not data either
    EXPECT_EQ(transport->setFeature(data_reports.data(), data_reports.size()), -1);
    EXPECT_TRUE(chip().writtenReports.empty());
    EXPECT_TRUE(chip().featureSets.empty());
    EXPECT_EQ(transport->writeReport(data_reports.data(), data_reports.size()), 2);
}

// The emulated USB meter on the host, before any kernel sees it: the chip's
// answers and refusals, the USB/IP conversation as vhci_hcd holds it (the
// test plays the kernel over a socket pair), and the meter behind the chip.
#include "Cp2110Chip.h"
#include "FakeClock.h"
#include "SimTestSupport.h"
#include "UsbIpDevice.h"
#include "UsbMeter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace varnetta::usbmeter {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<uint8_t> configReport(uint32_t baud, uint8_t parity = 0, uint8_t flow = 0, uint8_t dataBits = 3,
                                  uint8_t stopBits = 0)
{
    return {0x50, uint8_t(baud >> 24), uint8_t(baud >> 16), uint8_t(baud >> 8), uint8_t(baud),
            parity, flow, dataBits, stopBits};
}

// ---- the chip's feature reports

struct SetCase
{
    const char* what;
    std::vector<uint8_t> report;
    bool accepted;
    uint8_t part = Cp2110Chip::kPartCp2110;
};

class ChipSet : public ::testing::TestWithParam<SetCase>
{
};

TEST_P(ChipSet, AcceptsWhatTheChipTakesAndStallsTheRest)
{
    Cp2110Chip chip;
    chip.partNumber = GetParam().part;
    const auto before = chip.uartConfig;
    EXPECT_EQ(chip.setFeature(GetParam().report.data(), GetParam().report.size()), GetParam().accepted)
        << GetParam().what;
    if (!GetParam().accepted)
        EXPECT_EQ(chip.uartConfig, before) << "a refused set changes nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Reports, ChipSet,
    ::testing::Values(SetCase{"enable", {0x41, 0x01}, true}, SetCase{"enable 2", {0x41, 0x02}, false},
                      SetCase{"9600 8N1", configReport(9600), true},
                      SetCase{"9600 sent LSB first", {0x50, 0x80, 0x25, 0x00, 0x00, 0, 0, 3, 0}, false},
                      SetCase{"short config report", {0x50, 0x00, 0x00, 0x25, 0x80, 0, 0, 3}, false},
                      SetCase{"300 on a CP2110", configReport(300), true},
                      SetCase{"299 on a CP2110", configReport(299), false},
                      SetCase{"374 on a CP2114", configReport(374), false, Cp2110Chip::kPartCp2114},
                      SetCase{"1,000,000 at 8 bits", configReport(1000000), true},
                      SetCase{"500,001 at 6 bits", configReport(500001, 0, 0, 1), false},
                      SetCase{"parity code 5", configReport(9600, 5), false},
                      SetCase{"flow code 2", configReport(9600, 0, 2), false},
                      SetCase{"stop code 2", configReport(9600, 0, 0, 3, 2), false},
                      SetCase{"purge both", {0x43, 0x03}, true}, SetCase{"purge 0", {0x43, 0x00}, false},
                      SetCase{"purge 4", {0x43, 0x04}, false}, SetCase{"lock byte", {0x47, 0x00}, false},
                      SetCase{"serial string", {0x63, 0x00}, false}, SetCase{"reset", {0x40, 0x00}, false},
                      SetCase{"no payload", {0x52}, false}));

TEST(Chip, ConfigurationReadsBackAsSetAndDecodesBigEndian)
{
    Cp2110Chip chip;
    EXPECT_EQ(chip.uartSettings().baudRate, 115200u) << "reset default";
    const auto set = configReport(9600, 2, 1, 2, 1);
    ASSERT_TRUE(chip.setFeature(set.data(), set.size()));
    EXPECT_EQ(chip.getFeature(0x50), set);
    const UartSettings s = chip.uartSettings();
    EXPECT_EQ(s.baudRate, 9600u);
    EXPECT_EQ(s.parity, 2);
    EXPECT_EQ(s.flowControl, 1);
    EXPECT_EQ(s.dataBits, 2);
    EXPECT_EQ(s.stopBits, 1);
}

TEST(Chip, GetsAnswerKnownReportsAndStallTheRest)
{
    Cp2110Chip chip;
    chip.version = 7;
    EXPECT_THAT(chip.getFeature(0x46), ElementsAre(0x46, 0x0A, 7));
    EXPECT_THAT(chip.getFeature(0x41), ElementsAre(0x41, 0x00)) << "the UART is off after power-up";
    EXPECT_EQ(chip.getFeature(0x42).size(), 7u);
    EXPECT_TRUE(chip.getFeature(0x4F).empty());
    EXPECT_TRUE(chip.getFeature(0x01).empty()) << "data reports are not features";
}

TEST(Chip, PurgeBitsAreTakenOnce)
{
    Cp2110Chip chip;
    const std::vector<uint8_t> rx{0x43, 0x02};
    ASSERT_TRUE(chip.setFeature(rx.data(), rx.size()));
    EXPECT_EQ(chip.takePurge(), Cp2110Chip::kPurgeRx);
    EXPECT_EQ(chip.takePurge(), 0);
}

TEST(Chip, DataReportsCarryAsManyBytesAsTheirIdSaysAndNeverMoreThanArrived)
{
    std::vector<uint8_t> padded(64, 0xEE);
    padded[0] = 3;
    EXPECT_EQ(Cp2110Chip::dataPayload(padded.data(), padded.size()), (std::vector<uint8_t>{0xEE, 0xEE, 0xEE}));
    const std::vector<uint8_t> cut{10, 1, 2};
    EXPECT_EQ(Cp2110Chip::dataPayload(cut.data(), cut.size()), (std::vector<uint8_t>{1, 2}));
    for (const uint8_t id : {0, 64, 0x41}) {
        const std::vector<uint8_t> report{id, 1, 2, 3};
        EXPECT_TRUE(Cp2110Chip::dataPayload(report.data(), report.size()).empty()) << int(id);
    }
    EXPECT_TRUE(Cp2110Chip::dataPayload(nullptr, 0).empty());
}

// ---- the USB/IP conversation, the test in the kernel's place

class RecordingFunction final : public HidFunction
{
public:
    std::vector<uint8_t> getFeature(uint8_t id) override { return chip.getFeature(id); }
    bool setFeature(const uint8_t* data, size_t length) override { return chip.setFeature(data, length); }
    void output(const uint8_t* data, size_t length) override { outputs.emplace_back(data, data + length); }
    Cp2110Chip chip;
    std::vector<std::vector<uint8_t>> outputs;
};

struct Reply
{
    uint32_t command = 0;
    uint32_t seq = 0;
    int32_t status = 0;
    uint32_t actual = 0;
    std::vector<uint8_t> data;
};

class UsbIp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        int pair[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        kernel = pair[1];
        device = std::make_unique<UsbIpDevice>(pair[0], UsbIdentity{0x10C4, 0xEA80, 0x0100, "Maker", "Bridge", "SN42"},
                                               UsbMeter::reportDescriptor(), function);
    }
    void TearDown() override
    {
        if (kernel >= 0)
            ::close(kernel);
    }

    static void put(std::vector<uint8_t>& out, uint32_t v)
    {
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(uint8_t(v >> shift));
    }
    // A CMD_SUBMIT as vhci_hcd sends it; the device answers it at once.
    void submit(uint32_t seq, uint32_t direction, uint32_t ep, std::vector<uint8_t> setup,
                const std::vector<uint8_t>& out = {}, uint32_t length = 64)
    {
        std::vector<uint8_t> m;
        for (const uint32_t v : {1u, seq, (1u << 16) | 2u, direction, ep, 0u,
                                 direction == 1 ? length : uint32_t(out.size()), 0u, 0u, 0u})
            put(m, v);
        setup.resize(8, 0);
        m.insert(m.end(), setup.begin(), setup.end());
        m.insert(m.end(), out.begin(), out.end());
        ASSERT_EQ(::write(kernel, m.data(), m.size()), ssize_t(m.size()));
        ASSERT_TRUE(device->handleOne());
    }
    static uint32_t be(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }
    Reply reply()
    {
        uint8_t head[48];
        EXPECT_EQ(::recv(kernel, head, sizeof head, MSG_WAITALL), 48);
        Reply r{be(head), be(head + 4), int32_t(be(head + 20)), be(head + 24), {}};
        if (r.command == 3 && r.actual > 0 && r.status == 0 && lastDirection == 1) {
            r.data.resize(r.actual);
            EXPECT_EQ(::recv(kernel, r.data.data(), r.actual, MSG_WAITALL), ssize_t(r.actual));
        }
        return r;
    }
    Reply control(uint32_t seq, uint8_t type, uint8_t request, uint16_t value, uint16_t length,
                  const std::vector<uint8_t>& out = {})
    {
        lastDirection = (type & 0x80) ? 1 : 0;
        submit(seq, lastDirection, 0,
               {type, request, uint8_t(value), uint8_t(value >> 8), 0, 0, uint8_t(length), uint8_t(length >> 8)},
               out, length);
        return reply();
    }

    RecordingFunction function;
    std::unique_ptr<UsbIpDevice> device;
    int kernel = -1;
    uint32_t lastDirection = 0;
};

TEST_F(UsbIp, DescriptorsNameTheBridgeAndAreCutToTheLengthAsked)
{
    Reply r = control(1, 0x80, 6, 0x0100, 64);
    EXPECT_EQ(r.seq, 1u);
    ASSERT_EQ(r.data.size(), 18u);
    EXPECT_EQ(r.data[8] | (r.data[9] << 8), 0x10C4);
    EXPECT_EQ(r.data[10] | (r.data[11] << 8), 0xEA80);
    EXPECT_EQ(control(2, 0x80, 6, 0x0100, 8).data.size(), 8u) << "the first read of ep0's size";

    r = control(3, 0x80, 6, 0x0303, 255);
    EXPECT_THAT(r.data, ElementsAre(10, 3, 'S', 0, 'N', 0, '4', 0, '2', 0));
    r = control(4, 0x81, 6, 0x2200, 1024);
    EXPECT_EQ(r.data, UsbMeter::reportDescriptor());
    const auto config = device->configurationDescriptor();
    EXPECT_EQ(config[2] | (config[3] << 8), int(config.size())) << "total length covers every descriptor";
    EXPECT_EQ(control(5, 0x80, 6, 0x0309, 255).status, -EPIPE) << "no such string";
}

TEST_F(UsbIp, FeatureReportsTravelAsControlTransfersAndRefusalsStall)
{
    const auto config = configReport(9600);
    Reply r = control(1, 0x21, 9, 0x0350, 9, config);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.actual, 9u);
    r = control(2, 0xA1, 1, 0x0350, 64);
    EXPECT_EQ(r.data, config);

    EXPECT_EQ(control(3, 0x21, 9, 0x0350, 9, configReport(0x80250000)).status, -EPIPE);
    EXPECT_EQ(control(4, 0x21, 9, 0x0341, 2, {0x50, 0x01}).status, -EPIPE) << "id in the data differs";
    EXPECT_EQ(control(5, 0xA1, 1, 0x034F, 64).status, -EPIPE);
    EXPECT_EQ(control(6, 0xA1, 1, 0x0350, 64).data, config) << "refusals left the configuration alone";
}

TEST_F(UsbIp, InputWaitsForDataAndAnUnlinkedUrbIsNotAnsweredLater)
{
    lastDirection = 1;
    submit(10, 1, 1, {});
    submit(11, 1, 1, {});
    EXPECT_EQ(device->inputWanted(), 2u);
    ASSERT_TRUE(device->sendInput({2, 0xAB, 0xCD}));
    Reply r = reply();
    EXPECT_EQ(r.seq, 10u);
    EXPECT_EQ(r.data, (std::vector<uint8_t>{2, 0xAB, 0xCD}));

    std::vector<uint8_t> unlink;
    for (const uint32_t v : {2u, 12u, 0u, 0u, 0u, 11u})
        put(unlink, v);
    unlink.resize(48, 0);
    ASSERT_EQ(::write(kernel, unlink.data(), unlink.size()), 48);
    ASSERT_TRUE(device->handleOne());
    r = reply();
    EXPECT_EQ(r.command, 4u);
    EXPECT_EQ(r.seq, 12u);
    EXPECT_EQ(r.status, -ECONNRESET);
    EXPECT_FALSE(device->sendInput({1, 0x00})) << "nothing waits any more";
}

TEST_F(UsbIp, OutputReportsReachTheFunctionWhole)
{
    std::vector<uint8_t> report(64, 0);
    report[0] = 2;
    report[1] = 0x11;
    report[2] = 0x22;
    lastDirection = 0;
    submit(7, 0, 2, {}, report);
    const Reply r = reply();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.actual, 64u);
    ASSERT_EQ(function.outputs.size(), 1u);
    EXPECT_EQ(function.outputs[0], report);
}

TEST_F(UsbIp, ALostOrGarbledPeerEndsTheConversation)
{
    std::vector<uint8_t> huge;
    for (const uint32_t v : {1u, 1u, 0u, 0u, 2u, 0u, 0x7FFFFFFFu, 0u, 0u, 0u})
        put(huge, v);
    huge.resize(48, 0);
    ASSERT_EQ(::write(kernel, huge.data(), huge.size()), 48);
    EXPECT_FALSE(device->handleOne()) << "a transfer length no device takes";

    ::close(kernel);
    kernel = -1;
    EXPECT_FALSE(device->handleOne());
}

// ---- the meter behind the chip

class MeterBehindChip : public ::testing::Test
{
protected:
    bool set(const std::vector<uint8_t>& report) { return meter.setFeature(report.data(), report.size()); }
    // Every input report the meter has for the next `span` of time, in ticks.
    std::vector<uint8_t> collect(std::chrono::milliseconds span, size_t* reports = nullptr)
    {
        std::vector<uint8_t> bytes;
        for (auto end = clock->t + span; clock->t < end; clock->t += 4ms) {
            for (auto r = meter.nextInputReport(); !r.empty(); r = meter.nextInputReport()) {
                EXPECT_EQ(r[0], r.size() - 1) << "id = count";
                EXPECT_LE(r.size(), 64u);
                bytes.insert(bytes.end(), r.begin() + 1, r.end());
                if (reports)
                    ++*reports;
            }
        }
        return bytes;
    }

    std::shared_ptr<sim::testing::FakeClock> clock = std::make_shared<sim::testing::FakeClock>();
    std::ostringstream log;
    UsbMeter meter{clock, log};
};

TEST_F(MeterBehindChip, ConfiguredAndEnabledItDeliversFramesAtTheLinesPace)
{
    ASSERT_TRUE(set(configReport(9600)));
    ASSERT_TRUE(set({0x41, 0x01}));
    EXPECT_THAT(log.str(), HasSubstr("set 50: 00 00 25 80 00 00 03 00"));
    EXPECT_THAT(log.str(), HasSubstr("uart config 9600 bit/s, 8 data bits, parity 0, stop bits code 0"));
    size_t reports = 0;
    const auto bytes = collect(2s, &reports);
    // Two seconds of a 9600 bit/s line carry at most 1920 characters; the
    // meter sends a 35-byte frame every half second.
    EXPECT_GE(bytes.size(), 2u * 35);
    EXPECT_LE(bytes.size(), 1920u);
    EXPECT_GT(reports, 3u) << "frames come in pieces, as the line delivers them";
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xAB);
    EXPECT_EQ(bytes[1], 0xCD);
}

TEST_F(MeterBehindChip, ADisabledUartOrAWrongRateCarriesNothing)
{
    ASSERT_TRUE(set(configReport(115200)));
    ASSERT_TRUE(set({0x41, 0x01}));
    EXPECT_TRUE(collect(1500ms).empty()) << "at another rate the meter is not understood";
    ASSERT_TRUE(set({0x41, 0x00}));
    ASSERT_TRUE(set(configReport(9600)));
    EXPECT_TRUE(collect(1500ms).empty()) << "a disabled UART receives nothing";
    EXPECT_FALSE(set(configReport(0x80250000)));
    EXPECT_THAT(log.str(), HasSubstr("refused set 50: 80 25 00 00 00 00 03 00"));
}

TEST_F(MeterBehindChip, APlugInPowersTheChipUpAfreshAndDropsWhatTheLineHeld)
{
    ASSERT_TRUE(set(configReport(9600)));
    ASSERT_TRUE(set({0x41, 0x01}));
    clock->t += 2s; // frames pile up while nobody asks for input
    meter.powerUp();
    EXPECT_FALSE(meter.chip().uartEnabled);
    EXPECT_EQ(meter.chip().uartSettings().baudRate, 115200u);
    ASSERT_TRUE(set(configReport(9600)));
    ASSERT_TRUE(set({0x41, 0x01}));
    const auto bytes = collect(100ms);
    EXPECT_LT(bytes.size(), 100u) << "only what came after the plug-in, not the pile";
}

TEST_F(MeterBehindChip, CommandsInOutputReportsReachTheMeter)
{
    ASSERT_TRUE(set(configReport(9600)));
    ASSERT_TRUE(set({0x41, 0x01}));
    const uint8_t before = meter.line().meterFunctionCode();
    auto frame = sim::testing::CommandFrame(protocol::kCmdSelect);
    frame.insert(frame.begin(), uint8_t(frame.size()));
    frame.resize(64, 0); // padded, as the bridge library sends it
    meter.output(frame.data(), frame.size());
    (void)collect(100ms);
    meter.logMeterChanges();
    EXPECT_NE(meter.line().meterFunctionCode(), before);
    EXPECT_THAT(log.str(), HasSubstr("uart out: ab cd 04"));
    EXPECT_THAT(log.str(), HasSubstr("meter function 30 -> 31"));
}

} // namespace
} // namespace varnetta::usbmeter

#include "FakeClock.h"
#include "SimBridge.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace varnetta::simbridge {
namespace {

using namespace std::chrono_literals;
using sim::testing::CommandFrame;
namespace proto = varnetta::protocol;

using sim::testing::FakeClock;

constexpr Nanos kChar{1041667}; // one 8N1 character at 9600 bit/s, rounded up

class Bridge : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(bridge.Open(&dev, 0, 0, 0), HID_UART_SUCCESS);
        ASSERT_EQ(bridge.SetUartConfig(dev, 9600, HID_UART_EIGHT_DATA_BITS, HID_UART_NO_PARITY,
                                       HID_UART_SHORT_STOP_BIT, HID_UART_NO_FLOW_CONTROL),
                  HID_UART_SUCCESS);
        ASSERT_EQ(bridge.SetTimeouts(dev, 0, 500), HID_UART_SUCCESS);
    }
    HID_UART_STATUS read(std::vector<uint8_t>& out, uint32_t n = 2048)
    {
        out.assign(n, 0);
        uint32_t got = 0;
        const HID_UART_STATUS s = bridge.Read(dev, out.data(), n, &got);
        out.resize(got);
        return s;
    }
    HID_UART_STATUS write(std::vector<uint8_t> bytes, uint32_t* sent = nullptr)
    {
        uint32_t n = 0;
        const HID_UART_STATUS s = bridge.Write(dev, bytes.data(), uint32_t(bytes.size()), &n);
        if (sent)
            *sent = n;
        return s;
    }

    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    SimBridge bridge{clock};
    HID_UART_DEVICE dev = nullptr;
};

// --- enumeration and strings ----------------------------------------------

TEST(SimBridgeDevice, ListsOneBridgeWithItsSerialAndPath)
{
    SimBridge bridge(std::make_shared<FakeClock>());
    const struct
    {
        uint16_t vid, pid;
        uint32_t count;
    } filters[] = {{0, 0, 1}, {0x10C4, 0xEA80, 1}, {0x10C4, 0, 1}, {0x10C4, 0xEAB0, 0}, {0x1234, 0, 0}};
    for (const auto& f : filters) {
        uint32_t n = 99;
        EXPECT_EQ(bridge.GetNumDevices(&n, f.vid, f.pid), HID_UART_SUCCESS);
        EXPECT_EQ(n, f.count) << std::hex << f.vid << ":" << f.pid;
    }
    char text[HID_UART_DEVICE_STRLEN] = {};
    EXPECT_EQ(bridge.GetString(0, 0, 0, text, HID_UART_GET_SERIAL_STR), HID_UART_SUCCESS);
    EXPECT_STREQ(text, "VARNETTA-SIM");
    EXPECT_EQ(bridge.GetString(0, 0, 0, text, HID_UART_GET_PATH_STR), HID_UART_SUCCESS);
    EXPECT_STREQ(text, "sim:VARNETTA-SIM");
    EXPECT_EQ(bridge.GetString(1, 0, 0, text, HID_UART_GET_SERIAL_STR), HID_UART_DEVICE_NOT_FOUND);
    EXPECT_EQ(bridge.GetString(0, 0, 0, text, 9), HID_UART_INVALID_PARAMETER);
    EXPECT_EQ(bridge.GetNumDevices(nullptr, 0, 0), HID_UART_INVALID_PARAMETER);

    uint8_t guid[16] = {};
    EXPECT_EQ(SimBridge::GetHidGuid(guid), HID_UART_SUCCESS);
    EXPECT_EQ(guid[0], 0xB2);
    EXPECT_EQ(guid[15], 0x30);
}

TEST(SimBridgeDevice, OpensOnceWithChipDefaultsAndRefusesCallsOnAClosedHandle)
{
    SimBridge bridge(std::make_shared<FakeClock>());
    HID_UART_DEVICE dev = nullptr;
    EXPECT_EQ(bridge.Open(&dev, 1, 0, 0), HID_UART_DEVICE_NOT_FOUND);
    ASSERT_EQ(bridge.Open(&dev, 0, 0, 0), HID_UART_SUCCESS);
    HID_UART_DEVICE second = nullptr;
    EXPECT_EQ(bridge.Open(&second, 0, 0, 0), HID_UART_DEVICE_ACCESS_ERROR);

    uint8_t part = 0, version = 0;
    EXPECT_EQ(bridge.GetPartNumber(dev, &part, &version), HID_UART_SUCCESS);
    EXPECT_EQ(part, HID_UART_PART_CP2110);
    char path[HID_UART_DEVICE_STRLEN] = {};
    EXPECT_EQ(bridge.GetOpenedString(dev, path, HID_UART_GET_PATH_STR), HID_UART_SUCCESS);
    EXPECT_STREQ(path, "sim:VARNETTA-SIM");

    uint32_t baud = 0;
    uint8_t bits = 9, parity = 9, stop = 9, flow = 9;
    EXPECT_EQ(bridge.GetUartConfig(dev, &baud, &bits, &parity, &stop, &flow), HID_UART_SUCCESS);
    EXPECT_EQ(baud, kDefaultBaudRate);
    EXPECT_EQ(bridge.SetUartConfig(dev, 9600, 3, 0, 1, 0), HID_UART_SUCCESS);
    EXPECT_EQ(bridge.GetUartConfig(dev, &baud, &bits, &parity, &stop, &flow), HID_UART_SUCCESS);
    EXPECT_EQ(baud, 9600u);
    EXPECT_EQ(bits, 3);
    EXPECT_EQ(stop, 1);
    const struct
    {
        uint32_t baud;
        uint8_t bits, parity, stop, flow;
    } invalid[] = {{299, 3, 0, 0, 0},  {1000001, 3, 0, 0, 0}, {600000, 0, 0, 0, 0}, {9600, 4, 0, 0, 0},
                   {9600, 3, 5, 0, 0}, {9600, 3, 0, 2, 0},    {9600, 3, 0, 0, 2}};
    for (const auto& c : invalid)
        EXPECT_EQ(bridge.SetUartConfig(dev, c.baud, c.bits, c.parity, c.stop, c.flow),
                  HID_UART_INVALID_PARAMETER)
            << c.baud;

    EXPECT_EQ(bridge.Close(dev), HID_UART_SUCCESS);
    EXPECT_EQ(bridge.Close(dev), HID_UART_INVALID_DEVICE_OBJECT);
    uint8_t buf[8];
    uint32_t n = 7;
    EXPECT_EQ(bridge.Read(dev, buf, 8, &n), HID_UART_INVALID_DEVICE_OBJECT);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(bridge.Write(dev, buf, 8, &n), HID_UART_INVALID_DEVICE_OBJECT);
    EXPECT_EQ(bridge.GetOpenedString(dev, path, HID_UART_GET_PATH_STR), HID_UART_INVALID_DEVICE_OBJECT);
    EXPECT_EQ(bridge.GetPartNumber(nullptr, &part, &version), HID_UART_INVALID_DEVICE_OBJECT);
}

TEST(SimBridgeDevice, AMismatchedUartHearsNothingFromTheMeter)
{
    auto clock = std::make_shared<FakeClock>();
    SimBridge bridge(clock);
    HID_UART_DEVICE dev = nullptr;
    ASSERT_EQ(bridge.Open(&dev, 0, 0, 0), HID_UART_SUCCESS); // left at the chip's 115200
    clock->t = 3s;
    uint8_t buf[256];
    uint32_t got = 0;
    EXPECT_EQ(bridge.Read(dev, buf, sizeof buf, &got), HID_UART_READ_TIMED_OUT);
    EXPECT_EQ(got, 0u);
    EXPECT_GT(bridge.bytesLost(), 0u);
}

// --- timing ---------------------------------------------------------------

TEST_F(Bridge, AZeroTimeoutReadPollsOnceAndReturnsTheBytesTheLineHasDelivered)
{
    std::vector<uint8_t> got;
    EXPECT_EQ(read(got), HID_UART_READ_TIMED_OUT);
    EXPECT_TRUE(got.empty());
    // The frame due at 0 s went out while nobody had the device open; the
    // next one starts at 0.5 s and arrives one character at a time.
    const Nanos start = sim::MeterSimulator::kFramePeriod;
    const struct
    {
        Nanos at;
        size_t total;
    } steps[] = {{start + kChar - Nanos(10), 0},
                 {start + kChar, 1},
                 {start + kChar * 17, 17},
                 {start + kChar * 35, 35}};
    size_t total = 0;
    std::vector<uint8_t> frame;
    for (const auto& s : steps) {
        clock->t = s.at;
        EXPECT_EQ(read(got), HID_UART_READ_TIMED_OUT) << "2048 bytes asked, fewer there";
        total += got.size();
        frame.insert(frame.end(), got.begin(), got.end());
        EXPECT_EQ(total, s.total);
    }
    EXPECT_EQ(clock->waits, 0) << "a zero time-out never waits";
    EXPECT_TRUE(proto::CheckFrame(sim::testing::Bytes(frame)));
}

TEST_F(Bridge, AReadWithATimeoutWaitsExactlyUntilItsBytesAreInOrItsDeadline)
{
    ASSERT_EQ(bridge.SetTimeouts(dev, 1000, 500), HID_UART_SUCCESS);
    std::vector<uint8_t> got;
    EXPECT_EQ(read(got, 35), HID_UART_SUCCESS);
    EXPECT_EQ(got.size(), 35u);
    const Nanos done = sim::MeterSimulator::kFramePeriod + kChar * 35;
    EXPECT_LE(clock->t, done);
    EXPECT_GE(clock->t, done - Nanos(35));

    ASSERT_EQ(bridge.SetTimeouts(dev, 200, 500), HID_UART_SUCCESS);
    const Nanos before = clock->t;
    EXPECT_EQ(read(got, 100), HID_UART_READ_TIMED_OUT);
    EXPECT_TRUE(got.empty()) << "the next frame is not due before the deadline";
    EXPECT_EQ(clock->t, before + 200ms);
}

TEST_F(Bridge, RequestLengthsOutsideTheLimitsAreRefused)
{
    uint8_t buf[8] = {};
    uint32_t n = 5;
    EXPECT_EQ(bridge.Read(dev, buf, 0, &n), HID_UART_INVALID_REQUEST_LENGTH);
    EXPECT_EQ(bridge.Read(dev, buf, HID_UART_MAX_READ_SIZE + 1, &n), HID_UART_INVALID_REQUEST_LENGTH);
    EXPECT_EQ(bridge.Write(dev, buf, 0, &n), HID_UART_INVALID_REQUEST_LENGTH);
    EXPECT_EQ(bridge.Write(dev, buf, HID_UART_MAX_WRITE_SIZE + 1, &n), HID_UART_INVALID_REQUEST_LENGTH);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(bridge.Read(dev, buf, 8, nullptr), HID_UART_INVALID_PARAMETER);
}

TEST_F(Bridge, AWriteFillsTheTransmitFifoAndTimesOutWithWhatTheLineTookMeanwhile)
{
    uint32_t sent = 0;
    ASSERT_EQ(bridge.SetTimeouts(dev, 0, 0), HID_UART_SUCCESS);
    EXPECT_EQ(write(CommandFrame(proto::kCmdHold), &sent), HID_UART_WRITE_TIMED_OUT);
    EXPECT_EQ(sent, 0u) << "no time at all sends nothing";

    ASSERT_EQ(bridge.SetTimeouts(dev, 0, 500), HID_UART_SUCCESS);
    EXPECT_EQ(write(std::vector<uint8_t>(1000, 0x00), &sent), HID_UART_WRITE_TIMED_OUT);
    // 480 at once, then one for each character the line drained from the
    // FIFO before the deadline; the 480th drains exactly at it.
    EXPECT_EQ(sent, 480u + 479u);
}

TEST_F(Bridge, ACommandReachesTheMeterAfterItsSevenCharacterTimes)
{
    // Sent so late that it is still on the line when the frame is due.
    clock->t = sim::MeterSimulator::kFramePeriod - kChar * 5;
    ASSERT_EQ(write(CommandFrame(proto::kCmdSelect)), HID_UART_SUCCESS);
    ASSERT_EQ(bridge.SetTimeouts(dev, 2000, 500), HID_UART_SUCCESS);
    std::vector<uint8_t> got;
    ASSERT_EQ(read(got, 35), HID_UART_SUCCESS);
    EXPECT_EQ(got[4], 0x30) << "the frame at 0.5 s left before the key arrived";
    ASSERT_EQ(read(got, 35), HID_UART_SUCCESS);
    EXPECT_EQ(got[4], 0x31);
    EXPECT_EQ(bridge.meterFunctionCode(), 0x31);
}

TEST_F(Bridge, ADownloadTakesExactlyTheLineTimeOfItsFrames)
{
    // Between two live frames, so none of them shares the line.
    clock->t = 600ms;
    std::vector<uint8_t> got;
    ASSERT_EQ(read(got), HID_UART_READ_TIMED_OUT); // the live frame of 0.5 s
    const Nanos start = clock->t;
    ASSERT_EQ(bridge.SetTimeouts(dev, 5000, 500), HID_UART_SUCCESS);
    ASSERT_EQ(write(CommandFrame(proto::kCmdExportData)), HID_UART_SUCCESS);
    const size_t records = bridge.meterMemoryCount();
    size_t runs = 1;
    for (size_t i = 0; i < records; ++i) {
        ASSERT_EQ(read(got, 35), HID_UART_SUCCESS) << i;
        EXPECT_EQ(got[3], proto::kFrameTypeMemory);
        ASSERT_EQ(write(CommandFrame(proto::kCmdExportAck)), HID_UART_SUCCESS);
        runs += 2;
    }
    ASSERT_EQ(read(got, 9), HID_UART_SUCCESS);
    EXPECT_EQ(got[4], proto::kExportEndCode);
    ++runs;
    // 7 + records x (35 + 7) + 9 characters back to back on the two lines.
    const double chars = 7.0 + double(records) * 42.0 + 9.0;
    const double expectedNs = chars * 1e10 / 9600.0;
    EXPECT_NEAR(double((clock->t - start).count()), expectedNs, double(runs) * 2.0);
}

// With the monotonic clock: a read blocked in one thread ends when another
// thread closes the device.
TEST(SimBridgeThreads, CloseEndsARead)
{
    SimBridge bridge(std::make_shared<SteadyClock>());
    HID_UART_DEVICE dev = nullptr;
    ASSERT_EQ(bridge.Open(&dev, 0, 0, 0), HID_UART_SUCCESS);
    ASSERT_EQ(bridge.SetTimeouts(dev, 600000, 500), HID_UART_SUCCESS);
    std::atomic<HID_UART_STATUS> status{-1};
    std::thread reader([&] {
        std::vector<uint8_t> buf(HID_UART_MAX_READ_SIZE);
        uint32_t got = 0;
        status = bridge.Read(dev, buf.data(), uint32_t(buf.size()), &got);
    });
    // Let the reader get into its wait; a write in between must not disturb it.
    uint8_t cmd[7];
    const auto frame = CommandFrame(proto::kCmdHold);
    std::copy(frame.begin(), frame.end(), cmd);
    uint32_t sent = 0;
    EXPECT_EQ(bridge.Write(dev, cmd, 7, &sent), HID_UART_SUCCESS);
    EXPECT_EQ(bridge.Close(dev), HID_UART_SUCCESS);
    reader.join();
    EXPECT_TRUE(status == HID_UART_READ_ERROR || status == HID_UART_INVALID_DEVICE_OBJECT) << status;
}

} // namespace
} // namespace varnetta::simbridge

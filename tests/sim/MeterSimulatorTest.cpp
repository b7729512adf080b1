#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace varnetta::sim {
namespace {

using namespace testing;
namespace proto = varnetta::protocol;

uint8_t FunctionAfterPresses(uint8_t key, int presses)
{
    SimDriver d;
    for (int i = 0; i < presses; ++i)
        (void)d.press(key);
    return d.nextReading().code;
}

// --- reading frames -------------------------------------------------------

TEST(ReadingFrames, ComeTwiceASecondWithTheFullLayoutAndARightChecksum)
{
    SimDriver d;
    std::vector<DecodedFrame> frames;
    for (int i = 0; i < 6; ++i) {
        const auto part = d.runFor(std::chrono::seconds(10));
        frames.insert(frames.end(), part.begin(), part.end());
    }
    ASSERT_EQ(frames.size(), 121u); // at 0 s, 0.5 s, ... 60 s
    for (size_t i = 0; i < frames.size(); ++i) {
        const DecodedFrame& f = frames[i];
        SCOPED_TRACE(i);
        ASSERT_EQ(f.bytes.size(), proto::kFrameSize);
        EXPECT_EQ(uint8_t(f.bytes[0]), 0xAB);
        EXPECT_EQ(uint8_t(f.bytes[1]), 0xCD);
        EXPECT_EQ(f.type, proto::kFrameTypeReading);
        EXPECT_EQ(f.code, 0x30);
        EXPECT_TRUE(proto::CheckFrame(f.bytes));
        // Only the trailer may hold CR LF, or the program would cut the frame short.
        EXPECT_EQ(f.bytes.indexOf("\r\n"), proto::kFrameSize - 2);
        for (int b = 0; b < proto::kBodySize; ++b) {
            EXPECT_TRUE(f.bytes[proto::kBodyOffset + b] >= 0x20 && f.bytes[proto::kBodyOffset + b] < 0x7F);
        }
        if (i > 0) {
            EXPECT_EQ(f.at - frames[i - 1].at, MeterSimulator::kFramePeriod);
        }
    }
}

TEST(ReadingFrames, AMeterNobodyReadsKeepsOnlyItsLatestFrames)
{
    SimDriver d;
    const auto frames = d.runFor(std::chrono::hours(2));
    ASSERT_EQ(frames.size(), MeterSimulator::kMaxQueuedFrames);
    EXPECT_EQ(frames.back().at, d.t);
}

TEST(ReadingFrames, ShowMainsValuesThatDriftWithPowerFromVoltsAmpsAndFactor)
{
    SimDriver d;
    std::set<QByteArray> voltTexts;
    for (const DecodedFrame& f : d.runFor(std::chrono::seconds(120))) {
        const double kw = Number(f.texts.Value);
        const double v = Number(f.texts.SubValue1);
        const double a = Number(f.texts.SubValue2);
        voltTexts.insert(f.texts.SubValue1);
        EXPECT_GT(v, 215);
        EXPECT_LT(v, 245);
        EXPECT_GT(a, 0.2);
        EXPECT_LT(a, 15);
        const double pf = kw * 1000.0 / (v * a);
        EXPECT_GT(pf, 0.5);
        EXPECT_LE(pf, 1.0);
        EXPECT_TRUE(HasBit(f.status, kBitHazard)) << "hazard symbol above 30 V";
    }
    EXPECT_GT(voltTexts.size(), 10u) << "the voltage should drift";
}

TEST(ReadingFrames, FrequencyAndFactorFunctionsReadAsMains)
{
    SimDriver d;
    (void)d.press(proto::kCmdSelect);
    (void)d.press(proto::kCmdSelect);
    (void)d.press(proto::kCmdSelect);
    const DecodedFrame pf = d.nextReading();
    ASSERT_EQ(pf.code, 0x33);
    EXPECT_GT(Number(pf.texts.Value), 0.5);
    EXPECT_LE(Number(pf.texts.Value), 1.0);
    (void)d.press(proto::kCmdSelect);
    const DecodedFrame rf = d.nextReading();
    EXPECT_NEAR(std::hypot(Number(pf.texts.Value), Number(rf.texts.Value)), 1.0, 0.05);
    (void)d.press(proto::kCmdSelect);
    (void)d.press(proto::kCmdSelect);
    const DecodedFrame hz = d.nextReading();
    ASSERT_EQ(hz.code, 0x36);
    EXPECT_NEAR(Number(hz.texts.Value), 50.0, 0.5);
}

TEST(ReadingFrames, EnergyCountsUpWithTheElapsedTimeInMinutesAndSeconds)
{
    SimDriver d;
    for (int i = 0; i < 7; ++i)
        (void)d.press(proto::kCmdSelect);
    double last = -1;
    DecodedFrame f;
    for (int minute = 0; minute < 10; ++minute) {
        (void)d.runFor(std::chrono::seconds(60));
        f = d.nextReading();
        ASSERT_EQ(f.code, 0x37);
        const double kwh = Number(f.texts.Value);
        EXPECT_GE(kwh, last);
        last = kwh;
        EXPECT_FALSE(HasBit(f.status, kBitHoursMinutes));
    }
    // About 1 kW for ten minutes.
    EXPECT_GT(last, 0.05);
    EXPECT_LT(last, 0.5);
    const double elapsed = Number(f.texts.SubValue2); // minutes.seconds
    EXPECT_EQ(int(elapsed), 10);
    (void)d.runFor(std::chrono::minutes(55));
    EXPECT_TRUE(HasBit(d.nextReading().status, kBitHoursMinutes)) << "past an hour the time is h:mm";
}

// --- keys -----------------------------------------------------------------

TEST(Keys, SelectStepsThroughThePowerFunctionsAndHarmThroughTheHarmonicOnes)
{
    const uint8_t select[] = {0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x30};
    for (int i = 0; i < int(std::size(select)); ++i)
        EXPECT_EQ(FunctionAfterPresses(proto::kCmdSelect, i), select[i]) << i << " presses";
    const uint8_t harm[] = {0x30, 0x39, 0x61, 0x62, 0x63, 0x64, 0x65, 0x39};
    for (int i = 0; i < int(std::size(harm)); ++i)
        EXPECT_EQ(FunctionAfterPresses(proto::kCmdHarm, i), harm[i]) << i << " presses";
}

TEST(Keys, UpAndDownChangeTheHarmonicOrderInTheSmallDisplay)
{
    SimDriver d;
    (void)d.press(proto::kCmdUp); // no harmonic function: nothing to step
    EXPECT_EQ(d.meter.harmonicOrder(), 1);
    for (int i = 0; i < 3; ++i)
        (void)d.press(proto::kCmdHarm); // VHARM
    EXPECT_EQ(d.nextReading().texts.Display0, "  1");
    (void)d.press(proto::kCmdUp);
    (void)d.press(proto::kCmdUp);
    const DecodedFrame third = d.nextReading();
    EXPECT_EQ(third.texts.Display0, "  3");
    (void)d.press(proto::kCmdDown);
    (void)d.press(proto::kCmdDown);
    (void)d.press(proto::kCmdDown);
    EXPECT_EQ(d.nextReading().texts.Display0, " 50") << "Down below the fundamental wraps to the top order";
}

TEST(Keys, HarmonicLevelsFallWithTheOrder)
{
    SimDriver d;
    for (int i = 0; i < 3; ++i)
        (void)d.press(proto::kCmdHarm);
    EXPECT_NEAR(Number(d.nextReading().texts.SubValue2), 100.0, 0.01) << "the fundamental is 100 %";
    double previous = 100.0;
    for (int order = 3; order <= 15; order += 2) {
        (void)d.press(proto::kCmdUp);
        (void)d.press(proto::kCmdUp);
        const DecodedFrame f = d.nextReading();
        ASSERT_EQ(Number(f.texts.Display0), order);
        const double level = Number(f.texts.SubValue2);
        EXPECT_GT(level, 0.0);
        EXPECT_LT(level, previous) << "order " << order;
        previous = level;
    }
}

TEST(Keys, HoldFreezesTheValuesAndSetsTheHoldBitUntilPressedAgain)
{
    SimDriver d;
    (void)d.press(proto::kCmdHold);
    const auto held = d.runFor(std::chrono::seconds(20));
    ASSERT_FALSE(held.empty());
    for (const DecodedFrame& f : held) {
        EXPECT_TRUE(HasBit(f.status, kBitHold));
        EXPECT_EQ(f.bytes.mid(proto::kBodyOffset, proto::kBodySize),
                  held.front().bytes.mid(proto::kBodyOffset, proto::kBodySize));
    }
    (void)d.press(proto::kCmdHold);
    std::set<QByteArray> bodies;
    for (const DecodedFrame& f : d.runFor(std::chrono::seconds(20))) {
        EXPECT_FALSE(HasBit(f.status, kBitHold));
        bodies.insert(f.bytes.mid(proto::kBodyOffset, proto::kBodySize));
    }
    EXPECT_GT(bodies.size(), 1u);
}

TEST(Keys, MaxMinCurStepsMaxMinAndCurrentAndExitStatusClearsThem)
{
    SimDriver d;
    (void)d.press(proto::kCmdMaxMinCur);
    double highest = 0;
    for (const DecodedFrame& f : d.runFor(std::chrono::seconds(30))) {
        EXPECT_TRUE(HasBit(f.status, kBitMax));
        EXPECT_FALSE(HasBit(f.status, kBitMin));
        const double v = Number(f.texts.SubValue1);
        EXPECT_GE(v, highest) << "the maximum never falls";
        highest = v;
    }
    (void)d.press(proto::kCmdMaxMinCur);
    const Status min = d.nextReading().status;
    EXPECT_TRUE(HasBit(min, kBitMin));
    EXPECT_FALSE(HasBit(min, kBitMax));
    (void)d.press(proto::kCmdMaxMinCur);
    const Status cur = d.nextReading().status;
    EXPECT_FALSE(HasBit(cur, kBitMin) || HasBit(cur, kBitMax));

    (void)d.press(proto::kCmdMaxMinCur);
    (void)d.press(proto::kCmdHold);
    (void)d.press(proto::kCmdExitStatus);
    const Status cleared = d.nextReading().status;
    EXPECT_FALSE(HasBit(cleared, kBitMax) || HasBit(cleared, kBitHold));
}

TEST(Keys, SaveDataStoresTheCurrentReadingAndShowsMem)
{
    SimDriver d;
    (void)d.press(proto::kCmdHarm);
    (void)d.runFor(std::chrono::seconds(3));
    const size_t before = d.meter.memory().size();
    (void)d.press(proto::kCmdSaveData);
    ASSERT_EQ(d.meter.memory().size(), before + 1);
    EXPECT_EQ(d.meter.memory().back().code, 0x39);
    EXPECT_TRUE(HasBit(d.nextReading().status, kBitMem));
    (void)d.runFor(std::chrono::seconds(5));
    EXPECT_FALSE(HasBit(d.nextReading().status, kBitMem)) << "MEM shows only briefly";
}

TEST(Keys, AutoSaveDataStoresOneReadingASecondUntilStopAuto)
{
    SimDriver d;
    const size_t before = d.meter.memory().size();
    (void)d.press(proto::kCmdAutoSaveData);
    (void)d.runFor(std::chrono::milliseconds(5500));
    EXPECT_EQ(d.meter.memory().size(), before + 6); // at 0 s and each second to 5 s
    EXPECT_TRUE(HasBit(d.nextReading().status, kBitMem));
    (void)d.press(proto::kCmdSaveData); // its first function: StopAuto
    const size_t stopped = d.meter.memory().size();
    (void)d.runFor(std::chrono::seconds(5));
    EXPECT_EQ(d.meter.memory().size(), stopped);
}

TEST(Keys, AutoSaveStopsWhenTheMemoryIsFull)
{
    SimDriver d;
    (void)d.press(proto::kCmdAutoSaveData);
    (void)d.runFor(std::chrono::seconds(200));
    EXPECT_EQ(d.meter.memory().size(), MeterSimulator::kMemoryCapacity);
    EXPECT_FALSE(d.meter.autoSaving());
    EXPECT_TRUE(HasBit(d.nextReading().status, kBitMemFull));
    (void)d.press(proto::kCmdSaveData);
    EXPECT_EQ(d.meter.memory().size(), MeterSimulator::kMemoryCapacity);
}

TEST(Keys, ClearMemoryEmptiesItAndShowsClrBriefly)
{
    SimDriver d;
    ASSERT_EQ(d.meter.memory().size(), MeterSimulator::kInitialRecords);
    (void)d.press(proto::kCmdClearMem);
    EXPECT_TRUE(d.meter.memory().empty());
    EXPECT_TRUE(HasBit(d.nextReading().status, kBitMemClear));
    (void)d.runFor(std::chrono::seconds(5));
    EXPECT_FALSE(HasBit(d.nextReading().status, kBitMemClear));
}

TEST(Keys, AutoPowerItemsSetItsSymbol)
{
    const struct
    {
        uint8_t code;
        bool shown;
    } cases[] = {{proto::kCmdAutoPower10, true},
                 {proto::kCmdAutoPowerOff, false},
                 {proto::kCmdAutoPower20, true},
                 {proto::kCmdAutoPower30, true}};
    SimDriver d;
    EXPECT_FALSE(HasBit(d.nextReading().status, kBitAutoPower));
    for (const auto& c : cases) {
        (void)d.press(c.code);
        EXPECT_EQ(HasBit(d.nextReading().status, kBitAutoPower), c.shown) << int(c.code);
    }
}

TEST(Keys, OtherCodesAreAcceptedWithoutVisibleEffect)
{
    const uint8_t codes[] = {proto::kCmdMenu,
                             proto::kCmdSum,
                             proto::kCmdBackLightOff,
                             proto::kCmdBackLight30,
                             proto::kCmdFreqModeAuto,
                             proto::kCmdFreqMode60,
                             proto::kCmdBackLight,
                             proto::kCmdAutoLoadMem,
                             proto::kCmdLoadMem,
                             proto::kCmdExportAck,
                             0x00,
                             0xFF};
    for (uint8_t code : codes) {
        SimDriver d;
        const Status before = d.nextReading().status;
        EXPECT_TRUE(d.press(code).empty()) << int(code);
        const DecodedFrame after = d.nextReading();
        EXPECT_EQ(after.status, before) << int(code);
        EXPECT_EQ(after.code, 0x30);
        EXPECT_EQ(d.meter.memory().size(), MeterSimulator::kInitialRecords);
        EXPECT_EQ(d.meter.commandsAccepted(), 1u);
    }
}

TEST(CommandFrames, BadChecksumsAndJunkAreSkippedAndSplitFramesJoined)
{
    SimDriver d;
    auto bad = CommandFrame(proto::kCmdSelect);
    bad[6] ^= 0x01;
    d.meter.receive(d.t, bad);
    EXPECT_EQ(d.meter.functionCode(), 0x30);
    EXPECT_EQ(d.meter.commandsAccepted(), 0u);

    std::vector<uint8_t> junkThenFrame{0x00, 0xAB, 0x13};
    const auto good = CommandFrame(proto::kCmdSelect, 200);
    junkThenFrame.insert(junkThenFrame.end(), good.begin(), good.end());
    d.meter.receive(d.t, junkThenFrame.data(), 5);
    EXPECT_EQ(d.meter.functionCode(), 0x30) << "half a frame does nothing yet";
    d.meter.receive(d.t, junkThenFrame.data() + 5, junkThenFrame.size() - 5);
    EXPECT_EQ(d.meter.functionCode(), 0x31);
    EXPECT_EQ(d.meter.commandsAccepted(), 1u);
}

// --- memory export --------------------------------------------------------

TEST(Export, SendsEachRecordOnlyAfterTheAckThenTheEndFrame)
{
    SimDriver d;
    (void)d.runFor(std::chrono::seconds(1));
    const std::vector<MemoryRecord> memory = d.meter.memory();
    ASSERT_EQ(memory.size(), MeterSimulator::kInitialRecords);

    auto answer = d.press(proto::kCmdExportData);
    std::set<uint8_t> codes;
    for (size_t i = 0; i < memory.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(answer.size(), 1u);
        const DecodedFrame& f = answer.front();
        EXPECT_EQ(f.at, d.t) << "the record goes out as the ack arrives";
        EXPECT_EQ(f.type, proto::kFrameTypeMemory);
        EXPECT_EQ(f.code, memory[i].code) << "each record carries its own function";
        EXPECT_TRUE(proto::CheckFrame(f.bytes));
        EXPECT_EQ(f.bytes.size(), proto::kFrameSize);
        EXPECT_EQ(f.bytes.mid(proto::kBodyOffset, proto::kBodySize),
                  QByteArray(reinterpret_cast<const char*>(memory[i].body.data()), proto::kBodySize));
        codes.insert(f.code);
        // Without an ack nothing more comes, not even live readings.
        EXPECT_TRUE(d.runFor(std::chrono::seconds(3)).empty());
        answer = d.press(proto::kCmdExportAck);
    }
    EXPECT_EQ(codes.size(), 15u) << "the stored records cover every function";
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(answer.front().type, proto::kFrameTypeMemory);
    EXPECT_EQ(answer.front().code, proto::kExportEndCode);
    EXPECT_TRUE(proto::CheckFrame(answer.front().bytes));
    EXPECT_FALSE(d.meter.exporting());

    // The program's ack of the end frame starts nothing; live readings resume.
    EXPECT_TRUE(d.press(proto::kCmdExportAck).empty());
    EXPECT_EQ(d.nextReading().type, proto::kFrameTypeReading);
    EXPECT_EQ(d.meter.memory().size(), memory.size()) << "an export leaves the memory as it was";
}

TEST(Export, EmptyMemoryAnswersWithTheEndFrameAtOnce)
{
    SimDriver d;
    (void)d.press(proto::kCmdClearMem);
    const auto answer = d.press(proto::kCmdExportData);
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(answer.front().code, proto::kExportEndCode);
}

TEST(Export, AnExportNobodyAcknowledgesIsGivenUp)
{
    SimDriver d;
    (void)d.runFor(std::chrono::seconds(1));
    ASSERT_EQ(d.press(proto::kCmdExportData).size(), 1u);
    (void)d.runFor(MeterSimulator::kExportAckTimeout + std::chrono::seconds(1));
    EXPECT_FALSE(d.meter.exporting());
    EXPECT_EQ(d.nextReading().type, proto::kFrameTypeReading);
    EXPECT_TRUE(d.press(proto::kCmdExportAck).empty()) << "a late ack sends nothing";
}

} // namespace
} // namespace varnetta::sim

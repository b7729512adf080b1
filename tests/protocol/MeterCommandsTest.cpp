#include "protocol/MeterCommands.h"
#include "protocol/MeterFrame.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace varnetta::protocol;

TEST(MeterCommandTable, CodesAndControlsAreUnique)
{
    std::set<uint8_t> codes;
    std::set<std::string_view> controls;
    for (const auto& c : kMeterCommands) {
        EXPECT_TRUE(codes.insert(c.code).second) << int(c.code);
        if (!c.control.empty()) {
            EXPECT_TRUE(controls.insert(c.control).second) << c.control;
        }
    }
}

TEST(MeterCommandTable, SecondFunctionsAreTheirKeyWithBitSeven)
{
    const std::pair<const char*, const char*> pairs[] = {
        {"SpeedButton1", "btnCmdHold"},          {"btnCmdAutoLoadMem", "btnCmdLoadMem"},
        {"btnCmdClearMem", "btnCmdSum"},         {"btnCmdAutoSaveData", "btnCmdSaveData"},
        {"btnCmdExitStatus", "btnCmdMaxMinCur"},
    };
    for (const auto& [second, key] : pairs) {
        const auto* s = FindMeterCommandByControl(second);
        const auto* k = FindMeterCommandByControl(key);
        ASSERT_NE(s, nullptr) << second;
        ASSERT_NE(k, nullptr) << key;
        EXPECT_EQ(s->code, 0x80 | k->code) << second;
    }
}

TEST(MeterCommandTable, LookupFindsTheEntryOrNothing)
{
    ASSERT_NE(FindMeterCommand(0x53), nullptr);
    EXPECT_EQ(FindMeterCommand(0x53)->control, "miBackLight30");
    EXPECT_EQ(FindMeterCommand(0x53)->caption, "30s");
    EXPECT_EQ(FindMeterCommand(0x53)->menu, TCommandMenu::BackLight);
    EXPECT_EQ(FindMeterCommand(0x41), nullptr);
    EXPECT_EQ(FindMeterCommand(0xC3), nullptr);
    // The acknowledgement has no control, and an empty name finds nothing.
    EXPECT_EQ(FindMeterCommandByControl(""), nullptr);
    EXPECT_EQ(FindMeterCommandByControl("btnCmdLight"), nullptr);
    EXPECT_EQ(FindMeterCommandByControl("btnExportData")->code, kCmdExportData);
}

TEST(MeterCommandTable, MenusHoldTheirSettings)
{
    int counts[4] = {};
    for (const auto& c : kMeterCommands)
        ++counts[int(c.menu)];
    EXPECT_EQ(counts[int(TCommandMenu::AutoPower)], 4);
    EXPECT_EQ(counts[int(TCommandMenu::BackLight)], 4);
    EXPECT_EQ(counts[int(TCommandMenu::FreqMode)], 3);
}

TEST(CommandFrame, EveryTableCodeBuildsSevenCheckedBytes)
{
    TCommandSequencer sequencer;
    uint32_t seq = 1;
    for (const auto& c : kMeterCommands) {
        const QByteArray frame = sequencer.BuildCommandFrame(c.code);
        ASSERT_EQ(frame.size(), kCommandFrameSize);
        EXPECT_EQ(uint8_t(frame[0]), 0xAB);
        EXPECT_EQ(uint8_t(frame[1]), 0xCD);
        EXPECT_EQ(uint8_t(frame[2]), 0x04);
        EXPECT_EQ(uint8_t(frame[3]), c.code);
        EXPECT_EQ(uint8_t(frame[4]), seq);
        const uint32_t sum = 0xAB + 0xCD + 0x04 + c.code + seq;
        EXPECT_EQ(uint8_t(frame[5]), (sum >> 8) & 0xFF) << int(c.code);
        EXPECT_EQ(uint8_t(frame[6]), sum & 0xFF) << int(c.code);
        ++seq;
    }
}

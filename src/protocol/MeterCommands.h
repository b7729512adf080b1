// The meter's command codes: its ten keys, their second functions, the
// direct settings and the two codes of a memory export. One table, so the
// window, the simulated meter and any tool agree on codes and captions.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace varnetta::protocol {

// The popup menu an item belongs to; None for a panel button.
enum class TCommandMenu : uint8_t
{
    None,
    AutoPower,
    BackLight,
    FreqMode
};

struct TMeterCommand
{
    uint8_t code = 0;
    std::string_view control; // objectName of the button or menu item sending it
    std::string_view caption; // its text on screen
    TCommandMenu menu = TCommandMenu::None;
};

inline constexpr uint8_t kCmdHold = 0x42;
inline constexpr uint8_t kCmdMenu = 0x43;
inline constexpr uint8_t kCmdUp = 0x44;
inline constexpr uint8_t kCmdHarm = 0x45;
inline constexpr uint8_t kCmdLoadMem = 0x46;
inline constexpr uint8_t kCmdSum = 0x47;
inline constexpr uint8_t kCmdSaveData = 0x48;
inline constexpr uint8_t kCmdSelect = 0x49;
inline constexpr uint8_t kCmdDown = 0x4A;
inline constexpr uint8_t kCmdMaxMinCur = 0x4B;
inline constexpr uint8_t kCmdAutoPowerOff = 0x4C;
inline constexpr uint8_t kCmdAutoPower10 = 0x4D;
inline constexpr uint8_t kCmdAutoPower20 = 0x4E;
inline constexpr uint8_t kCmdAutoPower30 = 0x4F;
inline constexpr uint8_t kCmdBackLightOff = 0x50;
inline constexpr uint8_t kCmdBackLight10 = 0x51;
inline constexpr uint8_t kCmdBackLight20 = 0x52;
inline constexpr uint8_t kCmdBackLight30 = 0x53;
inline constexpr uint8_t kCmdFreqModeAuto = 0x54;
inline constexpr uint8_t kCmdFreqMode50 = 0x55;
inline constexpr uint8_t kCmdFreqMode60 = 0x56;
inline constexpr uint8_t kCmdExportData = 0x57;
inline constexpr uint8_t kCmdExportAck = 0x58;
// Second functions: bit 7 set on the key's own code.
inline constexpr uint8_t kSecondFunction = 0x80;
inline constexpr uint8_t kCmdBackLight = kSecondFunction | kCmdHold;        // 0xC2
inline constexpr uint8_t kCmdAutoLoadMem = kSecondFunction | kCmdLoadMem;   // 0xC6
inline constexpr uint8_t kCmdClearMem = kSecondFunction | kCmdSum;          // 0xC7
inline constexpr uint8_t kCmdAutoSaveData = kSecondFunction | kCmdSaveData; // 0xC8
inline constexpr uint8_t kCmdExitStatus = kSecondFunction | kCmdMaxMinCur;  // 0xCB

// Every code the program sends, in code order. The acknowledgement has no
// control: the program sends it by itself after each memory frame.
inline constexpr std::array<TMeterCommand, 28> kMeterCommands{{
    {kCmdHold, "btnCmdHold", "Hold"},
    {kCmdMenu, "btnCmdMenu", "Menu"},
    {kCmdUp, "btnCmdUp", "Up"},
    {kCmdHarm, "btnCmdHarm", "Harm"},
    {kCmdLoadMem, "btnCmdLoadMem", "StopAuto/LoadMem"},
    {kCmdSum, "btnCmdSum", "Sum/Clear"},
    {kCmdSaveData, "btnCmdSaveData", "StopAuto/SaveData"},
    {kCmdSelect, "btnCmdSelect", "Select"},
    {kCmdDown, "btnCmdDown", "Down"},
    {kCmdMaxMinCur, "btnCmdMaxMinCur", "Max/Min/Cur"},
    {kCmdAutoPowerOff, "miCmdAutoPowerOff", "OFF", TCommandMenu::AutoPower},
    {kCmdAutoPower10, "miCmdAutoPower10", "10mm", TCommandMenu::AutoPower},
    {kCmdAutoPower20, "miCmdAutoPower20", "20mm", TCommandMenu::AutoPower},
    {kCmdAutoPower30, "miCmdAutoPower30", "30mm", TCommandMenu::AutoPower},
    {kCmdBackLightOff, "miBackLightOFF", "OFF", TCommandMenu::BackLight},
    {kCmdBackLight10, "miBackLight10", "10s", TCommandMenu::BackLight},
    {kCmdBackLight20, "miBackLight20", "20s", TCommandMenu::BackLight},
    {kCmdBackLight30, "miBackLight30", "30s", TCommandMenu::BackLight},
    {kCmdFreqModeAuto, "miFreqModeAuto", "Auto", TCommandMenu::FreqMode},
    {kCmdFreqMode50, "miFreqMode50", "50Hz", TCommandMenu::FreqMode},
    {kCmdFreqMode60, "miFreqMode60", "60Hz", TCommandMenu::FreqMode},
    {kCmdExportData, "btnExportData", "ExportMemoryData"},
    {kCmdExportAck, "", ""},
    {kCmdBackLight, "SpeedButton1", "Back Light"},
    {kCmdAutoLoadMem, "btnCmdAutoLoadMem", "Auto Load Memory"},
    {kCmdClearMem, "btnCmdClearMem", "Clear Memory"},
    {kCmdAutoSaveData, "btnCmdAutoSaveData", "Auto Save Data"},
    {kCmdExitStatus, "btnCmdExitStatus", "Exit Status"},
}};

// The entry of a code, or nullptr for a code the program never sends.
[[nodiscard]] const TMeterCommand* FindMeterCommand(uint8_t code);
// The entry sent by the control of that objectName, or nullptr.
[[nodiscard]] const TMeterCommand* FindMeterCommandByControl(std::string_view control);

} // namespace varnetta::protocol

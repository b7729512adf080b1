// Run-time binding of the bridge library: the file beside the executable
// (or, for the simulated meter, in the "sim" folder beside it), one function
// pointer per entry point, any of which may be missing.
#pragma once

#include "HidUartApi.h"

#include <QString>
#include <QStringList>

namespace varnetta::link {

// Which bridge library a process binds: the one beside the executable (real
// bridges in an installed program), or the simulated meter's, shipped in the
// subfolder "sim" beside it. Chosen once, before the port is created.
enum class TBridgeChoice
{
    BesideProgram,
    SimulatedMeter
};

inline constexpr const char* kDemoOption = "--demo";
inline constexpr const char* kSimulatedBridgeFolder = "sim";

void SelectBridge(TBridgeChoice choice);
[[nodiscard]] TBridgeChoice SelectedBridge();
// The folder the port loads the library from, after SelectBridge.
[[nodiscard]] QString SelectedBridgeFolder();
// Removes every "--demo" from the arguments and, when there was one, selects
// the simulated meter. Returns whether it did; shared by the window and the
// command-line tool.
bool TakeDemoOption(QStringList& arguments);

class TBridgeLibrary
{
public:
    static constexpr const char* kFileName = "libSLABHIDtoUART.so";

    TBridgeLibrary() = default;
    ~TBridgeLibrary();
    TBridgeLibrary(const TBridgeLibrary&) = delete;
    TBridgeLibrary& operator=(const TBridgeLibrary&) = delete;

    // The folder of the running executable.
    [[nodiscard]] static QString executableFolder();

    // Loads the file and resolves every entry point it exports; false when
    // the file could not be loaded at all.
    bool load(const QString& path);
    void unload();

    [[nodiscard]] bool isLoaded() const { return m_module != nullptr; }
    // True when every entry point the port calls was resolved.
    [[nodiscard]] bool isComplete() const;

    decltype(&HidUart_GetNumDevices) GetNumDevices = nullptr;
    decltype(&HidUart_GetString) GetString = nullptr;
    decltype(&HidUart_GetOpenedString) GetOpenedString = nullptr;
    decltype(&HidUart_GetHidGuid) GetHidGuid = nullptr;
    decltype(&HidUart_Open) Open = nullptr;
    decltype(&HidUart_Close) Close = nullptr;
    decltype(&HidUart_GetPartNumber) GetPartNumber = nullptr;
    decltype(&HidUart_SetUartConfig) SetUartConfig = nullptr;
    decltype(&HidUart_GetUartConfig) GetUartConfig = nullptr;
    decltype(&HidUart_SetTimeouts) SetTimeouts = nullptr;
    decltype(&HidUart_Read) Read = nullptr;
    decltype(&HidUart_Write) Write = nullptr;

private:
    void* m_module = nullptr;
};

} // namespace varnetta::link

#include "BridgeLibrary.h"

#include <QDir>
#include <QFileInfo>

#include <atomic>

#include <dlfcn.h>

namespace varnetta::link {

namespace {
template <typename Fn> void resolve(void* module, const char* name, Fn& fn)
{
    fn = reinterpret_cast<Fn>(dlsym(module, name));
}
std::atomic<TBridgeChoice> g_bridgeChoice{TBridgeChoice::BesideProgram};
} // namespace

void SelectBridge(TBridgeChoice choice)
{
    g_bridgeChoice.store(choice);
}

TBridgeChoice SelectedBridge()
{
    return g_bridgeChoice.load();
}

QString SelectedBridgeFolder()
{
    const QString folder = TBridgeLibrary::executableFolder();
    if (SelectedBridge() == TBridgeChoice::SimulatedMeter)
        return QDir(folder).filePath(QString::fromLatin1(kSimulatedBridgeFolder));
    return folder;
}

bool TakeDemoOption(QStringList& arguments)
{
    const qsizetype removed = arguments.removeAll(QString::fromLatin1(kDemoOption));
    if (removed > 0)
        SelectBridge(TBridgeChoice::SimulatedMeter);
    return removed > 0;
}

TBridgeLibrary::~TBridgeLibrary()
{
    unload();
}

QString TBridgeLibrary::executableFolder()
{
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
}

bool TBridgeLibrary::load(const QString& path)
{
    unload();
    m_module = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!m_module)
        return false;
    resolve(m_module, "HidUart_GetNumDevices", GetNumDevices);
    resolve(m_module, "HidUart_GetString", GetString);
    resolve(m_module, "HidUart_GetOpenedString", GetOpenedString);
    resolve(m_module, "HidUart_GetHidGuid", GetHidGuid);
    resolve(m_module, "HidUart_Open", Open);
    resolve(m_module, "HidUart_Close", Close);
    resolve(m_module, "HidUart_GetPartNumber", GetPartNumber);
    resolve(m_module, "HidUart_SetUartConfig", SetUartConfig);
    resolve(m_module, "HidUart_GetUartConfig", GetUartConfig);
    resolve(m_module, "HidUart_SetTimeouts", SetTimeouts);
    resolve(m_module, "HidUart_Read", Read);
    resolve(m_module, "HidUart_Write", Write);
    return true;
}

void TBridgeLibrary::unload()
{
    GetNumDevices = nullptr;
    GetString = nullptr;
    GetOpenedString = nullptr;
    GetHidGuid = nullptr;
    Open = nullptr;
    Close = nullptr;
    GetPartNumber = nullptr;
    SetUartConfig = nullptr;
    GetUartConfig = nullptr;
    SetTimeouts = nullptr;
    Read = nullptr;
    Write = nullptr;
    if (m_module) {
        dlclose(m_module);
        m_module = nullptr;
    }
}

bool TBridgeLibrary::isComplete() const
{
    // The GUID is only needed by notification registration, which this
    // platform does through udev, so it does not count here.
    return GetNumDevices && GetString && GetOpenedString && Open && Close && GetPartNumber && SetUartConfig &&
           GetUartConfig && SetTimeouts && Read && Write;
}

} // namespace varnetta::link

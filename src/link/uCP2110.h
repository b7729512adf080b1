// TCP2110: the port to the meter's HID-to-UART bridge. It binds the bridge
// library from the program's folder, keeps the list of bridges present and
// follows their arrival and removal, opens the one named by DeviceName,
// writes to it, and raises every received chunk as OnReceiveData. It moves
// bytes and knows nothing of the meter's frames.
#pragma once

#include "BridgeLibrary.h"
#include "HotplugSource.h"
#include "UsbIds.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace varnetta::link {

class TReadThread;

enum class TBaudRate : uint8_t
{
    CBR_110,
    CBR_300,
    CBR_600,
    CBR_1200,
    CBR_2400,
    CBR_4800,
    CBR_9600,
    CBR_14400,
    CBR_19200,
    CBR_38400,
    CBR_56000,
    CBR_57600,
    CBR_115200,
    CBR_128000,
    CBR_256000
};
enum class TByteSize : uint8_t
{
    _5,
    _6,
    _7,
    _8
};
enum class TParity : uint8_t
{
    None,
    Odd,
    Even,
    Mark,
    Space
};
enum class TStopBits : uint8_t
{
    _1,
    _1_5,
    _2
};

// The bit rate a TBaudRate stands for.
[[nodiscard]] uint32_t baudRateValue(TBaudRate rate);

class TCP2110 : public QObject
{
    Q_OBJECT
public:
    static constexpr uint32_t kConnectError = 101;
    // Connect found the bridge but may not open its node; ErrorMsg is the
    // node's path.
    static constexpr uint32_t kAccessError = 102;
    static constexpr uint32_t kStartPollPause = 70;

    using THotplugFactory = std::function<std::unique_ptr<THotplugSource>()>;
    using TMissingLibraryNotice = std::function<void(const QString& text)>;

    // Binds the library found in libraryFolder (when empty, the folder
    // SelectBridge chose; another folder is for tests only) and takes device arrivals and
    // removals from hotplug (the udev monitor when null).
    explicit TCP2110(QObject* owner = nullptr, std::unique_ptr<THotplugSource> hotplug = nullptr,
                     const QString& libraryFolder = QString());
    ~TCP2110() override;
    TCP2110(const TCP2110&) = delete;
    TCP2110& operator=(const TCP2110&) = delete;

    [[nodiscard]] bool Connect();
    bool Disconnect();
    [[nodiscard]] bool Write(const uint8_t* Buffer, uint32_t Count, uint32_t& Written);

    [[nodiscard]] bool Connected() const { return m_connected; }
    [[nodiscard]] bool isBound() const { return m_bound; }
    [[nodiscard]] QString libraryPath() const { return m_libraryPath; }

    // Entries "serial=path", sorted ignoring case.
    [[nodiscard]] const QStringList& DeviceList() const { return m_deviceList; }
    // The path stored under a serial, looked up ignoring case.
    [[nodiscard]] QString devicePath(const QString& serial) const;

    [[nodiscard]] TBaudRate BaudRate() const { return m_baudRate; }
    void setBaudRate(TBaudRate value) { m_baudRate = value; }
    [[nodiscard]] TByteSize ByteSize() const { return m_byteSize; }
    void setByteSize(TByteSize value) { m_byteSize = value; }
    [[nodiscard]] TStopBits StopBits() const { return m_stopBits; }
    void setStopBits(TStopBits value) { m_stopBits = value; }
    [[nodiscard]] TParity Parity() const { return m_parity; }
    void setParity(TParity value) { m_parity = value; }
    [[nodiscard]] QString DeviceName() const { return m_deviceName; }
    void setDeviceName(const QString& value) { m_deviceName = value; }
    [[nodiscard]] uint32_t ReadTimeOuts() const { return m_readTimeOuts; }
    void setReadTimeOuts(uint32_t value) { m_readTimeOuts = value; }
    [[nodiscard]] uint32_t WriteTimeOuts() const { return m_writeTimeOuts; }
    void setWriteTimeOuts(uint32_t value) { m_writeTimeOuts = value; }
    [[nodiscard]] uint32_t ReadTimeInterval() const { return m_readTimeInterval; }
    void setReadTimeInterval(uint32_t value);
    [[nodiscard]] bool ReadPause() const { return m_readPause; }
    void setReadPause(bool value);
    // Whatever waits in the bridge unread is dropped before the reader's
    // next read (readings held back by a pause that are stale by now).
    void discardWaiting();

    // The reader's sleep between polls, process-wide; takes effect at the
    // reader's next sleep. The memory export sets it directly.
    [[nodiscard]] static uint32_t pollPause() { return s_pollPause.load(); }
    static void setPollPause(uint32_t ms) { s_pollPause.store(ms); }

    // The vendor/product ids looked for (the bridge family's by default).
    // A new list lists the devices afresh and raises OnDeviceChange.
    [[nodiscard]] const TUsbIds& UsbIds() const { return m_usbIds; }
    void setUsbIds(const TUsbIds& ids);

    [[nodiscard]] uint8_t partNumber() const { return m_partNumber; }
    [[nodiscard]] uint8_t partVersion() const { return m_partVersion; }

    // For tests: what replaces the udev monitor when no source is passed.
    // Null restores.
    static void setDefaultHotplugFactory(THotplugFactory factory);
    // Who tells the user that the bridge library is not there ("DLL File is
    // not Exists!"): the window's error box, the command line's stderr. Until
    // one is set (or after null) the text goes to Qt's log.
    static void setMissingLibraryNotice(TMissingLibraryNotice notice);

Q_SIGNALS:
    void OnCreate(QObject* Sender);
    void OnConnect(QObject* Sender);
    void OnDisconnect(QObject* Sender); // Sender is null
    void OnRemoval(QObject* Sender);
    void OnArrival(QObject* Sender);
    void OnDeviceChange(QObject* Sender);
    void OnError(uint32_t ErrorCode, const QString& ErrorMsg);
    // One chunk; Data is valid only during the call.
    void OnReceiveData(const uint8_t* Data, uint32_t Len);
    // A receive handler threw: raised once per connection, the data goes on.
    void OnReceiveFailed(const QString& text);

private:
    // One vendor/product filter of the library's calls and an index under it.
    struct TDeviceIndex
    {
        uint16_t vid = 0;
        uint16_t pid = 0;
        uint32_t index = 0;
    };

    bool bindLibrary();
    // Every device the library lists under the ids looked for; false when
    // it could not count them.
    [[nodiscard]] bool listIndexes(QList<TDeviceIndex>& indexes) const;
    void enumerate();
    void deviceChanged(THotplugKind kind, const QString& path);
    void arrival(const QString& path);
    void removal(const QString& path);
    // On failure `deniedNode` names a bridge's node that may not be opened.
    [[nodiscard]] bool openAndConfigure(QString& deniedNode);
    void closeDevice();
    [[nodiscard]] bool readString(const TDeviceIndex& device, uint32_t option, QString& text) const;
    void sortDeviceList();
    void startReader();
    void stopReader();

    TBridgeLibrary m_library;
    QString m_libraryPath;
    bool m_bound = false;
    std::unique_ptr<THotplugSource> m_hotplug;
    TReadThread* m_reader = nullptr;

    QStringList m_deviceList;
    TUsbIds m_usbIds = DefaultUsbIds();
    bool m_connected = false;
    TBaudRate m_baudRate = TBaudRate::CBR_9600;
    TByteSize m_byteSize = TByteSize::_8;
    TStopBits m_stopBits = TStopBits::_1;
    TParity m_parity = TParity::None;
    QString m_deviceName;
    uint32_t m_readTimeOuts = 0;
    uint32_t m_writeTimeOuts = 500;
    uint32_t m_readTimeInterval = 100;
    bool m_readPause = false;
    uint8_t m_partNumber = 0;
    uint8_t m_partVersion = 0;

    // One open device per process.
    static HID_UART_DEVICE s_device;
    static std::atomic<uint32_t> s_pollPause;
};

} // namespace varnetta::link

#include "uCP2110.h"

#include "uReadThread.h"

#include <QDir>
#include <QDebug>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <stdexcept>

namespace varnetta::link {

HID_UART_DEVICE TCP2110::s_device = nullptr;
std::atomic<uint32_t> TCP2110::s_pollPause{TCP2110::kStartPollPause};

namespace {

TCP2110::THotplugFactory& hotplugFactory()
{
    static TCP2110::THotplugFactory factory;
    return factory;
}

TCP2110::TMissingLibraryNotice& missingLibraryNotice()
{
    static TCP2110::TMissingLibraryNotice notice;
    return notice;
}

QString entryName(const QString& entry)
{
    const qsizetype eq = entry.indexOf(QLatin1Char('='));
    return eq < 0 ? entry : entry.left(eq);
}

QString entryValue(const QString& entry)
{
    const qsizetype eq = entry.indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : entry.mid(eq + 1);
}

// Blank once leading and trailing spaces and control characters are ignored.
bool isBlankSerial(const QString& serial)
{
    return std::all_of(serial.cbegin(), serial.cend(),
                       [](QChar c) { return c.unicode() <= 0x20 || c.unicode() == 0x7F; });
}

} // namespace

uint32_t baudRateValue(TBaudRate rate)
{
    static constexpr std::array<uint32_t, 15> kRates = {
        110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
    return kRates.at(static_cast<size_t>(rate));
}

TCP2110::TCP2110(QObject* owner, std::unique_ptr<THotplugSource> hotplug, const QString& libraryFolder)
    : QObject(owner)
{
    s_pollPause.store(kStartPollPause);
    const QString folder = libraryFolder.isEmpty() ? SelectedBridgeFolder() : libraryFolder;
    m_libraryPath = QDir(folder).filePath(QString::fromLatin1(TBridgeLibrary::kFileName));

    if (!bindLibrary())
        return;

    // Device notifications: udev stands in for the notification window.
    if (!hotplug)
        hotplug = hotplugFactory() ? hotplugFactory()() : std::make_unique<TUdevHotplugSource>();
    m_hotplug = std::move(hotplug);
    if (m_hotplug)
        connect(m_hotplug.get(), &THotplugSource::deviceChanged, this, &TCP2110::deviceChanged);

    enumerate();
    Q_EMIT OnCreate(this);
}

TCP2110::~TCP2110()
{
    // The device is closed while the library is still bound.
    if (m_connected || m_reader)
        Disconnect();
}

void TCP2110::setDefaultHotplugFactory(THotplugFactory factory)
{
    hotplugFactory() = std::move(factory);
}

void TCP2110::setMissingLibraryNotice(TMissingLibraryNotice notice)
{
    missingLibraryNotice() = std::move(notice);
}

bool TCP2110::bindLibrary()
{
    if (!QFileInfo::exists(m_libraryPath)) {
        const QString text = QStringLiteral("DLL File is not Exists!");
        // The window shows this in a box; without a notice it goes to the log.
        if (missingLibraryNotice())
            missingLibraryNotice()(text);
        else
            qCritical().noquote() << text;
        return false;
    }
    // A file that does not load leaves every entry point unresolved; Connect
    // then fails like any other failed attempt.
    m_library.load(m_libraryPath);
    m_bound = true;
    return true;
}

bool TCP2110::listIndexes(QList<TDeviceIndex>& indexes) const
{
    indexes.clear();
    if (!m_library.GetNumDevices)
        return false;
    // The family's own ids are the library's "no filter" (0, 0); other ids
    // are asked for one pair at a time.
    QList<TUsbId> filters;
    if (m_usbIds == DefaultUsbIds())
        filters.append(TUsbId{0, 0});
    else
        filters = m_usbIds;
    bool counted = false;
    for (const TUsbId& f : std::as_const(filters)) {
        uint32_t count = 0;
        if (m_library.GetNumDevices(&count, f.vendorId, f.productId) != HID_UART_SUCCESS)
            continue;
        counted = true;
        for (uint32_t i = 0; i < count; ++i)
            indexes.append({f.vendorId, f.productId, i});
    }
    return counted;
}

bool TCP2110::readString(const TDeviceIndex& device, uint32_t option, QString& text) const
{
    if (!m_library.GetString)
        return false;
    std::array<char, HID_UART_DEVICE_STRLEN + 1> buffer{};
    if (m_library.GetString(device.index, device.vid, device.pid, buffer.data(), option) != HID_UART_SUCCESS)
        return false;
    text = QString::fromLocal8Bit(buffer.data(), qsizetype(qstrnlen(buffer.data(), HID_UART_DEVICE_STRLEN)));
    return true;
}

void TCP2110::sortDeviceList()
{
    std::stable_sort(m_deviceList.begin(), m_deviceList.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
}

QString TCP2110::devicePath(const QString& serial) const
{
    for (const QString& entry : m_deviceList)
        if (entryName(entry).compare(serial, Qt::CaseInsensitive) == 0)
            return entryValue(entry);
    return QString();
}

void TCP2110::setUsbIds(const TUsbIds& ids)
{
    if (ids.isEmpty() || ids == m_usbIds)
        return;
    m_usbIds = ids;
    if (!m_bound)
        return;
    m_deviceList.clear();
    enumerate();
    Q_EMIT OnDeviceChange(this);
}

void TCP2110::enumerate()
{
    QList<TDeviceIndex> indexes;
    if (!listIndexes(indexes))
        return;
    for (const TDeviceIndex& i : std::as_const(indexes)) {
        QString serial;
        QString path;
        if (readString(i, HID_UART_GET_SERIAL_STR, serial) && readString(i, HID_UART_GET_PATH_STR, path))
            m_deviceList.append(serial + QLatin1Char('=') + path);
    }
    if (m_deviceList.isEmpty()) {
        m_deviceName.clear();
        return;
    }
    sortDeviceList();
    for (const QString& entry : std::as_const(m_deviceList)) {
        const QString serial = entryName(entry);
        if (!isBlankSerial(serial)) {
            m_deviceName = serial;
            break;
        }
    }
}

void TCP2110::deviceChanged(THotplugKind kind, const QString& path)
{
    if (kind == THotplugKind::Arrival)
        arrival(path);
    else if (kind == THotplugKind::Removal)
        removal(path);
    Q_EMIT OnDeviceChange(this);
}

void TCP2110::arrival(const QString& path)
{
    QList<TDeviceIndex> indexes;
    if (!listIndexes(indexes))
        return;
    for (const TDeviceIndex& i : std::as_const(indexes)) {
        QString listedPath;
        if (!readString(i, HID_UART_GET_PATH_STR, listedPath))
            continue;
        if (path.compare(listedPath, Qt::CaseInsensitive) == 0)
            Q_EMIT OnArrival(this);
        QString serial;
        if (!readString(i, HID_UART_GET_SERIAL_STR, serial) ||
            !readString(i, HID_UART_GET_PATH_STR, listedPath))
            continue;
        const bool listed = std::any_of(m_deviceList.cbegin(), m_deviceList.cend(), [&](const QString& e) {
            return entryName(e).compare(serial, Qt::CaseInsensitive) == 0;
        });
        if (!listed)
            m_deviceList.append(serial + QLatin1Char('=') + listedPath);
    }
    sortDeviceList();
}

void TCP2110::removal(const QString& path)
{
    // Each entry is judged by its own path: bridges often share a serial, and
    // a lookup by serial would never find the second of them.
    for (qsizetype i = 0; i < m_deviceList.size(); ++i) {
        if (entryValue(m_deviceList.at(i)).compare(path, Qt::CaseInsensitive) == 0) {
            m_deviceList.removeAt(i);
            break;
        }
    }
    if (!s_device || !m_library.GetOpenedString)
        return;
    std::array<char, HID_UART_DEVICE_STRLEN + 1> buffer{};
    if (m_library.GetOpenedString(s_device, buffer.data(), HID_UART_GET_PATH_STR) != HID_UART_SUCCESS)
        return;
    const QString openPath =
        QString::fromLocal8Bit(buffer.data(), qsizetype(qstrnlen(buffer.data(), HID_UART_DEVICE_STRLEN)));
    if (path.compare(openPath, Qt::CaseInsensitive) == 0) {
        Q_EMIT OnRemoval(this);
        Disconnect();
    }
}

bool TCP2110::Connect()
{
    // Never call through an entry point that did not resolve.
    QString deniedNode;
    if (!m_bound || !m_library.isComplete() || !openAndConfigure(deniedNode)) {
        // A bridge that is there but not ours to open is told apart, so the
        // person hears about the permission instead of a missing meter.
        if (deniedNode.isEmpty())
            Q_EMIT OnError(kConnectError, QString());
        else
            Q_EMIT OnError(kAccessError, deniedNode);
        return false;
    }
    startReader();
    m_connected = true;
    Q_EMIT OnConnect(this);
    return true;
}

bool TCP2110::openAndConfigure(QString& deniedNode)
{
    QList<TDeviceIndex> indexes;
    if (!listIndexes(indexes))
        return false;
    HID_UART_DEVICE opened = nullptr;
    for (const TDeviceIndex& i : std::as_const(indexes)) {
        if (opened)
            break;
        QString serial;
        if (!readString(i, HID_UART_GET_SERIAL_STR, serial) || serial != m_deviceName)
            continue;
        HID_UART_DEVICE device = nullptr;
        const HID_UART_STATUS status = m_library.Open(&device, i.index, i.vid, i.pid);
        if (status == HID_UART_DEVICE_ACCESS_ERROR && deniedNode.isEmpty())
            (void)readString(i, HID_UART_GET_PATH_STR, deniedNode);
        if (status != HID_UART_SUCCESS || !device)
            continue;
        std::array<char, HID_UART_DEVICE_STRLEN + 1> path{};
        if (m_library.GetOpenedString(device, path.data(), HID_UART_GET_PATH_STR) == HID_UART_SUCCESS)
            opened = device;
        else
            m_library.Close(device); // not kept, so not left open
    }
    if (!opened)
        return false;
    deniedNode.clear(); // another bridge of that serial did open
    s_device = opened;

    const uint32_t baud = baudRateValue(m_baudRate);
    const auto dataBits = static_cast<uint8_t>(m_byteSize);
    const auto parity = static_cast<uint8_t>(m_parity);
    const uint8_t stopBits = m_stopBits == TStopBits::_1 ? HID_UART_SHORT_STOP_BIT : HID_UART_LONG_STOP_BIT;
    const uint8_t flow = HID_UART_NO_FLOW_CONTROL;

    uint32_t baudBack = 0;
    uint8_t dataBitsBack = 0;
    uint8_t parityBack = 0;
    uint8_t stopBitsBack = 0;
    uint8_t flowBack = 0;
    const bool ok =
        m_library.GetPartNumber(s_device, &m_partNumber, &m_partVersion) == HID_UART_SUCCESS &&
        m_library.SetUartConfig(s_device, baud, dataBits, parity, stopBits, flow) == HID_UART_SUCCESS &&
        m_library.GetUartConfig(s_device, &baudBack, &dataBitsBack, &parityBack, &stopBitsBack, &flowBack) ==
            HID_UART_SUCCESS &&
        baudBack == baud && dataBitsBack == dataBits && parityBack == parity && stopBitsBack == stopBits &&
        flowBack == flow &&
        m_library.SetTimeouts(s_device, m_readTimeOuts, m_writeTimeOuts) == HID_UART_SUCCESS;
    if (!ok) {
        // The attempt failed after the open: the device goes back.
        closeDevice();
        return false;
    }
    return true;
}

void TCP2110::closeDevice()
{
    if (s_device && m_library.Close)
        m_library.Close(s_device);
    s_device = nullptr;
}

void TCP2110::startReader()
{
    m_reader = new TReadThread(m_library.Read, s_device, s_pollPause);
    connect(m_reader, &TReadThread::chunkReady, this, &TCP2110::OnReceiveData);
    connect(m_reader, &TReadThread::handlerFailed, this, &TCP2110::OnReceiveFailed);
    if (!m_reader->StartReader()) {
        delete m_reader;
        m_reader = nullptr;
        closeDevice();
        throw std::runtime_error("Failed to Create Thread!");
    }
}

void TCP2110::stopReader()
{
    if (!m_reader)
        return;
    TReadThread* reader = m_reader;
    m_reader = nullptr;
    // Stopped from inside that reader's own chunk handler: the object is
    // still on the stack below, so it goes when the handler has returned.
    const bool handling = reader->isHandling();
    reader->StopReader();
    if (handling)
        reader->deleteLater();
    else
        delete reader;
}

bool TCP2110::Disconnect()
{
    stopReader();
    bool closed = false;
    if (s_device) {
        closed = m_library.Close && m_library.Close(s_device) == HID_UART_SUCCESS;
        s_device = nullptr; // dropped even when the close failed
    }
    m_connected = false;
    Q_EMIT OnDisconnect(nullptr);
    return closed;
}

bool TCP2110::Write(const uint8_t* Buffer, uint32_t Count, uint32_t& Written)
{
    Written = 0;
    if (!m_library.Write)
        return false;
    uint32_t written = 0;
    const HID_UART_STATUS status = m_library.Write(s_device, const_cast<uint8_t*>(Buffer), Count, &written);
    Written = written;
    return status == HID_UART_SUCCESS;
}

void TCP2110::setReadTimeInterval(uint32_t value)
{
    if (value == m_readTimeInterval)
        return;
    m_readTimeInterval = value;
    s_pollPause.store(value);
}

void TCP2110::discardWaiting()
{
    if (m_reader)
        m_reader->discardWaiting();
}

void TCP2110::setReadPause(bool value)
{
    if (!m_connected || value == m_readPause)
        return;
    m_readPause = value;
    if (m_reader)
        m_reader->setPaused(value);
}

} // namespace varnetta::link

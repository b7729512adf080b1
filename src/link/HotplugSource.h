// Where device arrivals and removals come from: a libudev monitor on the
// hidraw subsystem in the program, an injected source in tests. Events are
// raised on the user-interface thread with the device's node path, the same
// string the bridge library reports as the device path.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

struct udev;
struct udev_monitor;
class QSocketNotifier;

namespace varnetta::link {

enum class THotplugKind
{
    Arrival,
    Removal,
    Other
};

class THotplugSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~THotplugSource() override = default;

Q_SIGNALS:
    void deviceChanged(varnetta::link::THotplugKind kind, const QString& path);
};

class TUdevHotplugSource : public THotplugSource
{
    Q_OBJECT
public:
    explicit TUdevHotplugSource(QObject* parent = nullptr);
    ~TUdevHotplugSource() override;
    TUdevHotplugSource(const TUdevHotplugSource&) = delete;
    TUdevHotplugSource& operator=(const TUdevHotplugSource&) = delete;

    // False when the monitor could not be set up (no udev): then no event
    // ever arrives, and the device list only reflects start-up.
    [[nodiscard]] bool isActive() const { return m_notifier != nullptr; }

private:
    void readEvents();

    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace varnetta::link

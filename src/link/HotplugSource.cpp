#include "HotplugSource.h"

#include <QSocketNotifier>

#include <cstring>
#include <libudev.h>

namespace varnetta::link {

TUdevHotplugSource::TUdevHotplugSource(QObject* parent) : THotplugSource(parent)
{
    m_udev = udev_new();
    if (!m_udev)
        return;
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (!m_monitor || udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(m_monitor) < 0)
        return;
    const int fd = udev_monitor_get_fd(m_monitor);
    if (fd < 0)
        return;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TUdevHotplugSource::readEvents);
}

TUdevHotplugSource::~TUdevHotplugSource()
{
    delete m_notifier;
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
}

void TUdevHotplugSource::readEvents()
{
    // The socket is non-blocking: take every event that is waiting.
    while (udev_device* device = udev_monitor_receive_device(m_monitor)) {
        const char* action = udev_device_get_action(device);
        const char* node = udev_device_get_devnode(device);
        const QString path = node ? QString::fromLocal8Bit(node) : QString();
        THotplugKind kind = THotplugKind::Other;
        if (action && std::strcmp(action, "add") == 0 && node)
            kind = THotplugKind::Arrival;
        else if (action && std::strcmp(action, "remove") == 0 && node)
            kind = THotplugKind::Removal;
        udev_device_unref(device);
        Q_EMIT deviceChanged(kind, path);
    }
}

} // namespace varnetta::link

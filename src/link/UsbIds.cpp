#include "UsbIds.h"

#include <QRegularExpression>
#include <QStringList>

#include "HidUartApi.h"

namespace varnetta::link {

TUsbIds DefaultUsbIds()
{
    return {{HID_UART_CP2110_VID, HID_UART_CP2110_PID}, {HID_UART_CP2110_VID, HID_UART_CP2114_PID}};
}

std::optional<TUsbIds> ParseUsbIds(const QString& text, QString& error)
{
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    static const QRegularExpression pair(QStringLiteral("^([0-9A-Fa-f]{1,4}):([0-9A-Fa-f]{1,4})$"));
    const QStringList items = text.split(separators, Qt::SkipEmptyParts);
    if (items.isEmpty()) {
        error = QStringLiteral("give at least one pair of ids, such as 10c4:ea80");
        return std::nullopt;
    }
    TUsbIds ids;
    for (const QString& item : items) {
        const QRegularExpressionMatch m = pair.match(item);
        const uint16_t vendor = m.hasMatch() ? uint16_t(m.captured(1).toUInt(nullptr, 16)) : 0;
        const uint16_t product = m.hasMatch() ? uint16_t(m.captured(2).toUInt(nullptr, 16)) : 0;
        if (vendor == 0 || product == 0) {
            error = QStringLiteral("\"%1\" is not a vendor:product pair of non-zero hex ids, such as 10c4:ea80")
                        .arg(item);
            return std::nullopt;
        }
        if (!ids.contains(TUsbId{vendor, product}))
            ids.append({vendor, product});
    }
    return ids;
}

QString UsbIdsText(const TUsbIds& ids)
{
    QStringList items;
    for (const TUsbId& id : ids)
        items << QStringLiteral("%1:%2").arg(id.vendorId, 4, 16, QLatin1Char('0')).arg(id.productId, 4, 16, QLatin1Char('0'));
    return items.join(QLatin1Char(','));
}

QString NodeAccessText(const QString& node)
{
    return QStringLiteral("The meter's USB bridge is plugged in, but %1 may not be opened by this user.  "
                          "Install the udev rule packaging/70-varnetta-bridge.rules as the README section "
                          "\"Using a real meter\" describes, then unplug the meter and plug it in again.")
        .arg(node);
}

} // namespace varnetta::link

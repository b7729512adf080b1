// The USB vendor and product ids of the bridges the port looks for.  A maker
// may program its own ids into the chip, so the list can be changed; the
// default is the bridge family's own ids.
#pragma once

#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace varnetta::link {

struct TUsbId
{
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    friend bool operator==(const TUsbId&, const TUsbId&) = default;
};
using TUsbIds = QList<TUsbId>;

// 10c4:ea80 (CP2110) and 10c4:eab0 (CP2114).
[[nodiscard]] TUsbIds DefaultUsbIds();

// "vvvv:pppp" pairs in hex, separated by commas or blanks; neither id may be
// 0.  Duplicates are dropped.  On failure `error` says which pair is wrong.
[[nodiscard]] std::optional<TUsbIds> ParseUsbIds(const QString& text, QString& error);

// The same form, "10c4:ea80,10c4:eab0".
[[nodiscard]] QString UsbIdsText(const TUsbIds& ids);

// What to tell a person whose bridge is plugged in but whose node (for
// instance /dev/hidraw3) this user may not open.
[[nodiscard]] QString NodeAccessText(const QString& node);

} // namespace varnetta::link

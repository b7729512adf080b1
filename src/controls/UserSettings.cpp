#include "UserSettings.h"

namespace varnetta::app {

std::unique_ptr<QSettings> OpenUserSettings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("varnetta"),
                                       QStringLiteral("varnetta"));
}

} // namespace varnetta::app

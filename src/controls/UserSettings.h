// What the window remembers between runs: conveniences of the desktop only
// (the folders last used for each kind of file, the grid's column widths),
// never anything that changes how the meter is read or logged.
// The file is $XDG_CONFIG_HOME/varnetta/varnetta.conf.
#pragma once

#include <QSettings>

#include <memory>

namespace varnetta::app {

[[nodiscard]] std::unique_ptr<QSettings> OpenUserSettings();

} // namespace varnetta::app

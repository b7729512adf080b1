// Window glue of the device link: the bridge port, its reader and the
// connection handling of the top bar.
#include "ufrmMain.h"

namespace varnetta::app {

void TfrmMain::createPort() {}

void TfrmMain::RefreshDeviceList() {}

void TfrmMain::disconnectPort() {}

void TfrmMain::setupLink() {}

} // namespace varnetta::app

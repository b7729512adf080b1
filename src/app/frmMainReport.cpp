// Window glue of the printed report.
#include "ufrmMain.h"

namespace varnetta::app {

void TfrmMain::setupReport() {}

} // namespace varnetta::app

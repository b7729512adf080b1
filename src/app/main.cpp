// The program: one window on the meter, running until it is closed.
#include "VarnettaApplication.h"
#include "ufrmMain.h"

int main(int argc, char* argv[])
{
    varnetta::app::TVarnettaApplication app(argc, argv);
    varnetta::app::TfrmMain frmMain;
    frmMain.show();
    return varnetta::app::TVarnettaApplication::exec();
}

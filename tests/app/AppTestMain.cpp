// main() of the window tests: GoogleTest inside the program's own
// application object, so its exception handler is the one in force.
#include "app/VarnettaApplication.h"
#include "link/uCP2110.h"
#include "support/TemporaryUserFolders.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const varnetta::testing::TTemporaryUserFolders userFolders;
    varnetta::app::TVarnettaApplication app(argc, argv);
    // No bridge library beside the test binary: the window comes up without
    // one, and its notice must not wait for a person.
    varnetta::link::TCP2110::setMissingLibraryNotice([](const QString&) {});
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

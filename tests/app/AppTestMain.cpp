// main() of the window tests: GoogleTest inside the program's own
// application object, so its exception handler is the one in force.
#include "app/VarnettaApplication.h"
#include "link/uCP2110.h"
#include "support/IsolatedUserFolders.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    IsolateUserFolders();
    varnetta::app::TVarnettaApplication app(argc, argv);
    // No bridge library beside the test binary: the window comes up without
    // one, and its notice must not wait for a person.
    varnetta::link::TCP2110::setMissingLibraryNotice([](const QString&) {});
    ::testing::InitGoogleTest(&argc, argv);
    // Each test starts with no data left by the one before.
    struct TFreshUserData : ::testing::EmptyTestEventListener
    {
        void OnTestStart(const ::testing::TestInfo&) override { ClearUserData(); }
    };
    ::testing::UnitTest::GetInstance()->listeners().Append(new TFreshUserData);
    return RUN_ALL_TESTS();
}

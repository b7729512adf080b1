// main() of the Qt tests: GoogleTest inside a QApplication, or, for the
// tests of the widget-free libraries, inside a QCoreApplication, so that
// nothing they do can reach for a screen.
#include "IsolatedUserFolders.h"

#ifdef VARNETTA_CORE_TEST_MAIN
#include <QCoreApplication>
using TTestApplication = QCoreApplication;
#else
#include <QApplication>
using TTestApplication = QApplication;
#endif

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    IsolateUserFolders();
    TTestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // Each test starts with no data left by the one before.
    struct TFreshUserData : ::testing::EmptyTestEventListener
    {
        void OnTestStart(const ::testing::TestInfo&) override { ClearUserData(); }
    };
    ::testing::UnitTest::GetInstance()->listeners().Append(new TFreshUserData);
    return RUN_ALL_TESTS();
}

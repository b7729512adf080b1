// main() of the widget tests: GoogleTest inside a QApplication.
#include "IsolatedUserFolders.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    IsolateUserFolders();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // Each test starts with no data left by the one before.
    struct TFreshUserData : ::testing::EmptyTestEventListener
    {
        void OnTestStart(const ::testing::TestInfo&) override { ClearUserData(); }
    };
    ::testing::UnitTest::GetInstance()->listeners().Append(new TFreshUserData);
    return RUN_ALL_TESTS();
}

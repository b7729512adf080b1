// The window's side of the link: the connect button, the port's events, the
// watchdog and the device list, over the test bridge.
#include "LinkTestSupport.h"
#include "controls/NewMsgDlg.h"
#include "app/ufrmMain.h"
#include "log/LogStore.h"
#include "log/widgets/uLogPanel.h"
#include "protocol/FrameBuilders.h"

#include <QAction>
#include <QApplication>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace varnetta::link::testing {
namespace {

using app::TfrmMain;

class ConnectionTest : public LinkTest
{
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        app::SetMsgDlgHook([this](const QString& text, app::TMsgDlgType, app::TMsgDlgButtons) {
            messages << text;
            if (onMessage)
                onMessage();
            return int(app::mrOk);
        });
    }
    void TearDown() override
    {
        window.reset();
        app::SetMsgDlgHook(nullptr);
        LinkTest::TearDown();
    }

    TfrmMain& makeWindow()
    {
        window = std::make_unique<TfrmMain>();
        return *window;
    }
    template <typename T> T* find(const char* name)
    {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    TCP2110* windowPort() { return find<TCP2110>("CP21101"); }
    QPushButton* button() { return find<QPushButton>("btnConnect"); }
    QTimer* watchdog() { return find<QTimer>("timerDisconectedUSB"); }
    QWidget* widget(const char* name) { return find<QWidget>(name); }
    QStringList comboItems()
    {
        QStringList items;
        auto* combo = find<QComboBox>("cbbDevices");
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        return items;
    }
    // The limits stay open until the first disconnection.
    void expectNotConnected(bool limitsOpen = false)
    {
        EXPECT_FALSE(windowPort()->Connected());
        EXPECT_FALSE(button()->isChecked());
        EXPECT_EQ(button()->text(), "USB Connection");
        EXPECT_FALSE(widget("pnlCommand")->isEnabled());
        EXPECT_EQ(widget("pnlSetComp")->isEnabled(), limitsOpen);
        if (QWidget* usb = widget("lcdUSB")) {
            EXPECT_FALSE(usb->isVisibleTo(window.get()));
        }
        EXPECT_FALSE(watchdog()->isActive());
    }
    void expectConnected()
    {
        EXPECT_TRUE(windowPort()->Connected());
        EXPECT_TRUE(button()->isChecked());
        EXPECT_EQ(button()->text(), "USB Disconnect");
        EXPECT_TRUE(widget("pnlCommand")->isEnabled());
        EXPECT_TRUE(widget("pnlSetComp")->isEnabled());
        if (QWidget* usb = widget("lcdUSB")) {
            EXPECT_TRUE(usb->isVisibleTo(window.get()));
        }
        EXPECT_TRUE(watchdog()->isActive());
    }

    static inline const QString kNoDevice =
        QStringLiteral("No device found.  Please ensure that you have proper USB connection.");
    static inline const QString kCable =
        QStringLiteral("USB interface cable is not connected properly, please check and re-try.");

    std::unique_ptr<TfrmMain> window;
    QStringList messages;
    std::function<void()> onMessage;
};

TEST_F(ConnectionTest, withoutAMeterTheClickShowsNoDeviceAndTheButtonComesBackUp)
{
    makeWindow();
    expectNotConnected(true);
    bool pressedDuringMessage = false;
    onMessage = [&] { pressedDuringMessage = button()->isChecked(); };
    button()->click();
    EXPECT_EQ(messages, QStringList({kNoDevice}));
    EXPECT_TRUE(pressedDuringMessage);
    expectNotConnected(true);
}

TEST_F(ConnectionTest, connectAndDisconnectSwitchTheControlsBothWaysEveryTime)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    makeWindow();
    ASSERT_NE(widget("lcdUSB"), nullptr);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        button()->click();
        expectConnected();
        button()->click();
        expectNotConnected();
    }
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(TestBridge_OpenHandles(), 0);
}

TEST_F(ConnectionTest, receivedChunksReachTheReceiveAssembly)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    TfrmMain& w = makeWindow();
    TCP2110::setPollPause(1);
    button()->click();
    feed(QByteArray(40, 'x'));
    QTRY_COMPARE_WITH_TIMEOUT(w.receiveAssembly().counters().bytesReceived, quint64(40), 5000);
}

TEST_F(ConnectionTest, aSilentMeterIsDisconnectedByTheWatchdogThenTheCableMessageShowsOnce)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    makeWindow();
    watchdog()->setInterval(150);
    button()->click();
    bool disconnectedFirst = false;
    onMessage = [&] {
        disconnectedFirst = !windowPort()->Connected() && button()->text() == "USB Connection";
    };
    QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 5000);
    EXPECT_EQ(messages.first(), kCable);
    EXPECT_TRUE(disconnectedFirst);
    expectNotConnected();
}

TEST_F(ConnectionTest, everyChunkRestartsTheWatchdogCount)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    TfrmMain& w = makeWindow();
    TCP2110::setPollPause(1);
    watchdog()->setInterval(400);
    button()->click();
    // A chunk every 100 ms for well over the watchdog interval.
    QTimer feeder;
    QObject::connect(&feeder, &QTimer::timeout, [] { feed("z"); });
    feeder.start(100);
    QSignalSpy chunks(&w.receiveAssembly(), &protocol::TReceiveAssembly::chunkReceived);
    QTRY_VERIFY_WITH_TIMEOUT(chunks.count() >= 15, 10000);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(windowPort()->Connected());
    feeder.stop();
    QTRY_COMPARE_WITH_TIMEOUT(messages, QStringList({kCable}), 5000);
}

TEST_F(ConnectionTest, pullingTheOpenDeviceShowsNoDeviceOnceAndTheWatchdogStaysOff)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    makeWindow();
    watchdog()->setInterval(150);
    button()->click();
    TestBridge_RemoveDevice("/dev/hidraw1");
    hotplug->remove("/dev/hidraw1");
    EXPECT_EQ(messages, QStringList({kNoDevice}));
    expectNotConnected();
    EXPECT_TRUE(comboItems().isEmpty());
    EXPECT_TRUE(windowPort()->DeviceName().isEmpty());
    QSignalSpy fired(watchdog(), &QTimer::timeout);
    EXPECT_FALSE(fired.wait(400));
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(ConnectionTest, devicesPluggedInWhileIdleRefreshTheChoiceSilently)
{
    TestBridge_AddDevice("zeta", "/dev/hidraw4");
    makeWindow();
    EXPECT_EQ(comboItems(), QStringList({"zeta"}));
    TestBridge_AddDevice("Beta", "/dev/hidraw6");
    TestBridge_AddDevice("alpha", "/dev/hidraw5");
    hotplug->arrive("/dev/hidraw5");
    EXPECT_EQ(comboItems(), QStringList({"alpha", "Beta", "zeta"}));
    EXPECT_EQ(windowPort()->DeviceName(), "alpha");
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_FALSE(windowPort()->Connected());
    button()->click();
    ASSERT_TRUE(windowPort()->Connected());
    EXPECT_EQ(TestBridge_CallCount("HidUart_Open"), 1u);
    uint8_t frame[] = {1};
    uint32_t written = 0;
    EXPECT_TRUE(windowPort()->Write(frame, 1, written));
}

TEST_F(ConnectionTest, unpluggingTheLastBridgeWhileIdleEmptiesTheChoice)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    makeWindow();
    EXPECT_EQ(windowPort()->DeviceName(), "M1");
    TestBridge_RemoveDevice("/dev/hidraw1");
    hotplug->remove("/dev/hidraw1");
    EXPECT_TRUE(comboItems().isEmpty());
    EXPECT_TRUE(windowPort()->DeviceName().isEmpty());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ConnectionTest, closingTheWindowWhileConnectedClosesTheDevice)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    makeWindow();
    TCP2110::setPollPause(1);
    TestBridge_SetStream(16);
    button()->click();
    ASSERT_EQ(TestBridge_WaitForDataRead(5000), 1);
    window.reset();
    EXPECT_EQ(TestBridge_OpenHandles(), 0);
}

// ---- What may be used while the link comes and goes

TEST_F(ConnectionTest, limitsCanBeTypedFromTheStartAreLockedByADisconnectionAndOpenAgainWithTheLink)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    makeWindow();
    EXPECT_TRUE(widget("pnlSetComp")->isEnabled()) << "before the first connection";
    button()->click();
    EXPECT_TRUE(widget("pnlSetComp")->isEnabled());
    button()->click();
    EXPECT_FALSE(widget("pnlSetComp")->isEnabled()) << "after a disconnection";
    button()->click();
    EXPECT_TRUE(widget("pnlSetComp")->isEnabled()) << "not locked for the rest of the run";
}

TEST_F(ConnectionTest, aDisconnectionWithinTheCommandDelayLeavesThePanelToTheNextConnection)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    makeWindow();
    auto* delay = find<QTimer>("Timer_cmddelay");
    auto* hold = find<QAbstractButton>("btnCmdHold");
    QWidget* panel = widget("pnlCommand");

    // The delay ends while the link is down: the panel stays off, and the
    // next connection enables it.
    button()->click();
    hold->click();
    EXPECT_FALSE(panel->isEnabled());
    button()->click();
    QSignalSpy ended(delay, &QTimer::timeout);
    ASSERT_TRUE(ended.wait(2000));
    EXPECT_FALSE(panel->isEnabled());
    button()->click();
    EXPECT_TRUE(panel->isEnabled());

    // Disconnected and connected again within the delay: the panel waits
    // for the delay's end, then comes back.
    hold->click();
    button()->click();
    button()->click();
    ASSERT_TRUE(windowPort()->Connected());
    EXPECT_FALSE(panel->isEnabled()) << "one command per delay, connection or not";
    ASSERT_TRUE(ended.wait(2000));
    EXPECT_TRUE(panel->isEnabled());
}

TEST_F(ConnectionTest, theConnectButtonsAccessibleActionsConnectAndDisconnectLikeAClick)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    makeWindow();
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(button());
    ASSERT_NE(iface, nullptr);
    QAccessibleActionInterface* actions = iface->actionInterface();
    ASSERT_NE(actions, nullptr);
    EXPECT_TRUE(iface->state().checkable);
    for (const QString& action :
         {QAccessibleActionInterface::pressAction(), QAccessibleActionInterface::toggleAction()}) {
        SCOPED_TRACE(action.toStdString());
        ASSERT_TRUE(actions->actionNames().contains(action));
        actions->doAction(action);
        expectConnected();
        EXPECT_TRUE(iface->state().checked);
        EXPECT_EQ(iface->text(QAccessible::Name), "USB Disconnect");
        actions->doAction(action);
        expectNotConnected();
        EXPECT_FALSE(iface->state().checked);
    }
}

TEST_F(ConnectionTest, readingsHeldBackWhileThePrintPreviewWasOpenAreNotLoggedInABurst)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    TfrmMain& w = makeWindow();
    TCP2110::setPollPause(1);
    button()->click();
    const log::TLogStore& store = w.logPanel()->store();
    feed(protocol::testing::ReadingFrame('6', "  1 50.00 230.1   4.20"));
    QTRY_COMPARE_WITH_TIMEOUT(store.rowCount(), 1, 5000);

    // While the preview is open the reader stands still; the meter goes on.
    QTimer::singleShot(0, [&] {
        QWidget* preview = nullptr;
        QTRY_VERIFY((preview = QApplication::activeModalWidget()));
        for (const char* body :
             {"  1 50.01 230.1   4.20", "  1 50.02 230.1   4.20", "  1 50.03 230.1   4.20"})
            feed(protocol::testing::ReadingFrame('6', body));
        preview->close();
    });
    w.logPanel()->printButton()->click();
    EXPECT_EQ(store.rowCount(), 1);

    // Once the reader has read on past what waited, a fresh reading is the
    // only one that reaches the log.
    const uint32_t reads = TestBridge_CallCount("HidUart_Read");
    QTRY_VERIFY_WITH_TIMEOUT(TestBridge_CallCount("HidUart_Read") > reads + 3, 5000);
    feed(protocol::testing::ReadingFrame('6', "  1 49.99 230.1   4.20"));
    QTRY_VERIFY_WITH_TIMEOUT(store.rowCount() > 1, 5000);
    EXPECT_EQ(store.rowCount(), 2);
    EXPECT_EQ(store.fieldText(1, log::fAValue).trimmed(), "49.99");
}

TEST_F(ConnectionTest, aBridgeThatMayNotBeOpenedNamesItsNodeAndTheRuleInsteadOfNoDevice)
{
    TestBridge_AddDevice("M1", "/dev/hidraw7");
    TestBridge_FailCall("HidUart_Open", HID_UART_DEVICE_ACCESS_ERROR);
    makeWindow();
    button()->click();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("/dev/hidraw7")) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains("70-varnetta-bridge.rules"));
    EXPECT_TRUE(messages[0].contains("\"Using a real meter\""));
    EXPECT_FALSE(messages[0].contains(kNoDevice));
    expectNotConnected(true); // a failed attempt is no disconnection
}

// Connection > USB Ids...: the dialog is driven while it runs modal.
class UsbIdsChoice : public ConnectionTest
{
protected:
    void SetUp() override
    {
        ConnectionTest::SetUp();
        QStandardPaths::setTestModeEnabled(true); // the settings go to a test location
        QSettings(QStringLiteral("Varnetta"), QStringLiteral("varnetta")).clear();
    }
    void TearDown() override
    {
        QSettings(QStringLiteral("Varnetta"), QStringLiteral("varnetta")).clear();
        ConnectionTest::TearDown();
    }
    // Opens the dialog, types `text` and presses OK; false when OK was disabled.
    bool chooseIds(const QString& text)
    {
        bool okEnabled = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("edtUsbIds"));
            ASSERT_NE(edit, nullptr);
            edit->setText(text);
            auto* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
            okEnabled = ok->isEnabled();
            if (okEnabled)
                ok->click();
            else
                static_cast<QDialog*>(dialog)->reject();
        });
        find<QAction>("mniUsbIds")->trigger();
        return okEnabled;
    }
};

TEST_F(UsbIdsChoice, newIdsAreFollowedAtOnceAndKeptForTheNextRun)
{
    TestBridge_AddDevice("Family", "/dev/hidraw1");
    TestBridge_AddDeviceWithIds("Maker", "/dev/hidraw2", 0x1234, 0x5678);
    makeWindow();
    ASSERT_TRUE(chooseIds("1234:5678"));
    EXPECT_EQ(comboItems(), QStringList{"Maker"});
    EXPECT_EQ(windowPort()->DeviceName(), "Maker");

    window.reset();
    makeWindow();
    EXPECT_EQ(windowPort()->UsbIds(), (TUsbIds{{0x1234, 0x5678}})) << "kept between runs";
    EXPECT_EQ(comboItems(), QStringList{"Maker"});
    button()->click();
    EXPECT_TRUE(windowPort()->Connected());
}

TEST_F(UsbIdsChoice, textThatIsNotIdsCannotBeAcceptedAndChangesNothing)
{
    TestBridge_AddDevice("Family", "/dev/hidraw1");
    makeWindow();
    EXPECT_FALSE(chooseIds("10c4:zzzz"));
    EXPECT_EQ(windowPort()->UsbIds(), DefaultUsbIds());
    EXPECT_EQ(comboItems(), QStringList{"Family"});
}

} // namespace
} // namespace varnetta::link::testing

#include "app/CommandPanel.h"

#include "protocol/MeterCommands.h"
#include "protocol/MeterFrame.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace varnetta;
using varnetta::app::TCommandPanel;

namespace {

// A port double: open or closed, and everything written to it.
struct FakePort
{
    bool connected = true;
    std::vector<QByteArray> written;

    app::TCommandPort port()
    {
        return {[this] { return connected; }, [this](const QByteArray& f) { written.push_back(f); }};
    }
};

QByteArray ExpectedFrame(uint8_t code, uint8_t seq)
{
    const uint32_t sum = 0xAB + 0xCD + 0x04 + code + seq;
    QByteArray f;
    f.append(char(0xAB)).append(char(0xCD)).append(char(0x04)).append(char(code)).append(char(seq));
    f.append(char((sum >> 8) & 0xFF)).append(char(sum & 0xFF));
    return f;
}

class CommandPanelTest : public ::testing::Test
{
protected:
    CommandPanelTest() : panel(sequencer)
    {
        panel.setPort(fake.port());
        panel.connectionChanged(true);
    }

    // Clicks the control of that name: a panel button or a menu item.
    void clickControl(const std::string& name)
    {
        const QString n = QString::fromStdString(name);
        if (auto* b = panel.findChild<QToolButton*>(n))
            b->click();
        else if (auto* a = panel.findChild<QAction*>(n))
            a->trigger();
        else
            FAIL() << "no control " << name;
    }

    protocol::TCommandSequencer sequencer;
    FakePort fake;
    TCommandPanel panel;
};

} // namespace

TEST_F(CommandPanelTest, EveryButtonAndMenuItemSendsItsCodeInOneNumberedFrame)
{
    uint8_t seq = 1;
    for (const auto& cmd : protocol::kMeterCommands) {
        // The export asks first and the acknowledgement has no control.
        if (cmd.control.empty() || cmd.code == protocol::kCmdExportData)
            continue;
        SCOPED_TRACE(std::string(cmd.control));
        const std::string name(cmd.control);
        QObject* control = panel.findChild<QObject*>(QString::fromStdString(name));
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->property("Tag").toInt(), cmd.code);
        const QString caption = qobject_cast<QToolButton*>(control)
                                    ? qobject_cast<QToolButton*>(control)->text()
                                    : qobject_cast<QAction*>(control)->text();
        EXPECT_EQ(caption.toStdString(), std::string(cmd.caption));

        fake.written.clear();
        clickControl(name);
        ASSERT_EQ(fake.written.size(), 1u);
        EXPECT_EQ(fake.written[0].toHex(' '), ExpectedFrame(cmd.code, seq).toHex(' '));
        ++seq;
        // The next command only after the delay.
        EXPECT_FALSE(panel.isEnabled());
        panel.Timer_cmddelayTimer();
        ASSERT_TRUE(panel.isEnabled());
    }
    EXPECT_EQ(sequencer.counter(), seq);
}

TEST_F(CommandPanelTest, HoldWritesTheDocumentedBytes)
{
    panel.findChild<QToolButton*>("btnCmdHold")->click();
    ASSERT_EQ(fake.written.size(), 1u);
    EXPECT_EQ(fake.written[0], QByteArray::fromHex("abcd044201") + QByteArray::fromHex("01bf"));
}

TEST_F(CommandPanelTest, TwoBackLightButtonsDoDifferentThings)
{
    auto* direct = panel.findChild<QToolButton*>("SpeedButton1");
    auto* menuButton = panel.findChild<QToolButton*>("btnCmdLight");
    ASSERT_NE(direct, nullptr);
    ASSERT_NE(menuButton, nullptr);
    EXPECT_EQ(direct->text(), "Back Light");
    EXPECT_EQ(menuButton->text(), "Back Light");

    QSignalSpy opened(&panel, &TCommandPanel::menuOpened);
    menuButton->click();
    EXPECT_EQ(opened.count(), 1);
    EXPECT_TRUE(fake.written.empty()) << "opening the menu sends nothing";
    auto* menu = panel.findChild<QMenu*>("pmBackLight");
    ASSERT_NE(menu, nullptr);
    menu->close();

    direct->click();
    ASSERT_EQ(fake.written.size(), 1u);
    EXPECT_EQ(uint8_t(fake.written[0][3]), 0xC2);
}

TEST_F(CommandPanelTest, ExportButtonOnlyAsksForTheExport)
{
    QSignalSpy requested(&panel, &TCommandPanel::exportRequested);
    panel.exportButton()->click();
    EXPECT_EQ(requested.count(), 1);
    EXPECT_TRUE(fake.written.empty());
    EXPECT_TRUE(panel.isEnabled());
}

TEST_F(CommandPanelTest, LayoutFollowsTheButtonTable)
{
    EXPECT_EQ(panel.width(), 117);
    EXPECT_EQ(panel.font().pixelSize(), 11);
    const std::pair<const char*, int> tops[] = {
        {"btnCmdMenu", 8},        {"btnCmdHarm", 32},         {"btnCmdSelect", 56},
        {"btnCmdSum", 80},        {"btnCmdUp", 104},          {"btnCmdDown", 128},
        {"btnCmdMaxMinCur", 152}, {"btnCmdExitStatus", 176},  {"btnCmdHold", 200},
        {"SpeedButton1", 224},    {"btnCmdSaveData", 264},    {"btnCmdAutoSaveData", 288},
        {"btnCmdLoadMem", 320},   {"btnCmdAutoLoadMem", 344}, {"btnCmdClearMem", 376},
        {"btnExportData", 400},   {"btnCmdAutoPower", 432},   {"btnCmdLight", 456},
        {"btnCmdFreqMode", 480},
    };
    for (const auto& [name, top] : tops) {
        auto* b = panel.findChild<QToolButton*>(name);
        ASSERT_NE(b, nullptr) << name;
        EXPECT_EQ(b->geometry(), QRect(8, top, 99, 25)) << name;
    }
}

// ---- while the port is closed

TEST_F(CommandPanelTest, NothingIsSentOrCountedWhileDisconnected)
{
    fake.connected = false;
    panel.SendCommand(protocol::kCmdHold);
    panel.findChild<QToolButton*>("btnCmdHold")->click();
    EXPECT_TRUE(fake.written.empty());
    EXPECT_EQ(sequencer.counter(), 1u);
}

// ---- the command delay and the enabling rules

TEST_F(CommandPanelTest, ClickDisablesThePanelUntilTheDelayHasRun)
{
    QTimer* timer = panel.commandDelayTimer();
    EXPECT_EQ(timer->objectName(), "Timer_cmddelay");
    EXPECT_EQ(timer->interval(), 500);
    EXPECT_FALSE(timer->isActive());

    QSignalSpy fired(timer, &QTimer::timeout);
    panel.findChild<QToolButton*>("btnCmdSelect")->click();
    EXPECT_FALSE(panel.isEnabled());
    EXPECT_TRUE(timer->isActive());
    ASSERT_TRUE(fired.wait(5000));
    EXPECT_TRUE(panel.isEnabled());
    EXPECT_FALSE(timer->isActive());
}

TEST_F(CommandPanelTest, DelayDoesNotReviveThePanelAfterADisconnection)
{
    QSignalSpy fired(panel.commandDelayTimer(), &QTimer::timeout);
    panel.findChild<QToolButton*>("btnCmdSelect")->click();
    fake.connected = false;
    panel.connectionChanged(false);
    ASSERT_TRUE(fired.wait(5000));
    EXPECT_FALSE(panel.isEnabled());
    EXPECT_FALSE(panel.commandDelayTimer()->isActive());
}

TEST_F(CommandPanelTest, DelayDoesNotReviveThePanelDuringAnExport)
{
    panel.findChild<QToolButton*>("btnCmdUp")->click();
    panel.exportStarted();
    panel.Timer_cmddelayTimer();
    EXPECT_FALSE(panel.isEnabled());
    panel.exportEnded();
    EXPECT_TRUE(panel.isEnabled());
}

TEST_F(CommandPanelTest, ReconnectingEndsAnExportThatNeverFinished)
{
    panel.exportStarted();
    panel.connectionChanged(false);
    panel.connectionChanged(true);
    EXPECT_TRUE(panel.isEnabled());
    EXPECT_FALSE(panel.exportRunning());
    panel.findChild<QToolButton*>("btnCmdUp")->click();
    panel.Timer_cmddelayTimer();
    EXPECT_TRUE(panel.isEnabled());
}

// ---- the settings menus

TEST(CommandPanelMenus, OpenAtTheButtonsBottomLeftCornerBelowTheTopBar)
{
    protocol::TCommandSequencer sequencer;
    FakePort fake;
    QWidget window;
    auto* column = new QVBoxLayout(&window);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* topBar = new QWidget(&window);
    topBar->setFixedHeight(33);
    column->addWidget(topBar);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addStretch(1);
    auto* panel = new TCommandPanel(sequencer, &window);
    row->addWidget(panel);
    column->addLayout(row, 1);
    panel->setPort(fake.port());
    panel->setMenuGeometry(&window, topBar);
    panel->connectionChanged(true);
    window.resize(600, 560);
    window.move(40, 30);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    const std::tuple<const char*, const char*, const char*, uint8_t> menus[] = {
        {"btnCmdAutoPower", "pmAutoPower", "miCmdAutoPower20", 0x4E},
        {"btnCmdLight", "pmBackLight", "miBackLight30", 0x53},
        {"btnCmdFreqMode", "pmCmdFreqMode", "miFreqMode60", 0x56},
    };
    for (const auto& [buttonName, menuName, itemName, code] : menus) {
        SCOPED_TRACE(buttonName);
        auto* button = panel->findChild<QToolButton*>(buttonName);
        ASSERT_NE(button, nullptr);
        const QPoint expected =
            window.mapToGlobal(QPoint(panel->x() + button->x(), 33 + button->y() + button->height()));
        EXPECT_EQ(panel->menuPoint(button), expected);

        QSignalSpy opened(panel, &TCommandPanel::menuOpened);
        button->click();
        ASSERT_EQ(opened.count(), 1);
        auto* menu = panel->findChild<QMenu*>(menuName);
        EXPECT_EQ(opened[0][0].value<QMenu*>(), menu);
        EXPECT_EQ(opened[0][1].toPoint(), expected);
        EXPECT_TRUE(menu->isVisible());

        fake.written.clear();
        auto* item = panel->findChild<QAction*>(itemName);
        ASSERT_NE(item, nullptr);
        EXPECT_TRUE(menu->actions().contains(item));
        item->trigger();
        menu->close();
        ASSERT_EQ(fake.written.size(), 1u);
        EXPECT_EQ(uint8_t(fake.written[0][3]), code);
        panel->Timer_cmddelayTimer();
    }
}

TEST(CommandPanelMenus, ClosingAMenuWithoutAChoiceSendsNothing)
{
    protocol::TCommandSequencer sequencer;
    FakePort fake;
    TCommandPanel panel(sequencer);
    panel.setPort(fake.port());
    panel.connectionChanged(true);
    panel.findChild<QToolButton*>("btnCmdFreqMode")->click();
    auto* menu = panel.findChild<QMenu*>("pmCmdFreqMode");
    EXPECT_TRUE(menu->isVisible());
    menu->close();
    EXPECT_TRUE(fake.written.empty());
    EXPECT_TRUE(panel.isEnabled());
}

// The main window's own behaviour: caption, regions, Quit and the title-bar
// close with their question, and the command-panel toggle.
#include "controls/FileDialogs.h"
#include "controls/NewMsgDlg.h"
#include "app/ufrmMain.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

using namespace varnetta::app;

namespace {

class MainWindow : public testing::Test
{
protected:
    void SetUp() override
    {
        m_previous = SetMsgDlgHook([this](const QString& msg, TMsgDlgType type, TMsgDlgButtons buttons) {
            ++m_asked;
            m_lastQuestion = msg;
            EXPECT_EQ(type, mtConfirmation);
            EXPECT_EQ(buttons, mbYes | mbNo);
            return m_answer;
        });
        m_window = std::make_unique<TfrmMain>();
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void TearDown() override
    {
        m_answer = mrYes;
        m_window.reset();
        SetMsgDlgHook(m_previous);
    }

    template <typename T> T* child(const char* name)
    {
        T* found = m_window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QWidget* region(const char* name) { return child<QWidget>(name); }

    // The x of a widget's right edge in window coordinates.
    int rightEdge(QWidget* w) { return w->mapTo(m_window.get(), QPoint(w->width(), 0)).x(); }

    std::unique_ptr<TfrmMain> m_window;
    TMsgDlgHook m_previous;
    int m_answer = mrYes;
    int m_asked = 0;
    QString m_lastQuestion;
};

const QString kQuitQuestion = QStringLiteral("Are you sure that you want to quit this application?");

} // namespace

// ---- appearance -----------------------------------------------------------

TEST_F(MainWindow, CaptionIconAndEmptyApplicationTitle)
{
    EXPECT_EQ(m_window->windowTitle(), "Varnetta Interface Program Version:1.01");
    EXPECT_FALSE(m_window->windowIcon().isNull());
    EXPECT_FALSE(m_window->windowIcon().pixmap(32, 32).isNull());
    EXPECT_TRUE(QGuiApplication::applicationDisplayName().isEmpty());
}

TEST_F(MainWindow, RegionsHaveTheirDesignSizes)
{
    EXPECT_EQ(m_window->size(), QSize(989, 700));
    EXPECT_EQ(region("Panel5")->height(), 33);
    EXPECT_EQ(region("Panel2")->width(), 444);
    EXPECT_EQ(region("pnlLcd")->height(), 241);
    EXPECT_EQ(region("pnlSetComp")->height(), 97);
    EXPECT_EQ(region("pnlCommand")->width(), 117);
    EXPECT_EQ(region("btnConnect")->geometry(), QRect(7, 3, 106, 24));
    EXPECT_EQ(region("btnExit")->size(), QSize(90, 24));
    EXPECT_EQ(region("btnHideCmd")->size(), QSize(27, 24));
    EXPECT_FALSE(region("cbbDevices")->isVisible());
    EXPECT_FALSE(region("pnlCommand")->isEnabled());
    EXPECT_EQ(child<QPushButton>("btnExit")->text(), "Quit");
    EXPECT_EQ(child<QPushButton>("btnHideCmd")->text(), "-->");
}

TEST_F(MainWindow, QuitAndToggleStayAtTheRightEdgeWhenResized)
{
    QWidget* exit = region("btnExit");
    QWidget* toggle = region("btnHideCmd");
    const int gap = m_window->width() - rightEdge(toggle);
    EXPECT_GE(gap, 0);
    EXPECT_LE(gap, 10);
    EXPECT_EQ(rightEdge(exit), toggle->mapTo(m_window.get(), QPoint(0, 0)).x());

    m_window->resize(1200, 800);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->width() == 1200; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->width() - rightEdge(toggle) == gap; }, 5000));
    EXPECT_EQ(rightEdge(exit), toggle->mapTo(m_window.get(), QPoint(0, 0)).x());
    EXPECT_EQ(region("Panel5")->height(), 33);
    EXPECT_EQ(region("pnlCommand")->width(), 117);
}

// ---- closing --------------------------------------------------------------

TEST_F(MainWindow, QuitAnsweredNoKeepsTheWindowAsItWas)
{
    m_answer = mrNo;
    child<QPushButton>("btnExit")->click();
    EXPECT_EQ(m_asked, 1);
    EXPECT_EQ(m_lastQuestion, kQuitQuestion);
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_EQ(m_window->windowTitle(), "Varnetta Interface Program Version:1.01");
    EXPECT_TRUE(region("pnlCommand")->isVisible());
}

TEST_F(MainWindow, OnlyYesCountsAsConsent)
{
    for (int answer : {int(mrNo), int(mrCancel), int(mrOk), int(mrNone)}) {
        m_answer = answer;
        child<QPushButton>("btnExit")->click();
        EXPECT_TRUE(m_window->isVisible()) << "answer " << answer;
    }
    EXPECT_EQ(m_asked, 4);
}

TEST_F(MainWindow, QuitAnsweredYesClosesTheWindow)
{
    m_answer = mrYes;
    child<QPushButton>("btnExit")->click();
    EXPECT_EQ(m_asked, 1);
    EXPECT_FALSE(m_window->isVisible());
}

TEST_F(MainWindow, TitleBarCloseAsksTheSameQuestion)
{
    QWindow* handle = m_window->windowHandle();
    ASSERT_NE(handle, nullptr);
    m_answer = mrNo;
    handle->close();
    EXPECT_EQ(m_asked, 1);
    EXPECT_EQ(m_lastQuestion, kQuitQuestion);
    EXPECT_TRUE(m_window->isVisible());

    m_answer = mrYes;
    handle = m_window->windowHandle();
    ASSERT_NE(handle, nullptr);
    handle->close();
    EXPECT_EQ(m_asked, 2);
    EXPECT_FALSE(m_window->isVisible());
}

// ---- command panel toggle -------------------------------------------------

TEST_F(MainWindow, ToggleHidesThenRestoresThePanelAndItsCaption)
{
    QWidget* panel = region("pnlCommand");
    QWidget* middle = region("Panel4");
    auto* toggle = child<QPushButton>("btnHideCmd");
    const int middleWidth = middle->width();

    toggle->click();
    EXPECT_TRUE(panel->isHidden());
    EXPECT_EQ(toggle->text(), "<--");
    EXPECT_FALSE(panel->isEnabled());
    // The middle region takes the freed width.
    EXPECT_TRUE(QTest::qWaitFor([&] { return middle->width() >= middleWidth + 117; }, 5000));

    toggle->click();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(toggle->text(), "-->");
    EXPECT_FALSE(panel->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return middle->width() == middleWidth; }, 5000));
}

TEST_F(MainWindow, ToggleKeepsAnEnabledPanelEnabled)
{
    QWidget* panel = region("pnlCommand");
    panel->setEnabled(true);
    auto* toggle = child<QPushButton>("btnHideCmd");
    toggle->click();
    toggle->click();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(panel->isEnabled());
}

// ---- keyboard --------------------------------------------------------------

TEST_F(MainWindow, StandardShortcutsOpenSaveAndQuit)
{
    m_window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    QStringList dialogs;
    const TFileDialogs::THook previous = TFileDialogs::setHook([&](QFileDialog& dialog) {
        dialogs << dialog.objectName();
        return QString(); // cancelled
    });
    QTest::keyClick(m_window.get(), Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(m_window.get(), Qt::Key_S, Qt::ControlModifier);
    TFileDialogs::setHook(previous);
    EXPECT_EQ(dialogs, QStringList({"OpenDialog1", "SaveDialog1"}));

    m_answer = mrNo;
    QTest::keyClick(m_window.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(m_asked, 1);
    EXPECT_EQ(m_lastQuestion, kQuitQuestion);
    EXPECT_TRUE(m_window->isVisible());

    // The Record menu has a mnemonic, and its Save shows the shortcut.
    auto* record = child<QMenu>("mniRecord1");
    EXPECT_EQ(record->title(), "&Record");
    EXPECT_EQ(child<QAction>("mniSave1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
}

TEST_F(MainWindow, TabRunsFromTheTopBarThroughLogGridLimitsChartToTheCommandPanel)
{
    // The command panel is off without a connection; its order is checked
    // with it on.
    region("pnlCommand")->setEnabled(true);
    QStringList visited;
    QWidget* w = child<QWidget>("btnConnect");
    for (int i = 0; i < 200 && w; ++i) {
        if (!visited.isEmpty() && w->objectName() == visited.first())
            break;
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(m_window.get()) && w->isEnabled() &&
            !w->objectName().isEmpty())
            visited << w->objectName();
        w = w->nextInFocusChain();
    }
    const auto at = [&](const char* name) { return visited.indexOf(QLatin1String(name)); };
    for (const char* name : {"btnConnect", "btnExit", "cbInterval", "edtRecInterval", "btnRecordOpen", "btnPause",
                             "DBGrid1", "edtCompHigh", "edtCompLow", "edtRange", "btnNext", "btnCmdMenu",
                             "btnCmdHold", "btnCmdFreqMode"})
        EXPECT_GE(at(name), 0) << name;
    const char* order[] = {"btnConnect", "btnExit",    "btnHideCmd", "edtRecInterval", "btnRecordOpen",
                           "btnPause",   "DBGrid1",    "edtCompHigh", "edtCompLow",     "edtRange",
                           "btnNext",    "btnCmdMenu", "btnCmdHold",  "btnCmdFreqMode"};
    for (size_t i = 1; i < std::size(order); ++i)
        EXPECT_LT(at(order[i - 1]), at(order[i])) << order[i - 1] << " before " << order[i];
}

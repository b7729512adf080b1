#include "display/widgets/uLcdPanel.h"

#include "../protocol/FrameBuilders.h"
#include "controls/CControls.h"
#include "protocol/FrameDispatcher.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace varnetta::display {
namespace {

using protocol::testing::MemoryFrame;
using protocol::testing::ReadingFrame;

QByteArray Status(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4)
{
    return QByteArray{} + char(b0) + char(b1) + char(b2) + char(b3) + char(b4);
}

// The panel wired to a dispatcher the way the main window wires it.
class LcdPanelFed : public ::testing::Test
{
protected:
    LcdPanelFed()
    {
        using protocol::TFrameDispatcher;
        QObject::connect(&dispatcher, &TFrameDispatcher::unitChanged, &panel, &TLcdPanel::SetUnitText);
        QObject::connect(&dispatcher, &TFrameDispatcher::functionSymbols, &panel,
                         &TLcdPanel::SetFunctionSymbols);
        QObject::connect(&dispatcher, &TFrameDispatcher::readingDecoded, &panel, &TLcdPanel::ShowReading);
        QObject::connect(&dispatcher, &TFrameDispatcher::memoryRecordReceived, &panel,
                         &TLcdPanel::ShowReading);
        QObject::connect(&dispatcher, &TFrameDispatcher::statusReceived, &panel,
                         &TLcdPanel::CP21041ReceiveStatusData);
        QObject::connect(&dispatcher, &TFrameDispatcher::frameHandled, &panel, &TLcdPanel::FlipActivity);
    }

    void feed(uint8_t code, const QByteArray& status, const QByteArray& body = "050 230.1  1.234 5.67")
    {
        dispatcher.CP21041ReceiveData(ReadingFrame(code, body, status));
    }

    template <class T = QWidget> T* child(const char* name)
    {
        auto* w = panel.findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString text(const char* name) { return child<QLabel>(name)->text(); }
    bool shown(const char* name) { return !child(name)->isHidden(); }

    protocol::TFrameDispatcher dispatcher;
    TLcdPanel panel;
};

struct IndicatorCase
{
    int byte;
    uint8_t mask;
    const char* control;
    const char* textOn; // nullptr: the indicator shows and hides
    const char* textOff;
};

const IndicatorCase kIndicators[] = {
    {0, 0x1, "lcdHold", nullptr, nullptr},
    {0, 0x4, "lcdLowPower", nullptr, nullptr},
    {0, 0x8, "lcdWarning", nullptr, nullptr},
    {1, 0x1, "lcdAutoPower", nullptr, nullptr},
    {1, 0x2, "lcdRstB2", nullptr, nullptr},
    {1, 0x4, "lcdRstB1", nullptr, nullptr},
    {2, 0x1, "lcdMemClr", nullptr, nullptr},
    {2, 0x2, "lcdMemFull", nullptr, nullptr},
    {2, 0x4, "lcdMem", nullptr, nullptr},
    {2, 0x8, "lcdMr", nullptr, nullptr},
    {3, 0x1, "lcdSum", nullptr, nullptr},
    {3, 0x2, "lcdSelect3", nullptr, nullptr},
    {3, 0x4, "lcdSelect2", nullptr, nullptr},
    {3, 0x8, "lcdSelect1", nullptr, nullptr},
    {4, 0x1, "lcdMin", "MIN", ""},
    {4, 0x2, "lcdMax", "MAX", ""},
    {4, 0x4, "lcdTime", "h:mm", "m:s"},
    {4, 0x8, "lcdW", nullptr, nullptr},
};

class StatusBitOnThePanel : public LcdPanelFed, public ::testing::WithParamInterface<IndicatorCase>
{
};

TEST_P(StatusBitOnThePanel, setsItsControlAndClearsIt)
{
    const IndicatorCase c = GetParam();
    QByteArray status(5, '\0');
    status[c.byte] = char(0xF0 | c.mask); // the high nibble must not matter
    feed(0x30, status);
    if (c.textOn)
        EXPECT_EQ(text(c.control), QString::fromLatin1(c.textOn));
    else
        EXPECT_TRUE(shown(c.control));
    for (const IndicatorCase& other : kIndicators) {
        if (other.control != c.control && !other.textOn) {
            EXPECT_FALSE(shown(other.control)) << other.control;
        }
    }

    feed(0x30, QByteArray(5, '\0'));
    if (c.textOff)
        EXPECT_EQ(text(c.control), QString::fromLatin1(c.textOff));
    else
        EXPECT_FALSE(shown(c.control));
}

INSTANTIATE_TEST_SUITE_P(StatusTable, StatusBitOnThePanel, ::testing::ValuesIn(kIndicators),
                         [](const auto& info) { return std::string(info.param.control); });

TEST_F(LcdPanelFed, startsInTheMetersIdleState)
{
    EXPECT_EQ(child<QLineEdit>("lcdDisplay0")->text(), "999");
    for (const char* field : {"lcdDisplay1", "lcdDisplay2", "lcdDisplay3"})
        EXPECT_EQ(child<QLineEdit>(field)->text(), "-9999") << field;
    for (const IndicatorCase& c : kIndicators) {
        if (!c.textOn) {
            EXPECT_FALSE(shown(c.control)) << c.control;
        }
    }
    for (const char* name :
         {"lcdMax", "lcdMin", "lcdTime", "lcdUnit", "lcdSubUnit1", "lcdSubUnit2", "lcdCosSin", "lcdTHD"})
        EXPECT_TRUE(text(name).isEmpty()) << name;
    for (const char* name :
         {"lcdAC", "lcdAC2", "lcdAC3", "lcdRstA", "lcdUSB", "CONok", "Panel3", "Panel7", "pnlLoadLog"})
        EXPECT_FALSE(shown(name)) << name;
    EXPECT_TRUE(shown("lcdTrueRMS"));
    EXPECT_TRUE(shown("CONokN"));
    EXPECT_EQ(panel.loadCaption(), "Data transfer completed");
    EXPECT_EQ(panel.size(), QSize(444, 241));
}

TEST_F(LcdPanelFed, displayFieldsAreReadOnlyRightAlignedSevenSegmentFields)
{
    for (const char* name : {"lcdDisplay0", "lcdDisplay1", "lcdDisplay2", "lcdDisplay3"}) {
        auto* field = child<app::TCEdit>(name);
        EXPECT_TRUE(field->isReadOnly()) << name;
        EXPECT_EQ(field->Alignment(), app::taRightJustify) << name;
        EXPECT_EQ(field->palette().color(QPalette::Base), QColor(166, 202, 240)) << name;
        EXPECT_TRUE(field->font().family().startsWith("DSEG7")) << name;
    }
    EXPECT_EQ(child("lcdDisplay1")->geometry(), QRect(72, 94, 289, 73));
}

TEST_F(LcdPanelFed, repeatedStatusTouchesNoControl)
{
    feed(0x30, Status(0x01, 0, 0, 0, 0x02));
    ASSERT_TRUE(shown("lcdHold"));
    ASSERT_EQ(text("lcdMax"), "MAX");
    // Disturb the controls behind the setters' back: a repeated status must
    // leave them alone, since its bits match what was remembered.
    child("lcdHold")->setVisible(false);
    child<QLabel>("lcdMax")->setText("x");
    feed(0x30, Status(0x01, 0, 0, 0, 0x02));
    EXPECT_FALSE(shown("lcdHold"));
    EXPECT_EQ(text("lcdMax"), "x");
}

TEST_F(LcdPanelFed, firstAllClearStatusTouchesNoControl)
{
    child<QLabel>("lcdMin")->setText("y");
    child("lcdMem")->setVisible(true);
    panel.CP21041ReceiveStatusData({0, 0, 0, 0, 0});
    EXPECT_EQ(text("lcdMin"), "y");
    EXPECT_TRUE(shown("lcdMem"));
}

TEST_F(LcdPanelFed, bothPhaseArrowsShowOverThePlainPhaseSymbol)
{
    feed(0x38, Status(0, 0x06, 0, 0, 0));
    EXPECT_TRUE(shown("lcdRstA"));
    EXPECT_TRUE(shown("lcdRstB1"));
    EXPECT_TRUE(shown("lcdRstB2"));
    EXPECT_EQ(child("lcdRstA")->geometry(), child("lcdRstB1")->geometry());
}

TEST_F(LcdPanelFed, maxAndMinShowTogether)
{
    feed(0x30, Status(0, 0, 0, 0, 0x03));
    EXPECT_EQ(text("lcdMax"), "MAX");
    EXPECT_EQ(text("lcdMin"), "MIN");
}

struct SymbolCase
{
    uint8_t code;
    const char* unit;
    const char* subUnit1;
    const char* subUnit2;
    bool subAc;
    const char* cosSin;
    const char* time;
    bool rst;
    const char* thd;
};

const SymbolCase kSymbols[] = {
    {0x30, "KW", "V", "A", true, "", "", false, ""},
    {0x33, "", "V", "A", true, "COS\u0424", "", false, ""},
    {0x34, "", "V", "A", true, "SIN\u0424", "", false, ""},
    {0x35, "\u3002", "V", "A", true, "", "", false, ""},
    {0x37, "KWh", "KW", "", true, "", "m:s", false, ""},
    {0x38, "V", "V", "V", true, "", "", true, ""},
    {0x39, "V", "", "%f", false, "", "", false, "THD"},
    {0x62, "V", "", "%f", false, "", "", false, ""},
    {0x64, "A", "", "%r", false, "", "", false, "THD"},
};

class FunctionCodeOnThePanel : public LcdPanelFed, public ::testing::WithParamInterface<SymbolCase>
{
};

TEST_P(FunctionCodeOnThePanel, showsItsUnitsAndSymbols)
{
    const SymbolCase c = GetParam();
    feed(0x65, QByteArray(5, '\0')); // start from another function
    feed(c.code, QByteArray(5, '\0'));
    EXPECT_EQ(text("lcdUnit"), QString::fromUtf8(c.unit));
    EXPECT_EQ(text("lcdSubUnit1"), QString::fromUtf8(c.subUnit1));
    EXPECT_EQ(text("lcdSubUnit2"), QString::fromUtf8(c.subUnit2));
    EXPECT_TRUE(shown("lcdAC"));
    EXPECT_EQ(shown("lcdAC2"), c.subAc);
    EXPECT_EQ(shown("lcdAC3"), c.subAc);
    EXPECT_EQ(text("lcdCosSin"), QString::fromUtf8(c.cosSin));
    EXPECT_EQ(text("lcdTime"), QString::fromUtf8(c.time));
    EXPECT_EQ(shown("lcdRstA"), c.rst);
    EXPECT_EQ(text("lcdTHD"), QString::fromUtf8(c.thd));
}

INSTANTIATE_TEST_SUITE_P(FunctionTable, FunctionCodeOnThePanel, ::testing::ValuesIn(kSymbols),
                         [](const auto& info) { return "code" + std::to_string(info.param.code); });

TEST_F(LcdPanelFed, unknownFunctionCodeLeavesUnitsAndSymbols)
{
    feed(0x33, QByteArray(5, '\0'));
    feed(0x66, QByteArray(5, '\0'));
    EXPECT_EQ(text("lcdCosSin"), QString::fromUtf8("COS\u0424"));
    EXPECT_EQ(text("lcdSubUnit1"), "V");
}

TEST_F(LcdPanelFed, timeLabelKeepsHoursWhileTheBitStaysSet)
{
    feed(0x37, Status(0, 0, 0, 0, 0x04));
    EXPECT_EQ(text("lcdTime"), "h:mm");
    feed(0x37, Status(0, 0, 0, 0, 0x04));
    feed(0x30, Status(0, 0, 0, 0, 0x04));
    EXPECT_EQ(text("lcdTime"), "h:mm");
    feed(0x37, Status(0, 0, 0, 0, 0));
    EXPECT_EQ(text("lcdTime"), "m:s");
    feed(0x30, Status(0, 0, 0, 0, 0));
    EXPECT_EQ(text("lcdTime"), "");
}

TEST_F(LcdPanelFed, readingTextsGoToTheFourFields)
{
    feed(0x30, QByteArray(5, '\0'), "050-123.4 230.1  5.67");
    EXPECT_EQ(child<QLineEdit>("lcdDisplay0")->text(), "050");
    EXPECT_EQ(child<QLineEdit>("lcdDisplay1")->text(), "-123.4");
    EXPECT_EQ(child<QLineEdit>("lcdDisplay2")->text(), " 230.1");
    EXPECT_EQ(child<QLineEdit>("lcdDisplay3")->text(), "  5.67");

    dispatcher.CP21041ReceiveData(MemoryFrame(0x31, "007  99.9  12.0   3.3"));
    EXPECT_EQ(child<QLineEdit>("lcdDisplay1")->text(), "  99.9");
}

TEST_F(LcdPanelFed, pausedLogKeepsTheFieldsButFollowsStatus)
{
    dispatcher.setLogPaused(true);
    feed(0x30, Status(0x01, 0, 0, 0, 0), "050-123.4 230.1  5.67");
    EXPECT_EQ(child<QLineEdit>("lcdDisplay1")->text(), "-9999");
    EXPECT_TRUE(shown("lcdHold"));
}

TEST_F(LcdPanelFed, activityIconAlternatesFrameByFrame)
{
    for (int frame = 1; frame <= 4; ++frame) {
        feed(0x30, QByteArray(5, '\0'));
        const bool odd = frame % 2 == 1;
        EXPECT_EQ(shown("CONok"), odd) << frame;
        EXPECT_EQ(shown("CONokN"), !odd) << frame;
    }
    // A frame of another type flips it too.
    dispatcher.CP21041ReceiveData(protocol::testing::MeterFrameBytes(0x41, 0x30, {}));
    EXPECT_TRUE(shown("CONok"));
}

TEST_F(LcdPanelFed, loadingDotsRunFromOneToNineteenThenEmpty)
{
    for (int i = 1; i <= 19; ++i)
        panel.AdvanceLoadingDots();
    EXPECT_EQ(text("lblLoading"), QString(19, '.'));
    panel.AdvanceLoadingDots();
    EXPECT_EQ(text("lblLoading"), "");
    panel.AdvanceLoadingDots();
    EXPECT_EQ(text("lblLoading"), ".");
    panel.ClearLoadingDots();
    EXPECT_EQ(text("lblLoading"), "");
}

TEST_F(LcdPanelFed, overlaysCoverThePanelButTheMemoryCorner)
{
    panel.ShowOverlays();
    panel.SetLoadCaption("Data transfering");
    EXPECT_TRUE(panel.overlaysShown());
    EXPECT_EQ(panel.loadCaption(), "Data transfering");
    // Main display and the symbols of the top strip lie under an overlay ...
    for (const QPoint p : {QPoint(200, 130), QPoint(270, 20), QPoint(320, 75), QPoint(100, 220)}) {
        const QWidget* top = panel.childAt(p);
        ASSERT_NE(top, nullptr);
        const QString name = top->objectName();
        EXPECT_TRUE(name == "Panel3" || name == "Panel7" || name == "pnlLoadLog" || name == "lblLoading")
            << p.x() << "," << p.y() << " " << name.toStdString();
    }
    // ... while the small display and the memory marks stay visible.
    EXPECT_EQ(panel.childAt(QPoint(90, 70))->objectName(), "lcdDisplay0");
    panel.SetIndicator(idMem, true);
    EXPECT_EQ(panel.childAt(QPoint(50, 80))->objectName(), "lcdMem");
    panel.HideOverlays();
    EXPECT_FALSE(panel.overlaysShown());
    EXPECT_EQ(panel.childAt(QPoint(200, 130))->objectName(), "lcdDisplay1");
}

TEST(LcdPanelFocus, displayFieldHandsTheFocusOn)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* before = new QLineEdit(&window);
    auto* panel = new TLcdPanel(&window);
    auto* after = new QLineEdit(&window);
    layout->addWidget(before);
    layout->addWidget(panel);
    layout->addWidget(after);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    panel->findChild<QWidget*>("lcdDisplay1")->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(!panel->findChild<QWidget*>("lcdDisplay1")->hasFocus());
    EXPECT_FALSE(panel->findChild<QWidget*>("lcdDisplay2")->hasFocus());
    EXPECT_TRUE(after->hasFocus());
}

} // namespace
} // namespace varnetta::display

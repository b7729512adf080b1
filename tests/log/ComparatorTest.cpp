#include "log/widgets/uComparator.h"

#include "controls/CControls.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace varnetta::log {
namespace {

class Comparator : public ::testing::Test
{
protected:
    explicit Comparator(const QByteArray& separator = ".") : panel(separator)
    {
        panel.setUserLocale(QLocale::c());
    }

    QLineEdit* edit(const char* name) { return panel.findChild<QLineEdit*>(QLatin1String(name)); }
    QString verdictText() { return panel.findChild<QLabel*>("lblPass")->text(); }
    QColor discColor() { return panel.findChild<TShape*>("Shape1")->brushColor(); }

    bool judge(const QByteArray& value)
    {
        protocol::TReading reading;
        reading.Value = value;
        panel.Judge(reading);
        return panel.passed();
    }

    TComparatorPanel panel;
};

TEST_F(Comparator, startsGreenWithPassInCapitals)
{
    EXPECT_EQ(verdictText(), "PASS");
    EXPECT_EQ(discColor(), QColor(0, 128, 0));
    EXPECT_EQ(edit("edtCurValue")->text(), "0");
    EXPECT_EQ(edit("edtCompHigh")->text(), "1000");
    EXPECT_EQ(edit("edtCompLow")->text(), "-1000");
    EXPECT_TRUE(edit("edtCurValue")->isReadOnly());
    auto* highLabel = panel.findChild<QLabel*>("edtCompHighLabel");
    ASSERT_NE(highLabel, nullptr);
    EXPECT_EQ(highLabel->text(), "High Limit:");
    EXPECT_EQ(highLabel->buddy(), edit("edtCompHigh"));
}

// What assistive technology reads: the verdict word itself, on the label and
// on the disc (the change events are looked at on the accessibility bus by
// tests/a11y).
TEST_F(Comparator, verdictWordIsInTheAccessibleNameOfLabelAndDiscAndChangesWithIt)
{
    auto* label = panel.findChild<QLabel*>("lblPass");
    auto* disc = panel.findChild<TShape*>("Shape1");
    const auto name = [](QObject* o) {
        return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name);
    };
    EXPECT_EQ(name(label), "Verdict: PASS");
    EXPECT_EQ(name(disc), "Verdict: PASS");

    judge("1000.5");
    EXPECT_EQ(name(label), "Verdict: Fail");
    EXPECT_EQ(name(disc), "Verdict: Fail");
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(label)
                    ->text(QAccessible::Description)
                    .contains("outside the limits"));
    judge("5");
    EXPECT_EQ(name(label), "Verdict: Pass");
}

struct BoundCase
{
    const char* value;
    const char* high;
    const char* low;
    bool pass;
};

class ComparatorBounds : public Comparator, public ::testing::WithParamInterface<BoundCase>
{
};

TEST_P(ComparatorBounds, passesExactlyBetweenTheLimitsBothIncluded)
{
    const BoundCase c = GetParam();
    edit("edtCompHigh")->setText(c.high);
    edit("edtCompLow")->setText(c.low);
    EXPECT_EQ(judge(c.value), c.pass);
    EXPECT_EQ(verdictText(), c.pass ? "Pass" : "Fail");
    EXPECT_EQ(discColor(), c.pass ? QColor(0, 128, 0) : QColor(255, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Limits, ComparatorBounds,
    ::testing::Values(BoundCase{"1000", "1000", "-1000", true}, BoundCase{"-1000", "1000", "-1000", true},
                      BoundCase{"1000.001", "1000", "-1000", false},
                      BoundCase{"-1000.01", "1000", "-1000", false}, BoundCase{" 230.1", "250", "210", true},
                      BoundCase{"- 12.5", "0", "-20", true},
                      // low above high: nothing passes
                      BoundCase{"15", "10", "20", false}, BoundCase{"10", "10", "20", false},
                      BoundCase{"20", "10", "20", false},
                      // a lone sign counts as 0
                      BoundCase{"0", "-", "-5", true}, BoundCase{"0.1", "-", "-5", false}));

TEST_F(Comparator, showsTheJudgedNumberInGeneralForm)
{
    judge("  12.50");
    EXPECT_EQ(edit("edtCurValue")->text(), "12.5");
    judge("-0.003");
    EXPECT_EQ(edit("edtCurValue")->text(), "-0.003");
    panel.setUserLocale(QLocale(QLocale::German));
    judge("1234.5");
    EXPECT_EQ(edit("edtCurValue")->text(), "1234,5");
}

TEST_F(Comparator, valueThatIsNoNumberFailsAndShowsTheMetersText)
{
    edit("edtCompLow")->setText("-5");
    for (const QByteArray& text :
         {QByteArray("  OL  "), QByteArray("------"), QByteArray(""), QByteArray("1.2.3")}) {
        ASSERT_TRUE(judge("1"));
        EXPECT_FALSE(judge(text)) << text.constData();
        EXPECT_EQ(verdictText(), "Fail");
        EXPECT_EQ(edit("edtCurValue")->text(), QString::fromLatin1(text));
    }
}

TEST_F(Comparator, countsEachVerdictUntilCleared)
{
    edit("edtCompHigh")->setText("10");
    edit("edtCompLow")->setText("0");
    for (const char* value : {"5", "10", "11", " OL ", "-1", "0"})
        judge(value);
    EXPECT_EQ(panel.verdictCounts(), (TVerdictCounts{3, 3}));
    panel.clearVerdictCounts();
    EXPECT_EQ(panel.verdictCounts(), (TVerdictCounts{0, 0}));
    judge("----");
    EXPECT_EQ(panel.verdictCounts(), (TVerdictCounts{0, 1}));
}

struct LimitTextCase
{
    const char* typed;
    const char* kept;
};

class LimitTextRule : public Comparator, public ::testing::WithParamInterface<LimitTextCase>
{
};

TEST_P(LimitTextRule, keepsNumbersAndSignsAndTurnsTheRestIntoZero)
{
    const LimitTextCase c = GetParam();
    for (const char* name : {"edtCompHigh", "edtCompLow"}) {
        edit(name)->setText(c.typed);
        EXPECT_EQ(edit(name)->text(), c.kept) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, LimitTextRule,
                         ::testing::Values(LimitTextCase{"-", "-"}, LimitTextCase{"+", "+"},
                                           LimitTextCase{" - ", " - "}, LimitTextCase{"12.5", "12.5"},
                                           LimitTextCase{"-0.25", "-0.25"}, LimitTextCase{"+7", "+7"},
                                           LimitTextCase{"", "0"}, LimitTextCase{"1.2.", "0"},
                                           LimitTextCase{"--1", "0"}, LimitTextCase{"1 2", "0"},
                                           LimitTextCase{"abc", "0"}, LimitTextCase{"inf", "0"}));

TEST_F(Comparator, clearedLimitBecomesSelectedZeroThatTheNextDigitReplaces)
{
    QLineEdit* high = edit("edtCompHigh");
    high->selectAll();
    QTest::keyClick(high, Qt::Key_Backspace);
    EXPECT_EQ(high->text(), "0");
    EXPECT_EQ(high->selectedText(), "0");
    QTest::keyClick(high, Qt::Key_5);
    EXPECT_EQ(high->text(), "5");
}

TEST_F(Comparator, keyRuleDiscardsAllButDigitsSignsAndTheSeparator)
{
    QLineEdit* low = edit("edtCompLow");
    low->setText("1");
    low->end(false);
    QTest::keyClicks(low, "a2x.5e,");
    EXPECT_EQ(low->text(), "12.5");
    low->setText("");
    QTest::keyClicks(low, "-");
    EXPECT_EQ(low->text(), "-");
    QTest::keyClicks(low, "3");
    EXPECT_EQ(low->text(), "-3");
}

TEST_F(Comparator, typingASecondSeparatorTurnsTheLimitIntoZero)
{
    QLineEdit* high = edit("edtCompHigh");
    high->setText("1.2");
    high->end(false);
    QTest::keyClicks(high, ".");
    EXPECT_EQ(high->text(), "0");
}

TEST_F(Comparator, userNumberSettingsApartFromTheSystemsStillReadTypedLimits)
{
    // The limits carry the separator the key rule lets in, whatever the
    // user's own number settings say.
    panel.setUserLocale(QLocale(QLocale::German));
    edit("edtCompLow")->setText("1.5");
    EXPECT_EQ(edit("edtCompLow")->text(), "1.5");
    EXPECT_FALSE(judge("1.4"));
    EXPECT_TRUE(judge("1.6"));
    EXPECT_EQ(edit("edtCurValue")->text(), "1,6");
}

class CommaComparator : public Comparator
{
protected:
    CommaComparator() : Comparator(",") {}
};

TEST_F(CommaComparator, acceptsTheCommaAndDiscardsThePointKey)
{
    QLineEdit* high = edit("edtCompHigh");
    high->setText("1");
    high->end(false);
    QTest::keyClicks(high, ".5");
    EXPECT_EQ(high->text(), "15");
    high->setText("1");
    high->end(false);
    QTest::keyClicks(high, ",5");
    EXPECT_EQ(high->text(), "1,5");
    QTest::keyClicks(high, ",");
    EXPECT_EQ(high->text(), "0");
}

TEST_F(CommaComparator, judgesValuesWithTheSeparatorTheyCarry)
{
    edit("edtCompHigh")->setText("12,5");
    edit("edtCompLow")->setText("12,3");
    EXPECT_TRUE(judge("12,34"));
    EXPECT_EQ(edit("edtCurValue")->text(), "12.34");
    EXPECT_FALSE(judge("12,51"));
    EXPECT_FALSE(judge("12,29"));
}

TEST(ComparatorFocus, measuredValueHandsTheFocusOn)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* panel = new TComparatorPanel(".", &window);
    panel->setFixedHeight(97);
    layout->addWidget(panel);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    auto* current = panel->findChild<QWidget*>("edtCurValue");
    current->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(panel->findChild<QWidget*>("edtCompLow")->hasFocus());
    EXPECT_FALSE(current->hasFocus());
}

} // namespace
} // namespace varnetta::log

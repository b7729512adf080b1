// The message dialog: its results, its layout rules, its copy and its cache.
#include "controls/NewMsgDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace varnetta::app;

namespace {

using TAction = std::function<void(TMessageForm&)>;

// Runs MsgDlg for real (modal loop and all) and lets `act` play the person.
int runDialog(const QString& msg, TMsgDlgType type, TMsgDlgButtons buttons, TAction act)
{
    bool acted = false;
    QTimer::singleShot(0, qApp, [&] {
        auto* form = qobject_cast<TMessageForm*>(QApplication::activeModalWidget());
        if (!form)
            return;
        acted = true;
        act(*form);
    });
    const int result = MsgDlg(msg, type, buttons, 0);
    EXPECT_TRUE(acted) << "no modal dialog was shown";
    return result;
}

QWidget* keyTarget(TMessageForm& form)
{
    return form.focusWidget() ? form.focusWidget() : &form;
}

TAction press(Qt::Key key)
{
    return [key](TMessageForm& form) { QTest::keyClick(keyTarget(form), key); };
}

TAction closeBox()
{
    return [](TMessageForm& form) { form.close(); };
}

// Keys that must leave the dialog open, then the close box.
TAction pressThenClose(std::vector<Qt::Key> keys)
{
    return [keys](TMessageForm& form) {
        for (Qt::Key key : keys)
            QTest::keyClick(keyTarget(form), key);
        EXPECT_TRUE(form.isVisible()) << "a key closed a dialog that had no button for it";
        form.close();
    };
}

std::unique_ptr<TMessageForm> build(const QString& msg, TMsgDlgType type, TMsgDlgButtons buttons)
{
    return std::unique_ptr<TMessageForm>(CreateMsgDlg(msg, type, buttons));
}

int screenWidth()
{
    return QGuiApplication::primaryScreen()->geometry().width();
}

} // namespace

// ---- results --------------------------------------------------------------

struct ResultCase
{
    const char* name;
    TMsgDlgType type;
    TMsgDlgButtons buttons;
    std::function<TAction()> action;
    int expected;
};

class MsgDlgResult : public testing::TestWithParam<ResultCase>
{
};

TEST_P(MsgDlgResult, AnswersWithTheCodeOfWhatClosedIt)
{
    const ResultCase& c = GetParam();
    EXPECT_EQ(runDialog(QStringLiteral("Question?"), c.type, c.buttons, c.action()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    KeysButtonsAndCloseBox, MsgDlgResult,
    testing::Values(
        ResultCase{"InformationEnterIsOk", mtInformation, mbOK, [] { return press(Qt::Key_Return); }, mrOk},
        ResultCase{"InformationEscIsOk", mtInformation, mbOK, [] { return press(Qt::Key_Escape); }, mrOk},
        ResultCase{"InformationCloseBoxIsTwo", mtInformation, mbOK, closeBox, mrCancel},
        ResultCase{"ConfirmEnterIsYes", mtConfirmation, mbYes | mbNo, [] { return press(Qt::Key_Return); },
                   mrYes},
        ResultCase{"ConfirmKeypadEnterIsYes", mtConfirmation, mbYes | mbNo,
                   [] { return press(Qt::Key_Enter); }, mrYes},
        ResultCase{"ConfirmEscIsNo", mtConfirmation, mbYes | mbNo, [] { return press(Qt::Key_Escape); },
                   mrNo},
        ResultCase{"ConfirmCloseBoxIsTwo", mtConfirmation, mbYes | mbNo, closeBox, mrCancel},
        ResultCase{"CancelWinsEscOverNo", mtConfirmation, mbYes | mbNo | mbCancel,
                   [] { return press(Qt::Key_Escape); }, mrCancel},
        ResultCase{"RetryIsDefaultWithoutOkOrYes", mtError, mbAbort | mbRetry | mbIgnore,
                   [] { return press(Qt::Key_Return); }, mrRetry},
        ResultCase{"ClickedButtonGivesItsCode", mtWarning, mbAbort | mbRetry | mbIgnore,
                   [] { return [](TMessageForm& f) { f.findChild<QPushButton*>("Ignore")->click(); }; },
                   mrIgnore},
        ResultCase{"EscWithoutCancelButtonDoesNothing", mtError, mbAbort | mbRetry | mbIgnore,
                   [] { return pressThenClose({Qt::Key_Escape}); }, mrCancel},
        ResultCase{"NoButtonsOnlyTheCloseBoxEndsIt", mtInformation, 0,
                   [] {
                       return pressThenClose({Qt::Key_Return, Qt::Key_Escape});
                   },
                   mrCancel},
        ResultCase{"HelpLeavesItOpen", mtInformation, mbOK | mbHelp,
                   [] {
                       return [](TMessageForm& f) {
                           QSignalSpy help(&f, &TMessageForm::helpRequested);
                           f.findChild<QPushButton*>("Help")->click();
                           EXPECT_EQ(help.count(), 1);
                           EXPECT_TRUE(f.isVisible());
                           f.findChild<QPushButton*>("OK")->click();
                       };
                   },
                   mrOk}),
    [](const testing::TestParamInfo<ResultCase>& info) { return std::string(info.param.name); });

TEST(MsgDlgHook, AnswersInsteadOfAPersonAndShowsNothing)
{
    QString seen;
    const TMsgDlgHook previous =
        SetMsgDlgHook([&](const QString& msg, TMsgDlgType type, TMsgDlgButtons buttons) {
            seen = msg;
            EXPECT_EQ(type, mtConfirmation);
            EXPECT_EQ(buttons, mbYes | mbNo);
            EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
            return int(mrNo);
        });
    EXPECT_EQ(MsgDlg(QStringLiteral("Sure?"), mtConfirmation, mbYes | mbNo, 0), mrNo);
    EXPECT_EQ(seen, QStringLiteral("Sure?"));
    SetMsgDlgHook(previous);
}

// ---- layout ---------------------------------------------------------------

TEST(MsgDlgLayout, MulDivRoundsHalvesAwayFromZero)
{
    EXPECT_EQ(MulDiv(8, 6, 4), 12);
    EXPECT_EQ(MulDiv(14, 13, 8), 23); // 22.75
    EXPECT_EQ(MulDiv(10, 13, 8), 16); // 16.25
    EXPECT_EQ(MulDiv(1, 1, 2), 1);
    EXPECT_EQ(MulDiv(-1, 1, 2), -1);
    EXPECT_EQ(MulDiv(5, 5, 0), -1);
}

TEST(MsgDlgLayout, MetricsFollowTheAverageCharacterSize)
{
    auto form = build(QStringLiteral("x"), mtInformation, mbOK);
    const QSize ave = GetAveCharSize(form->font());
    ASSERT_GT(ave.width(), 0);
    const auto& m = form->metrics();
    EXPECT_EQ(m.HorzMargin, MulDiv(8, ave.width(), 4));
    EXPECT_EQ(m.VertMargin, MulDiv(8, ave.height(), 8));
    EXPECT_EQ(m.ButtonHeight, MulDiv(14, ave.height(), 8));
    EXPECT_GE(m.ButtonWidth, MulDiv(50, ave.width(), 4));
}

TEST(MsgDlgLayout, OneShortWordStillFitsTheButtonAndTheIcon)
{
    auto form = build(QStringLiteral("Hi"), mtInformation, mbOK);
    const auto& m = form->metrics();
    auto* ok = form->findChild<QPushButton*>("OK");
    auto* image = form->findChild<QLabel*>("Image");
    ASSERT_TRUE(ok && image);
    EXPECT_GE(form->width(), m.ButtonWidth + 2 * m.HorzMargin);
    EXPECT_EQ(image->geometry(), QRect(m.HorzMargin, m.VertMargin, 32, 32));
    // The text row is at least as high as the icon.
    EXPECT_EQ(ok->y(), 32 + m.VertMargin + m.VertSpacing);
    EXPECT_EQ(form->height(), ok->geometry().bottom() + 1 + m.VertMargin);
    EXPECT_EQ(form->messageLabel()->x(), m.HorzMargin + 32 + m.HorzSpacing);
}

TEST(MsgDlgLayout, LongMessageWrapsWithinHalfTheScreen)
{
    QString msg;
    for (int i = 0; i < 80; ++i)
        msg += QStringLiteral("word%1 ").arg(i);
    auto form = build(msg, mtWarning, mbOK);
    const QLabel* label = form->messageLabel();
    const int lineHeight = QFontMetrics(form->font()).height();
    EXPECT_LE(label->width(), screenWidth() / 2);
    EXPECT_GT(label->width(), screenWidth() / 4);
    EXPECT_GE(label->height(), 2 * lineHeight);
}

TEST(MsgDlgLayout, SingleWordWiderThanHalfTheScreenWidensTheBox)
{
    const QString word(400, QLatin1Char('W'));
    auto form = build(word, mtError, mbOK);
    const auto& m = form->metrics();
    const QLabel* label = form->messageLabel();
    EXPECT_GT(label->width(), screenWidth() / 2);
    EXPECT_EQ(label->height(), QFontMetrics(form->font()).height());
    EXPECT_EQ(form->width(), label->width() + 32 + m.HorzSpacing + 2 * m.HorzMargin);
}

TEST(MsgDlgLayout, ButtonsShareOneWidthAndStandCentredInTableOrder)
{
    // Requested out of order on purpose: the row follows the fixed order.
    auto form = build(QStringLiteral("A message long enough to be wider than the buttons are together."),
                      mtConfirmation, mbCancel | mbNo | mbYes);
    const auto& buttons = form->buttons();
    ASSERT_EQ(buttons.size(), 3u);
    EXPECT_EQ(buttons[0]->objectName(), "Yes");
    EXPECT_EQ(buttons[1]->objectName(), "No");
    EXPECT_EQ(buttons[2]->objectName(), "Cancel");
    const auto& m = form->metrics();
    for (size_t i = 0; i < buttons.size(); ++i) {
        EXPECT_EQ(buttons[i]->size(), QSize(m.ButtonWidth, m.ButtonHeight));
        EXPECT_EQ(buttons[i]->y(), buttons[0]->y());
        if (i > 0) {
            EXPECT_EQ(buttons[i]->x(), buttons[i - 1]->x() + m.ButtonWidth + m.ButtonSpacing);
        }
    }
    const int leftGap = buttons.front()->x();
    const int rightGap = form->width() - buttons.back()->geometry().right() - 1;
    EXPECT_LE(std::abs(leftGap - rightGap), 1);
    EXPECT_EQ(buttons[0]->text(), "&Yes");
    EXPECT_EQ(form->defaultButton(), buttons[0]);
    EXPECT_EQ(form->cancelButton(), buttons[2]);
}

TEST(MsgDlgLayout, NoButtonsKeepTheSpaceOfTheButtonRow)
{
    auto without = build(QStringLiteral("Waiting"), mtInformation, 0);
    auto with = build(QStringLiteral("Waiting"), mtInformation, mbOK);
    EXPECT_TRUE(without->buttons().empty());
    EXPECT_EQ(without->height(), with->height());
    EXPECT_EQ(without->defaultButton(), nullptr);
    EXPECT_EQ(without->cancelButton(), nullptr);
}

TEST(MsgDlgLayout, KindsGiveCaptionsAndIcons)
{
    const struct
    {
        TMsgDlgType type;
        const char* caption;
    } cases[] = {{mtWarning, "Warning"},
                 {mtError, "Error"},
                 {mtInformation, "Information"},
                 {mtConfirmation, "Confirm"}};
    for (const auto& c : cases) {
        auto form = build(QStringLiteral("m"), c.type, mbOK);
        EXPECT_EQ(form->windowTitle(), c.caption);
        auto* image = form->findChild<QLabel*>("Image");
        ASSERT_NE(image, nullptr) << c.caption;
        EXPECT_FALSE(image->pixmap().isNull()) << c.caption;
    }
}

TEST(MsgDlgLayout, CustomKindHasNoIconAndTheApplicationsTitle)
{
    const QString previous = QGuiApplication::applicationDisplayName();
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Title of the run"));
    auto form = build(QStringLiteral("m"), mtCustom, mbOK);
    QGuiApplication::setApplicationDisplayName(previous);
    EXPECT_EQ(form->windowTitle(), "Title of the run");
    EXPECT_EQ(form->findChild<QLabel*>("Image"), nullptr);
    EXPECT_EQ(form->messageLabel()->x(), form->metrics().HorzMargin);
}

TEST(MsgDlgLayout, RightToLeftMirrorsTextAndIcon)
{
    QGuiApplication::setLayoutDirection(Qt::RightToLeft);
    auto form = build(QStringLiteral("Mirrored"), mtInformation, mbOK);
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
    const auto& m = form->metrics();
    const QLabel* label = form->messageLabel();
    auto* image = form->findChild<QLabel*>("Image");
    EXPECT_EQ(label->x(), form->width() - (m.HorzMargin + 32 + m.HorzSpacing) - label->width());
    EXPECT_EQ(image->geometry().right() + 1, form->width() - m.HorzMargin);
    EXPECT_FALSE(label->geometry().intersects(image->geometry()));
}

TEST(MsgDlgLayout, ShownDialogStandsInTheMiddleOfTheScreen)
{
    runDialog(QStringLiteral("Centred"), mtInformation, mbOK, [](TMessageForm& f) {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const QRect frame = f.frameGeometry();
        EXPECT_EQ(frame.left(), screen.width() / 2 - frame.width() / 2);
        EXPECT_EQ(frame.top(), screen.height() / 2 - frame.height() / 2);
        EXPECT_TRUE(f.isModal());
        f.accept();
    });
}

TEST(MsgDlgLayout, TextOutsideLatin1IsShownAsItIs)
{
    const QString msg = QStringLiteral("Zähler Привет 世界");
    auto form = build(msg, mtInformation, mbOK);
    EXPECT_EQ(form->messageLabel()->text(), msg);
    EXPECT_NEAR(form->messageLabel()->width(), QFontMetrics(form->font()).horizontalAdvance(msg), 2);
}

// ---- copy -----------------------------------------------------------------

TEST(MsgDlgCopy, CtrlCPutsTheTenPiecesOnTheClipboard)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("old content"));
    QString copied;
    runDialog(QStringLiteral("Failed to Load File!"), mtInformation, mbOK, [&](TMessageForm& f) {
        QTest::keyClick(keyTarget(f), Qt::Key_C, Qt::ControlModifier);
        copied = QGuiApplication::clipboard()->text();
        EXPECT_TRUE(f.isVisible());
        f.accept();
    });
    const QString divider = QString(27, QLatin1Char('-')) + "\r\n";
    EXPECT_EQ(copied, divider + "Information\r\n" + divider + "Failed to Load File!\r\n" + divider +
                          "OK   \r\n" + divider);
}

TEST(MsgDlgCopy, CaptionsLoseTheirAccessMarksAndForeignTextBecomesQuestionMarks)
{
    auto form = build(QStringLiteral("Zähler 世界"), mtConfirmation, mbYes | mbNo | mbNoToAll);
    const QByteArray divider = QByteArray(27, '-') + "\r\n";
    EXPECT_EQ(form->GetText(), divider + "Confirm\r\n" + divider + "Z\xe4hler ??\r\n" + divider +
                                   "Yes   No   No to All   \r\n" + divider);
}

TEST(MsgDlgCopy, ShiftOrAltWithCCopiesNothing)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    runDialog(QStringLiteral("m"), mtInformation, mbOK, [](TMessageForm& f) {
        QTest::keyClick(keyTarget(f), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(keyTarget(f), Qt::Key_C, Qt::ControlModifier | Qt::AltModifier);
        f.accept();
    });
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
}

// ---- button width cache ---------------------------------------------------

TEST(MsgDlgButtonCache, SecondDialogReusesTheFirstMeasurement)
{
    auto first = build(QStringLiteral("m"), mtWarning, mbAll | mbYesToAll);
    const int measured = MsgDlgButtonMeasurements();
    const int allWidth = MsgDlgButtonWidths()[7];
    const int yesToAllWidth = MsgDlgButtonWidths()[9];
    EXPECT_GT(allWidth, 0);
    EXPECT_GT(yesToAllWidth, QFontMetrics(first->font()).horizontalAdvance("Yes to All"));

    // A bigger message font would measure wider; the cache keeps the first width.
    QFont big = QApplication::font("QMessageBox");
    const QFont previous = big;
    big.setPointSizeF(big.pointSizeF() * 2);
    QApplication::setFont(big, "QMessageBox");
    auto second = build(QStringLiteral("m"), mtWarning, mbAll | mbYesToAll);
    QApplication::setFont(previous, "QMessageBox");

    EXPECT_EQ(MsgDlgButtonMeasurements(), measured);
    EXPECT_EQ(MsgDlgButtonWidths()[7], allWidth);
    EXPECT_EQ(MsgDlgButtonWidths()[9], yesToAllWidth);
}

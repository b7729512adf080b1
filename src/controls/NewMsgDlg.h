// MsgDlg: every notice, error and question the program puts to the user.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class QPushButton;

namespace varnetta::app {

enum TMsgDlgType : int
{
    mtWarning = 0,
    mtError = 1,
    mtInformation = 2,
    mtConfirmation = 3,
    mtCustom = 4
};

// Button set: bit i asks for the button at position i.
enum TMsgDlgBtn : uint16_t
{
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
    mbAll = 1u << 7,
    mbNoToAll = 1u << 8,
    mbYesToAll = 1u << 9,
    mbHelp = 1u << 10,
};
using TMsgDlgButtons = uint16_t;

// Result codes.
enum TModalResult : int
{
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

// Number of button positions: Yes ... Help.
inline constexpr int kMsgDlgButtonCount = 11;

// a * b / c rounded to the nearest whole number, halves away from zero.
[[nodiscard]] int MulDiv(int a, int b, int c);

// Average character size of a font: the width of "A".."Z""a".."z" over 52
// (remainder dropped) and the height of that line.
[[nodiscard]] QSize GetAveCharSize(const QFont& font);

// The message text: painted with the very flags it was measured with, so the
// wrapping on screen is the wrapping the dialog was sized for.
class TMessageLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The dialog itself, laid out by hand from the font's average character size.
class TMessageForm : public QDialog
{
    Q_OBJECT
public:
    // The metrics the layout was computed with, in pixels.
    struct TMetrics
    {
        int HorzMargin = 0;
        int VertMargin = 0;
        int HorzSpacing = 0;
        int VertSpacing = 0;
        int ButtonWidth = 0;
        int ButtonHeight = 0;
        int ButtonSpacing = 0;
    };

    TMessageForm(const QString& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons);

    TMessageForm(const TMessageForm&) = delete;
    TMessageForm& operator=(const TMessageForm&) = delete;

    [[nodiscard]] QLabel* messageLabel() const { return Message; }
    [[nodiscard]] const TMetrics& metrics() const { return m_metrics; }
    [[nodiscard]] QPushButton* defaultButton() const { return m_defaultButton; }
    [[nodiscard]] QPushButton* cancelButton() const { return m_cancelButton; }
    [[nodiscard]] const std::vector<QPushButton*>& buttons() const { return m_buttons; }

    void setHelpContext(int32_t helpCtx) { m_helpContext = helpCtx; }
    [[nodiscard]] int32_t helpContext() const { return m_helpContext; }

    // The dialog's whole content as the 8-bit text Ctrl+C puts on the
    // clipboard; characters outside Latin-1 become '?'.
    [[nodiscard]] QByteArray GetText() const;

    // Frame in the middle of the screen (halves with the remainder dropped).
    void centreOnScreen();

Q_SIGNALS:
    // The Help button: the dialog stays open; no help system is wired yet.
    void helpRequested(int32_t helpContext);

public Q_SLOTS:
    // The close box and Alt+F4 answer 2.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    [[nodiscard]] bool handleKey(QKeyEvent* key);
    void copyToClipboard();

    QLabel* Message = nullptr;
    TMetrics m_metrics;
    std::vector<QPushButton*> m_buttons;
    QPushButton* m_defaultButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    int32_t m_helpContext = 0;
};

// Builds the dialog without showing it; the caller owns it.
[[nodiscard]] TMessageForm* CreateMsgDlg(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons);

// The process-wide button widths: 0 until a button is first needed, then its
// measured width, never measured again. measurements counts the measuring.
[[nodiscard]] const std::array<int, kMsgDlgButtonCount>& MsgDlgButtonWidths();
[[nodiscard]] int MsgDlgButtonMeasurements();

// Shows the modal dialog and returns the code of the button that closed it
// (2 for the close box).
int MsgDlg(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int32_t HelpCtx = 0);

// Tests answer dialogs through this hook instead of a person: while a hook
// is set, MsgDlg calls it and returns its result without showing anything.
// Returns the previous hook.
using TMsgDlgHook = std::function<int(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons)>;
TMsgDlgHook SetMsgDlgHook(TMsgDlgHook hook);

} // namespace varnetta::app

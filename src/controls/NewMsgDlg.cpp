#include "NewMsgDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>

namespace varnetta::app {

namespace {

struct TButtonInfo
{
    const char* name;
    const char* caption;
    int result;
};

// Fixed order: bit i of the button set asks for entry i.
constexpr std::array<TButtonInfo, kMsgDlgButtonCount> kButtons{{
    {"Yes", "&Yes", mrYes},
    {"No", "&No", mrNo},
    {"OK", "OK", mrOk},
    {"Cancel", "Cancel", mrCancel},
    {"Abort", "&Abort", mrAbort},
    {"Retry", "&Retry", mrRetry},
    {"Ignore", "&Ignore", mrIgnore},
    {"All", "&All", mrAll},
    {"NoToAll", "N&o to All", mrNoToAll},
    {"YesToAll", "Yes to &All", mrYesToAll},
    {"Help", "&Help", mrNone},
}};
constexpr int kHelpPosition = 10;

constexpr std::array<const char*, 4> kCaptions{"Warning", "Error", "Information", "Confirm"};
constexpr std::array<QStyle::StandardPixmap, 4> kIcons{
    QStyle::SP_MessageBoxWarning, QStyle::SP_MessageBoxCritical, QStyle::SP_MessageBoxInformation,
    QStyle::SP_MessageBoxQuestion};
constexpr int kIconSize = 32;

// Text layout flags shared by measuring and painting.
constexpr int kTextFlags = Qt::TextWordWrap | Qt::TextExpandTabs;

std::array<int, kMsgDlgButtonCount> g_buttonWidths{};
int g_buttonMeasurements = 0;

TMsgDlgHook& hook()
{
    static TMsgDlgHook h;
    return h;
}

bool requested(TMsgDlgButtons buttons, int position)
{
    return (buttons & (1u << position)) != 0;
}

QByteArray toEightBit(const QString& text)
{
    QByteArray out;
    const QList<uint> codePoints = text.toUcs4();
    out.reserve(codePoints.size());
    for (const uint cp : codePoints)
        out.append(cp < 0x100 ? char(cp) : '?');
    return out;
}

QRect screenGeometry()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        return screen->geometry();
    return QRect(0, 0, 1024, 768);
}

} // namespace

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const int64_t product = int64_t(a) * b;
    int64_t quotient = product / c;
    const int64_t remainder = product % c;
    if (2 * std::llabs(remainder) >= std::llabs(int64_t(c)))
        quotient += ((product < 0) != (c < 0)) ? -1 : 1;
    return int(quotient);
}

QSize GetAveCharSize(const QFont& font)
{
    static const QString kLetters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const QFontMetrics fm(font);
    const QSize size = fm.size(Qt::TextSingleLine, kLetters);
    return QSize(size.width() / 52, size.height());
}

void TMessageLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(contentsRect(), kTextFlags, text());
}

TMessageForm::TMessageForm(const QString& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("MessageForm"));
    setFont(QApplication::font("QMessageBox"));
    setLayoutDirection(QGuiApplication::layoutDirection());
    setWindowModality(Qt::ApplicationModal);
    setSizeGripEnabled(false);
    // Anything that ends the dialog other than a button counts as the close box.
    setResult(mrCancel);

    const QSize ave = GetAveCharSize(font());
    const int cx = ave.width();
    const int cy = ave.height();
    m_metrics.HorzMargin = MulDiv(8, cx, 4);
    m_metrics.VertMargin = MulDiv(8, cy, 8);
    m_metrics.HorzSpacing = MulDiv(10, cx, 4);
    m_metrics.VertSpacing = MulDiv(10, cy, 8);
    m_metrics.ButtonWidth = MulDiv(50, cx, 4);
    m_metrics.ButtonHeight = MulDiv(14, cy, 8);
    m_metrics.ButtonSpacing = MulDiv(4, cx, 4);

    const QFontMetrics fm(font());
    int buttonCount = 0;
    for (int i = 0; i < kMsgDlgButtonCount; ++i) {
        if (!requested(buttons, i))
            continue;
        ++buttonCount;
        if (g_buttonWidths[i] == 0) {
            const QString caption = QString::fromLatin1(kButtons[i].caption);
            g_buttonWidths[i] =
                fm.boundingRect(QRect(), Qt::TextSingleLine | Qt::TextShowMnemonic, caption).width() + 8;
            ++g_buttonMeasurements;
        }
        m_metrics.ButtonWidth = std::max(m_metrics.ButtonWidth, g_buttonWidths[i]);
    }

    const QRect screen = screenGeometry();
    const QRect textRect = fm.boundingRect(QRect(0, 0, screen.width() / 2, 0), kTextFlags, msg);
    const int textWidth = textRect.width();
    const int textHeight = textRect.height();

    const bool hasIcon = dlgType >= mtWarning && dlgType <= mtConfirmation;
    int iconTextWidth = textWidth;
    int iconTextHeight = textHeight;
    if (hasIcon) {
        iconTextWidth += kIconSize + m_metrics.HorzSpacing;
        iconTextHeight = std::max(textHeight, kIconSize);
    }
    const int buttonGroupWidth =
        buttonCount == 0 ? 0
                         : buttonCount * m_metrics.ButtonWidth + (buttonCount - 1) * m_metrics.ButtonSpacing;
    const int clientWidth = std::max(iconTextWidth, buttonGroupWidth) + 2 * m_metrics.HorzMargin;
    const int clientHeight =
        iconTextHeight + m_metrics.ButtonHeight + m_metrics.VertSpacing + 2 * m_metrics.VertMargin;
    setFixedSize(clientWidth, clientHeight);

    const bool rightToLeft = layoutDirection() == Qt::RightToLeft;
    if (hasIcon) {
        setWindowTitle(QString::fromLatin1(kCaptions[dlgType]));
        auto* image = new QLabel(this);
        image->setObjectName(QStringLiteral("Image"));
        image->setPixmap(style()->standardIcon(kIcons[dlgType], nullptr, this).pixmap(kIconSize, kIconSize));
        // Mirrored along with the text, so the two never overlap.
        const int iconLeft =
            rightToLeft ? clientWidth - m_metrics.HorzMargin - kIconSize : m_metrics.HorzMargin;
        image->setGeometry(iconLeft, m_metrics.VertMargin, kIconSize, kIconSize);
    } else {
        setWindowTitle(QGuiApplication::applicationDisplayName());
    }

    Message = new TMessageLabel(this);
    Message->setObjectName(QStringLiteral("Message"));
    Message->setTextFormat(Qt::PlainText);
    Message->setWordWrap(true);
    Message->setText(msg);
    Message->setAccessibleName(msg);
    int textLeft = iconTextWidth - textWidth + m_metrics.HorzMargin;
    if (rightToLeft)
        textLeft = clientWidth - textLeft - textWidth;
    Message->setGeometry(textLeft, m_metrics.VertMargin, textWidth, textHeight);

    const int defaultPosition = requested(buttons, 2) ? 2 : requested(buttons, 0) ? 0 : 5;
    const int cancelPosition = requested(buttons, 3) ? 3 : requested(buttons, 1) ? 1 : 2;

    int x = (clientWidth - buttonGroupWidth) / 2;
    const int buttonTop = iconTextHeight + m_metrics.VertMargin + m_metrics.VertSpacing;
    for (int i = 0; i < kMsgDlgButtonCount; ++i) {
        if (!requested(buttons, i))
            continue;
        auto* button = new QPushButton(QString::fromLatin1(kButtons[i].caption), this);
        button->setObjectName(QString::fromLatin1(kButtons[i].name));
        button->setAutoDefault(false);
        button->setGeometry(x, buttonTop, m_metrics.ButtonWidth, m_metrics.ButtonHeight);
        x += m_metrics.ButtonWidth + m_metrics.ButtonSpacing;
        if (i == kHelpPosition) {
            connect(button, &QPushButton::clicked, this, [this] { Q_EMIT helpRequested(m_helpContext); });
        } else {
            const int result = kButtons[i].result;
            connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
        }
        if (i == defaultPosition) {
            m_defaultButton = button;
            button->setDefault(true);
        }
        if (i == cancelPosition)
            m_cancelButton = button;
        m_buttons.push_back(button);
    }

    if (QPushButton* first =
            m_defaultButton ? m_defaultButton : (m_buttons.empty() ? nullptr : m_buttons.front()))
        first->setFocus(Qt::OtherFocusReason);

    // The form sees every key before the focused control does.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

void TMessageForm::reject()
{
    done(mrCancel);
}

bool TMessageForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        // Claim Ctrl+C, Enter and Esc from any application-wide shortcut.
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        const bool copy = key->key() == Qt::Key_C && mods == Qt::ControlModifier;
        const bool plain =
            mods == Qt::NoModifier &&
            (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Escape);
        if (copy || plain) {
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

bool TMessageForm::handleKey(QKeyEvent* key)
{
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_C && mods == Qt::ControlModifier) {
        copyToClipboard();
        return true;
    }
    if (mods != Qt::NoModifier)
        return false;
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        // A focused button takes Enter itself, as a push button does; otherwise the default one.
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        if (focused && std::find(m_buttons.begin(), m_buttons.end(), focused) != m_buttons.end())
            focused->click();
        else if (m_defaultButton)
            m_defaultButton->click();
        return true;
    }
    case Qt::Key_Escape:
        // Without a cancel button Esc does nothing: only the close box is left.
        if (m_cancelButton)
            m_cancelButton->click();
        return true;
    default:
        return false;
    }
}

QByteArray TMessageForm::GetText() const
{
    const QByteArray divider = QByteArray(27, '-') + "\r\n";
    QByteArray captions;
    for (const QPushButton* button : m_buttons)
        captions += toEightBit(button->text().remove(QLatin1Char('&'))) + "   ";
    QByteArray text;
    text += divider;
    text += toEightBit(windowTitle());
    text += "\r\n";
    text += divider;
    text += toEightBit(Message->text());
    text += "\r\n";
    text += divider;
    text += captions;
    text += "\r\n";
    text += divider;
    return text;
}

void TMessageForm::copyToClipboard()
{
    QApplication::beep();
    QGuiApplication::clipboard()->setText(QString::fromLatin1(GetText()));
}

void TMessageForm::centreOnScreen()
{
    const QRect screen = screenGeometry();
    const QSize outer = frameGeometry().size();
    move(screen.x() + screen.width() / 2 - outer.width() / 2,
         screen.y() + screen.height() / 2 - outer.height() / 2);
}

void TMessageForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The frame is known only once the window exists.
    centreOnScreen();
}

TMessageForm* CreateMsgDlg(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons)
{
    return new TMessageForm(Msg, DlgType, Buttons);
}

const std::array<int, kMsgDlgButtonCount>& MsgDlgButtonWidths()
{
    return g_buttonWidths;
}

int MsgDlgButtonMeasurements()
{
    return g_buttonMeasurements;
}

int MsgDlg(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int32_t HelpCtx)
{
    if (hook())
        return hook()(Msg, DlgType, Buttons);
    std::unique_ptr<TMessageForm> form(CreateMsgDlg(Msg, DlgType, Buttons));
    form->setHelpContext(HelpCtx);
    form->centreOnScreen();
    return form->exec();
}

TMsgDlgHook SetMsgDlgHook(TMsgDlgHook newHook)
{
    return std::exchange(hook(), std::move(newHook));
}

} // namespace varnetta::app

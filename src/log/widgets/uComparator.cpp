#include "uComparator.h"

#include "controls/CControls.h"

#include <QAccessible>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>

#include <cmath>

namespace varnetta::log {

namespace {

constexpr int kLabelLeft = 8;
constexpr int kLabelWidth = 92;
constexpr int kEditLeft = kLabelLeft + kLabelWidth + 4;
constexpr int kEditWidth = 121;
constexpr int kRowHeight = 21;
constexpr int kDiscLeft = kEditLeft + kEditWidth + 24;
constexpr int kDiscSize = 81;

bool allowedLimitKey(QChar c, QChar separator)
{
    return c == QLatin1Char('\b') || c == QLatin1Char('+') || c == QLatin1Char('-') ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == separator;
}

} // namespace

void TShape::setBrushColor(const QColor& color)
{
    if (color == m_brush)
        return;
    m_brush = color;
    update();
}

void TShape::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(m_brush);
    const int side = std::min(width(), height()) - 1;
    painter.drawEllipse(QRectF((width() - side) / 2.0, (height() - side) / 2.0, side, side));
}

TComparatorPanel::TComparatorPanel(const QByteArray& decimalSeparator, QWidget* parent)
    : QFrame(parent), m_separator(decimalSeparator)
{
    setObjectName(QStringLiteral("pnlSetComp"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    setAccessibleName(QStringLiteral("Limit comparator"));

    edtCompHigh = addLimitEdit("edtCompHigh", QStringLiteral("High Limit:"), QStringLiteral("1000"), 8,
                               QStringLiteral("Highest main value that passes"));

    auto* curLabel = new QLabel(QStringLiteral("Measure Value:"), this);
    curLabel->setObjectName(QStringLiteral("lblCurValue"));
    curLabel->setGeometry(kLabelLeft, 37, kLabelWidth, kRowHeight);
    curLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    edtCurValue = new app::TCEdit(this);
    edtCurValue->setObjectName(QStringLiteral("edtCurValue"));
    edtCurValue->SetAlignment(app::taLeftJustify);
    edtCurValue->setGeometry(kEditLeft, 37, kEditWidth, kRowHeight);
    edtCurValue->setText(QStringLiteral("0"));
    edtCurValue->setReadOnly(true);
    edtCurValue->setToolTip(QStringLiteral("The main value last judged"));
    edtCurValue->setAccessibleName(QStringLiteral("Measure Value"));
    QPalette tip = edtCurValue->palette();
    tip.setColor(QPalette::Base, tip.color(QPalette::ToolTipBase));
    tip.setColor(QPalette::Text, tip.color(QPalette::ToolTipText));
    edtCurValue->setPalette(tip);
    edtCurValue->installEventFilter(this);
    curLabel->setBuddy(edtCurValue);

    edtCompLow = addLimitEdit("edtCompLow", QStringLiteral("Low Limit:"), QStringLiteral("-1000"), 66,
                              QStringLiteral("Lowest main value that passes"));

    Shape1 = new TShape(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(kDiscLeft, 8, kDiscSize, kDiscSize);
    Shape1->setBrushColor(kPassColor);
    lblPass = new QLabel(QStringLiteral("PASS"), this);
    lblPass->setObjectName(QStringLiteral("lblPass"));
    lblPass->setGeometry(Shape1->geometry());
    lblPass->setAlignment(Qt::AlignCenter);
    QFont verdictFont(QStringLiteral("Arial"));
    verdictFont.setPointSize(16);
    lblPass->setFont(verdictFont);
    QPalette white = lblPass->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    lblPass->setPalette(white);
    lblPass->raise();
    showVerdictText(lblPass->text(), true);
}

QLineEdit* TComparatorPanel::addLimitEdit(const char* name, const QString& caption, const QString& text,
                                          int top, const QString& hint)
{
    auto* label = new QLabel(caption, this);
    label->setObjectName(QLatin1String(name) + QStringLiteral("Label"));
    label->setGeometry(kLabelLeft, top, kLabelWidth, kRowHeight);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* edit = new QLineEdit(text, this);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(kEditLeft, top, kEditWidth, kRowHeight);
    edit->setToolTip(hint);
    edit->setAccessibleName(caption.chopped(1));
    label->setBuddy(edit);
    edit->installEventFilter(this);
    connect(edit, &QLineEdit::textChanged, this, [this, edit] { limitTextChanged(edit); });
    return edit;
}

bool TComparatorPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == edtCurValue && event->type() == QEvent::FocusIn) {
        // The judged value is for reading only: the focus goes on at once.
        const bool backwards = static_cast<QFocusEvent*>(event)->reason() == Qt::BacktabFocusReason;
        QWidget* next = backwards ? edtCurValue->previousInFocusChain() : edtCurValue->nextInFocusChain();
        while (next && next != edtCurValue &&
               !((next->focusPolicy() & Qt::TabFocus) && next->isVisible() && next->isEnabled() &&
                 next->window() == edtCurValue->window()))
            next = backwards ? next->previousInFocusChain() : next->nextInFocusChain();
        if (next && next != edtCurValue)
            next->setFocus(backwards ? Qt::BacktabFocusReason : Qt::TabFocusReason);
        else
            edtCurValue->clearFocus();
        return false;
    }
    if ((watched == edtCompHigh || watched == edtCompLow) && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Shortcuts (copy, paste, undo) pass; the change rule looks after
        // what they bring in.
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
            return false;
        const QString text = key->text();
        if (text.isEmpty() || key->key() == Qt::Key_Delete ||
            (text.size() == 1 && text[0] < QLatin1Char(' ') && text[0] != QLatin1Char('\b')))
            return false;
        const QString separator = protocol::DisplayText(m_separator);
        const QChar sep = separator.isEmpty() ? QLatin1Char('.') : separator[0];
        for (QChar c : text)
            if (!allowedLimitKey(c, sep))
                return true;
        return false;
    }
    return QFrame::eventFilter(watched, event);
}

void TComparatorPanel::limitTextChanged(QLineEdit* edit)
{
    const QString trimmed = edit->text().trimmed();
    // A lone sign is the start of a signed number.
    if (trimmed == QLatin1String("+") || trimmed == QLatin1String("-"))
        return;
    if (ReadLimitText(edit->text(), m_separator))
        return;
    edit->setText(QStringLiteral("0"));
    edit->selectAll();
}

void TComparatorPanel::Judge(const protocol::TReading& reading)
{
    const TLimitVerdict verdict =
        JudgeMainValue(reading.Value, edtCompHigh->text(), edtCompLow->text(), m_separator);
    m_counts.add(verdict.pass);
    if (!verdict.value) {
        // An overload or any other text that is no number fails, shown as it came.
        edtCurValue->setText(protocol::DisplayText(reading.Value));
        showVerdict(false);
        return;
    }
    QLocale shown = m_userLocale;
    shown.setNumberOptions(shown.numberOptions() | QLocale::OmitGroupSeparator);
    edtCurValue->setText(shown.toString(*verdict.value, 'g', 15));
    showVerdict(verdict.pass);
}

void TComparatorPanel::showVerdict(bool pass)
{
    m_passed = pass;
    Shape1->setBrushColor(pass ? kPassColor : kFailColor);
    showVerdictText(pass ? QStringLiteral("Pass") : QStringLiteral("Fail"), pass);
}

void TComparatorPanel::showVerdictText(const QString& word, bool pass)
{
    lblPass->setText(word);
    // The word on the disc is what assistive technology reads; the colour
    // alone would say nothing.
    const QString name = QStringLiteral("Verdict: ") + word;
    const QString description = pass ? QStringLiteral("The main value lies within the limits")
                                     : QStringLiteral("The main value lies outside the limits");
    for (QWidget* w : {static_cast<QWidget*>(lblPass), static_cast<QWidget*>(Shape1)}) {
        if (w->accessibleName() == name)
            continue;
        w->setAccessibleName(name);
        w->setAccessibleDescription(description);
        // Setting them tells no one here; a screen reader learns of the new
        // verdict only from the events.
        QAccessibleEvent nameChanged(w, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&nameChanged);
        QAccessibleEvent descriptionChanged(w, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&descriptionChanged);
    }
}

} // namespace varnetta::log

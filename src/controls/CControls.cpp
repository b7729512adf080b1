#include "CControls.h"

#include <QEvent>
#include <QToolButton>

namespace varnetta::app {

TCEdit::TCEdit(QWidget* parent) : QLineEdit(parent)
{
    CreateParams();
}

void TCEdit::SetAlignment(TAlignment value)
{
    if (value == m_alignment)
        return;
    m_alignment = value;
    CreateParams();
}

Qt::Alignment TCEdit::visualAlignment(TAlignment alignment, Qt::LayoutDirection direction)
{
    const bool rightToLeft = direction == Qt::RightToLeft;
    switch (alignment) {
    case taRightJustify:
        return rightToLeft ? Qt::AlignLeft : Qt::AlignRight;
    case taCenter:
        return Qt::AlignHCenter;
    case taLeftJustify:
    default:
        return rightToLeft ? Qt::AlignRight : Qt::AlignLeft;
    }
}

void TCEdit::CreateParams()
{
    // The side is decided here, so Qt must not mirror it a second time.
    setAlignment(visualAlignment(m_alignment, layoutDirection()) | Qt::AlignAbsolute | Qt::AlignVCenter);
    ++m_styleApplications;
}

void TCEdit::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    // A new reading order means a new style, as when the window is re-created.
    if (event->type() == QEvent::LayoutDirectionChange)
        CreateParams();
}

QToolButton* IconToolButton(QWidget* parent, const char* name, const QString& hint, QStyle::StandardPixmap icon)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    button->setIcon(parent->style()->standardIcon(icon));
    return button;
}

} // namespace varnetta::app

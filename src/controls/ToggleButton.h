// A push button that stays down while its state is on (the connect button).
// Assistive technology sees a toggle button whose press and toggle actions
// are a click, so they run the same handler as the mouse: a plain checkable
// button's toggle action would only flip the state and leave the handler out.
#pragma once

#include <QPushButton>

namespace varnetta::app {

class TToggleButton : public QPushButton
{
    Q_OBJECT
public:
    explicit TToggleButton(const QString& text, QWidget* parent = nullptr);
};

} // namespace varnetta::app

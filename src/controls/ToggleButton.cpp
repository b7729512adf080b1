#include "ToggleButton.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace varnetta::app {

namespace {

class TToggleButtonAccessible : public QAccessibleWidget
{
public:
    explicit TToggleButtonAccessible(TToggleButton* button) : QAccessibleWidget(button, QAccessible::Button) {}

    [[nodiscard]] QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && button()->accessibleName().isEmpty())
            return QString(button()->text()).remove(QLatin1Char('&'));
        return QAccessibleWidget::text(t);
    }

    [[nodiscard]] QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = button()->isChecked();
        s.pressed = button()->isDown();
        return s;
    }

    [[nodiscard]] QStringList actionNames() const override
    {
        return QStringList{pressAction(), toggleAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& actionName) override
    {
        if (actionName == pressAction() || actionName == toggleAction()) {
            if (button()->isEnabled())
                button()->click();
            return;
        }
        QAccessibleWidget::doAction(actionName);
    }

private:
    [[nodiscard]] TToggleButton* button() const { return static_cast<TToggleButton*>(widget()); }
};

QAccessibleInterface* toggleButtonFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(TToggleButton::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new TToggleButtonAccessible(static_cast<TToggleButton*>(object));
    return nullptr;
}

} // namespace

TToggleButton::TToggleButton(const QString& text, QWidget* parent) : QPushButton(text, parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(toggleButtonFactory);
        return true;
    }();
    (void)installed;
    setCheckable(true);
}

} // namespace varnetta::app

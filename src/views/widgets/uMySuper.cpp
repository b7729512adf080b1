#include "uMySuper.h"

#include <QAction>
#include <QBoxLayout>
#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPointer>
#include <QStringList>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace varnetta::views {

TfrmSuperContainer* frmSuperContainer = nullptr;

namespace {

TContainerShowHook g_showHook;

// Where a panel stood in its home parent's layout, to put it back there.
struct THomePlace
{
    int index = -1;
    int stretch = 0;
};

THomePlace placeIn(QWidget* panel, QWidget* home)
{
    THomePlace place;
    if (auto* box = qobject_cast<QBoxLayout*>(home->layout())) {
        place.index = box->indexOf(panel);
        if (place.index >= 0)
            place.stretch = box->stretch(place.index);
    }
    return place;
}

void bringHome(QWidget* panel, QWidget* home, const THomePlace& place)
{
    if (auto* box = qobject_cast<QBoxLayout*>(home->layout()); box && place.index >= 0)
        box->insertWidget(std::min(place.index, box->count()), panel, place.stretch);
    else if (home->layout())
        home->layout()->addWidget(panel);
    else
        panel->setParent(home);
    panel->show();
}

} // namespace

TfrmSuperContainer::TfrmSuperContainer(QWidget* centreOn) : QDialog(nullptr)
{
    setObjectName(QStringLiteral("frmSuperContainer"));
    setWindowTitle(QString());
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto* fill = new QVBoxLayout(this);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(Panel1);
    auto* inner = new QVBoxLayout(Panel1);
    inner->setContentsMargins(0, 0, 0, 0);
    inner->setSpacing(0);

    QRect restored(0, 0, kRestoredWidth, kRestoredHeight);
    if (centreOn)
        restored.moveCenter(centreOn->frameGeometry().center());
    setGeometry(restored);
}

TContainerShowHook SetContainerShowHook(TContainerShowHook hook)
{
    std::swap(hook, g_showHook);
    return hook;
}

void ShowInContainer(QWidget* Panel, QWidget* HomeParent)
{
    if (frmSuperContainer)
        return;
    const THomePlace place = placeIn(Panel, HomeParent);
    QWidget* mainWindow = Panel->window();
    const auto comeHome = [&] {
        bringHome(Panel, HomeParent, place);
        delete frmSuperContainer;
        frmSuperContainer = nullptr;
    };
    try {
        frmSuperContainer = new TfrmSuperContainer(mainWindow);
        frmSuperContainer->Panel1->layout()->addWidget(Panel);
        Panel->show();
        if (g_showHook) {
            g_showHook(*frmSuperContainer);
        } else {
            frmSuperContainer->setWindowState(Qt::WindowMaximized);
            frmSuperContainer->exec();
        }
    } catch (...) {
        comeHome();
        throw;
    }
    comeHome();
}

void btnGridZoomoutClick()
{
    if (frmSuperContainer)
        frmSuperContainer->close();
}

void SetControlShown(QWidget* control, bool shown)
{
    if (auto* bar = qobject_cast<QToolBar*>(control->parentWidget())) {
        for (QAction* action : bar->actions()) {
            if (bar->widgetForAction(action) == control) {
                action->setVisible(shown);
                return;
            }
        }
    }
    control->setVisible(shown);
}

void btnRecordFlyClick(const TGridPopOut& parts)
{
    QStringList kept;
    const auto backHome = [&] {
        for (int i = 0; i < kept.size(); ++i)
            parts.DBGrid1->setColumnWidth(i, kept[i].toInt());
        if (parts.mainWindow) {
            parts.mainWindow->raise();
            parts.mainWindow->activateWindow();
        }
        SetControlShown(parts.btnRecordFly, true);
        SetControlShown(parts.btnGridZoomout, false);
    };
    SetControlShown(parts.btnRecordFly, false);
    SetControlShown(parts.btnGridZoomout, true);
    try {
        const int columns = parts.DBGrid1->horizontalHeader()->count();
        for (int i = 0; i < columns; ++i)
            kept.append(QString::number(parts.DBGrid1->columnWidth(i)));
        const int popped = std::min<int>(columns, int(std::size(kGridPopOutWidths)));
        for (int i = 0; i < popped; ++i)
            parts.DBGrid1->setColumnWidth(i, kGridPopOutWidths[i]);
        ShowInContainer(parts.pnlGridParent, parts.Panel2);
    } catch (...) {
        backHome();
        throw;
    }
    backHome();
}

TGridWheelFilter::TGridWheelFilter(QTableView* grid) : QObject(grid), m_grid(grid)
{
    grid->installEventFilter(this);
    grid->viewport()->installEventFilter(this);
}

bool TGridWheelFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Wheel)
        return QObject::eventFilter(watched, event);
    const auto* wheel = static_cast<QWheelEvent*>(event);
    const int key = wheel->angleDelta().y() > 0 ? Qt::Key_Up : Qt::Key_Down;
    QCoreApplication::postEvent(m_grid, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
    return true; // the grid never scrolls by itself
}

} // namespace varnetta::views

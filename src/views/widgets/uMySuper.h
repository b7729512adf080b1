// The pop-out container: one panel of the main window shown alone in a
// maximised modal window, and put back when it closes.
#pragma once

#include <QDialog>
#include <QObject>

#include <functional>

class QTableView;

namespace varnetta::views {

class TfrmSuperContainer : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kRestoredWidth = 866;
    static constexpr int kRestoredHeight = 540;

    explicit TfrmSuperContainer(QWidget* centreOn = nullptr);

    TfrmSuperContainer(const TfrmSuperContainer&) = delete;
    TfrmSuperContainer& operator=(const TfrmSuperContainer&) = delete;

    QWidget* Panel1 = nullptr;
};

// The open container, or null: a panel is out exactly while this is set.
extern TfrmSuperContainer* frmSuperContainer;

// Shows Panel alone in a new container and returns once it has closed and
// Panel is back under HomeParent, in its old place. Refused (returns at once)
// while a container is open. An error on the way still brings Panel home,
// frees the container, and then goes on to the caller.
void ShowInContainer(QWidget* Panel, QWidget* HomeParent);

// Closes the open container, if any; its ShowInContainer then returns.
void btnGridZoomoutClick();

// Tests replace the modal showing with this hook (it gets the container,
// already holding the panel). Returns the previous hook.
using TContainerShowHook = std::function<void(TfrmSuperContainer&)>;
TContainerShowHook SetContainerShowHook(TContainerShowHook hook);

// The grid's pop-out: its column widths while out, and what it restores.
struct TGridPopOut
{
    QWidget* pnlGridParent = nullptr;
    QWidget* Panel2 = nullptr; // its home
    QTableView* DBGrid1 = nullptr;
    QWidget* btnRecordFly = nullptr; // may stand on a QToolBar
    QWidget* btnGridZoomout = nullptr;
    QWidget* mainWindow = nullptr; // brought to the front after the grid is home
};
inline constexpr int kGridPopOutWidths[] = {60, 150, 60, 60, 60, 120, 120, 80, 80};

void btnRecordFlyClick(const TGridPopOut& parts);

// Shows or hides a control; one on a QToolBar through its action, since a
// tool bar ignores its widgets' own visibility.
void SetControlShown(QWidget* control, bool shown);

// The grid's mouse wheel: every wheel message becomes one Up or Down key for
// the grid, so a notch moves the current row by exactly one.
class TGridWheelFilter : public QObject
{
    Q_OBJECT
public:
    // Installs itself on the grid and its viewport; owned by the grid.
    explicit TGridWheelFilter(QTableView* grid);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTableView* m_grid;
};

} // namespace varnetta::views

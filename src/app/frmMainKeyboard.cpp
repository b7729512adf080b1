// Window glue of the keyboard: the desktop's standard shortcuts for Open,
// Save, Print and Quit, and a Tab order that runs through the window as a
// person reads it.
#include "ufrmMain.h"

#include "log/widgets/uLogPanel.h"

#include <QAction>
#include <QKeySequence>
#include <QMenuBar>
#include <QToolButton>

namespace varnetta::app {

namespace {

// Left column top to bottom, then the middle, then the command panel. The
// LCD's fields and the judged value pass the focus on by themselves.
constexpr const char* kTabOrder[] = {
    "btnConnect",      "btnExit",           "btnHideCmd",
    "cbRepeat",        "cbInterval",        "edtRecInterval",
    "btnRecordNew",    "btnRecordOpen",     "btnRecordSave",
    "btnRecordPrint",  "btnRecordFly",      "btnPause",
    "DBGrid1",         "edtCompHigh",       "edtCompLow",
    "edtRange",        "btnFirst",          "btnPrevious",
    "btnNext",         "btnLast",           "btnNew",
    "btnSave",         "btnFly",            "btnCmdMenu",
    "btnCmdHarm",      "btnCmdSelect",      "btnCmdSum",
    "btnCmdUp",        "btnCmdDown",        "btnCmdMaxMinCur",
    "btnCmdExitStatus", "btnCmdHold",       "SpeedButton1",
    "btnCmdSaveData",  "btnCmdAutoSaveData", "btnCmdLoadMem",
    "btnCmdAutoLoadMem", "btnCmdClearMem",  "btnExportData",
    "btnCmdAutoPower", "btnCmdLight",       "btnCmdFreqMode",
};

// The desktop's keys for an action; where the platform names none (Quit has
// none on some), the keys every Linux desktop uses.
QList<QKeySequence> standardKeys(QKeySequence::StandardKey key)
{
    QList<QKeySequence> keys = QKeySequence::keyBindings(key);
    if (!keys.isEmpty())
        return keys;
    switch (key) {
    case QKeySequence::Open:
        return {QKeySequence(Qt::CTRL | Qt::Key_O)};
    case QKeySequence::Save:
        return {QKeySequence(Qt::CTRL | Qt::Key_S)};
    case QKeySequence::Print:
        return {QKeySequence(Qt::CTRL | Qt::Key_P)};
    case QKeySequence::Quit:
        return {QKeySequence(Qt::CTRL | Qt::Key_Q)};
    default:
        return {};
    }
}

} // namespace

void TfrmMain::setupKeyboard()
{
    const auto shortcut = [this](const char* name, QKeySequence::StandardKey key, auto handler) {
        auto* action = new QAction(this);
        action->setObjectName(QLatin1String(name));
        action->setShortcuts(standardKeys(key));
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    shortcut("actOpenLog", QKeySequence::Open, [this] { m_logPanel->btnRecordOpenClick(); });
    shortcut("actPrintLog", QKeySequence::Print, [this] { PrintLog(); });
    shortcut("actQuit", QKeySequence::Quit, [this] { btnExitClick(); });
    // Save is in the Record menu, where the menu shows its shortcut.
    if (auto* save = menu1->findChild<QAction*>(QStringLiteral("mniSave1")))
        save->setShortcuts(standardKeys(QKeySequence::Save));

    QWidget* previous = nullptr;
    for (const char* name : kTabOrder) {
        auto* next = findChild<QWidget*>(QLatin1String(name));
        if (!next)
            continue;
        if (previous)
            setTabOrder(previous, next);
        previous = next;
    }
}

} // namespace varnetta::app

// The command panel pnlCommand: the meter's keys as buttons, three menus of
// settings, and the one road every command takes to the port.
#pragma once

#include "protocol/MeterCommands.h"
#include "protocol/MeterFrame.h"

#include <QByteArray>
#include <QFrame>
#include <QPoint>

#include <cstdint>
#include <functional>

class QAbstractButton;
class QAction;
class QMenu;
class QTimer;
class QToolButton;

namespace varnetta::app {

// What the panel needs of the bridge port: whether it is open, and a write.
struct TCommandPort
{
    std::function<bool()> Connected;
    std::function<void(const QByteArray& frame)> Write;
};

class TCommandPanel : public QFrame
{
    Q_OBJECT
public:
    static constexpr int kWidth = 117;
    static constexpr int kButtonLeft = 8;
    static constexpr int kButtonWidth = 99;
    static constexpr int kButtonHeight = 25;
    static constexpr int kCommandDelayMs = 500;

    TCommandPanel(protocol::TCommandSequencer& sequencer, QWidget* parent = nullptr);

    TCommandPanel(const TCommandPanel&) = delete;
    TCommandPanel& operator=(const TCommandPanel&) = delete;

    void setPort(TCommandPort port) { m_port = std::move(port); }
    // The window's client area and its top bar: the menus open at a corner
    // computed from them.
    void setMenuGeometry(QWidget* client, QWidget* topBar);

    // Builds one command frame and writes it, only while the port is open;
    // otherwise nothing happens and the sequence counter stays.
    void SendCommand(uint8_t code);

    // Shared by every code-sending button and menu item: the sender's Tag
    // is the code.
    void btnCmdClick(QObject* sender);
    void btnCmdAutoPowerClick();
    void btnCmdLightClick();
    void btnCmdFreqModeClick();
    void Timer_cmddelayTimer();

    // Enabling beside the command delay.
    void connectionChanged(bool connected);
    void exportStarted(); // disabled until exportEnded, without the timer
    void exportEnded();
    [[nodiscard]] bool exportRunning() const { return m_exportRunning; }

    // Screen point where the button's menu opens (its bottom-left corner).
    [[nodiscard]] QPoint menuPoint(const QAbstractButton* button) const;

    [[nodiscard]] QTimer* commandDelayTimer() const { return Timer_cmddelay; }
    [[nodiscard]] QToolButton* exportButton() const { return btnExportData; }

Q_SIGNALS:
    // btnExportData was clicked: the memory download asks and starts.
    void exportRequested();
    // A menu was opened at this screen point.
    void menuOpened(QMenu* menu, QPoint at);

private:
    QToolButton* addButton(const char* name, const QString& caption, int top);
    QToolButton* addCommandButton(const char* name, int top);
    QMenu* addMenu(const char* name, protocol::TCommandMenu which);
    void openMenu(QToolButton* button, QMenu* menu);

    protocol::TCommandSequencer& m_sequencer;
    TCommandPort m_port;
    QWidget* m_client = nullptr;
    QWidget* m_topBar = nullptr;
    bool m_exportRunning = false;

    QTimer* Timer_cmddelay = nullptr;
    QToolButton* btnExportData = nullptr;
    QToolButton* btnCmdAutoPower = nullptr;
    QToolButton* btnCmdLight = nullptr;
    QToolButton* btnCmdFreqMode = nullptr;
    QMenu* pmAutoPower = nullptr;
    QMenu* pmBackLight = nullptr;
    QMenu* pmCmdFreqMode = nullptr;
};

// The code carried by a button or menu item in its "Tag" property.
[[nodiscard]] uint8_t CommandTag(const QObject* control);

} // namespace varnetta::app

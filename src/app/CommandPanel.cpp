#include "CommandPanel.h"

#include <QAction>
#include <QMenu>
#include <QTimer>
#include <QToolButton>
#include <QVariant>

namespace varnetta::app {

namespace {

constexpr const char* kTag = "Tag";

QString Caption(std::string_view text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

} // namespace

uint8_t CommandTag(const QObject* control)
{
    return control ? uint8_t(control->property(kTag).toInt() & 0xFF) : 0;
}

TCommandPanel::TCommandPanel(protocol::TCommandSequencer& sequencer, QWidget* parent)
    : QFrame(parent), m_sequencer(sequencer)
{
    qRegisterMetaType<QMenu*>();
    setObjectName(QStringLiteral("pnlCommand"));
    setFixedWidth(kWidth);
    // Raised inner and lowered outer bevel.
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setLineWidth(1);
    setMidLineWidth(1);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(11);
    setFont(f);
    setEnabled(false);

    // Buttons from the top; the number is the top in pixels.
    addCommandButton("btnCmdMenu", 8);
    addCommandButton("btnCmdHarm", 32);
    addCommandButton("btnCmdSelect", 56);
    addCommandButton("btnCmdSum", 80);
    addCommandButton("btnCmdUp", 104);
    addCommandButton("btnCmdDown", 128);
    addCommandButton("btnCmdMaxMinCur", 152);
    addCommandButton("btnCmdExitStatus", 176);
    addCommandButton("btnCmdHold", 200);
    addCommandButton("SpeedButton1", 224)->setToolTip(QStringLiteral("Switch the back light now"));
    addCommandButton("btnCmdSaveData", 264);
    addCommandButton("btnCmdAutoSaveData", 288);
    addCommandButton("btnCmdLoadMem", 320);
    addCommandButton("btnCmdAutoLoadMem", 344);
    addCommandButton("btnCmdClearMem", 376);

    btnExportData = addButton("btnExportData", QStringLiteral("ExportMemoryData"), 400);
    btnExportData->setProperty(kTag, int(protocol::kCmdExportData));
    btnExportData->setToolTip(QStringLiteral("Copy the meter's stored records into the log"));
    connect(btnExportData, &QToolButton::clicked, this, &TCommandPanel::exportRequested);

    btnCmdAutoPower = addButton("btnCmdAutoPower", QStringLiteral("Auto Power"), 432);
    btnCmdAutoPower->setToolTip(QStringLiteral("Auto power-off time"));
    btnCmdLight = addButton("btnCmdLight", QStringLiteral("Back Light"), 456);
    btnCmdLight->setToolTip(QStringLiteral("Back light time"));
    btnCmdFreqMode = addButton("btnCmdFreqMode", QStringLiteral("Freq Mode"), 480);
    btnCmdFreqMode->setToolTip(QStringLiteral("Frequency mode"));

    pmAutoPower = addMenu("pmAutoPower", protocol::TCommandMenu::AutoPower);
    pmBackLight = addMenu("pmBackLight", protocol::TCommandMenu::BackLight);
    pmCmdFreqMode = addMenu("pmCmdFreqMode", protocol::TCommandMenu::FreqMode);
    connect(btnCmdAutoPower, &QToolButton::clicked, this, &TCommandPanel::btnCmdAutoPowerClick);
    connect(btnCmdLight, &QToolButton::clicked, this, &TCommandPanel::btnCmdLightClick);
    connect(btnCmdFreqMode, &QToolButton::clicked, this, &TCommandPanel::btnCmdFreqModeClick);

    Timer_cmddelay = new QTimer(this);
    Timer_cmddelay->setObjectName(QStringLiteral("Timer_cmddelay"));
    Timer_cmddelay->setInterval(kCommandDelayMs);
    connect(Timer_cmddelay, &QTimer::timeout, this, &TCommandPanel::Timer_cmddelayTimer);
}

QToolButton* TCommandPanel::addButton(const char* name, const QString& caption, int top)
{
    auto* b = new QToolButton(this);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(caption);
    b->setAccessibleName(caption);
    b->setAutoRaise(false);
    b->setFocusPolicy(Qt::TabFocus);
    b->setGeometry(kButtonLeft, top, kButtonWidth, kButtonHeight);
    return b;
}

QToolButton* TCommandPanel::addCommandButton(const char* name, int top)
{
    const auto* cmd = protocol::FindMeterCommandByControl(name);
    Q_ASSERT(cmd);
    auto* b = addButton(name, Caption(cmd->caption), top);
    b->setProperty(kTag, int(cmd->code));
    b->setToolTip(QStringLiteral("Sends the meter's \"%1\" key").arg(Caption(cmd->caption)));
    connect(b, &QToolButton::clicked, this, [this, b] { btnCmdClick(b); });
    return b;
}

QMenu* TCommandPanel::addMenu(const char* name, protocol::TCommandMenu which)
{
    auto* menu = new QMenu(this);
    menu->setObjectName(QString::fromLatin1(name));
    for (const auto& cmd : protocol::kMeterCommands) {
        if (cmd.menu != which)
            continue;
        QAction* item = menu->addAction(Caption(cmd.caption));
        item->setObjectName(Caption(cmd.control));
        item->setProperty(kTag, int(cmd.code));
        connect(item, &QAction::triggered, this, [this, item] { btnCmdClick(item); });
    }
    return menu;
}

void TCommandPanel::setMenuGeometry(QWidget* client, QWidget* topBar)
{
    m_client = client;
    m_topBar = topBar;
}

void TCommandPanel::SendCommand(uint8_t code)
{
    if (!m_port.Connected || !m_port.Connected())
        return;
    const QByteArray frame = m_sequencer.BuildCommandFrame(code);
    // A command is not answered: a failed write shows only as no effect.
    if (m_port.Write)
        m_port.Write(frame);
}

void TCommandPanel::btnCmdClick(QObject* sender)
{
    SendCommand(CommandTag(sender));
    setEnabled(false);
    Timer_cmddelay->start();
}

void TCommandPanel::Timer_cmddelayTimer()
{
    Timer_cmddelay->stop();
    // A disconnection or an export started meanwhile keeps the panel off.
    const bool connected = m_port.Connected && m_port.Connected();
    if (connected && !m_exportRunning)
        setEnabled(true);
}

void TCommandPanel::connectionChanged(bool connected)
{
    // An export cut off by the link ends with it. A command delay still
    // running keeps the panel off: its timer enables it when it ends.
    m_exportRunning = false;
    setEnabled(connected && !Timer_cmddelay->isActive());
}

void TCommandPanel::exportStarted()
{
    m_exportRunning = true;
    setEnabled(false);
}

void TCommandPanel::exportEnded()
{
    m_exportRunning = false;
    setEnabled(true);
}

QPoint TCommandPanel::menuPoint(const QAbstractButton* button) const
{
    QWidget* client = m_client ? m_client : window();
    const int panelLeft = client->mapFromGlobal(mapToGlobal(QPoint(0, 0))).x();
    const int topBarHeight = m_topBar ? m_topBar->height() : 0;
    const QPoint local(panelLeft + button->x(), topBarHeight + button->y() + button->height());
    return client->mapToGlobal(local);
}

void TCommandPanel::openMenu(QToolButton* button, QMenu* menu)
{
    const QPoint at = menuPoint(button);
    menu->popup(at);
    Q_EMIT menuOpened(menu, at);
}

void TCommandPanel::btnCmdAutoPowerClick()
{
    openMenu(btnCmdAutoPower, pmAutoPower);
}

void TCommandPanel::btnCmdLightClick()
{
    openMenu(btnCmdLight, pmBackLight);
}

void TCommandPanel::btnCmdFreqModeClick()
{
    openMenu(btnCmdFreqMode, pmCmdFreqMode);
}

} // namespace varnetta::app

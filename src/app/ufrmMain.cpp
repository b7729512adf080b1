#include "ufrmMain.h"

#include "controls/NewMsgDlg.h"
#include "controls/ToggleButton.h"
#include "protocol/Reading.h"
#include "views/widgets/LogChartSource.h" // the window owns one: complete for its destructor

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QVBoxLayout>

namespace varnetta::app {

namespace {
constexpr int kWindowWidth = 989;
constexpr int kWindowHeight = 700;
constexpr int kTopBarHeight = 33;
constexpr int kLeftColumnWidth = 444;
constexpr int kLcdHeight = 241;
constexpr int kComparatorHeight = 97;
constexpr int kCommandPanelWidth = 117;
} // namespace

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    setFont(font);
    setWindowIcon(QIcon(QStringLiteral(":/varnetta/varnetta.svg")));

    // Components come first: the port binds its library and lists devices.
    createPort();
    buildLayout();
    wireProtocol();
    setupLink();
    setupDisplay();
    setupLog();
    setupViews();
    setupCommands();
    setupReport();
    setupKeyboard();
    FormCreate();

    resize(kWindowWidth, kWindowHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kWindowWidth / 2, kWindowHeight / 2));
    }
}

TfrmMain::~TfrmMain()
{
    FormDestroy();
}

void TfrmMain::buildLayout()
{
    menu1 = new QMenuBar(this);
    menu1->setObjectName(QStringLiteral("menu1"));
    setMenuBar(menu1);
    createRecordMenu(menu1);
    createConnectionMenu(menu1);

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("frmMainClient"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);

    // Top bar: connection at the left, Quit and the command toggle at the right.
    Panel5 = new QWidget(central);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setFixedHeight(kTopBarHeight);
    auto* top = new QHBoxLayout(Panel5);
    top->setContentsMargins(7, 3, 4, 6);
    top->setSpacing(0);
    btnConnect = new TToggleButton(QStringLiteral("USB Connection"), Panel5);
    btnConnect->setObjectName(QStringLiteral("btnConnect"));
    btnConnect->setFixedSize(106, 24);
    cbbDevices = new QComboBox(Panel5);
    cbbDevices->setObjectName(QStringLiteral("cbbDevices"));
    cbbDevices->setVisible(false);
    btnExit = new QPushButton(QStringLiteral("Quit"), Panel5);
    btnExit->setObjectName(QStringLiteral("btnExit"));
    btnExit->setFixedSize(90, 24);
    btnHideCmd = new QPushButton(QStringLiteral("-->"), Panel5);
    btnHideCmd->setObjectName(QStringLiteral("btnHideCmd"));
    btnHideCmd->setFixedSize(27, 24);
    btnHideCmd->setToolTip(QStringLiteral("Show or hide the command panel"));
    top->addWidget(btnConnect);
    top->addWidget(cbbDevices);
    top->addStretch(1);
    top->addWidget(btnExit);
    top->addWidget(btnHideCmd);
    column->addWidget(Panel5);

    Panel1 = new QWidget(central);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto* row = new QHBoxLayout(Panel1);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    column->addWidget(Panel1, 1);

    Splitter1 = new QSplitter(Qt::Horizontal, Panel1);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setHandleWidth(3);
    row->addWidget(Splitter1, 1);

    // Left column: the LCD panel above the log grid.
    Panel2 = new QWidget(Splitter1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    auto* left = new QVBoxLayout(Panel2);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);
    pnlLcd = createLcdPanel(Panel2);
    pnlLcd->setFixedHeight(kLcdHeight);
    pnlGridParent = createGridParent(Panel2);
    left->addWidget(pnlLcd);
    left->addWidget(pnlGridParent, 1);

    // Middle: the comparator above the chart.
    Panel4 = new QWidget(Splitter1);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    auto* middle = new QVBoxLayout(Panel4);
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    pnlSetComp = createComparatorPanel(Panel4);
    pnlSetComp->setFixedHeight(kComparatorHeight);
    pnlChartHome = createChartHome(Panel4);
    middle->addWidget(pnlSetComp);
    middle->addWidget(pnlChartHome, 1);

    Splitter1->addWidget(Panel2);
    Splitter1->addWidget(Panel4);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({kLeftColumnWidth, kWindowWidth - kLeftColumnWidth - kCommandPanelWidth});
    Panel2->setMinimumWidth(kLeftColumnWidth);

    pnlCommand = createCommandPanel(Panel1);
    pnlCommand->setFixedWidth(kCommandPanelWidth);
    pnlCommand->setEnabled(false);
    row->addWidget(pnlCommand);

    connect(btnExit, &QPushButton::clicked, this, &TfrmMain::btnExitClick);
    connect(btnHideCmd, &QPushButton::clicked, this, &TfrmMain::btnHideCmdClick);
}

void TfrmMain::wireProtocol()
{
    connect(&m_assembly, &protocol::TReceiveAssembly::frameReady, &m_dispatcher,
            &protocol::TFrameDispatcher::CP21041ReceiveData);
}

void TfrmMain::FormCreate()
{
    RefreshDeviceList();
    m_sequencer.reset();
    m_decimalSeparator = protocol::GetDecimalSeparator();
    m_dispatcher.setDecimalSeparator(m_decimalSeparator);
    createChartControl();
    createLogTable();
    installGridWheelHook();
    setWindowTitle(QString::fromLatin1(kCaption));
    applyLogDefaults();
    applyViewDefaults();
}

void TfrmMain::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    // The port is disconnected (reader stopped, device closed) while every
    // control its OnDisconnect handler touches still exists.
    disconnectPort();
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    // With unsaved rows the question offers to save them; otherwise it is
    // the plain confirmation.
    if (logAllowsQuit()) {
        logQuitting();
        event->accept();
    } else {
        event->ignore();
    }
}

void TfrmMain::btnExitClick()
{
    close();
}

void TfrmMain::btnHideCmdClick()
{
    const bool show = pnlCommand->isHidden();
    pnlCommand->setVisible(show);
    btnHideCmd->setText(show ? QStringLiteral("-->") : QStringLiteral("<--"));
}

} // namespace varnetta::app

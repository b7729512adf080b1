// The main window: a composition root. It creates the subsystem objects,
// places their widgets in the regions and wires their signals; the work
// itself is done by the subsystems.
//
// Each subsystem's glue lives in its own file (frmMain<Subsystem>.cpp) and
// its members in its own section below.
#pragma once

#include "protocol/FrameDispatcher.h"
#include "protocol/MeterFrame.h"

#include <QMainWindow>

#include <memory>
#include <optional>

class QComboBox;
class QMenu;
class QMenuBar;
class QPushButton;
class QSplitter;
class QTimer;
class QWidget;

namespace varnetta::link {
class TCP2110;
}
namespace varnetta::display {
class TLcdPanel;
}
namespace varnetta::log {
struct TPageFigures;
class TMemoryDownload;
class TComparatorPanel;
class TLogPanel;
} // namespace varnetta::log

namespace varnetta::views {
class TChartPanel;
class TChartControl;
class TLogChartSource;
} // namespace varnetta::views

namespace varnetta::app {

class TCommandPanel;

class TfrmMain : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Varnetta Interface Program Version:1.01";

    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    TfrmMain(const TfrmMain&) = delete;
    TfrmMain& operator=(const TfrmMain&) = delete;

    // The meter protocol objects the window owns for the whole run.
    protocol::TReceiveAssembly& receiveAssembly() { return m_assembly; }
    protocol::TFrameDispatcher& dispatcher() { return m_dispatcher; }
    protocol::TCommandSequencer& sequencer() { return m_sequencer; }
    [[nodiscard]] const QByteArray& decimalSeparator() const { return m_decimalSeparator; }
    // The LCD panel (overlays, USB marker) and the limit comparator.
    display::TLcdPanel* lcdPanel() { return m_lcd; }
    log::TComparatorPanel* comparator() { return m_comparator; }

protected:
    void closeEvent(QCloseEvent* event) override; // FormCloseQuery

private:
    void buildLayout();
    void FormCreate();
    void FormDestroy();
    void btnExitClick();
    void btnHideCmdClick();
    void wireProtocol();

    // ---- protocol (this file)
    protocol::TReceiveAssembly m_assembly;
    protocol::TFrameDispatcher m_dispatcher;
    protocol::TCommandSequencer m_sequencer;
    QByteArray m_decimalSeparator;
    bool m_destroyed = false;

    // ---- regions (this file)
    QMenuBar* menu1 = nullptr;
    QWidget* Panel5 = nullptr;
    QPushButton* btnConnect = nullptr;
    QComboBox* cbbDevices = nullptr;
    QPushButton* btnExit = nullptr;
    QPushButton* btnHideCmd = nullptr;
    QWidget* Panel1 = nullptr;
    QSplitter* Splitter1 = nullptr;
    QWidget* Panel2 = nullptr;
    QWidget* Panel4 = nullptr;
    QWidget* pnlLcd = nullptr;
    QWidget* pnlGridParent = nullptr;
    QWidget* pnlSetComp = nullptr;
    QWidget* pnlChartHome = nullptr;
    QWidget* pnlCommand = nullptr;

    // ---- link: the bridge port, reader and connection handling (frmMainLink.cpp)
    void createPort();        // a component: created before FormCreate
    void createConnectionMenu(QMenuBar* bar);
    void mniUsbIdsClick();
    void RefreshDeviceList(); // FormCreate step 1
    void disconnectPort();    // FormDestroy: Disconnect, connected or not
    void setupLink();
    void btnConnectClick();
    void CP21041Connect(QObject* Sender);
    void CP21041Disconnect(QObject* Sender);
    void CP21101Removal(QObject* Sender);
    void CP21101Error(uint32_t ErrorCode, const QString& ErrorMsg);
    void CP21101DeviceChange(QObject* Sender);
    void timerDisconectedUSBTimer();
    link::TCP2110* CP21101 = nullptr;      // the bridge port; owned as a child
    QTimer* timerDisconectedUSB = nullptr; // the 10 s watchdog of a silent link

    // ---- display: LCD panel and limit comparator (frmMainDisplay.cpp)
    QWidget* createLcdPanel(QWidget* parent);
    QWidget* createComparatorPanel(QWidget* parent);
    void setupDisplay();
    display::TLcdPanel* m_lcd = nullptr;
    log::TComparatorPanel* m_comparator = nullptr;

    // ---- log: table, grid, recording, files (frmMainLog.cpp)
    QWidget* createGridParent(QWidget* parent);
    void createRecordMenu(QMenuBar* bar);
    void createLogTable();   // FormCreate step 5
    void applyLogDefaults(); // FormCreate step 8: record limit, sampling interval
    void setupLog();
    // FormCloseQuery's question, with Save/Discard/Cancel while recorded
    // rows are unsaved; then the clean end of the recovery journal.
    [[nodiscard]] bool logAllowsQuit();
    void logQuitting();
    // The log table, its grid, toolbar and recorder (store(), recorder(),
    // btnRecordNewClick() for the chart's Clear, showPausedByMemoryRecord()).
    log::TLogPanel* m_logPanel = nullptr;

public:
    [[nodiscard]] log::TLogPanel* logPanel() const { return m_logPanel; }

private:
    // ---- views: trend chart and pop-out container (frmMainViews.cpp)
    QWidget* createChartHome(QWidget* parent);
    void createChartControl();   // FormCreate step 4
    void installGridWheelHook(); // FormCreate step 6
    void applyViewDefaults();    // FormCreate steps 8 (LastRange) and 9
    void setupViews();
    void btnFlyClick();
    void btnRecordFlyClick();
    void btnGridZoomoutClick();
    // The chart's page as Record > Statistics... shows it.
    [[nodiscard]] std::optional<log::TPageFigures> chartPageFigures() const;
    views::TChartPanel* m_chartPanel = nullptr; // pnlChartParent: ToolBar2 and Chart1
    views::TChartControl* ChartControl = nullptr;
    QObject* m_chartSink = nullptr; // hands the log's rows to ChartControl
    // The log table as the chart's source ("Chart Log").
    std::unique_ptr<views::TLogChartSource> m_chartLogSource;
    QWidget* btnRecordFly = nullptr;
    QWidget* btnGridZoomout = nullptr;

public:
    [[nodiscard]] views::TChartControl* chartControl() const { return ChartControl; }
    [[nodiscard]] views::TChartPanel* chartPanel() const { return m_chartPanel; }

private:
    // ---- commands and memory download (frmMainCommands.cpp)
public:
    [[nodiscard]] TCommandPanel* commandPanel() const { return m_commandPanel; }
    [[nodiscard]] log::TMemoryDownload* memoryDownload() const { return m_memoryDownload; }
    // One command frame to the meter, only while the port is connected.
    void SendCommand(uint8_t code);

private:
    QWidget* createCommandPanel(QWidget* parent);
    void setupCommands();
    void pauseLogForExport();
    TCommandPanel* m_commandPanel = nullptr;
    log::TMemoryDownload* m_memoryDownload = nullptr;

    // ---- printed report (frmMainReport.cpp)
    void setupReport();
    void PrintLog(); // btnRecordPrint

    // ---- keyboard: the desktop's shortcuts and the tab order (frmMainKeyboard.cpp)
    void setupKeyboard();
};

} // namespace varnetta::app

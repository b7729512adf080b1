// Window glue of the device link: the bridge port, its reader and the
// connection handling of the top bar.
#include "ufrmMain.h"

#include "controls/NewMsgDlg.h"
#include "UsbIdsDialog.h"
#include "VarnettaApplication.h"
#include "display/widgets/uLcdPanel.h"
#include "link/uCP2110.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace varnetta::app {

namespace {
constexpr int kWatchdogMs = 10000;
const char* const kNoDevice = "No device found.  Please ensure that you have proper USB connection.";
const char* const kCableFault = "USB interface cable is not connected properly, please check and re-try.";
} // namespace

void TfrmMain::createPort()
{
    CP21101 = new link::TCP2110(this);
    CP21101->setObjectName(QStringLiteral("CP21101"));
    // Bridges with a maker's own ids, as chosen in an earlier run.
    CP21101->setUsbIds(TUsbIdsDialog::Load());
}

void TfrmMain::createConnectionMenu(QMenuBar* bar)
{
    QMenu* menu = bar->addMenu(QStringLiteral("Connection"));
    menu->setObjectName(QStringLiteral("mniConnection"));
    QAction* ids = menu->addAction(QStringLiteral("USB Ids..."));
    ids->setObjectName(QStringLiteral("mniUsbIds"));
    ids->setToolTip(QStringLiteral("The USB vendor and product ids of the bridges to look for"));
    connect(ids, &QAction::triggered, this, &TfrmMain::mniUsbIdsClick);
}

void TfrmMain::mniUsbIdsClick()
{
    TUsbIdsDialog dialog(CP21101->UsbIds(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const auto ids = dialog.ids();
    if (!ids)
        return;
    TUsbIdsDialog::Save(*ids);
    // The list follows at once; an open connection stays as it is.
    CP21101->setUsbIds(*ids);
}

void TfrmMain::setupLink()
{
    timerDisconectedUSB = new QTimer(this);
    timerDisconectedUSB->setObjectName(QStringLiteral("timerDisconectedUSB"));
    timerDisconectedUSB->setInterval(kWatchdogMs);

    using link::TCP2110;
    connect(CP21101, &TCP2110::OnConnect, this, &TfrmMain::CP21041Connect);
    connect(CP21101, &TCP2110::OnDisconnect, this, &TfrmMain::CP21041Disconnect);
    connect(CP21101, &TCP2110::OnRemoval, this, &TfrmMain::CP21101Removal);
    connect(CP21101, &TCP2110::OnError, this, &TfrmMain::CP21101Error);
    connect(CP21101, &TCP2110::OnDeviceChange, this, &TfrmMain::CP21101DeviceChange);
    connect(CP21101, &TCP2110::OnReceiveData, this,
            [this](const uint8_t* Data, uint32_t Len) { m_assembly.CP21101ReceiveData(Data, int(Len)); });
    // A receive handler that threw is reported once; the data keeps coming.
    connect(CP21101, &TCP2110::OnReceiveFailed, this, &TVarnettaApplication::ShowException);
    // Every chunk restarts the watchdog's count, a stopped watchdog included.
    connect(&m_assembly, &protocol::TReceiveAssembly::chunkReceived, timerDisconectedUSB,
            qOverload<>(&QTimer::start));
    connect(timerDisconectedUSB, &QTimer::timeout, this, &TfrmMain::timerDisconectedUSBTimer);
    connect(btnConnect, &QPushButton::clicked, this, &TfrmMain::btnConnectClick);

    btnConnect->setToolTip(QStringLiteral("Connect to the meter or end the connection"));
    btnConnect->setAccessibleName(btnConnect->text());
    // The limits can be typed from the start; a disconnection locks them and
    // the next connection opens them again.
    pnlSetComp->setEnabled(true);
}

void TfrmMain::RefreshDeviceList()
{
    QStringList serials;
    for (const QString& entry : CP21101->DeviceList())
        serials << entry.section(QLatin1Char('='), 0, 0);
    std::stable_sort(serials.begin(), serials.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    cbbDevices->clear();
    cbbDevices->addItems(serials);
    if (serials.isEmpty()) {
        CP21101->setDeviceName(QString());
    } else {
        cbbDevices->setCurrentIndex(0);
        CP21101->setDeviceName(serials.first());
    }
}

void TfrmMain::disconnectPort()
{
    if (CP21101)
        CP21101->Disconnect();
}

void TfrmMain::btnConnectClick()
{
    // The button's pressed state has already flipped.
    if (CP21101->Connected()) {
        CP21101->Disconnect();
        return;
    }
    if (!CP21101->Connect()) {
        btnConnect->setChecked(false);
        btnConnect->setText(QStringLiteral("USB Connection"));
        btnConnect->setAccessibleName(btnConnect->text());
    }
}

void TfrmMain::CP21041Connect(QObject* /*Sender*/)
{
    const bool connected = CP21101->Connected();
    btnConnect->setChecked(connected);
    if (connected) {
        btnConnect->setText(QStringLiteral("USB Disconnect"));
        btnConnect->setAccessibleName(btnConnect->text());
        if (m_lcd)
            m_lcd->SetUsbShown(true);
        pnlCommand->setEnabled(true);
        pnlSetComp->setEnabled(true);
    }
    timerDisconectedUSB->start();
}

void TfrmMain::CP21041Disconnect(QObject* /*Sender*/)
{
    const bool connected = CP21101->Connected();
    btnConnect->setChecked(connected);
    if (!connected) {
        btnConnect->setText(QStringLiteral("USB Connection"));
        btnConnect->setAccessibleName(btnConnect->text());
        if (m_lcd)
            m_lcd->SetUsbShown(false);
        pnlCommand->setEnabled(false);
        pnlSetComp->setEnabled(false);
    }
    timerDisconectedUSB->stop();
}

void TfrmMain::timerDisconectedUSBTimer()
{
    CP21101->Disconnect();
    timerDisconectedUSB->stop();
    MsgDlg(QString::fromLatin1(kCableFault), mtInformation, mbOK, 0);
}

void TfrmMain::CP21101Removal(QObject* /*Sender*/)
{
    timerDisconectedUSB->stop();
    MsgDlg(QString::fromLatin1(kNoDevice), mtInformation, mbOK, 0);
}

void TfrmMain::CP21101Error(uint32_t ErrorCode, const QString& ErrorMsg)
{
    if (ErrorCode == link::TCP2110::kConnectError)
        MsgDlg(QString::fromLatin1(kNoDevice), mtInformation, mbOK, 0);
    else if (ErrorCode == link::TCP2110::kAccessError)
        MsgDlg(link::NodeAccessText(ErrorMsg), mtWarning, mbOK, 0);
}

void TfrmMain::CP21101DeviceChange(QObject* /*Sender*/)
{
    RefreshDeviceList();
}

} // namespace varnetta::app

// Development aid: the main window fed with a steady stream of meter frames
// through its receive path, to look at the LCD panel and the comparator
// without a meter. Usage: lcd_frame_feeder power|harmonic|all
#include "controls/NewMsgDlg.h"
#include "app/ufrmMain.h"
#include "display/widgets/uLcdPanel.h"

#include "../protocol/FrameBuilders.h"
#include "support/IsolatedUserFolders.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>

using namespace varnetta;

int main(int argc, char** argv)
{
    IsolateUserFolders();
    QApplication application(argc, argv);
    const char* mode = argc > 1 ? argv[1] : "power";
    app::SetMsgDlgHook([](const QString&, app::TMsgDlgType, app::TMsgDlgButtons) { return int(app::mrYes); });

    app::TfrmMain window;
    window.show();
    if (std::strcmp(mode, "all") == 0)
        window.lcdPanel()->SetUsbShown(true);

    int tick = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &window, [&] {
        ++tick;
        QByteArray frame;
        const QByteArray zero(5, '\0');
        if (std::strcmp(mode, "harmonic") == 0) {
            // Voltage harmonics: order in the small display, level and its share.
            const QByteArray body =
                QByteArray("003") +
                QByteArray::number(4.1 + (tick % 5) * 0.1, 'f', 1).rightJustified(6, ' ') + "      " +
                "  2.71";
            frame = protocol::testing::ReadingFrame(0x62, body, zero);
        } else if (std::strcmp(mode, "all") == 0) {
            frame = protocol::testing::ReadingFrame(0x38, "050 230.1 229.8 231.0", QByteArray(5, char(0xFF)));
        } else {
            // Active power with the hazardous-voltage mark and the hold symbol.
            const QByteArray value =
                QByteArray::number(0.95 + (tick % 7) * 0.011, 'f', 3).rightJustified(6, ' ');
            const QByteArray status = QByteArray("\x09\x00\x00\x00\x00", 5);
            frame = protocol::testing::ReadingFrame(0x30, "050" + value + " 230.1" + "  4.25", status);
        }
        window.receiveAssembly().CP21101ReceiveData(QByteArrayView(frame));
    });
    timer.start(500);
    return application.exec();
}

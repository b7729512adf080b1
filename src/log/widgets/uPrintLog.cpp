#include "uPrintLog.h"

#include "uReport.h"
#include "uReportPreview.h"

#include <QGuiApplication>
#include <QTimer>

namespace varnetta::log {

namespace {

class ReceptionGuard
{
public:
    explicit ReceptionGuard(const TReceptionHold& hold) : m_hold(hold)
    {
        if (m_hold.setReadPause)
            m_hold.setReadPause(true);
        if (m_hold.watchdog)
            m_hold.watchdog->stop();
    }
    ~ReceptionGuard()
    {
        if (m_hold.watchdog && m_hold.connected && m_hold.connected())
            m_hold.watchdog->start();
        if (m_hold.setReadPause)
            m_hold.setReadPause(false);
    }
    ReceptionGuard(const ReceptionGuard&) = delete;
    ReceptionGuard& operator=(const ReceptionGuard&) = delete;

private:
    const TReceptionHold& m_hold;
};

} // namespace

void HoldReceptionWhile(const TReceptionHold& hold, const std::function<void()>& produceAndShow)
{
    ReceptionGuard guard(hold);
    produceAndShow();
}

void PrintLog(const TLogStore& store, const TReceptionHold& hold, QWidget* parent, const QByteArray& decimalSeparator)
{
    HoldReceptionWhile(hold, [&] {
        TLogReport report(store);
        TReportPreview preview(report, parent);
        // Counted when first asked for, over the rows the report holds.
        std::optional<TLogReport::TStatistics> statistics;
        preview.offerStatistics([&](bool on) {
            if (on && !statistics) {
                QGuiApplication::setOverrideCursor(Qt::WaitCursor);
                statistics = TLogStatistics::ofRows(store, 0, report.rowCount(), decimalSeparator);
                QGuiApplication::restoreOverrideCursor();
            }
            report.setStatistics(on ? statistics : std::nullopt);
        });
        preview.exec();
    });
}

} // namespace varnetta::log

#include "uPrintLog.h"

#include "uReport.h"
#include "uReportPreview.h"

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

void PrintLog(const TLogStore& store, const TReceptionHold& hold, QWidget* parent)
{
    HoldReceptionWhile(hold, [&] {
        const TLogReport report(store);
        TReportPreview preview(report, parent);
        preview.exec();
    });
}

} // namespace varnetta::log

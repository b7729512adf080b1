// Record > Statistics...: count, minimum, maximum, mean and standard
// deviation of the log's value traces, kept up to date while rows arrive.
#pragma once

#include "log/LogStatistics.h"

#include <QDialog>
#include <QTimer>

class QLabel;
class QTableWidget;

namespace varnetta::log {

class TLogRecorder;
class TLogStore;
class TLogTableModel;

class TStatisticsDialog : public QDialog
{
    Q_OBJECT
public:
    // Rows read per refresh: a ten-million-row log is counted over a few
    // seconds in steps rather than holding the window at once.
    static constexpr qsizetype kRowsPerRefresh = 400'000;
    static constexpr int kRefreshMs = 500;

    TStatisticsDialog(const TLogStore& store, const TLogTableModel& model, const TLogRecorder& recorder,
                      QWidget* parent = nullptr);

    // Reads what is new and shows the figures; the timer calls it while shown.
    void refresh();
    [[nodiscard]] const TLogStatistics& statistics() const { return m_statistics; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    const TLogStore& m_store;
    const TLogRecorder& m_recorder;
    TLogStatistics m_statistics;
    QTimer m_timer;
    QTableWidget* m_table = nullptr;
    QLabel* m_rows = nullptr;
    bool m_stepPending = false;
};

} // namespace varnetta::log

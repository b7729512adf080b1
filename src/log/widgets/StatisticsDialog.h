// Record > Statistics...: count, minimum, maximum, mean and standard
// deviation of the log's value traces, kept up to date while rows arrive;
// the same for the page the chart shows, and the comparator's verdicts.
#pragma once

#include "log/LimitJudge.h"
#include "log/LogStatistics.h"

#include <QDialog>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <optional>

class QLabel;
class QTableWidget;

namespace varnetta::log {

class TLogRecorder;
class TLogStore;
class TLogTableModel;

// The figures of the page on the chart, as the window reads them there.
struct TPageFigures
{
    QString caption; // which page, which records
    std::array<TTraceStatistics, 3> traces{};
};
using TPageFiguresSource = std::function<std::optional<TPageFigures>()>;
using TVerdictCountsSource = std::function<std::optional<TVerdictCounts>()>;

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

    // Where the page's figures and the verdict counts come from; without a
    // source their part of the dialog stays empty.
    void setPageFiguresSource(TPageFiguresSource source) { m_pageSource = std::move(source); }
    void setVerdictCountsSource(TVerdictCountsSource source) { m_verdictSource = std::move(source); }
    // The page's figures last shown.
    [[nodiscard]] const std::optional<TPageFigures>& pageFigures() const { return m_page; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    const TLogStore& m_store;
    const TLogRecorder& m_recorder;
    TLogStatistics m_statistics;
    QTimer m_timer;
    void showTraces(QTableWidget* table, const std::array<TTraceStatistics, 3>& traces);
    QTableWidget* addTraceTable(const char* name, const QString& accessibleName);

    QTableWidget* m_table = nullptr;
    QLabel* m_rows = nullptr;
    TPageFiguresSource m_pageSource;
    TVerdictCountsSource m_verdictSource;
    std::optional<TPageFigures> m_page;
    QLabel* m_pageCaption = nullptr;
    QTableWidget* m_pageTable = nullptr;
    QLabel* m_verdicts = nullptr;
    bool m_stepPending = false;
};

} // namespace varnetta::log

// Recording into the log table: the append step with its record limit, the
// sampling interval and the log pause flag. No widget: the log panel drives
// it, the dispatcher feeds it, the chart listens through ILogChartSink.
#pragma once

#include "LogStore.h"
#include "protocol/Reading.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

namespace varnetta::log {

class ILogChartSink;

inline constexpr qsizetype kDefaultRecordLimit = 10000;

// "hh:mm:ss(yyyy-mm-dd)" with the given time separator instead of ':'.
[[nodiscard]] QByteArray LogTimeStamp(const QDateTime& when, char timeSeparator = ':');
// The system's time separator, as the short time format shows it.
[[nodiscard]] char SystemTimeSeparator();

class TLogRecorder : public QObject
{
    Q_OBJECT
public:
    explicit TLogRecorder(TLogStore& store, QObject* parent = nullptr);

    [[nodiscard]] TLogStore& store() { return m_store; }
    [[nodiscard]] const TLogStore& store() const { return m_store; }

    void setChartSink(ILogChartSink* sink) { m_sink = sink; }
    void setDecimalSeparator(const QByteArray& separator) { m_decimalSeparator = separator; }
    [[nodiscard]] const QByteArray& decimalSeparator() const { return m_decimalSeparator; }
    void setTimeSeparator(char separator) { m_timeSeparator = separator; }
    [[nodiscard]] char timeSeparator() const { return m_timeSeparator; }
    // Tests set the clock; the default is the local time.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    [[nodiscard]] qsizetype recordLimit() const { return m_recordLimit; }
    void setRecordLimit(qsizetype limit);

    // True from the first row refused at the record limit until the table
    // has room again (a larger limit, clearing, a smaller table loaded).
    [[nodiscard]] bool stoppedAtLimit() const { return m_stoppedAtLimit; }
    // The table changed behind the recorder's back: looks at the room again.
    void recheckRecordLimit();

    // Appends one row from `reading` unless the table is at the limit.
    void AppendLogRow(const protocol::TReading& reading, bool MemoryRecord);

    // A live reading was decoded: one row, unless interval sampling runs.
    void readingDecoded(const protocol::TReading& reading);

    // The log pause flag (Log Data Mode disabled).
    [[nodiscard]] bool logPaused() const { return m_logPaused; }
    void setLogPaused(bool paused);

    // Interval sampling: the timer runs exactly while it is on.
    [[nodiscard]] bool samplingActive() const { return m_timerInterval.isActive(); }
    void setSamplingActive(bool on);
    [[nodiscard]] int samplingSeconds() const { return m_samplingSeconds; }
    void setSamplingSeconds(int seconds);
    [[nodiscard]] QTimer& timerInterval() { return m_timerInterval; }
    void timerIntervalTimer();

    // While rows are held, recorded rows wait outside the table (the chart
    // gets them at once) and enter it, numbered there, when the hold ends:
    // meanwhile the table does not change, so a file can be read into it or
    // written from it on another thread. The record limit counts them.
    void holdRows(bool hold);
    [[nodiscard]] bool rowsHeld() const { return m_holding; }
    [[nodiscard]] qsizetype heldRowCount() const { return qsizetype(m_held.size()); }

    // Empties table, row states and change log, and the chart.
    void Clear();
    // Rows were added or replaced behind the recorder's back (file loads).
    void notifyBulkAppended() { Q_EMIT rowsAppended(); }
    void notifyReset() { Q_EMIT tableReset(); }

Q_SIGNALS:
    void rowsAppended();
    // Rows recorded from readings or memory records entered the table.
    void rowsRecorded(qsizetype first, qsizetype count);
    void tableReset();
    // Clear() emptied the log (not a table replaced by a file).
    void cleared();
    void logPausedChanged(bool paused);
    void stoppedAtLimitChanged(bool stopped);

private:
    TLogStore& m_store;
    ILogChartSink* m_sink = nullptr;
    QByteArray m_decimalSeparator = ".";
    char m_timeSeparator = ':';
    std::function<QDateTime()> m_clock;
    qsizetype m_recordLimit = kDefaultRecordLimit;
    bool m_logPaused = false;
    bool m_stoppedAtLimit = false;
    int m_samplingSeconds = 1;
    QTimer m_timerInterval;
    // Sampling takes only readings that really arrived since the last tick.
    protocol::TReading m_lastReading;
    bool m_readingSinceTick = false;
    bool m_holding = false;
    std::vector<TLogRow> m_held; // without ANo: numbered when they enter
};

} // namespace varnetta::log

#include "LogRecorder.h"

#include "LogChartSink.h"

#include <QLocale>

#include <limits>

namespace varnetta::log {

QByteArray LogTimeStamp(const QDateTime& when, char timeSeparator)
{
    QByteArray text = when.toString(QStringLiteral("hh:mm:ss(yyyy-MM-dd)")).toLatin1();
    text[2] = timeSeparator;
    text[5] = timeSeparator;
    return text;
}

char SystemTimeSeparator()
{
    const QString format = QLocale::system().timeFormat(QLocale::ShortFormat);
    for (QChar c : format)
        if (!c.isLetter() && c != QLatin1Char(' ') && c.unicode() < 0x80)
            return char(c.unicode());
    return ':';
}

TLogRecorder::TLogRecorder(TLogStore& store, QObject* parent) : QObject(parent), m_store(store)
{
    m_timerInterval.setObjectName(QStringLiteral("timerInterval"));
    m_timerInterval.setInterval(1000);
    connect(&m_timerInterval, &QTimer::timeout, this, &TLogRecorder::timerIntervalTimer);
}

void TLogRecorder::AppendLogRow(const protocol::TReading& reading, bool MemoryRecord)
{
    if (m_store.rowCount() + heldRowCount() >= m_recordLimit) {
        // Silent in the table; the window tells the user once.
        if (!m_stoppedAtLimit) {
            m_stoppedAtLimit = true;
            Q_EMIT stoppedAtLimitChanged(true);
        }
        return;
    }
    TLogRow row;
    if (!MemoryRecord)
        row.setText(fATime,
                    LogTimeStamp(m_clock ? m_clock() : QDateTime::currentDateTime(), m_timeSeparator));
    row.setText(fAFunction, protocol::FunModeText(reading.FunMode));
    row.setText(fAValue, reading.Value);
    row.setText(fAUnit, reading.Unit);
    row.setText(fASubValue1, reading.SubValue1);
    row.setText(fASubUnit1, reading.SubUnit1);
    row.setText(fASubValue2, reading.SubValue2);
    row.setText(fASubUnit2, reading.SubUnit2);
    row.rowState = kRowStateInserted;
    if (m_holding) {
        m_held.push_back(std::move(row));
    } else {
        row.ANo = qint32(m_store.rowCount() + 1);
        m_store.appendRow(row);
        m_store.appendChange({qint32(m_store.rowCount()), 0, kRowStateInserted});
        Q_EMIT rowsRecorded(m_store.rowCount() - 1, 1);
        Q_EMIT rowsAppended();
    }

    if (m_sink) {
        // No number (an overload "OL", dashes) goes as NaN: the chart draws
        // it at 0 but leaves it out when it fits the axis to the values.
        const auto number = [this](const QByteArray& text) {
            return protocol::ValueTextToNumber(text, m_decimalSeparator)
                .value_or(std::numeric_limits<double>::quiet_NaN());
        };
        m_sink->AddValues({0.0, number(reading.Value), number(reading.SubValue1), number(reading.SubValue2)},
                          {Qt::blue, Qt::red, Qt::blue, Qt::green});
    }
}

void TLogRecorder::setRecordLimit(qsizetype limit)
{
    m_recordLimit = limit;
    recheckRecordLimit();
}

void TLogRecorder::recheckRecordLimit()
{
    if (m_stoppedAtLimit && m_store.rowCount() + heldRowCount() < m_recordLimit) {
        m_stoppedAtLimit = false;
        Q_EMIT stoppedAtLimitChanged(false);
    }
}

void TLogRecorder::readingDecoded(const protocol::TReading& reading)
{
    if (m_logPaused)
        return;
    if (m_timerInterval.isActive()) {
        m_lastReading = reading;
        m_readingSinceTick = true;
        return;
    }
    AppendLogRow(reading, false);
}

void TLogRecorder::setLogPaused(bool paused)
{
    if (m_logPaused == paused)
        return;
    m_logPaused = paused;
    Q_EMIT logPausedChanged(paused);
}

void TLogRecorder::setSamplingActive(bool on)
{
    if (on == m_timerInterval.isActive())
        return;
    m_readingSinceTick = false;
    if (on)
        m_timerInterval.start(m_samplingSeconds * 1000);
    else
        m_timerInterval.stop();
}

void TLogRecorder::setSamplingSeconds(int seconds)
{
    if (seconds == m_samplingSeconds)
        return;
    m_samplingSeconds = seconds;
    // QTimer takes an int of milliseconds; longer periods are held at its limit.
    const qint64 ms = qint64(seconds) * 1000;
    const int period = ms > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : int(ms);
    if (m_timerInterval.isActive())
        m_timerInterval.start(period);
    else
        m_timerInterval.setInterval(period);
}

void TLogRecorder::timerIntervalTimer()
{
    // A tick logs only a reading that was handled since the previous tick:
    // with the link down or the log paused there is nothing new to record.
    if (m_logPaused || !m_readingSinceTick)
        return;
    m_readingSinceTick = false;
    AppendLogRow(m_lastReading, false);
}

void TLogRecorder::holdRows(bool hold)
{
    if (hold == m_holding)
        return;
    m_holding = hold;
    if (hold || m_held.empty())
        return;
    const qsizetype first = m_store.rowCount();
    for (TLogRow& row : m_held) {
        row.ANo = qint32(m_store.rowCount() + 1);
        m_store.appendRow(row);
        m_store.appendChange({qint32(m_store.rowCount()), 0, kRowStateInserted});
    }
    m_held.clear();
    Q_EMIT rowsRecorded(first, m_store.rowCount() - first);
    Q_EMIT rowsAppended();
}

void TLogRecorder::Clear()
{
    m_held.clear();
    m_store.clear();
    Q_EMIT tableReset();
    if (m_sink)
        m_sink->Clear();
    recheckRecordLimit();
    Q_EMIT cleared();
}

} // namespace varnetta::log

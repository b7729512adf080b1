// Statistics of the log's three value traces (main value, sub value A, sub
// value B): count of numeric values, minimum, maximum, mean and standard
// deviation. Kept up to date incrementally: each row is read once, however
// long the log grows, and a bounded number of rows per step keeps a long
// log from holding the caller.
#pragma once

#include "LogStore.h"

#include <QByteArray>

#include <array>
#include <cstdint>
#include <limits>

namespace varnetta::log {

// One trace: Welford's running mean and sum of squared deviations, which
// stay exact where the naive sums cancel (mains voltages, ten million rows).
struct TTraceStatistics
{
    qsizetype count = 0;
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();
    double mean = 0.0;
    double m2 = 0.0;

    void add(double x);
    // Sample standard deviation; 0 for fewer than two values.
    [[nodiscard]] double standardDeviation() const;
};

class TLogStatistics
{
public:
    static constexpr std::array<int, 3> kTraceFields = {fAValue, fASubValue1, fASubValue2};

    explicit TLogStatistics(QByteArray decimalSeparator = ".") : m_separator(std::move(decimalSeparator)) {}

    void setDecimalSeparator(const QByteArray& separator);
    // Starts again from the first row (the log was cleared or replaced).
    void reset();
    // Reads at most `most` of the rows not yet read; a store with fewer rows
    // than were read is taken as a new log. Returns true when every row of
    // the store has been read.
    bool update(const TLogStore& store, qsizetype most = std::numeric_limits<qsizetype>::max());

    [[nodiscard]] qsizetype rowsRead() const { return m_rowsRead; }
    [[nodiscard]] const TTraceStatistics& trace(int index) const { return m_traces[size_t(index)]; }

    // The same figures for rows [from, to) of a store, read afresh.
    [[nodiscard]] static std::array<TTraceStatistics, 3> ofRows(const TLogStore& store, qsizetype from,
                                                                 qsizetype to, QByteArrayView separator);

private:
    QByteArray m_separator;
    qsizetype m_rowsRead = 0;
    std::array<TTraceStatistics, 3> m_traces{};
};

} // namespace varnetta::log

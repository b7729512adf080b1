#include "LogStatistics.h"

#include "protocol/Reading.h"

#include <algorithm>
#include <cmath>

namespace varnetta::log {

void TTraceStatistics::add(double x)
{
    ++count;
    min = std::min(min, x);
    max = std::max(max, x);
    const double delta = x - mean;
    mean += delta / double(count);
    m2 += delta * (x - mean);
}

double TTraceStatistics::standardDeviation() const
{
    return count < 2 ? 0.0 : std::sqrt(m2 / double(count - 1));
}

namespace {

// A value as recorded here, or else as recorded where the other of point
// and comma is the decimal separator: a log opened from another machine.
// The meter's texts never group digits, so either mark is the decimal one.
std::optional<double> number(QByteArrayView text, QByteArrayView separator)
{
    if (auto value = protocol::ValueTextToNumber(text, separator))
        return value;
    if (separator == QByteArrayView(".") && text.contains(','))
        return protocol::ValueTextToNumber(text, ",");
    if (separator == QByteArrayView(",") && text.contains('.'))
        return protocol::ValueTextToNumber(text, ".");
    return std::nullopt;
}

void readRows(const TLogStore& store, qsizetype from, qsizetype to, QByteArrayView separator,
              std::array<TTraceStatistics, 3>& traces)
{
    std::array<char, 24> scratch{};
    for (qsizetype r = from; r < to; ++r) {
        for (size_t t = 0; t < traces.size(); ++t) {
            // Overload and dash texts ("OL", "----") and empty fields are not numbers.
            const auto value = number(store.fieldView(r, TLogStatistics::kTraceFields[t], scratch), separator);
            if (value && std::isfinite(*value))
                traces[t].add(*value);
        }
    }
}

} // namespace

void TLogStatistics::setDecimalSeparator(const QByteArray& separator)
{
    if (separator == m_separator)
        return;
    m_separator = separator;
    reset();
}

void TLogStatistics::reset()
{
    m_rowsRead = 0;
    m_traces = {};
}

bool TLogStatistics::update(const TLogStore& store, qsizetype most)
{
    if (store.rowCount() < m_rowsRead)
        reset();
    const qsizetype to = m_rowsRead + std::min(most, store.rowCount() - m_rowsRead);
    readRows(store, m_rowsRead, to, m_separator, m_traces);
    m_rowsRead = to;
    return m_rowsRead == store.rowCount();
}

std::array<TTraceStatistics, 3> TLogStatistics::ofRows(const TLogStore& store, qsizetype from, qsizetype to,
                                                       QByteArrayView separator)
{
    std::array<TTraceStatistics, 3> traces{};
    readRows(store, std::max<qsizetype>(from, 0), std::min(to, store.rowCount()), separator, traces);
    return traces;
}

} // namespace varnetta::log

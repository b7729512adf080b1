// The log table as the chart's source: its value, sub value A and sub value
// B read as numbers (under the program's decimal separator) for the records
// of the page shown only, so charting a ten-million-row log copies nothing.
#pragma once

#include "log/LogStore.h"
#include "views/ChartSource.h"

#include <QByteArray>

namespace varnetta::views {

class TLogChartSource final : public IChartSource
{
public:
    // The store must outlive the source; it is read, never changed.
    explicit TLogChartSource(const log::TLogStore& store, QByteArray decimalSeparator = ".");

    void setDecimalSeparator(const QByteArray& separator) { m_separator = separator; }

    [[nodiscard]] int64_t rows() const override;
    // Series 0 is the chart's zero area; 1 to 3 the three value fields.
    void values(int series, int64_t firstRecord, int64_t count, float* out) const override;
    // The colours the log hands the chart its rows in.
    [[nodiscard]] TPointColor color(int series) const override;

private:
    const log::TLogStore& m_store;
    QByteArray m_separator;
};

} // namespace varnetta::views

// Where recorded rows go besides the table: the trend chart implements this
// and is handed to the recorder by the window. Without a sink nothing draws.
#pragma once

#include <QList>
#include <Qt>

namespace varnetta::log {

class ILogChartSink
{
public:
    virtual ~ILogChartSink() = default;
    // One entry per series, in series order: (0, main value, sub value A,
    // sub value B) in blue, red, blue, green; NaN for a value that is no
    // number, which the chart draws at 0.
    virtual void AddValues(const QList<double>& values, const QList<Qt::GlobalColor>& colors) = 0;
    // The log was cleared.
    virtual void Clear() = 0;
};

} // namespace varnetta::log

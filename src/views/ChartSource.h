// Where the chart's values come from when they are not the rows handed to it
// one by one: a table that already holds them (an opened file, the memory
// download, the live log). The chart asks only for the records of the page
// it shows, so a source of ten million rows costs a page's worth per move.
#pragma once

#include <cstdint>

namespace varnetta::views {

// 0xAARRGGBB, as QRgb; kept as a plain integer so this stays free of the GUI.
using TPointColor = uint32_t;

class IChartSource
{
public:
    virtual ~IChartSource() = default;
    // Records held; record numbers run from 1 to rows().
    [[nodiscard]] virtual int64_t rows() const = 0;
    // The values of one series for `count` records from `firstRecord` on,
    // into out[0 .. count). NaN where a record holds no number.
    virtual void values(int series, int64_t firstRecord, int64_t count, float* out) const = 0;
    // The colour of a series' line.
    [[nodiscard]] virtual TPointColor color(int series) const = 0;
};

} // namespace varnetta::views

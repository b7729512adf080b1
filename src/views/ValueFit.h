// The value axis fitted to the values of the page shown: the range of the
// numbers there with a small margin, and which traces can share an axis
// without one of them lying flat on it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace varnetta::views {

struct TValueSpan
{
    double min = 0;
    double max = 0;
    bool operator==(const TValueSpan&) const = default;
};

class TValueFit
{
public:
    // Share of the values' spread added above and below.
    static constexpr double kMargin = 0.05;

    // NaN and infinities (records without a number) are left out.
    void add(double value);
    void add(std::span<const float> values);
    void add(const TValueFit& other);

    [[nodiscard]] int64_t count() const { return m_count; }
    // The numbers' own extent; nothing without a number.
    [[nodiscard]] std::optional<TValueSpan> extent() const;
    // The axis range: the extent widened by the margin on both sides. A
    // single value, or values all equal, get a band around them of the
    // margin's share of their size (or ±1 around 0), so the line is drawn
    // in the middle rather than on the plot's edge.
    [[nodiscard]] std::optional<TValueSpan> range(double margin = kMargin) const;

private:
    int64_t m_count = 0;
    double m_min = 0;
    double m_max = 0;
};

// Decimals an axis over `range` with `ticks` labels needs so that the labels
// tell its ticks apart, one digit finer than the tick step: a fitted range
// may be a few hundredths wide, or a few units around 12345.
[[nodiscard]] int LabelDecimals(TValueSpan range, int ticks);

// Axis of each trace, from 0: a trace joins the first axis on which neither
// it nor any trace already there would spread over less than 1/`ratio` of
// the axis (a kilowatt reading beside 230 V, or a steady current beside a
// moving one, would lie flat); otherwise it opens the next axis. A trace
// without numbers stays on axis 0.
[[nodiscard]] std::vector<int> FitAxes(std::span<const TValueFit> traces, double ratio = 4.0);

} // namespace varnetta::views

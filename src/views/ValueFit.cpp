#include "ValueFit.h"

#include <algorithm>
#include <cmath>

namespace varnetta::views {

void TValueFit::add(double value)
{
    if (!std::isfinite(value))
        return;
    if (m_count == 0) {
        m_min = m_max = value;
    } else {
        m_min = std::min(m_min, value);
        m_max = std::max(m_max, value);
    }
    ++m_count;
}

void TValueFit::add(std::span<const float> values)
{
    for (const float v : values)
        add(double(v));
}

void TValueFit::add(const TValueFit& other)
{
    if (other.m_count == 0)
        return;
    add(other.m_min);
    add(other.m_max);
    m_count += other.m_count - 2;
}

std::optional<TValueSpan> TValueFit::extent() const
{
    if (m_count == 0)
        return std::nullopt;
    return TValueSpan{m_min, m_max};
}

std::optional<TValueSpan> TValueFit::range(double margin) const
{
    if (m_count == 0)
        return std::nullopt;
    const double spread = m_max - m_min;
    const double size = std::max(std::abs(m_min), std::abs(m_max));
    // A spread lost in the values' own rounding is no spread: the axis
    // would otherwise show noise in the last digit across the whole plot.
    if (spread <= size * 1e-6) {
        const double half = size > 0 ? size * margin : 1.0;
        const double mid = (m_min + m_max) / 2;
        return TValueSpan{mid - half, mid + half};
    }
    const double pad = spread * margin;
    return TValueSpan{m_min - pad, m_max + pad};
}

int LabelDecimals(TValueSpan range, int ticks)
{
    constexpr int kMostDecimals = 12;
    const double step = (range.max - range.min) / double(std::max(ticks - 1, 1));
    if (!std::isfinite(step) || step <= 0)
        return 0;
    return std::clamp(int(std::ceil(-std::log10(step))) + 1, 0, kMostDecimals);
}

std::vector<int> FitAxes(std::span<const TValueFit> traces, double ratio)
{
    struct TAxis
    {
        TValueSpan extent;
        double narrowest; // the smallest spread of a trace on it
    };
    std::vector<int> axisOf(traces.size(), 0);
    std::vector<TAxis> axes;
    for (size_t i = 0; i < traces.size(); ++i) {
        const std::optional<TValueSpan> e = traces[i].extent();
        if (!e)
            continue; // nothing to draw: the first axis
        const double spread = e->max - e->min;
        size_t a = 0;
        for (; a < axes.size(); ++a) {
            const double joint = std::max(axes[a].extent.max, e->max) - std::min(axes[a].extent.min, e->min);
            // Steady traces (no spread) share only with the same steady value.
            if (joint == 0 || joint < ratio * std::min(axes[a].narrowest, spread))
                break;
        }
        if (a == axes.size()) {
            axes.push_back({*e, spread}); // the first trace with numbers opens axis 0
        } else {
            axes[a].extent = {std::min(axes[a].extent.min, e->min), std::max(axes[a].extent.max, e->max)};
            axes[a].narrowest = std::min(axes[a].narrowest, spread);
        }
        axisOf[i] = int(a);
    }
    return axisOf;
}

} // namespace varnetta::views

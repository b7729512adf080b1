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

std::vector<int> FitAxes(std::span<const TValueFit> traces, double ratio)
{
    std::vector<int> axisOf(traces.size(), 0);
    std::vector<double> axisSize; // size of each axis's first trace
    const auto sizeOf = [](const TValueFit& t) {
        const std::optional<TValueSpan> e = t.extent();
        return e ? std::max(std::abs(e->min), std::abs(e->max)) : 0.0;
    };
    for (size_t i = 0; i < traces.size(); ++i) {
        const double size = sizeOf(traces[i]);
        if (size == 0) {
            if (axisSize.empty())
                axisSize.push_back(0);
            continue; // no number, or only zeros: fits anywhere, stays on the first
        }
        int found = -1;
        for (size_t a = 0; a < axisSize.size() && found < 0; ++a) {
            if (axisSize[a] == 0) {
                axisSize[a] = size; // the first axis took only empty traces so far
                found = int(a);
            } else if (std::max(size, axisSize[a]) < ratio * std::min(size, axisSize[a])) {
                found = int(a);
            }
        }
        if (found < 0) {
            found = int(axisSize.size());
            axisSize.push_back(size);
        }
        axisOf[i] = found;
    }
    return axisOf;
}

} // namespace varnetta::views

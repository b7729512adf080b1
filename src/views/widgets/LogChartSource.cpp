#include "LogChartSource.h"

#include "protocol/Reading.h"

#include <array>
#include <cmath>
#include <limits>

namespace varnetta::views {

namespace {

constexpr std::array<int, 4> kSeriesField = {-1, log::fAValue, log::fASubValue1, log::fASubValue2};
// Blue, red, blue, green: as the recorder colours the rows it hands over.
constexpr std::array<TPointColor, 4> kSeriesColor = {0xFF0000FFu, 0xFFFF0000u, 0xFF0000FFu, 0xFF00FF00u};

} // namespace

TLogChartSource::TLogChartSource(const log::TLogStore& store, QByteArray decimalSeparator)
    : m_store(store), m_separator(std::move(decimalSeparator))
{
}

int64_t TLogChartSource::rows() const
{
    return int64_t(m_store.rowCount());
}

void TLogChartSource::values(int series, int64_t firstRecord, int64_t count, float* out) const
{
    constexpr float kNoNumber = std::numeric_limits<float>::quiet_NaN();
    const int field = series >= 0 && series < int(kSeriesField.size()) ? kSeriesField[size_t(series)] : -1;
    std::array<char, 24> scratch{};
    for (int64_t i = 0; i < count; ++i) {
        const int64_t row = firstRecord - 1 + i;
        if (field < 0) {
            out[i] = 0.0f; // the zero area, or a series the log has no field for
            continue;
        }
        if (row < 0 || row >= int64_t(m_store.rowCount())) {
            out[i] = kNoNumber;
            continue;
        }
        const std::optional<double> v =
            protocol::ValueTextToNumber(m_store.fieldView(qsizetype(row), field, scratch), m_separator);
        const float f = v ? float(*v) : kNoNumber;
        out[i] = std::isfinite(f) ? f : kNoNumber; // beyond a float's reach counts as no number
    }
}

TPointColor TLogChartSource::color(int series) const
{
    return series >= 0 && series < int(kSeriesColor.size()) ? kSeriesColor[size_t(series)] : kSeriesColor[0];
}

} // namespace varnetta::views

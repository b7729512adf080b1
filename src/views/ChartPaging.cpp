#include "ChartPaging.h"

#include <algorithm>
#include <cmath>

namespace varnetta::views {

namespace {

// What the chart draws for a value: a record without a number sits at 0.
float drawn(float v)
{
    return std::isfinite(v) ? v : 0.0f;
}

} // namespace

TChartPaging::TChartPaging(int seriesCount, int32_t range)
    : m_series(size_t(std::max(seriesCount, 0))), m_range(std::max<int32_t>(range, 1)),
      m_pageCache(m_series.size())
{
    resetSeries();
}

int64_t TChartPaging::rows() const
{
    if (m_source)
        return std::max<int64_t>(m_source->rows(), 0);
    if (m_series.empty())
        return 0;
    return int64_t(m_series.front().values.size()) - 1;
}

TPageWindow TChartPaging::window() const
{
    const int64_t first = int64_t(m_curPage - 1) * m_range + 1;
    return {first, first + m_range - 1};
}

void TChartPaging::resetSeries()
{
    for (TSeries& s : m_series) {
        s.values.clear();
        s.colors.clear();
        s.values.push_back(0.0f);
        s.colors.push_back({0, kZeroPointColor});
    }
}

void TChartPaging::updatePageCount()
{
    const int64_t n = rows();
    m_pageCount = int32_t(std::max<int64_t>(1, (n + m_range - 1) / m_range));
}

void TChartPaging::AddValues(const double* values, int valueCount, const TPointColor* colors, int colorCount)
{
    const int n = std::min(valueCount, seriesCount());
    for (int i = 0; i < n; ++i) {
        TSeries& s = m_series[size_t(i)];
        const TPointColor color = i < colorCount ? colors[i] : s.colors.back().color;
        if (s.colors.back().color != color)
            s.colors.push_back({int64_t(s.values.size()), color});
        s.values.push_back(float(values[i]));
    }
    if (m_source)
        return;
    updatePageCount();
    if (!m_browsing)
        m_curPage = m_pageCount; // a row beyond the window moves it one page on
}

void TChartPaging::AddValues(const QList<double>& values, const QList<TPointColor>& colors)
{
    AddValues(values.constData(), int(values.size()), colors.constData(), int(colors.size()));
}

void TChartPaging::FirstPage()
{
    if (m_pageCount <= 1 || m_curPage == 1)
        return;
    m_curPage = 1;
    m_browsing = true;
}

void TChartPaging::PreviousPage()
{
    if (m_curPage <= 1)
        return;
    --m_curPage;
    m_browsing = true;
}

void TChartPaging::NextPage()
{
    if (m_pageCount <= 1 || m_curPage == m_pageCount)
        return;
    ++m_curPage;
    m_browsing = m_curPage != m_pageCount;
}

void TChartPaging::LastPage()
{
    if (m_pageCount <= 1 || m_curPage == m_pageCount)
        return;
    m_curPage = m_pageCount;
    m_browsing = false;
}

void TChartPaging::GotoPage(int32_t page)
{
    // The last target is remembered, but a repeated request still goes to
    // the page when the user has paged elsewhere since.
    m_gotoTarget = page;
    if (page == m_curPage || m_pageCount <= 1 || page < 1 || page > m_pageCount)
        return;
    m_curPage = page;
    m_browsing = page != m_pageCount;
}

void TChartPaging::SetRange(int32_t range)
{
    // A page size below one record has no pages to show.
    if (range == m_range || range < 1)
        return;
    m_range = range;
    updatePageCount();
    m_curPage = m_pageCount;
    m_browsing = false;
}

void TChartPaging::Clear()
{
    resetSeries();
    // With a source the pages are its rows', which the source reports itself.
    updatePageCount();
    m_curPage = m_pageCount;
    m_browsing = false;
}

void TChartPaging::followRows()
{
    updatePageCount();
    if (!m_browsing || m_curPage > m_pageCount)
        m_curPage = m_pageCount;
    m_browsing = m_curPage < m_pageCount;
}

void TChartPaging::setSource(const IChartSource* source)
{
    if (source == m_source)
        return;
    m_source = source;
    for (TPageCache& c : m_pageCache)
        c = {};
    m_browsing = false;
    followRows();
}

void TChartPaging::sourceChanged(bool appended)
{
    if (!m_source)
        return;
    if (!appended)
        for (TPageCache& c : m_pageCache)
            c = {};
    followRows();
}

bool TChartPaging::SetMaxValue(double value)
{
    if (value == m_maxValue)
        return false;
    m_maxValue = value;
    return true;
}

bool TChartPaging::SetMinValue(double value)
{
    if (value == m_minValue)
        return false;
    m_minValue = value;
    return true;
}

bool TChartPaging::SetFirstSeriesActive(bool active)
{
    if (active == m_firstSeriesActive)
        return false;
    m_firstSeriesActive = active;
    return true;
}

std::span<const float> TChartPaging::pageValues(int series) const
{
    const TPageWindow w = window();
    const int64_t last = std::min<int64_t>(w.last, rows());
    if (last < w.first || series < 0 || series >= seriesCount())
        return {};
    const auto count = size_t(last - w.first + 1);
    if (!m_source)
        return {m_series[size_t(series)].values.data() + w.first, count};

    // Only records not read before are asked for: a new row on the page
    // shown costs one record, not the page.
    TPageCache& cache = m_pageCache[size_t(series)];
    if (cache.first != w.first) {
        cache.first = w.first;
        cache.values.clear();
    }
    if (cache.values.size() > count)
        cache.values.resize(count);
    if (cache.values.size() < count) {
        const size_t have = cache.values.size();
        cache.values.resize(count);
        m_source->values(series, w.first + int64_t(have), int64_t(count - have), cache.values.data() + have);
    }
    return {cache.values.data(), count};
}

void TChartPaging::pagePoints(int series, QList<QPointF>& out, int64_t maxPoints) const
{
    out.clear();
    const std::span<const float> page = pageValues(series);
    if (page.empty())
        return;
    const TPageWindow w = window();
    // v[x] is record x's value, as in the series' own array.
    const auto v = [&page, &w](int64_t x) { return drawn(page[size_t(x - w.first)]); };
    const int64_t last = w.first + int64_t(page.size()) - 1;
    const int64_t count = int64_t(page.size());
    if (count <= maxPoints || maxPoints < 4) {
        out.reserve(qsizetype(count));
        for (int64_t x = w.first; x <= last; ++x)
            out.append(QPointF(double(x), double(v(x))));
        return;
    }
    // Buckets follow the page, not the rows present, so a column's records
    // stay in the same bucket while the page fills.
    const int64_t buckets = maxPoints / 2;
    const int64_t span = (int64_t(m_range) + buckets - 1) / buckets;
    out.reserve(qsizetype(2 * buckets));
    for (int64_t from = w.first; from <= last; from += span) {
        const int64_t to = std::min(last, from + span - 1);
        int64_t lo = from;
        int64_t hi = from;
        for (int64_t x = from + 1; x <= to; ++x) {
            if (v(x) < v(lo))
                lo = x;
            if (v(x) > v(hi))
                hi = x;
        }
        const int64_t a = std::min(lo, hi);
        const int64_t b = std::max(lo, hi);
        out.append(QPointF(double(a), double(v(a))));
        if (b != a)
            out.append(QPointF(double(b), double(v(b))));
    }
}

TPointColor TChartPaging::colorAt(int series, int64_t x) const
{
    const std::vector<TColorRun>& runs = m_series[size_t(series)].colors;
    auto it = std::upper_bound(runs.begin(), runs.end(), x,
                               [](int64_t at, const TColorRun& run) { return at < run.start; });
    return it == runs.begin() ? runs.front().color : std::prev(it)->color;
}

TPointColor TChartPaging::pageColor(int series) const
{
    if (m_source)
        return m_source->color(series);
    const int64_t lastPoint = int64_t(pointCount(series)) - 1;
    const int64_t x = std::min(window().last, lastPoint);
    return colorAt(series, std::max<int64_t>(x, 0));
}

} // namespace varnetta::views

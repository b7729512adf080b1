// The trend chart's paging state and its values, without any chart: which
// page of Range records is on screen, how many pages there are, whether the
// view follows new rows, and the values of every series in compact arrays.
#pragma once

#include "ChartSource.h"

#include <QList>
#include <QPointF>

#include <cstdint>
#include <span>
#include <vector>

namespace varnetta::views {

constexpr TPointColor kZeroPointColor = 0xFF0000FFu; // blue

// The record-number window of one page, both ends inclusive.
struct TPageWindow
{
    int64_t first = 1;
    int64_t last = 100;
    bool operator==(const TPageWindow&) const = default;
};

class TChartPaging
{
public:
    // Every series starts with its zero point (X 0, value 0, blue).
    TChartPaging(int seriesCount, int32_t range);

    // Paging fields.
    [[nodiscard]] int32_t CurPage() const { return m_curPage; }
    [[nodiscard]] int32_t Range() const { return m_range; }
    [[nodiscard]] int32_t PageCount() const { return m_pageCount; }
    [[nodiscard]] bool Browsing() const { return m_browsing; }
    [[nodiscard]] double MaxValue() const { return m_maxValue; }
    [[nodiscard]] double MinValue() const { return m_minValue; }
    [[nodiscard]] int32_t GotoTarget() const { return m_gotoTarget; }
    [[nodiscard]] bool FirstSeriesActive() const { return m_firstSeriesActive; }

    // Rows charted: the points of series 0 less its zero point, or the
    // source's rows while a source is set.
    [[nodiscard]] int64_t rows() const;
    [[nodiscard]] int seriesCount() const { return int(m_series.size()); }
    [[nodiscard]] TPageWindow window() const;

    // One value and colour per series, in series order; entries beyond the
    // number of series are ignored. A missing colour keeps the series' last.
    // A NaN value (no number) is drawn at 0. While a source is set the rows
    // are kept for later but leave the pages alone.
    void AddValues(const double* values, int valueCount, const TPointColor* colors, int colorCount);
    void AddValues(const QList<double>& values, const QList<TPointColor>& colors);

    // Page moves; each does nothing when its guard holds.
    void FirstPage();
    void PreviousPage();
    void NextPage();
    void LastPage();
    void GotoPage(int32_t page);
    void SetRange(int32_t range);
    void Clear();

    // Charts the source's records instead of the rows added (null: back to
    // those). Either way the view goes to the last page and follows.
    void setSource(const IChartSource* source);
    [[nodiscard]] const IChartSource* source() const { return m_source; }
    // The source gained or lost rows at its end (appended == true: the rows
    // read so far are unchanged), or was replaced as a whole.
    void sourceChanged(bool appended);

    // Each returns whether the value changed (and so the chart must follow).
    [[nodiscard]] bool SetMaxValue(double value);
    [[nodiscard]] bool SetMinValue(double value);
    [[nodiscard]] bool SetFirstSeriesActive(bool active);

    // The points of one series that fall in the window, X = record number.
    // With more than maxPoints of them, each run of records that shares a
    // pixel column gives only its lowest and highest point, in record order:
    // the line drawn is the same, at a fraction of the cost.
    void pagePoints(int series, QList<QPointF>& out, int64_t maxPoints = INT64_MAX) const;
    // The values of one series on the page shown, from its first record to
    // its last present one; NaN where a record holds no number. Valid until
    // the next change of the paging or its source.
    [[nodiscard]] std::span<const float> pageValues(int series) const;
    [[nodiscard]] size_t pointCount(int series) const { return m_series[size_t(series)].values.size(); }
    [[nodiscard]] double valueAt(int series, int64_t x) const
    {
        return m_series[size_t(series)].values[size_t(x)];
    }
    [[nodiscard]] TPointColor colorAt(int series, int64_t x) const;
    // The colour a series' line takes on the page shown: its last point's there.
    [[nodiscard]] TPointColor pageColor(int series) const;

private:
    struct TColorRun
    {
        int64_t start; // first point index of the run
        TPointColor color;
    };
    struct TSeries
    {
        // Values are only drawn, so single precision is plenty and halves the
        // memory of a ten-million-row log.
        std::vector<float> values;
        std::vector<TColorRun> colors; // runs, almost always one or two
    };

    // A source's values of the page last asked for, per series.
    struct TPageCache
    {
        int64_t first = -1;
        std::vector<float> values;
    };

    void resetSeries();
    void updatePageCount();
    void followRows();

    std::vector<TSeries> m_series;
    int32_t m_curPage = 1;
    int32_t m_range = 100;
    int32_t m_pageCount = 1;
    bool m_browsing = false;
    double m_maxValue = 0;
    double m_minValue = 0;
    int32_t m_gotoTarget = 0;
    bool m_firstSeriesActive = true;
    const IChartSource* m_source = nullptr;
    mutable std::vector<TPageCache> m_pageCache;
};

} // namespace varnetta::views

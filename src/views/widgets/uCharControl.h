// TChartControl: drives the trend chart. It alone moves the record axis and
// fills the series; the chart gets only the points of the page on screen.
#pragma once

#include "views/ChartPaging.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <vector>

class QChart;
class QValueAxis;
class QXYSeries;
class QAbstractSeries;

namespace varnetta::views {

class TChartControl : public QObject
{
    Q_OBJECT
public:
    // Rows that arrive in a burst repaint at most this often.
    static constexpr int kRepaintIntervalMs = 40;
    // A page gets two points a pixel column of the plot, and never fewer
    // than this, so small pages always keep every record.
    static constexpr int64_t kMinPagePoints = 2000;

    // Create: the chart is not owned; its series, in order, are the ones
    // AddValues fills by position.
    TChartControl(QChart* Chart, int32_t Range, QObject* parent = nullptr);
    ~TChartControl() override;

    TChartControl(const TChartControl&) = delete;
    TChartControl& operator=(const TChartControl&) = delete;

    [[nodiscard]] QChart* Chart() const { return m_chart; }
    [[nodiscard]] int32_t CurPage() const { return m_paging.CurPage(); }
    [[nodiscard]] int32_t Range() const { return m_paging.Range(); }
    [[nodiscard]] int32_t PageCount() const { return m_paging.PageCount(); }
    [[nodiscard]] bool Browsing() const { return m_paging.Browsing(); }
    [[nodiscard]] double MaxValue() const { return m_paging.MaxValue(); }
    [[nodiscard]] double MinValue() const { return m_paging.MinValue(); }
    [[nodiscard]] int32_t GotoTarget() const { return m_paging.GotoTarget(); }
    [[nodiscard]] bool FirstSeriesActive() const { return m_paging.FirstSeriesActive(); }
    [[nodiscard]] const TChartPaging& paging() const { return m_paging; }

    void AddValues(const QList<double>& Values, const QList<QColor>& Colors);
    void FirstPage();
    void PreviousPage();
    void NextPage();
    void LastPage();
    void GotoPage(int32_t Page);
    void SetRange(int32_t Range);
    void Clear();
    void SetMaxValue(double Value);
    void SetMinValue(double Value);
    void SetFirstSeriesActive(bool Active);

    // Charts a table's records instead of the rows AddValues hands over
    // (null: back to those); the view goes to the last page and follows.
    void setSource(const IChartSource* source);
    [[nodiscard]] const IChartSource* source() const { return m_paging.source(); }
    // The source gained rows at its end (appended) or was replaced.
    void sourceChanged(bool appended);

    // Fit values: each page move and new row sets the value axis to the
    // numbers of the page shown, with a small margin; a trace that would
    // lie flat beside the others gets an axis of its own on the right, each
    // axis in its trace's colour. Off: the axis limits set through
    // SetMaxValue and SetMinValue hold.
    void setFitValues(bool on);
    [[nodiscard]] bool fitValues() const { return m_fitValues; }
    // The value axes shown: the left one first.
    [[nodiscard]] QList<QValueAxis*> valueAxes() const;
    // The axis a series is drawn against.
    [[nodiscard]] QValueAxis* valueAxisOf(int series) const;

    // Draws a pending row burst now instead of at the next repaint tick.
    void flushRepaint();
    [[nodiscard]] bool repaintPending() const { return m_repaintTimer.isActive(); }

Q_SIGNALS:
    // Raised whenever CurPage takes a new value, whatever moved it.
    void curPageChanged(int32_t curPage);

private:
    template <typename Move> void movePage(Move&& move);
    void scheduleRepaint();
    void refresh();
    void applyRecordAxis();
    void noteCurPage(int32_t before);
    void applyFit();
    void attachSeries(size_t series, int axis);
    void unfit();

    QChart* m_chart;
    QPointer<QChart> m_chartAlive; // the chart may go first when the window closes
    QValueAxis* m_recordAxis = nullptr;
    QValueAxis* m_valueAxis = nullptr;
    std::vector<QXYSeries*> m_points;       // where each series keeps its points
    std::vector<QAbstractSeries*> m_series; // what is shown or hidden
    std::vector<QRgb> m_penColors;
    TChartPaging m_paging;
    TPageWindow m_axisWindow{0, 0};
    QTimer m_repaintTimer;
    QList<QPointF> m_scratch;
    bool m_fitValues = false;
    // The value axis as the fit found it, and as SetMaxValue and SetMinValue
    // set it meanwhile: what it returns to.
    QString m_fixedLabelFormat;
    double m_fixedMin = 0;
    double m_fixedMax = 0;
    QColor m_fixedLabelsColor;
    QColor m_fixedLineColor;
    bool m_fixedTitleVisible = true;
    std::vector<QValueAxis*> m_extraAxes; // right-hand axes of a fit, made when a page needs them
    std::vector<int> m_axisOf;            // per series: 0 the left axis, n the n-th extra one
};

} // namespace varnetta::views

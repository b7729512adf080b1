#include "uCharControl.h"

#include "views/ValueFit.h"

#include <QAreaSeries>
#include <QChart>
#include <QFontMetricsF>
#include <QLineSeries>
#include <QPen>
#include <QValueAxis>

#include <array>
#include <cmath>

namespace varnetta::views {

namespace {

QXYSeries* pointsOf(QAbstractSeries* series)
{
    if (auto* area = qobject_cast<QAreaSeries*>(series))
        return area->upperSeries();
    return qobject_cast<QXYSeries*>(series);
}

QValueAxis* firstValueAxis(QChart* chart, Qt::Orientation orientation)
{
    for (QAbstractAxis* axis : chart->axes(orientation))
        if (auto* value = qobject_cast<QValueAxis*>(axis))
            return value;
    return nullptr;
}

// Qt Charts gives each bottom label the plot width divided by the number of
// ticks, less its padding on both sides, and elides a label wider than that.
constexpr double kLabelRoom = 2 * 4.0 + 2.0;

// About ten labels a page, on whole record numbers: 1, 2 or 5 times a power of
// ten; fewer when the widest label would not fit its share of the plot width.
double tickInterval(int32_t range, double plotWidth, double labelWidth)
{
    const double raw = std::max(1.0, double(range) / 10.0);
    double interval = std::pow(10.0, std::floor(std::log10(raw)));
    for (int i = 0;; ++i) {
        const double step = interval * std::array{1.0, 2.0, 5.0}[size_t(i % 3)];
        if (i % 3 == 2)
            interval *= 10.0;
        if (step < raw)
            continue;
        // Ticks anchored at 0 inside the page: at most range / step + 1.
        const double ticks = std::floor(double(range) / step) + 1.0;
        if (plotWidth <= 0 || step >= double(range) || ticks * (labelWidth + kLabelRoom) <= plotWidth)
            return step;
    }
}

} // namespace

TChartControl::TChartControl(QChart* Chart, int32_t Range, QObject* parent)
    : QObject(parent), m_chart(Chart), m_chartAlive(Chart), m_paging(int(Chart->series().size()), Range)
{
    for (QAbstractSeries* s : m_chart->series()) {
        m_series.push_back(s);
        m_points.push_back(pointsOf(s));
        m_penColors.push_back(0);
        m_axisOf.push_back(0);
    }
    m_recordAxis = firstValueAxis(m_chart, Qt::Horizontal);
    m_valueAxis = firstValueAxis(m_chart, Qt::Vertical);
    if (m_recordAxis) {
        m_recordAxis->setTickType(QValueAxis::TicksDynamic);
        m_recordAxis->setTickAnchor(0);
        m_recordAxis->setLabelFormat(QStringLiteral("%d"));
    }
    m_repaintTimer.setSingleShot(true);
    m_repaintTimer.setInterval(kRepaintIntervalMs);
    connect(&m_repaintTimer, &QTimer::timeout, this, &TChartControl::refresh);
    // A wider or narrower plot takes another number of points a page.
    connect(m_chart, &QChart::plotAreaChanged, this, &TChartControl::scheduleRepaint);

    if (!m_series.empty())
        m_series.front()->setVisible(true);
    refresh();
}

// The chart is the window's; it is left as it was given, without the axes
// a fit added.
TChartControl::~TChartControl()
{
    if (m_chartAlive && m_fitValues)
        unfit();
}

void TChartControl::AddValues(const QList<double>& Values, const QList<QColor>& Colors)
{
    constexpr int kMaxSeries = 16;
    std::array<TPointColor, kMaxSeries> colors{};
    const int colorCount = int(std::min<qsizetype>(Colors.size(), kMaxSeries));
    for (int i = 0; i < colorCount; ++i)
        colors[size_t(i)] = Colors[i].rgba();

    const int32_t before = m_paging.CurPage();
    m_paging.AddValues(Values.constData(), int(Values.size()), colors.data(), colorCount);
    if (m_paging.source())
        return; // kept for when the source goes; the source's rows are on screen
    const TPageWindow w = m_paging.window();
    const int64_t row = m_paging.rows();
    if (!(w == m_axisWindow) || (row >= w.first && row <= w.last))
        scheduleRepaint();
    noteCurPage(before);
}

template <typename Move> void TChartControl::movePage(Move&& move)
{
    const int32_t before = m_paging.CurPage();
    const int32_t rangeBefore = m_paging.Range();
    move();
    if (m_paging.CurPage() != before || m_paging.Range() != rangeBefore)
        refresh();
    noteCurPage(before);
}

void TChartControl::FirstPage()
{
    movePage([this] { m_paging.FirstPage(); });
}

void TChartControl::PreviousPage()
{
    movePage([this] { m_paging.PreviousPage(); });
}

void TChartControl::NextPage()
{
    movePage([this] { m_paging.NextPage(); });
}

void TChartControl::LastPage()
{
    movePage([this] { m_paging.LastPage(); });
}

void TChartControl::GotoPage(int32_t Page)
{
    movePage([this, Page] { m_paging.GotoPage(Page); });
}

void TChartControl::SetRange(int32_t Range)
{
    movePage([this, Range] { m_paging.SetRange(Range); });
}

void TChartControl::Clear()
{
    const int32_t before = m_paging.CurPage();
    m_paging.Clear();
    refresh();
    noteCurPage(before);
}

void TChartControl::setSource(const IChartSource* source)
{
    if (source == m_paging.source())
        return;
    const int32_t before = m_paging.CurPage();
    m_paging.setSource(source);
    refresh();
    noteCurPage(before);
}

void TChartControl::sourceChanged(bool appended)
{
    if (!m_paging.source())
        return;
    const int32_t before = m_paging.CurPage();
    m_paging.sourceChanged(appended);
    const TPageWindow w = m_paging.window();
    if (!appended || !(w == m_axisWindow) || m_paging.rows() >= w.first)
        scheduleRepaint();
    noteCurPage(before);
}

void TChartControl::SetMaxValue(double Value)
{
    if (!m_paging.SetMaxValue(Value) || !m_valueAxis)
        return;
    // While the values are fitted the limit is kept for when the fit ends.
    if (m_fitValues)
        m_fixedMax = Value;
    else
        m_valueAxis->setMax(Value);
}

void TChartControl::SetMinValue(double Value)
{
    if (!m_paging.SetMinValue(Value) || !m_valueAxis)
        return;
    if (m_fitValues)
        m_fixedMin = Value;
    else
        m_valueAxis->setMin(Value);
}

void TChartControl::setFitValues(bool on)
{
    if (on == m_fitValues || !m_valueAxis)
        return;
    m_fitValues = on;
    if (on) {
        m_fixedLabelFormat = m_valueAxis->labelFormat();
        m_fixedMin = m_valueAxis->min();
        m_fixedMax = m_valueAxis->max();
        m_fixedLabelsColor = m_valueAxis->labelsColor();
        m_fixedLineColor = m_valueAxis->linePenColor();
        // Qt Charts gives the value axes at most 40 % of the chart's width and
        // elides their labels beyond it: with three axes on a narrow chart the
        // title's room goes to the labels. The axes' colours say what each
        // measures, as the chart's title does.
        m_fixedTitleVisible = m_valueAxis->isTitleVisible();
        m_valueAxis->setTitleVisible(false);
        refresh();
    } else {
        unfit();
    }
}

QList<QValueAxis*> TChartControl::valueAxes() const
{
    QList<QValueAxis*> axes;
    if (m_valueAxis)
        axes << m_valueAxis;
    for (QValueAxis* a : m_extraAxes)
        if (a->isVisible())
            axes << a;
    return axes;
}

QValueAxis* TChartControl::valueAxisOf(int series) const
{
    const int axis = m_axisOf[size_t(series)];
    return axis == 0 ? m_valueAxis : m_extraAxes[size_t(axis - 1)];
}

void TChartControl::attachSeries(size_t series, int axis)
{
    if (m_axisOf[series] == axis)
        return;
    QAbstractSeries* s = m_series[series];
    s->detachAxis(valueAxisOf(int(series)));
    m_axisOf[series] = axis;
    s->attachAxis(valueAxisOf(int(series)));
}

void TChartControl::unfit()
{
    for (size_t i = 0; i < m_series.size(); ++i)
        attachSeries(i, 0);
    // While fitting, an axis a page does not need is only hidden; after it
    // the chart is left with its own axes alone.
    for (QValueAxis* a : m_extraAxes) {
        m_chart->removeAxis(a);
        delete a;
    }
    m_extraAxes.clear();
    m_valueAxis->setLabelFormat(m_fixedLabelFormat);
    m_valueAxis->setLabelsColor(m_fixedLabelsColor);
    m_valueAxis->setLinePenColor(m_fixedLineColor);
    m_valueAxis->setTitleVisible(m_fixedTitleVisible);
    m_valueAxis->setRange(m_fixedMin, m_fixedMax);
}

void TChartControl::applyFit()
{
    if (!m_fitValues || !m_valueAxis)
        return;
    // The zero area (series 0) carries no reading and hidden series are not
    // drawn: neither takes part, or every page would be pulled to 0.
    std::vector<TValueFit> traces(m_series.size());
    for (size_t i = 1; i < m_series.size(); ++i)
        if (m_series[i]->isVisible())
            traces[i].add(m_paging.pageValues(int(i)));
    const std::vector<int> axisOf = FitAxes(traces);
    const int axisCount = axisOf.empty() ? 1 : *std::max_element(axisOf.begin(), axisOf.end()) + 1;

    while (int(m_extraAxes.size()) < axisCount - 1) {
        auto* axis = new QValueAxis(m_chart);
        axis->setObjectName(QStringLiteral("ValueAxis%1").arg(m_extraAxes.size() + 2));
        axis->setGridLineVisible(false);
        axis->setMinorGridLineVisible(false);
        m_chart->addAxis(axis, Qt::AlignRight);
        m_extraAxes.push_back(axis);
    }
    for (size_t i = 0; i < m_series.size(); ++i)
        attachSeries(i, axisOf[i]);

    for (int a = 0; a < axisCount; ++a) {
        TValueFit joined;
        QColor color;
        for (size_t i = 0; i < m_series.size(); ++i) {
            if (axisOf[i] != a || traces[i].count() == 0)
                continue;
            joined.add(traces[i]);
            if (!color.isValid())
                color = QColor::fromRgba(m_paging.pageColor(int(i)));
        }
        QValueAxis* axis = a == 0 ? m_valueAxis : m_extraAxes[size_t(a - 1)];
        // No number on the page: the function's own limits.
        const TValueSpan r = joined.range().value_or(TValueSpan{m_fixedMin, m_fixedMax});
        // Fitted ranges may be narrow: enough digits that neighbouring labels differ.
        const QString format = QStringLiteral("%.%1f").arg(LabelDecimals(r, axis->tickCount()));
        if (axis->labelFormat() != format)
            axis->setLabelFormat(format);
        if (axis->min() != r.min || axis->max() != r.max)
            axis->setRange(r.min, r.max);
        // Each axis in the colour of its (first) trace, so it is clear which it measures.
        if (a > 0)
            axis->setVisible(true);
        if (color.isValid() && axis->labelsColor() != color) {
            axis->setLabelsColor(color);
            axis->setLinePenColor(color);
        }
    }
    for (size_t a = size_t(std::max(axisCount - 1, 0)); a < m_extraAxes.size(); ++a)
        m_extraAxes[a]->setVisible(false);
}

void TChartControl::SetFirstSeriesActive(bool Active)
{
    if (!m_paging.SetFirstSeriesActive(Active) || m_series.empty())
        return;
    m_series.front()->setVisible(Active);
    if (Active)
        refresh(); // a hidden series is not kept up to date
}

void TChartControl::flushRepaint()
{
    if (m_repaintTimer.isActive())
        refresh();
}

void TChartControl::scheduleRepaint()
{
    if (!m_repaintTimer.isActive())
        m_repaintTimer.start();
}

void TChartControl::noteCurPage(int32_t before)
{
    if (m_paging.CurPage() != before)
        Q_EMIT curPageChanged(m_paging.CurPage());
}

void TChartControl::applyRecordAxis()
{
    if (!m_recordAxis)
        return;
    const TPageWindow w = m_paging.window();
    // The last record number is the widest label of the page.
    const double labelWidth =
        QFontMetricsF(m_recordAxis->labelsFont()).horizontalAdvance(QString::number(w.last));
    const double interval = tickInterval(m_paging.Range(), m_chart->plotArea().width(), labelWidth);
    if (interval != m_recordAxis->tickInterval())
        m_recordAxis->setTickInterval(interval);
    if (w == m_axisWindow)
        return;
    m_axisWindow = w;
    m_recordAxis->setRange(double(w.first), double(w.last));
}

void TChartControl::refresh()
{
    m_repaintTimer.stop();
    applyRecordAxis();
    // More than two points a pixel column cannot be told apart on screen.
    const int64_t columns = int64_t(m_chart->plotArea().width());
    const int64_t maxPoints = std::max(2 * columns, kMinPagePoints);
    for (size_t i = 0; i < m_points.size(); ++i) {
        QXYSeries* points = m_points[i];
        if (!points || (i == 0 && !m_paging.FirstSeriesActive()))
            continue;
        m_paging.pagePoints(int(i), m_scratch, maxPoints);
        points->replace(m_scratch);
        const QRgb color = m_paging.pageColor(int(i));
        if (color != m_penColors[i]) {
            m_penColors[i] = color;
            QPen pen = points->pen();
            pen.setColor(QColor::fromRgba(color));
            points->setPen(pen);
            if (auto* area = qobject_cast<QAreaSeries*>(m_series[i])) {
                area->setColor(QColor::fromRgba(color));
                area->setBorderColor(QColor::fromRgba(color));
            }
        }
    }
    applyFit();
}

} // namespace varnetta::views

// Window glue of the trend chart and the pop-out container.
#include "ufrmMain.h"

#include "controls/CControls.h"
#include "log/LogChartSink.h"
#include "log/LogRecorder.h"
#include "log/LogTableModel.h"
#include "log/widgets/uComparator.h"
#include "log/widgets/uLogPanel.h"
#include "views/widgets/ChartPanel.h"
#include "views/widgets/LogChartSource.h"
#include "views/widgets/uCharControl.h"
#include "views/widgets/uMySuper.h"

#include <QLocale>
#include <QMenu>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace varnetta::app {

namespace {

constexpr int kStartRange = 100;

QList<QColor> toColors(const QList<Qt::GlobalColor>& colors)
{
    return QList<QColor>(colors.cbegin(), colors.cend());
}

// The log's recorded rows, handed on to the chart's paging object.
class TChartSink final : public QObject, public log::ILogChartSink
{
public:
    TChartSink(views::TChartControl** control, QObject* parent) : QObject(parent), m_control(control) {}
    void AddValues(const QList<double>& values, const QList<Qt::GlobalColor>& globalColors) override
    {
        if (*m_control)
            (*m_control)->AddValues(values, toColors(globalColors));
    }
    void Clear() override
    {
        if (*m_control)
            (*m_control)->Clear();
    }

private:
    views::TChartControl** m_control;
};

QToolButton* gridToolButton(QToolBar* bar, const char* name, const QString& hint, QStyle::StandardPixmap icon)
{
    auto* button = IconToolButton(bar, name, hint, icon);
    button->setAutoRaise(true);
    bar->addWidget(button);
    return button;
}

} // namespace

QWidget* TfrmMain::createChartHome(QWidget* parent)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(QStringLiteral("pnlChartHome"));
    auto* fill = new QVBoxLayout(panel);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->setSpacing(0);
    m_chartPanel = new views::TChartPanel(panel);
    fill->addWidget(m_chartPanel, 1);
    return panel;
}

void TfrmMain::createChartControl()
{
    ChartControl = new views::TChartControl(m_chartPanel->chart(), kStartRange, this);
    m_chartPanel->setChartControl(ChartControl);
}

void TfrmMain::installGridWheelHook()
{
    if (auto* grid = findChild<QTableView*>(QStringLiteral("DBGrid1")))
        new views::TGridWheelFilter(grid);
}

void TfrmMain::applyViewDefaults()
{
    m_chartPanel->setLastRange(kStartRange);
    ChartControl->SetFirstSeriesActive(false);
    ChartControl->SetMaxValue(1000);
    ChartControl->SetMinValue(-1000);
    // Values read from the table use the separator the rows were logged with.
    if (m_chartLogSource)
        m_chartLogSource->setDecimalSeparator(m_decimalSeparator);
}

void TfrmMain::setupViews()
{
    // The axis limits of each function: maximum first, then minimum.
    connect(&m_dispatcher, &protocol::TFrameDispatcher::valueAxisLimits, this,
            [this](double maxValue, double minValue) {
                if (!ChartControl)
                    return;
                ChartControl->SetMaxValue(maxValue);
                ChartControl->SetMinValue(minValue);
            });

    auto* sink = new TChartSink(&ChartControl, this);
    m_chartSink = sink;
    if (m_logPanel) {
        m_logPanel->recorder().setChartSink(sink);
        connect(m_chartPanel->newButton(), &QToolButton::clicked, m_logPanel,
                &log::TLogPanel::btnRecordNewClick);

        // The grid's pop-out pair stands on the grid's own toolbar, so the
        // zoom-out button travels out with the grid.
        QToolBar* bar = m_logPanel->toolBar();
        bar->addSeparator();
        auto* fly =
            gridToolButton(bar, "btnRecordFly", QStringLiteral("Zomm +"), QStyle::SP_TitleBarMaxButton);
        auto* zoomOut =
            gridToolButton(bar, "btnGridZoomout", QStringLiteral("Zoom -"), QStyle::SP_TitleBarNormalButton);
        btnRecordFly = fly;
        btnGridZoomout = zoomOut;
        views::SetControlShown(zoomOut, false);
        connect(fly, &QToolButton::clicked, this, &TfrmMain::btnRecordFlyClick);
        connect(zoomOut, &QToolButton::clicked, this, &TfrmMain::btnGridZoomoutClick);

        // "Chart Log": the table as it stands, whatever filled it. The grid's
        // model tells of every change to the table; recorded rows are told
        // at once, as the grid takes them at its own slower pace.
        m_chartLogSource = std::make_unique<views::TLogChartSource>(m_logPanel->store());
        log::TLogTableModel* model = &m_logPanel->model();
        const auto appended = [this] {
            if (ChartControl)
                ChartControl->sourceChanged(true);
        };
        connect(model, &QAbstractItemModel::rowsInserted, this, appended);
        connect(&m_logPanel->recorder(), &log::TLogRecorder::rowsAppended, this, appended);
        connect(model, &QAbstractItemModel::modelReset, this, [this] {
            if (ChartControl)
                ChartControl->sourceChanged(false);
        });
        m_chartPanel->setLogSource(m_chartLogSource.get());

        // Record > Statistics... also reads the page on the chart and the
        // comparator's verdicts, counted afresh when the log is cleared.
        m_logPanel->setStatisticsSources([this] { return chartPageFigures(); },
                                         [this]() -> std::optional<log::TVerdictCounts> {
                                             if (!m_comparator)
                                                 return std::nullopt;
                                             return m_comparator->verdictCounts();
                                         });
        connect(&m_logPanel->recorder(), &log::TLogRecorder::cleared, this, [this] {
            if (m_comparator)
                m_comparator->clearVerdictCounts();
        });
        // After the menu's own items, so theirs keep their places.
        if (auto* menu = findChild<QMenu*>(QStringLiteral("mniRecord1"))) {
            menu->addSeparator();
            menu->addAction(m_chartPanel->chartLogAction());
            menu->addAction(m_chartPanel->fitValuesAction());
        }
    }
    connect(m_chartPanel->flyButton(), &QToolButton::clicked, this, &TfrmMain::btnFlyClick);
}

std::optional<log::TPageFigures> TfrmMain::chartPageFigures() const
{
    if (!ChartControl)
        return std::nullopt;
    const views::TChartPaging& paging = ChartControl->paging();
    const views::TPageWindow w = paging.window();
    const int64_t last = std::min(w.last, paging.rows());
    log::TPageFigures figures;
    const QLocale locale;
    figures.caption = last < w.first
                          ? QStringLiteral("Page %1 of %2 on the chart: no records")
                                .arg(locale.toString(paging.CurPage()), locale.toString(paging.PageCount()))
                          : QStringLiteral("Page %1 of %2 on the chart, records %3 to %4")
                                .arg(locale.toString(paging.CurPage()), locale.toString(paging.PageCount()),
                                     locale.toString(qlonglong(w.first)), locale.toString(qlonglong(last)));
    // Series 1 to 3 carry the main value, sub value A and sub value B.
    for (int t = 0; t < 3 && t + 1 < paging.seriesCount(); ++t)
        for (const float v : paging.pageValues(t + 1))
            if (std::isfinite(v))
                figures.traces[size_t(t)].add(double(v));
    return figures;
}

void TfrmMain::btnFlyClick()
{
    m_chartPanel->btnFlyClick();
}

void TfrmMain::btnRecordFlyClick()
{
    if (!m_logPanel)
        return;
    views::btnRecordFlyClick({pnlGridParent, Panel2, m_logPanel->grid(), btnRecordFly, btnGridZoomout, this});
}

void TfrmMain::btnGridZoomoutClick()
{
    views::btnGridZoomoutClick();
}

} // namespace varnetta::app

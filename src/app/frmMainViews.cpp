// Window glue of the trend chart and the pop-out container.
#include "ufrmMain.h"

#include "log/LogChartSink.h"
#include "log/LogRecorder.h"
#include "log/widgets/uLogPanel.h"
#include "views/widgets/ChartPanel.h"
#include "views/widgets/uCharControl.h"
#include "views/widgets/uMySuper.h"

#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>

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
    auto* button = new QToolButton(bar);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    button->setIcon(bar->style()->standardIcon(icon));
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
    }
    connect(m_chartPanel->flyButton(), &QToolButton::clicked, this, &TfrmMain::btnFlyClick);
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

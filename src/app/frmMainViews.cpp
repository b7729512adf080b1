// Window glue of the trend chart and the pop-out container.
#include "ufrmMain.h"

#include "log/LogChartSink.h"
#include "log/LogRecorder.h"
#include "log/LogTableModel.h"
#include "log/widgets/uLogPanel.h"
#include "views/widgets/ChartPanel.h"
#include "views/widgets/LogChartSource.h"
#include "views/widgets/uCharControl.h"
#include "views/widgets/uMySuper.h"

#include <QMenu>
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
        // model tells of every change to the table.
        m_chartLogSource = std::make_unique<views::TLogChartSource>(m_logPanel->store());
        log::TLogTableModel* model = &m_logPanel->model();
        const auto appended = [this] {
            if (ChartControl)
                ChartControl->sourceChanged(true);
        };
        connect(model, &QAbstractItemModel::rowsInserted, this, appended);
        connect(model, &QAbstractItemModel::modelReset, this, [this] {
            if (ChartControl)
                ChartControl->sourceChanged(false);
        });
        m_chartPanel->setLogSource(m_chartLogSource.get());
        // After the menu's own items, so theirs keep their places.
        if (auto* menu = findChild<QMenu*>(QStringLiteral("mniRecord1"))) {
            menu->addSeparator();
            menu->addAction(m_chartPanel->chartLogAction());
            menu->addAction(m_chartPanel->fitValuesAction());
        }
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

// The pop-out container: panels going out and coming home by every path,
// the grid's column widths, a second container refused, and the grid wheel.
#include "views/widgets/ChartPanel.h"
#include "views/widgets/uMySuper.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using namespace varnetta::views;

namespace {

// A stand-in for the main window's chart half: the chart panel in its home.
struct ChartHome
{
    QWidget window;
    QWidget* pnlChartHome = new QWidget(&window);
    TChartPanel* panel = new TChartPanel(pnlChartHome);
    QLabel* above = new QLabel(QStringLiteral("above"), pnlChartHome);

    ChartHome()
    {
        auto* column = new QVBoxLayout(pnlChartHome);
        column->addWidget(above);
        column->addWidget(panel, 1);
        auto* outer = new QVBoxLayout(&window);
        outer->addWidget(pnlChartHome);
    }
    QToolButton* button(const char* name) const
    {
        return panel->findChild<QToolButton*>(QString::fromLatin1(name));
    }
};

// A stand-in for the grid half: Panel2 with a label above pnlGridParent.
struct GridHome
{
    QWidget window;
    QWidget* Panel2 = new QWidget(&window);
    QWidget* pnlGridParent = new QWidget(Panel2);
    QTableView* DBGrid1 = new QTableView(pnlGridParent);
    QPushButton* btnRecordFly = new QPushButton(QStringLiteral("+"), pnlGridParent);
    QPushButton* btnGridZoomout = new QPushButton(QStringLiteral("-"), pnlGridParent);
    QStandardItemModel model{20, 9};

    GridHome()
    {
        auto* column = new QVBoxLayout(Panel2);
        column->addWidget(new QLabel(QStringLiteral("lcd"), Panel2));
        column->addWidget(pnlGridParent, 1);
        auto* inner = new QVBoxLayout(pnlGridParent);
        inner->addWidget(btnRecordFly);
        inner->addWidget(btnGridZoomout);
        inner->addWidget(DBGrid1);
        btnGridZoomout->hide();
        DBGrid1->setModel(&model);
        for (int i = 0; i < 9; ++i)
            DBGrid1->setColumnWidth(i, 33 + i);
        auto* outer = new QVBoxLayout(&window);
        outer->addWidget(Panel2);
    }
    TGridPopOut parts() { return {pnlGridParent, Panel2, DBGrid1, btnRecordFly, btnGridZoomout, &window}; }
    QList<int> widths() const
    {
        QList<int> w;
        for (int i = 0; i < 9; ++i)
            w << DBGrid1->columnWidth(i);
        return w;
    }
};

// Runs `whileOut` once the container is open (inside its modal loop).
void whenOpen(std::function<void()> whileOut)
{
    QTimer::singleShot(0, [whileOut] {
        EXPECT_TRUE(QTest::qWaitFor([] { return frmSuperContainer && frmSuperContainer->isVisible(); }));
        whileOut();
    });
}

using ClosePath = std::function<void(TfrmSuperContainer&)>;
struct CloseCase
{
    const char* name;
    ClosePath close;
};

const CloseCase kClosePaths[] = {
    {"ZoomOutHandler", [](TfrmSuperContainer&) { btnGridZoomoutClick(); }},
    {"CloseBox", [](TfrmSuperContainer& c) { c.close(); }},
    {"EscapeKey", [](TfrmSuperContainer& c) { QTest::keyClick(&c, Qt::Key_Escape); }},
};

class ChartPopOut : public ::testing::TestWithParam<CloseCase>
{
};

TEST_P(ChartPopOut, ComesHomeWithItsButtonsWhicheverWayTheContainerCloses)
{
    ChartHome home;
    bool sawOut = false;
    whenOpen([&] {
        sawOut = home.panel->parentWidget() == frmSuperContainer->Panel1 &&
                 home.button("btnFly")->isHidden() && !home.button("btnChartZoomOut")->isHidden() &&
                 frmSuperContainer->windowState().testFlag(Qt::WindowMaximized) &&
                 frmSuperContainer->isModal();
        GetParam().close(*frmSuperContainer);
    });
    home.panel->btnFlyClick();
    EXPECT_TRUE(sawOut);
    EXPECT_EQ(frmSuperContainer, nullptr);
    EXPECT_EQ(home.panel->parentWidget(), home.pnlChartHome);
    auto* layout = static_cast<QVBoxLayout*>(home.pnlChartHome->layout());
    EXPECT_EQ(layout->indexOf(home.panel), 1);
    EXPECT_EQ(layout->stretch(1), 1);
    EXPECT_FALSE(home.button("btnFly")->isHidden());
    EXPECT_TRUE(home.button("btnChartZoomOut")->isHidden());
}

INSTANTIATE_TEST_SUITE_P(ClosePaths, ChartPopOut, ::testing::ValuesIn(kClosePaths),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ChartPopOutButton, ZoomOutButtonTravelsWithThePanelAndClosesTheContainer)
{
    ChartHome home;
    whenOpen([&] { QTest::mouseClick(home.button("btnChartZoomOut"), Qt::LeftButton); });
    home.panel->btnFlyClick();
    EXPECT_EQ(frmSuperContainer, nullptr);
    EXPECT_EQ(home.panel->parentWidget(), home.pnlChartHome);
}

class GridPopOut : public ::testing::TestWithParam<CloseCase>
{
};

TEST_P(GridPopOut, UsesTheFixedWidthsWhileOutAndRestoresTheUsersAfter)
{
    GridHome home;
    home.DBGrid1->setColumnWidth(3, 97); // the user's own change before popping out
    const QList<int> before = home.widths();
    QList<int> whileOut;
    bool buttonsOut = false;
    whenOpen([&] {
        whileOut = home.widths();
        buttonsOut = home.btnRecordFly->isHidden() && !home.btnGridZoomout->isHidden();
        home.DBGrid1->setColumnWidth(0, 200); // lost when it comes home
        GetParam().close(*frmSuperContainer);
    });
    btnRecordFlyClick(home.parts());
    EXPECT_EQ(whileOut, (QList<int>{60, 150, 60, 60, 60, 120, 120, 80, 80}));
    EXPECT_TRUE(buttonsOut);
    EXPECT_EQ(home.widths(), before);
    EXPECT_EQ(home.pnlGridParent->parentWidget(), home.Panel2);
    EXPECT_EQ(static_cast<QVBoxLayout*>(home.Panel2->layout())->indexOf(home.pnlGridParent), 1);
    EXPECT_FALSE(home.btnRecordFly->isHidden());
    EXPECT_TRUE(home.btnGridZoomout->isHidden());
    EXPECT_EQ(frmSuperContainer, nullptr);
}

INSTANTIATE_TEST_SUITE_P(ClosePaths, GridPopOut, ::testing::ValuesIn(kClosePaths),
                         [](const auto& info) { return std::string(info.param.name); });

struct ShowHook
{
    TContainerShowHook previous;
    explicit ShowHook(TContainerShowHook hook) : previous(SetContainerShowHook(std::move(hook))) {}
    ~ShowHook() { SetContainerShowHook(previous); }
};

TEST(ContainerRefusal, SecondShowInContainerReturnsAtOnceTouchingNeitherPanel)
{
    ChartHome chart;
    GridHome grid;
    TfrmSuperContainer* open = nullptr;
    QWidget* gridParentWhileOut = nullptr;
    ShowHook hook([&](TfrmSuperContainer& c) {
        open = &c;
        ShowInContainer(grid.pnlGridParent, grid.Panel2);
        gridParentWhileOut = grid.pnlGridParent->parentWidget();
        EXPECT_EQ(frmSuperContainer, &c);
        EXPECT_EQ(chart.panel->parentWidget(), c.Panel1);
    });
    ShowInContainer(chart.panel, chart.pnlChartHome);
    EXPECT_NE(open, nullptr);
    EXPECT_EQ(gridParentWhileOut, grid.Panel2);
    EXPECT_EQ(chart.panel->parentWidget(), chart.pnlChartHome);
    EXPECT_EQ(frmSuperContainer, nullptr);
}

TEST(ContainerFailure, AnErrorWhileOutBringsThePanelsAndButtonsHomeAndGoesOn)
{
    ShowHook hook([](TfrmSuperContainer&) { throw std::runtime_error("show failed"); });
    GridHome grid;
    const QList<int> before = grid.widths();
    EXPECT_THROW(btnRecordFlyClick(grid.parts()), std::runtime_error);
    EXPECT_EQ(grid.pnlGridParent->parentWidget(), grid.Panel2);
    EXPECT_EQ(grid.widths(), before);
    EXPECT_FALSE(grid.btnRecordFly->isHidden());
    EXPECT_TRUE(grid.btnGridZoomout->isHidden());
    EXPECT_EQ(frmSuperContainer, nullptr);

    ChartHome chart;
    EXPECT_THROW(chart.panel->btnFlyClick(), std::runtime_error);
    EXPECT_EQ(chart.panel->parentWidget(), chart.pnlChartHome);
    EXPECT_FALSE(chart.button("btnFly")->isHidden());
    EXPECT_TRUE(chart.button("btnChartZoomOut")->isHidden());
    EXPECT_EQ(frmSuperContainer, nullptr);
}

TEST(ContainerButtons, ButtonsOnAToolBarSwapThroughTheirActions)
{
    GridHome home;
    auto* bar = new QToolBar(home.pnlGridParent);
    auto* fly = new QToolButton(bar);
    auto* zoomOut = new QToolButton(bar);
    QAction* flyAction = bar->addWidget(fly);
    QAction* zoomOutAction = bar->addWidget(zoomOut);
    SetControlShown(zoomOut, false);
    ASSERT_FALSE(zoomOutAction->isVisible());
    TGridPopOut parts = home.parts();
    parts.btnRecordFly = fly;
    parts.btnGridZoomout = zoomOut;
    bool swapped = false;
    ShowHook hook(
        [&](TfrmSuperContainer&) { swapped = !flyAction->isVisible() && zoomOutAction->isVisible(); });
    btnRecordFlyClick(parts);
    EXPECT_TRUE(swapped);
    EXPECT_TRUE(flyAction->isVisible());
    EXPECT_FALSE(zoomOutAction->isVisible());
}

TEST(ContainerForm, RestoredSizeIsCentredOnTheMainWindow)
{
    QWidget main;
    main.setGeometry(100, 100, 989, 700);
    TfrmSuperContainer c(&main);
    EXPECT_EQ(c.geometry().size(), QSize(866, 540));
    EXPECT_EQ(c.geometry().center(), main.frameGeometry().center());
    EXPECT_EQ(c.objectName(), "frmSuperContainer");
    EXPECT_TRUE(c.windowTitle().isEmpty());
}

void wheel(QTableView* grid, int delta)
{
    const QPointF at(5, 5);
    QWheelEvent event(at, grid->viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid->viewport(), &event);
}

TEST(GridWheel, EachWheelMessageMovesTheCurrentRowByExactlyOne)
{
    GridHome home;
    new TGridWheelFilter(home.DBGrid1);
    home.DBGrid1->setCurrentIndex(home.model.index(10, 0));
    wheel(home.DBGrid1, -120 * 3); // a big turn is still one message
    EXPECT_TRUE(QTest::qWaitFor([&] { return home.DBGrid1->currentIndex().row() == 11; }))
        << home.DBGrid1->currentIndex().row();
    wheel(home.DBGrid1, 120);
    wheel(home.DBGrid1, 240);
    EXPECT_TRUE(QTest::qWaitFor([&] { return home.DBGrid1->currentIndex().row() == 9; }))
        << home.DBGrid1->currentIndex().row();
}

TEST(GridWheel, StillOneRowPerMessageWhileTheGridIsOut)
{
    GridHome home;
    new TGridWheelFilter(home.DBGrid1);
    home.DBGrid1->setCurrentIndex(home.model.index(5, 0));
    int rowWhileOut = -1;
    whenOpen([&] {
        wheel(home.DBGrid1, -120);
        EXPECT_TRUE(QTest::qWaitFor([&] { return home.DBGrid1->currentIndex().row() == 6; }))
            << home.DBGrid1->currentIndex().row();
        rowWhileOut = home.DBGrid1->currentIndex().row();
        btnGridZoomoutClick();
    });
    btnRecordFlyClick(home.parts());
    EXPECT_EQ(rowWhileOut, 6);
}

} // namespace

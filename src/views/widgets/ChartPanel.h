// pnlChartParent: the chart toolbar ToolBar2 above the trend chart Chart1,
// with the toolbar's handlers. The paging object is the window's and is
// handed in once it exists.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QAction;
class QChart;
class QChartView;
class QLabel;
class QTimer;
class QToolButton;

namespace varnetta::app {
class TCEdit;
}

namespace varnetta::views {

class TChartControl;
class IChartSource;

// The picture file name as it is written: ".bmp" appended unless the name
// already ends in it or in ".png" or ".svg" (the save dialog's other
// forms), in any case.
[[nodiscard]] QString ChartPictureFileName(const QString& chosen);

// Draws the view at its on-screen size on white and writes it in the form
// the name's extension gives: SVG for ".svg", PNG for ".png", otherwise BMP;
// throws std::runtime_error when the file cannot be written.
void SaveChartPicture(QWidget* view, const QString& fileName);

// Tests answer the picture save dialog through this hook (an empty name is a
// cancel). Returns the previous hook.
using TPictureDialogHook = std::function<QString()>;
TPictureDialogHook SetPictureDialogHook(TPictureDialogHook hook);

class TChartPanel : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kRangeDelayMs = 1000;
    static constexpr int kMinRange = 10;
    static constexpr int kMaxRange = 10000;

    explicit TChartPanel(QWidget* parent = nullptr);

    // Chart1's chart with its axes and four series, ready for TChartControl.
    [[nodiscard]] QChart* chart() const { return m_chart; }
    [[nodiscard]] QChartView* chartView() const { return Chart1; }
    void setChartControl(TChartControl* control);

    [[nodiscard]] int LastRange() const { return m_lastRange; }
    void setLastRange(int value) { m_lastRange = value; }

    // The table the "Chart Log" toggle charts; the toggle is offered only
    // once there is one.
    void setLogSource(const IChartSource* source);
    // Checkable, off at start: "Chart Log" (every row of the table on the
    // chart, opened files included) and "Fit Values" (the value axis fitted
    // to the page). Their buttons stand at the end of the toolbar; the
    // window also puts them in its Record menu.
    [[nodiscard]] QAction* chartLogAction() const { return m_chartLogAction; }
    [[nodiscard]] QAction* fitValuesAction() const { return m_fitValuesAction; }

    // Buttons the window wires to other subsystems.
    [[nodiscard]] QToolButton* newButton() const { return btnNew; }
    [[nodiscard]] QToolButton* flyButton() const { return btnFly; }
    [[nodiscard]] QToolButton* zoomOutButton() const { return btnChartZoomOut; }

    void btnFirstClick();
    void btnPreviousClick();
    void btnNextClick();
    void btnLastClick();
    void btnGoPageClick();
    void btnSaveClick();
    // The chart pops out into the container and returns when it closes.
    void btnFlyClick();
    void timerChangeTimer();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildToolBar();
    void buildChart();
    void edtRangeChange();
    void edtCurPageChange();
    void edtPageChange();
    void showCurPage();
    void resetToCurPage(app::TCEdit* edit);
    void chartLogToggled(bool on);
    void fitValuesToggled(bool on);

    TChartControl* m_control = nullptr;
    const IChartSource* m_logSource = nullptr;
    QAction* m_chartLogAction = nullptr;
    QAction* m_fitValuesAction = nullptr;
    int m_lastRange = 100;
    QChart* m_chart = nullptr;

    QWidget* ToolBar2 = nullptr;
    app::TCEdit* edtRange = nullptr;
    QToolButton* btnFirst = nullptr;
    QToolButton* btnPrevious = nullptr;
    app::TCEdit* edtCurPage = nullptr;
    QToolButton* btnNext = nullptr;
    QToolButton* btnLast = nullptr;
    QToolButton* btnNew = nullptr;
    QToolButton* btnSave = nullptr;
    QToolButton* btnFly = nullptr;
    QToolButton* btnChartZoomOut = nullptr;
    QLabel* Panel6 = nullptr;
    app::TCEdit* edtPage = nullptr;
    QToolButton* btnGoPage = nullptr;
    QToolButton* btnChartLog = nullptr;
    QToolButton* btnFitValues = nullptr;
    QTimer* timerChange = nullptr;
    QChartView* Chart1 = nullptr;
};

} // namespace varnetta::views

#include "ChartPanel.h"

#include "controls/CControls.h"
#include "controls/FileDialogs.h"
#include "controls/NewMsgDlg.h"
#include "uCharControl.h"
#include "uMySuper.h"

#include <QAction>
#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineSeries>
#include <QPainter>
#include <QSaveFile>
#include <QStyle>
#include <QSvgGenerator>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValueAxis>

#include <stdexcept>
#include <tuple>

namespace varnetta::views {

namespace {

const QColor kGridColor(0xC0, 0xC0, 0xC0); // silver
TPictureDialogHook g_pictureDialogHook;

[[nodiscard]] bool readsAsWholeNumber(const QString& text, int* value = nullptr)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (ok && value)
        *value = v;
    return ok;
}

// Keys that still do their usual work in a digits-only box: focus moves,
// confirmation and cancel are not characters typed into it.
[[nodiscard]] bool isNavigationKey(int key)
{
    return key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Return || key == Qt::Key_Enter ||
           key == Qt::Key_Escape;
}

// A tool bar row: a plain strip, so its controls show and hide like any widget.
QWidget* newRow(QWidget* parent, const char* name)
{
    auto* row = new QWidget(parent);
    row->setObjectName(QString::fromLatin1(name));
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(2, 1, 2, 1);
    line->setSpacing(1);
    return row;
}

void addToRow(QWidget* row, QWidget* w)
{
    static_cast<QHBoxLayout*>(row->layout())->addWidget(w);
}

QFrame* addSeparator(QWidget* row)
{
    auto* line = new QFrame(row);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    addToRow(row, line);
    return line;
}

QToolButton* addToolButton(QWidget* bar, const char* name, const QString& hint, QStyle::StandardPixmap icon)
{
    auto* button = app::IconToolButton(bar, name, hint, icon);
    button->setAutoRaise(true);
    button->setIconSize(QSize(16, 16));
    addToRow(bar, button);
    return button;
}

app::TCEdit* addEdit(QWidget* bar, const char* name, const QString& hint, const QString& text,
                     app::TAlignment alignment, int width)
{
    auto* edit = new app::TCEdit(bar);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setToolTip(hint);
    edit->setAccessibleName(hint);
    edit->SetAlignment(alignment);
    edit->setText(text);
    edit->setFixedWidth(width);
    addToRow(bar, edit);
    return edit;
}

} // namespace

QString ChartPictureFileName(const QString& chosen)
{
    const QString suffix = QFileInfo(chosen).suffix().toLower();
    if (suffix == QLatin1String("bmp") || suffix == QLatin1String("png") || suffix == QLatin1String("svg"))
        return chosen;
    return chosen + QStringLiteral(".bmp");
}

void SaveChartPicture(QWidget* view, const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    QSaveFile file(fileName);
    bool written = file.open(QIODevice::WriteOnly);
    if (written && suffix == QLatin1String("svg")) {
        // Lines and text stay lines and text: the drawing scales without steps.
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(view->size());
        svg.setViewBox(QRect(QPoint(), view->size()));
        svg.setTitle(QStringLiteral("Trend chart"));
        QPainter painter;
        written = painter.begin(&svg);
        if (written) {
            painter.fillRect(QRect(QPoint(), view->size()), Qt::white);
            view->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
            written = painter.end();
        }
    } else if (written) {
        QImage picture(view->size(), QImage::Format_RGB32);
        picture.fill(Qt::white);
        {
            QPainter painter(&picture);
            view->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
        }
        written = picture.save(&file, suffix == QLatin1String("png") ? "PNG" : "BMP");
    }
    if (!written || !file.commit()) {
        const QString why = file.errorString().isEmpty() ? QStringLiteral("write error") : file.errorString();
        throw std::runtime_error(QStringLiteral("Cannot write %1: %2").arg(fileName, why).toStdString());
    }
}

TPictureDialogHook SetPictureDialogHook(TPictureDialogHook hook)
{
    std::swap(hook, g_pictureDialogHook);
    return hook;
}

TChartPanel::TChartPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pnlChartParent"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    buildToolBar();
    buildChart();
    column->addWidget(ToolBar2);
    column->addWidget(Chart1, 1);

    timerChange = new QTimer(this);
    timerChange->setObjectName(QStringLiteral("timerChange"));
    timerChange->setInterval(kRangeDelayMs);
    timerChange->setSingleShot(true);

    connect(edtRange, &QLineEdit::textChanged, this, &TChartPanel::edtRangeChange);
    connect(timerChange, &QTimer::timeout, this, &TChartPanel::timerChangeTimer);
    connect(edtCurPage, &QLineEdit::textChanged, this, &TChartPanel::edtCurPageChange);
    connect(edtPage, &QLineEdit::textChanged, this, &TChartPanel::edtPageChange);
    connect(btnFirst, &QToolButton::clicked, this, &TChartPanel::btnFirstClick);
    connect(btnPrevious, &QToolButton::clicked, this, &TChartPanel::btnPreviousClick);
    connect(btnNext, &QToolButton::clicked, this, &TChartPanel::btnNextClick);
    connect(btnLast, &QToolButton::clicked, this, &TChartPanel::btnLastClick);
    connect(btnGoPage, &QToolButton::clicked, this, &TChartPanel::btnGoPageClick);
    connect(btnSave, &QToolButton::clicked, this, &TChartPanel::btnSaveClick);
    connect(btnChartZoomOut, &QToolButton::clicked, this, [] { btnGridZoomoutClick(); });
    connect(m_chartLogAction, &QAction::toggled, this, &TChartPanel::chartLogToggled);
    connect(m_fitValuesAction, &QAction::toggled, this, &TChartPanel::fitValuesToggled);
}

void TChartPanel::buildToolBar()
{
    ToolBar2 = new QWidget(this);
    ToolBar2->setObjectName(QStringLiteral("ToolBar2"));
    auto* rows = new QVBoxLayout(ToolBar2);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);

    QWidget* row1 = newRow(ToolBar2, "ToolBar2Row1");
    // The records per page, with a caption that assistive technology reads
    // as the edit's label.
    auto* lblRange = new QLabel(QStringLiteral("Range:"), row1);
    lblRange->setObjectName(QStringLiteral("lblRange"));
    addToRow(row1, lblRange);
    edtRange =
        addEdit(row1, "edtRange", QStringLiteral("Range"), QStringLiteral("100"), app::taRightJustify, 35);
    lblRange->setBuddy(edtRange);
    addSeparator(row1);
    btnFirst = addToolButton(row1, "btnFirst", QStringLiteral("First"), QStyle::SP_MediaSkipBackward);
    btnPrevious =
        addToolButton(row1, "btnPrevious", QStringLiteral("Previous"), QStyle::SP_MediaSeekBackward);
    edtCurPage =
        addEdit(row1, "edtCurPage", QStringLiteral("CurrentPage"), QStringLiteral("1"), app::taCenter, 60);
    edtCurPage->setReadOnly(true);
    edtCurPage->setFrame(false);
    edtCurPage->setCursor(Qt::ArrowCursor);
    QPalette face = edtCurPage->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Button));
    edtCurPage->setPalette(face);
    btnNext = addToolButton(row1, "btnNext", QStringLiteral("Next"), QStyle::SP_MediaSeekForward);
    btnLast = addToolButton(row1, "btnLast", QStringLiteral("Last"), QStyle::SP_MediaSkipForward);
    static_cast<QHBoxLayout*>(row1->layout())->addStretch(1);

    QWidget* row2 = newRow(ToolBar2, "ToolBar2Row2");
    btnNew = addToolButton(row2, "btnNew", QStringLiteral("Clear"), QStyle::SP_DialogResetButton);
    btnSave = addToolButton(row2, "btnSave", QStringLiteral("Save"), QStyle::SP_DialogSaveButton);
    btnFly = addToolButton(row2, "btnFly", QStringLiteral("Zoom +"), QStyle::SP_TitleBarMaxButton);
    btnChartZoomOut =
        addToolButton(row2, "btnChartZoomOut", QStringLiteral("Zoom -"), QStyle::SP_TitleBarNormalButton);
    btnChartZoomOut->hide();
    addSeparator(row2);
    Panel6 = new QLabel(QStringLiteral("   Page: "), row2);
    Panel6->setObjectName(QStringLiteral("Panel6"));
    addToRow(row2, Panel6);
    edtPage =
        addEdit(row2, "edtPage", QStringLiteral("GotoPage"), QStringLiteral("1"), app::taRightJustify, 50);
    Panel6->setBuddy(edtPage);
    btnGoPage = addToolButton(row2, "btnGoPage", QStringLiteral("GotoPage"), QStyle::SP_ArrowRight);
    // Beyond the chart's own controls: what it shows and how it scales.
    m_chartLogAction = new QAction(QStringLiteral("Chart Log"), this);
    m_chartLogAction->setObjectName(QStringLiteral("mniChartLog"));
    m_chartLogAction->setCheckable(true);
    m_chartLogAction->setEnabled(false);
    m_chartLogAction->setToolTip(
        QStringLiteral("Chart every row of the log table, an opened file's or the meter memory's too"));
    m_fitValuesAction = new QAction(QStringLiteral("Fit Values"), this);
    m_fitValuesAction->setObjectName(QStringLiteral("mniFitValues"));
    m_fitValuesAction->setCheckable(true);
    m_fitValuesAction->setToolTip(
        QStringLiteral("Fit the value axis to the values of the page shown; far larger or smaller "
                       "values get an axis of their own on the right"));
    for (auto [button, action, name] : {std::tuple{&btnChartLog, m_chartLogAction, "btnChartLog"},
                                        std::tuple{&btnFitValues, m_fitValuesAction, "btnFitValues"}}) {
        *button = new QToolButton(row2);
        (*button)->setObjectName(QString::fromLatin1(name));
        (*button)->setDefaultAction(action);
        (*button)->setToolButtonStyle(Qt::ToolButtonTextOnly);
        (*button)->setAccessibleName(action->text());
        (*button)->setAutoRaise(true);
        addToRow(row2, *button);
    }
    static_cast<QHBoxLayout*>(row2->layout())->addStretch(1);
    // The go-to-page group is there but never offered.
    Panel6->hide();
    edtPage->hide();
    btnGoPage->hide();

    rows->addWidget(row1);
    rows->addWidget(row2);

    for (app::TCEdit* edit : {edtRange, edtCurPage, edtPage})
        edit->installEventFilter(this);
}

void TChartPanel::buildChart()
{
    m_chart = new QChart();
    m_chart->setObjectName(QStringLiteral("Chart1Chart"));
    m_chart->setTitle(QStringLiteral("MainValue:Red SubValueA:Blue SubvalueB:Green"));
    m_chart->legend()->hide();
    m_chart->setBackgroundBrush(Qt::white);
    m_chart->setPlotAreaBackgroundVisible(false);
    m_chart->setBackgroundRoundness(0);
    m_chart->setDropShadowEnabled(false);
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->setAcceptHoverEvents(false);

    auto* recordAxis = new QValueAxis(m_chart);
    recordAxis->setObjectName(QStringLiteral("RecordAxis"));
    recordAxis->setTitleText(QStringLiteral("Record Number"));
    recordAxis->setRange(1, 100);
    auto* valueAxis = new QValueAxis(m_chart);
    valueAxis->setObjectName(QStringLiteral("ValueAxis"));
    valueAxis->setTitleText(QStringLiteral("Value"));
    valueAxis->setRange(-1000, 1000);
    for (QValueAxis* axis : {recordAxis, valueAxis}) {
        axis->setGridLineColor(kGridColor);
        axis->setMinorGridLineVisible(false);
    }
    m_chart->addAxis(recordAxis, Qt::AlignBottom);
    m_chart->addAxis(valueAxis, Qt::AlignLeft);

    // Position matters: AddValues fills the series in this order.
    auto* series2Line = new QLineSeries(m_chart);
    auto* series2 = new QAreaSeries(series2Line);
    series2->setObjectName(QStringLiteral("Series2"));
    series2->setColor(Qt::blue);
    series2->setBorderColor(Qt::blue);
    auto* series1 = new QLineSeries();
    series1->setObjectName(QStringLiteral("Series1"));
    series1->setColor(Qt::red);
    auto* series3 = new QLineSeries();
    series3->setObjectName(QStringLiteral("Series3"));
    series3->setColor(Qt::blue);
    auto* series4 = new QLineSeries();
    series4->setObjectName(QStringLiteral("Series4"));
    series4->setColor(QColor(0, 0x80, 0)); // green
    for (QAbstractSeries* s : std::initializer_list<QAbstractSeries*>{series2, series1, series3, series4}) {
        m_chart->addSeries(s);
        s->attachAxis(recordAxis);
        s->attachAxis(valueAxis);
    }

    Chart1 = new QChartView(m_chart, this);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->setRenderHint(QPainter::Antialiasing, false);
    Chart1->setRubberBand(QChartView::NoRubberBand);
    Chart1->setInteractive(false);
    Chart1->setAttribute(Qt::WA_TransparentForMouseEvents);
    Chart1->setFocusPolicy(Qt::NoFocus);
    Chart1->setAccessibleName(QStringLiteral("Trend chart"));
    Chart1->setBackgroundBrush(Qt::white);
}

void TChartPanel::setChartControl(TChartControl* control)
{
    m_control = control;
    if (!m_control)
        return;
    // The page box follows CurPage whatever moves it, row appends and
    // clearing included, so it never shows a page that is not on screen.
    connect(m_control, &TChartControl::curPageChanged, this, &TChartPanel::showCurPage);
    m_control->setFitValues(m_fitValuesAction->isChecked());
    m_control->setSource(m_chartLogAction->isChecked() ? m_logSource : nullptr);
    showCurPage();
}

void TChartPanel::setLogSource(const IChartSource* source)
{
    if (!source)
        m_chartLogAction->setChecked(false);
    m_logSource = source;
    m_chartLogAction->setEnabled(source != nullptr);
    chartLogToggled(m_chartLogAction->isChecked());
}

void TChartPanel::chartLogToggled(bool on)
{
    if (!m_control)
        return;
    m_control->setSource(on ? m_logSource : nullptr);
    showCurPage();
}

void TChartPanel::fitValuesToggled(bool on)
{
    if (m_control)
        m_control->setFitValues(on);
}

void TChartPanel::showCurPage()
{
    if (m_control)
        edtCurPage->setText(QString::number(m_control->CurPage()));
}

void TChartPanel::resetToCurPage(app::TCEdit* edit)
{
    edit->setText(QString::number(m_control ? m_control->CurPage() : 1));
    edit->setSelection(0, 1);
}

bool TChartPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (text.isEmpty() || isNavigationKey(key->key()) || key->key() == Qt::Key_Backspace)
            return QWidget::eventFilter(watched, event);
        const QChar c = text.front();
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        return !(digit || c == QChar(8)); // every other character is dropped
    }
    if (event->type() == QEvent::FocusIn && watched == edtCurPage) {
        // The page box never keeps the focus: it goes on to the next control.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!edtCurPage->hasFocus())
                    return;
                for (QWidget* w = edtCurPage->nextInFocusChain(); w && w != edtCurPage;
                     w = w->nextInFocusChain()) {
                    if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled()) {
                        w->setFocus(Qt::TabFocusReason);
                        return;
                    }
                }
                edtCurPage->clearFocus();
            },
            Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void TChartPanel::edtRangeChange()
{
    timerChange->stop();
    timerChange->start();
}

void TChartPanel::timerChangeTimer()
{
    int value = 0;
    if (readsAsWholeNumber(edtRange->text(), &value) && value >= kMinRange && value <= kMaxRange) {
        if (m_control)
            m_control->SetRange(value);
        showCurPage();
        m_lastRange = value;
        timerChange->stop();
        return;
    }
    timerChange->stop();
    app::MsgDlg(QStringLiteral("Please enter a number between 10 to 10000"), app::mtInformation, app::mbOK,
                0);
    edtRange->setText(QString::number(m_lastRange));
}

void TChartPanel::edtCurPageChange()
{
    if (!readsAsWholeNumber(edtCurPage->text()))
        resetToCurPage(edtCurPage);
}

void TChartPanel::edtPageChange()
{
    if (!readsAsWholeNumber(edtPage->text()))
        resetToCurPage(edtPage);
}

void TChartPanel::btnFirstClick()
{
    if (m_control)
        m_control->FirstPage();
    showCurPage();
}

void TChartPanel::btnPreviousClick()
{
    if (m_control)
        m_control->PreviousPage();
    showCurPage();
}

void TChartPanel::btnNextClick()
{
    if (m_control)
        m_control->NextPage();
    showCurPage();
}

void TChartPanel::btnLastClick()
{
    if (m_control)
        m_control->LastPage();
    showCurPage();
}

void TChartPanel::btnGoPageClick()
{
    if (m_control)
        m_control->GotoPage(edtPage->text().toInt());
    showCurPage();
}

void TChartPanel::btnSaveClick()
{
    app::TFileDialogRequest request;
    request.kind = app::TFileKind::ChartPicture;
    request.objectName = QStringLiteral("SavePictureDialog1");
    request.caption = QStringLiteral("Save");
    request.nameFilters = {QStringLiteral("Bitmaps (*.bmp)"), QStringLiteral("PNG pictures (*.png)"),
                           QStringLiteral("SVG drawings (*.svg)")};
    const QString chosen =
        g_pictureDialogHook ? g_pictureDialogHook() : app::TFileDialogs::getSaveFileName(this, request);
    if (chosen.isEmpty())
        return;
    SaveChartPicture(Chart1, ChartPictureFileName(chosen));
}

void TChartPanel::btnFlyClick()
{
    QWidget* home = parentWidget();
    const auto backHome = [this] {
        btnFly->show();
        btnChartZoomOut->hide();
    };
    btnFly->hide();
    btnChartZoomOut->show();
    try {
        ShowInContainer(this, home);
    } catch (...) {
        backHome();
        throw;
    }
    backHome();
}

} // namespace varnetta::views

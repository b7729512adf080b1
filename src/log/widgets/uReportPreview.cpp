#include "uReportPreview.h"

#include "uReport.h"

#include "controls/CControls.h"
#include "controls/NewMsgDlg.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace varnetta::log {

namespace {

constexpr double kScreenDotsPerMm = 96.0 / 25.4;
constexpr double kMinZoom = 0.25;
constexpr double kMaxZoom = 4.0;

QToolButton* toolButton(QWidget* parent, const char* name, const QString& text, const QString& hint,
                        QStyle::StandardPixmap icon)
{
    auto* b = app::IconToolButton(parent, name, hint, icon);
    b->setText(text);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setAutoRaise(true);
    return b;
}

} // namespace

TReportPreview::TReportPreview(const TLogReport& report, QWidget* parent) : QDialog(parent), m_report(report)
{
    setObjectName(QStringLiteral("frmReportPreview"));
    setWindowTitle(QStringLiteral("Print Preview"));
    setModal(true);
    setSizeGripEnabled(true);

    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("pnlPreviewTools"));
    auto* tools = new QHBoxLayout(bar);
    tools->setContentsMargins(4, 4, 4, 4);
    m_first = toolButton(bar, "btnFirstPage", QStringLiteral("First"), QStringLiteral("First page"),
                         QStyle::SP_MediaSkipBackward);
    m_prior = toolButton(bar, "btnPriorPage", QStringLiteral("Prior"), QStringLiteral("Previous page"),
                         QStyle::SP_MediaSeekBackward);
    m_pageBox = new QLineEdit(bar);
    m_pageBox->setObjectName(QStringLiteral("edtPreviewPage"));
    m_pageBox->setFixedWidth(70);
    m_pageBox->setAlignment(Qt::AlignRight);
    m_pageBox->setToolTip(QStringLiteral("Page shown; type a page number and press Enter"));
    m_pageBox->setAccessibleName(QStringLiteral("Page"));
    m_pageBox->setValidator(new QIntValidator(1, std::max(1, report.pageCount()), m_pageBox));
    m_pageCount = new QLabel(bar);
    m_pageCount->setObjectName(QStringLiteral("lblPreviewPages"));
    auto* pageLabel = new QLabel(QStringLiteral("&Page"), bar);
    pageLabel->setBuddy(m_pageBox);
    m_next = toolButton(bar, "btnNextPage", QStringLiteral("Next"), QStringLiteral("Next page"),
                        QStyle::SP_MediaSeekForward);
    m_last = toolButton(bar, "btnLastPage", QStringLiteral("Last"), QStringLiteral("Last page"),
                        QStyle::SP_MediaSkipForward);
    auto* zoomOutButton = toolButton(bar, "btnZoomOut", QStringLiteral("Zoom -"), QStringLiteral("Zoom out"),
                                     QStyle::SP_ArrowDown);
    auto* zoomInButton =
        toolButton(bar, "btnZoomIn", QStringLiteral("Zoom +"), QStringLiteral("Zoom in"), QStyle::SP_ArrowUp);
    auto* fitButton = toolButton(bar, "btnFitWidth", QStringLiteral("Fit"), QStringLiteral("Fit the page width"),
                                 QStyle::SP_TitleBarMaxButton);
    m_print = toolButton(bar, "btnPrint", QStringLiteral("Print..."),
                         QStringLiteral("Print the report to a printer or a PDF file"), QStyle::SP_DialogSaveButton);
    auto* closeButton = new QPushButton(QStringLiteral("Close"), bar);
    closeButton->setObjectName(QStringLiteral("btnClosePreview"));
    closeButton->setToolTip(QStringLiteral("Close the preview"));

    tools->addWidget(m_first);
    tools->addWidget(m_prior);
    tools->addWidget(pageLabel);
    tools->addWidget(m_pageBox);
    tools->addWidget(m_pageCount);
    tools->addWidget(m_next);
    tools->addWidget(m_last);
    tools->addSpacing(12);
    tools->addWidget(zoomOutButton);
    tools->addWidget(zoomInButton);
    tools->addWidget(fitButton);
    tools->addSpacing(12);
    tools->addWidget(m_print);
    m_toolsLayout = tools;
    tools->addStretch(1);
    tools->addWidget(closeButton);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("scrPreview"));
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_pageView = new QLabel(m_scroll);
    m_pageView->setObjectName(QStringLiteral("imgPreviewPage"));
    m_pageView->setAccessibleName(QStringLiteral("Report page"));
    m_scroll->setWidget(m_pageView);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_scroll, 1);

    connect(m_first, &QToolButton::clicked, this, &TReportPreview::firstPage);
    connect(m_prior, &QToolButton::clicked, this, &TReportPreview::previousPage);
    connect(m_next, &QToolButton::clicked, this, &TReportPreview::nextPage);
    connect(m_last, &QToolButton::clicked, this, &TReportPreview::lastPage);
    connect(zoomInButton, &QToolButton::clicked, this, &TReportPreview::zoomIn);
    connect(zoomOutButton, &QToolButton::clicked, this, &TReportPreview::zoomOut);
    connect(fitButton, &QToolButton::clicked, this, &TReportPreview::fitWidth);
    connect(m_print, &QToolButton::clicked, this, &TReportPreview::print);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_pageBox, &QLineEdit::returnPressed, this, [this] { showPage(m_pageBox->text().toInt() - 1); });

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        resize(std::min(area.width(), 980), std::min(area.height(), 1000));
    }
    render();
    updateControls();
}

void TReportPreview::showPage(int page)
{
    const int clamped = std::clamp(page, 0, std::max(0, m_report.pageCount() - 1));
    if (clamped == m_page && !m_pageView->pixmap().isNull()) {
        updateControls();
        return;
    }
    m_page = clamped;
    render();
    updateControls();
}

void TReportPreview::lastPage()
{
    showPage(m_report.pageCount() - 1);
}

void TReportPreview::zoomIn()
{
    m_zoom = std::min(kMaxZoom, m_zoom * 1.25);
    render();
}

void TReportPreview::zoomOut()
{
    m_zoom = std::max(kMinZoom, m_zoom / 1.25);
    render();
}

void TReportPreview::fitWidth()
{
    const int width = m_scroll->viewport()->width() - 16;
    m_zoom = std::clamp(width / (TLogReport::kPageWidth * kScreenDotsPerMm), kMinZoom, kMaxZoom);
    render();
}

void TReportPreview::render()
{
    if (m_report.pageCount() == 0) {
        m_pageView->setText(QStringLiteral("The log holds no rows: the report has no pages."));
        m_pageView->adjustSize();
        return;
    }
    // Only the page on screen exists as an image.
    const double dotsPerMm = kScreenDotsPerMm * m_zoom * devicePixelRatioF();
    QImage image(int(TLogReport::kPageWidth * dotsPerMm), int(TLogReport::kPageHeight * dotsPerMm),
                 QImage::Format_RGB32);
    image.setDotsPerMeterX(int(dotsPerMm * 1000));
    image.setDotsPerMeterY(int(dotsPerMm * 1000));
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        m_report.paintPage(painter, m_page);
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(devicePixelRatioF());
    m_pageView->setPixmap(pixmap);
    m_pageView->adjustSize();
}

void TReportPreview::updateControls()
{
    const int pages = m_report.pageCount();
    m_pageBox->setText(pages ? QString::number(m_page + 1) : QString());
    m_pageBox->setEnabled(pages > 0);
    m_pageCount->setText(QStringLiteral("of %1").arg(pages));
    m_first->setEnabled(m_page > 0);
    m_prior->setEnabled(m_page > 0);
    m_next->setEnabled(m_page + 1 < pages);
    m_last->setEnabled(m_page + 1 < pages);
    m_print->setEnabled(pages > 0);
    if (auto* range = qobject_cast<const QIntValidator*>(m_pageBox->validator()))
        const_cast<QIntValidator*>(range)->setTop(std::max(1, pages));
}

void TReportPreview::offerStatistics(const std::function<void(bool)>& apply)
{
    if (m_statistics)
        return;
    m_statistics = new QToolButton(m_print->parentWidget());
    m_statistics->setObjectName(QStringLiteral("btnReportStatistics"));
    m_statistics->setText(QStringLiteral("Statistics"));
    m_statistics->setCheckable(true);
    m_statistics->setToolTip(QStringLiteral("Add the count, minimum, maximum, mean and standard deviation of the "
                                            "values as a last block"));
    m_statistics->setAccessibleName(QStringLiteral("Statistics block"));
    m_toolsLayout->insertWidget(m_toolsLayout->indexOf(m_print) + 1, m_statistics);
    connect(m_statistics, &QToolButton::toggled, this, [this, apply](bool on) {
        apply(on);
        m_statistics->setAccessibleDescription(on ? QStringLiteral("Shown on the last page") : QString());
        showPage(m_page);
        updateControls();
    });
}

TReportPreview::TPrintResult TReportPreview::PrintPages(const TLogReport& report, QPrinter& printer, int fromPage, int toPage,
                                QWidget* progressParent)
{
    const int pages = report.pageCount();
    fromPage = std::max(1, fromPage);
    toPage = std::min(pages, toPage <= 0 ? pages : toPage);
    if (fromPage > toPage)
        return TPrintResult::Failed;

    printer.setFullPage(true);
    QPainter painter;
    if (!painter.begin(&printer))
        return TPrintResult::Failed;

    QProgressDialog progress(QStringLiteral("Printing the report..."), QStringLiteral("Cancel"), fromPage - 1,
                             toPage, progressParent);
    progress.setObjectName(QStringLiteral("dlgPrintProgress"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    for (int page = fromPage; page <= toPage; ++page) {
        if (page > fromPage && !printer.newPage()) {
            painter.end();
            return TPrintResult::Failed;
        }
        report.paintPage(painter, page - 1);
        if ((page - fromPage) % 16 == 0) {
            progress.setValue(page);
            if (progress.wasCanceled()) {
                printer.abort();
                painter.end();
                return TPrintResult::Cancelled;
            }
        }
    }
    progress.setValue(toPage);
    return painter.end() ? TPrintResult::Printed : TPrintResult::Failed;
}

void TReportPreview::print()
{
    const int pages = m_report.pageCount();
    if (pages == 0)
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setCopyCount(1);
    printer.setFromTo(1, pages);
    QPrintDialog dialog(&printer, this);
    dialog.setObjectName(QStringLiteral("dlgPrint"));
    dialog.setMinMax(1, pages);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, true);
    if (dialog.exec() != QDialog::Accepted)
        return;
    int from = 1;
    int to = pages;
    if (printer.printRange() == QPrinter::PageRange) {
        from = printer.fromPage();
        to = printer.toPage();
    } else if (printer.printRange() == QPrinter::CurrentPage) {
        from = to = m_page + 1;
    }
    if (PrintPages(m_report, printer, from, to, this) == TPrintResult::Failed) {
        app::MsgDlg(QStringLiteral("The report could not be printed: ") + printer.printerName(), app::mtError,
                    app::mbOK, 0);
    }
}

} // namespace varnetta::log

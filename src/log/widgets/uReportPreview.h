// The modal print preview of the report: one page at a time, drawn when it
// is shown, with paging, zoom and printing through the system's print
// dialog (a printer or a PDF file).
#pragma once

#include <QDialog>

#include <functional>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPrinter;
class QScrollArea;
class QToolButton;

namespace varnetta::log {

class TLogReport;

class TReportPreview : public QDialog
{
    Q_OBJECT
public:
    explicit TReportPreview(const TLogReport& report, QWidget* parent = nullptr);

    [[nodiscard]] int currentPage() const { return m_page; }
    [[nodiscard]] double zoom() const { return m_zoom; }

    void showPage(int page);
    void firstPage() { showPage(0); }
    void previousPage() { showPage(m_page - 1); }
    void nextPage() { showPage(m_page + 1); }
    void lastPage();
    void zoomIn();
    void zoomOut();
    void fitWidth();

    enum class TPrintResult { Printed, Cancelled, Failed };
    // Streams the pages from..to (1-based, inclusive) onto a printer.
    [[nodiscard]] static TPrintResult PrintPages(const TLogReport& report, QPrinter& printer, int fromPage, int toPage,
                                         QWidget* progressParent = nullptr);

    void print();

    // Offers a "Statistics" check on the toolbar (off); `apply(on)` adds the
    // statistics block to the report or takes it away, and the preview
    // shows the report again.
    void offerStatistics(const std::function<void(bool on)>& apply);

private:
    void render();
    void updateControls();

    const TLogReport& m_report;
    int m_page = 0;
    double m_zoom = 1.0;
    QScrollArea* m_scroll = nullptr;
    QLabel* m_pageView = nullptr;
    QLineEdit* m_pageBox = nullptr;
    QLabel* m_pageCount = nullptr;
    QToolButton* m_first = nullptr;
    QToolButton* m_prior = nullptr;
    QToolButton* m_next = nullptr;
    QToolButton* m_last = nullptr;
    QToolButton* m_print = nullptr;
    QToolButton* m_statistics = nullptr;
    QHBoxLayout* m_toolsLayout = nullptr;
};

} // namespace varnetta::log

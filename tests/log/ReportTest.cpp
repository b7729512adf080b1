// The printed report, rendered to PDF and read back as a reader would.
#include "log/LogStore.h"
#include "log/widgets/uPrintLog.h"
#include "log/widgets/uReport.h"
#include "log/widgets/uReportPreview.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <stdexcept>

#include <gtest/gtest.h>

#include "support/QtPrinters.h"

using namespace varnetta::log;

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;

struct Word
{
    int page;
    double xMin, yMin, xMax, yMax; // in millimetres from the paper's corner
    QString text;
};

TLogRow liveRow(int n)
{
    TLogRow row;
    row.ANo = n;
    row.setText(fATime, QStringLiteral("10:%1:00(2026-12-09)").arg(n % 60, 2, 10, QLatin1Char('0')).toLatin1());
    row.setText(fAFunction, "PWRP");
    row.setText(fAValue, QByteArray::number(n) + ".5");
    row.setText(fAUnit, "KW");
    row.setText(fASubValue1, "230.1");
    row.setText(fASubUnit1, "V");
    row.setText(fASubValue2, "2.34");
    row.setText(fASubUnit2, "A");
    row.rowState = kRowStateInserted;
    return row;
}

TLogStore storeWith(int rows)
{
    TLogStore store;
    for (int i = 1; i <= rows; ++i)
        store.appendRow(liveRow(i));
    return store;
}

class ReportPdf : public ::testing::Test
{
protected:
    // Prints the report to a PDF file and reads its words with positions.
    QList<Word> render(const TLogReport& report, int* pages = nullptr)
    {
        const QString pdf = m_dir.filePath(QStringLiteral("report.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPageSize(QPageSize(QPageSize::A4));
        EXPECT_EQ(TReportPreview::PrintPages(report, printer, 1, report.pageCount()),
                  TReportPreview::TPrintResult::Printed);

        const QString html = m_dir.filePath(QStringLiteral("report.html"));
        QProcess::execute(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, html});
        QFile file(html);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << "pdftotext (poppler-utils) must be installed";
        const QString text = QString::fromUtf8(file.readAll());

        QList<Word> words;
        int page = -1;
        static const QRegularExpression token(
            QStringLiteral(R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
        for (auto it = token.globalMatch(text); it.hasNext();) {
            const auto m = it.next();
            if (m.captured(0).startsWith(QStringLiteral("<page"))) {
                ++page;
                continue;
            }
            words.append({page, m.captured(1).toDouble() / kPointsPerMm, m.captured(2).toDouble() / kPointsPerMm,
                          m.captured(3).toDouble() / kPointsPerMm, m.captured(4).toDouble() / kPointsPerMm,
                          m.captured(5)});
        }
        if (pages)
            *pages = page + 1;
        return words;
    }

    // What a page says, for failure messages.
    static std::string describe(const QList<Word>& words, int page)
    {
        QString out;
        for (const Word& w : words)
            if (w.page == page)
                out += QStringLiteral("%1@(%2,%3) ").arg(w.text).arg(w.xMin, 0, 'f', 1).arg(w.yMin, 0, 'f', 1);
        return out.toStdString();
    }

    static QList<Word> onPage(const QList<Word>& words, int page)
    {
        QList<Word> out;
        for (const Word& w : words)
            if (w.page == page)
                out << w;
        return out;
    }

    static const Word* find(const QList<Word>& words, const QString& text, int page = 0)
    {
        for (const Word& w : words)
            if (w.page == page && w.text == text)
                return &w;
        return nullptr;
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST(ReportPages, EmptyLogHasNoPagesAtAll)
{
    TLogStore store;
    TLogReport report(store);
    EXPECT_EQ(report.pageCount(), 0);
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QDir::temp().filePath(QStringLiteral("varnetta-empty-report.pdf")));
    EXPECT_EQ(TReportPreview::PrintPages(report, printer, 1, 1), TReportPreview::TPrintResult::Failed);
}

TEST(ReportPages, PageCountFollowsTheRowsThatFitOnAPage)
{
    ASSERT_EQ(TLogReport::kRowsPerPage, 36);
    const struct
    {
        int rows;
        int pages;
    } cases[] = {{1, 1}, {36, 1}, {37, 2}, {72, 2}, {100, 3}};
    for (const auto& c : cases) {
        TLogStore store = storeWith(c.rows);
        EXPECT_EQ(TLogReport(store).pageCount(), c.pages) << c.rows << " rows";
    }
}

TEST(ReportPages, RowsAppendedAfterProducingAreNotInTheReport)
{
    TLogStore store = storeWith(36);
    TLogReport report(store);
    store.appendRow(liveRow(37));
    EXPECT_EQ(report.pageCount(), 1);
    EXPECT_EQ(report.rowCount(), 36);
}

TEST_F(ReportPdf, EveryPageRepeatsHeaderTitlesAndEndsWithItsNumber)
{
    TLogStore store = storeWith(80);
    TLogReport report(store, QDate(2026, 12, 9), QLocale(QLocale::English, QLocale::UnitedStates));
    int pages = 0;
    const QList<Word> words = render(report, &pages);
    ASSERT_EQ(pages, 3);
    for (int page = 0; page < pages; ++page) {
        const QList<Word> w = onPage(words, page);
        for (const char* title : {"Data", "Report", "Print", "Date:", "12/9/26", "No.", "Time", "Function", "Value", "Unit", "SubValueA",
                                  "SubUnitA", "SubValueB", "SubUnitB"})
            EXPECT_NE(find(w, QString::fromLatin1(title), page), nullptr)
                << title << " on page " << page + 1 << ": " << describe(words, page);
        const Word* number = nullptr;
        for (const Word& candidate : w)
            if (candidate.text == QString::number(page + 1) && candidate.yMin > 250)
                number = &candidate;
        ASSERT_NE(number, nullptr) << "page number on page " << page + 1;
        // The footer's number stands at 178.86 mm into the band, near the foot.
        EXPECT_NEAR(number->xMin, 10 + 178.86, 1.0);
        EXPECT_GT(number->yMin, 297 - 10 - 10.58);
    }
}

TEST_F(ReportPdf, StatisticsAreALastBlockOnlyWhenAskedFor)
{
    const TLogStore store = storeWith(10); // values 1.5 .. 10.5
    TLogReport report(store, QDate(2026, 12, 9), QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(find(render(report), QStringLiteral("Statistics")), nullptr); // none by default

    report.setStatistics(TLogStatistics::ofRows(store, 0, store.rowCount(), "."));
    int pages = 0;
    const QList<Word> words = render(report, &pages);
    ASSERT_EQ(pages, 1);
    const Word* title = find(words, QStringLiteral("Statistics"));
    ASSERT_NE(title, nullptr) << describe(words, 0);
    const Word* lastRow = find(words, QStringLiteral("10.5"));
    ASSERT_NE(lastRow, nullptr);
    EXPECT_GT(title->yMin, lastRow->yMin); // after the last row
    for (const char* figure : {"Count", "Mean", "10", "1.5", "6", "3.0276504"}) // sample spread of 1.5..10.5
        EXPECT_NE(find(words, QString::fromLatin1(figure)), nullptr) << figure << ": " << describe(words, 0);
}

TEST_F(ReportPdf, StatisticsThatDoNotFitUnderTheLastRowGetAPageOfTheirOwn)
{
    const TLogStore store = storeWith(TLogReport::kRowsPerPage * 2 - 2);
    TLogReport report(store, QDate(2026, 12, 9), QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(report.pageCount(), 2);
    report.setStatistics(TLogStatistics::ofRows(store, 0, store.rowCount(), "."));
    EXPECT_EQ(report.pageCount(), 3);
    int pages = 0;
    const QList<Word> words = render(report, &pages);
    ASSERT_EQ(pages, 3);
    EXPECT_NE(find(words, QStringLiteral("Statistics"), 2), nullptr) << describe(words, 2);
    EXPECT_EQ(find(words, QStringLiteral("Statistics"), 1), nullptr);
    EXPECT_NE(find(words, QStringLiteral("3"), 2), nullptr) << "the page number";
    report.setStatistics(std::nullopt);
    EXPECT_EQ(report.pageCount(), 2);
    EXPECT_EQ(TLogReport(TLogStore()).pageCount(), 0);
}

TEST_F(ReportPdf, HeaderAndColumnsStandWhereTheLayoutPutsThem)
{
    TLogStore store = storeWith(1);
    TLogReport report(store, QDate(2026, 12, 9), QLocale(QLocale::English, QLocale::UnitedStates));
    const QList<Word> words = render(report);
    const Word* printDate = find(words, QStringLiteral("Print"));
    ASSERT_NE(printDate, nullptr);
    EXPECT_NEAR(printDate->xMin, 10 + 156.63, 1.0);
    // The date follows the label without running into it.
    const Word* label = find(words, QStringLiteral("Date:"));
    const Word* date = find(words, QStringLiteral("12/9/26"));
    ASSERT_TRUE(label && date);
    EXPECT_GT(date->xMin, label->xMax);
    EXPECT_NEAR(date->xMin, 10 + 169.33, 2.5);

    // "Data Report" is centred across the 190 mm band.
    const Word* data = find(words, QStringLiteral("Data"));
    const Word* rep = find(words, QStringLiteral("Report"));
    ASSERT_TRUE(data && rep);
    EXPECT_NEAR((data->xMin + rep->xMax) / 2, 105.0, 1.5);

    // Each field is centred in its box on the first detail line.
    const Word* function = find(words, QStringLiteral("PWRP"));
    ASSERT_NE(function, nullptr);
    EXPECT_NEAR((function->xMin + function->xMax) / 2, 10 + 55.03 + 21.43 / 2, 1.0);
    EXPECT_GT(function->yMin, 10 + 13.23 + 8.73);
    EXPECT_LT(function->yMax, 10 + 13.23 + 8.73 + 6.61);
}

TEST_F(ReportPdf, MemoryExportRowPrintsAnEmptyTimeBox)
{
    TLogStore store;
    TLogRow row = liveRow(1);
    row.text[fATime].reset(); // memory records carry no time stamp
    store.appendRow(row);
    TLogReport report(store);
    const QList<Word> words = render(report);
    const double boxLeft = 10 + 25.40;
    const double boxRight = boxLeft + 29.90;
    const double lineTop = 10 + 13.23 + 8.73;
    for (const Word& w : words) {
        const double mid = (w.xMin + w.xMax) / 2;
        const bool inTimeBox = mid > boxLeft && mid < boxRight && w.yMin > lineTop && w.yMax < lineTop + 6.61;
        EXPECT_FALSE(inTimeBox) << "unexpected " << w.text.toStdString() << " in the time box";
    }
    EXPECT_NE(find(words, QStringLiteral("PWRP")), nullptr);
}

TEST_F(ReportPdf, LongTextWrapsInsideItsBoxAndWhatDoesNotFitIsNotPrinted)
{
    TLogStore store;
    TLogRow row = liveRow(1);
    row.setText(fAFunction, "ALPHA BRAVO CHARLIE"); // three words, a 21 mm box
    store.appendRow(row);
    TLogReport report(store);
    const QList<Word> words = render(report);
    const Word* first = find(words, QStringLiteral("ALPHA"));
    ASSERT_NE(first, nullptr);
    EXPECT_GE(first->xMin, 10 + 55.03 - 0.2);
    EXPECT_LE(first->xMax, 10 + 55.03 + 21.43 + 0.2);
    // The box is one line high: the wrapped rest is not printed.
    EXPECT_EQ(find(words, QStringLiteral("CHARLIE")), nullptr);
}

TEST(ReportPreviewWindow, PagesThroughTheReportOnePageAtATime)
{
    TLogStore store = storeWith(36 * 5 + 1);
    TLogReport report(store);
    TReportPreview preview(report);
    EXPECT_EQ(preview.currentPage(), 0);
    auto* next = preview.findChild<QToolButton*>(QStringLiteral("btnNextPage"));
    auto* last = preview.findChild<QToolButton*>(QStringLiteral("btnLastPage"));
    auto* prior = preview.findChild<QToolButton*>(QStringLiteral("btnPriorPage"));
    ASSERT_TRUE(next && last && prior);
    EXPECT_FALSE(prior->isEnabled());
    next->click();
    EXPECT_EQ(preview.currentPage(), 1);
    last->click();
    EXPECT_EQ(preview.currentPage(), 5);
    EXPECT_FALSE(next->isEnabled());
    preview.nextPage();
    EXPECT_EQ(preview.currentPage(), 5);
    const double before = preview.zoom();
    preview.zoomIn();
    EXPECT_GT(preview.zoom(), before);
    auto* page = preview.findChild<QLabel*>(QStringLiteral("imgPreviewPage"));
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(page->pixmap().isNull());
}

TEST(ReportPreviewWindow, EmptyReportShowsNoPageAndCannotPrint)
{
    TLogStore store;
    TLogReport report(store);
    TReportPreview preview(report);
    auto* print = preview.findChild<QToolButton*>(QStringLiteral("btnPrint"));
    ASSERT_NE(print, nullptr);
    EXPECT_FALSE(print->isEnabled());
    auto* page = preview.findChild<QLabel*>(QStringLiteral("imgPreviewPage"));
    EXPECT_TRUE(page->pixmap().isNull());
}

// Reception is held while the preview is open and given back however it ends.
namespace {

struct LinkDouble
{
    bool connected = false;
    QList<bool> pauses;
    QTimer watchdog;
    TReceptionHold hold()
    {
        return {[this](bool p) { pauses << p; }, [this] { return connected; }, &watchdog};
    }
};

} // namespace

TEST(PrintLogReception, ConnectedLinkGetsItsWatchdogBackAndTheReaderResumes)
{
    LinkDouble link;
    link.connected = true;
    link.watchdog.start(10000);
    bool watchdogWasStopped = false;
    HoldReceptionWhile(link.hold(), [&] { watchdogWasStopped = !link.watchdog.isActive(); });
    EXPECT_TRUE(watchdogWasStopped);
    EXPECT_TRUE(link.watchdog.isActive());
    EXPECT_EQ(link.pauses, (QList<bool>{true, false}));
}

TEST(PrintLogReception, DisconnectedLinkLeavesTheWatchdogStopped)
{
    LinkDouble link;
    HoldReceptionWhile(link.hold(), [] {});
    EXPECT_FALSE(link.watchdog.isActive());
    EXPECT_EQ(link.pauses, (QList<bool>{true, false}));
}

TEST(PrintLogReception, FailureWhileProducingStillGivesReceptionBack)
{
    LinkDouble link;
    link.connected = true;
    link.watchdog.start(10000);
    EXPECT_THROW(HoldReceptionWhile(link.hold(), [] { throw std::runtime_error("printer gone"); }),
                 std::runtime_error);
    EXPECT_TRUE(link.watchdog.isActive());
    EXPECT_EQ(link.pauses, (QList<bool>{true, false}));
}

// QuickRep1: the log laid out as an A4 report, one detail line per row.
// Pages are laid out and painted on demand, so a report of ten million rows
// costs nothing until a page is looked at or printed.
#pragma once

#include "log/LogStatistics.h"
#include "log/LogStore.h"

#include <QDate>
#include <QFont>
#include <QLocale>
#include <QRectF>
#include <QString>

#include <array>
#include <optional>

class QPainter;

namespace varnetta::log {

class TLogReport
{
public:
    // Page setup and bands, in millimetres.
    static constexpr double kPageWidth = 210.0;
    static constexpr double kPageHeight = 297.0;
    static constexpr double kMargin = 10.0;
    static constexpr double kPageHeaderHeight = 13.23;
    static constexpr double kColumnHeaderHeight = 8.73;
    static constexpr double kDetailHeight = 6.61;
    static constexpr double kPageFooterHeight = 10.58;
    static constexpr double kTextHeight = 4.50;

    // The rows that fit between the column header and the page footer.
    static constexpr int kRowsPerPage =
        int((kPageHeight - 2 * kMargin - kPageHeaderHeight - kColumnHeaderHeight - kPageFooterHeight) /
            kDetailHeight);

    struct Column
    {
        const char* title;
        double titleLeft;
        double titleWidth;
        int field;
        double fieldLeft;
        double fieldWidth;
    };
    static const Column kColumns[kLogFieldCount];

    // The report covers the rows the table holds now; rows appended later
    // are not in it.
    explicit TLogReport(const TLogStore& store, QDate printDate = QDate::currentDate(),
                        const QLocale& locale = QLocale::system());

    [[nodiscard]] qsizetype rowCount() const { return m_rowCount; }
    // No pages at all for an empty table.
    [[nodiscard]] int pageCount() const;

    // A last block with the statistics of the value traces (main value, sub
    // value A, sub value B), after the last row or on a page of its own when
    // the last is full; none by default.
    using TStatistics = std::array<TTraceStatistics, 3>;
    void setStatistics(const std::optional<TStatistics>& statistics) { m_statistics = statistics; }
    [[nodiscard]] bool hasStatistics() const { return m_statistics.has_value(); }
    static constexpr int kStatisticsLines = 5; // title, column titles, three traces
    [[nodiscard]] const QString& dateText() const { return m_dateText; }
    // Rows [first, last) of a page (0-based page index).
    [[nodiscard]] qsizetype firstRowOfPage(int page) const { return qsizetype(page) * kRowsPerPage; }

    // Paints one page; the painter's origin is the paper's top-left corner
    // and its device's resolution gives the scale.
    void paintPage(QPainter& painter, int page) const;

private:
    [[nodiscard]] QRectF mm(double left, double top, double width, double height) const;
    void drawBox(QPainter& painter, const QRectF& box, const QString& text, int flags) const;
    [[nodiscard]] int detailPageCount() const;
    void paintStatistics(QPainter& painter, double top) const;

    const TLogStore& m_store;
    qsizetype m_rowCount;
    QString m_dateText;
    QFont m_titleFont;
    QFont m_detailFont;
    QFont m_headerFont;
    QLocale m_locale;
    mutable double m_dotsPerMm = 1.0;
    std::optional<TStatistics> m_statistics;
};

} // namespace varnetta::log

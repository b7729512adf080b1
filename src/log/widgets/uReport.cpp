#include "uReport.h"

#include "protocol/Reading.h"

#include <QPaintDevice>
#include <QPainter>
#include <QTextLayout>

namespace varnetta::log {

const TLogReport::Column TLogReport::kColumns[kLogFieldCount] = {
    {"No.", 8.47, 17.20, fANo, 8.47, 17.20},
    {"Time", 25.40, 29.90, fATime, 25.40, 29.90},
    {"Function", 55.03, 21.43, fAFunction, 55.03, 21.43},
    {"Value", 75.94, 17.46, fAValue, 75.67, 17.73},
    {"Unit", 92.87, 15.35, fAUnit, 92.60, 15.61},
    {"SubValueA", 107.69, 17.46, fASubValue1, 107.42, 17.73},
    {"SubUnitA", 124.62, 15.35, fASubUnit1, 124.35, 15.61},
    {"SubValueB", 139.44, 17.46, fASubValue2, 139.17, 17.73},
    {"SubUnitB", 156.37, 15.35, fASubUnit2, 156.10, 15.61},
};

namespace {

QFont reportFont(double points)
{
    // Arial where the system has it; fontconfig gives Liberation Sans, which
    // has the same metrics. The meter's symbol font of the titles is not
    // to be had on Linux, so the titles use the same face.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    return font;
}

} // namespace

TLogReport::TLogReport(const TLogStore& store, QDate printDate, const QLocale& locale)
    : m_store(store), m_rowCount(store.rowCount()), m_dateText(locale.toString(printDate, QLocale::ShortFormat)),
      m_titleFont(reportFont(8)), m_detailFont(reportFont(8)), m_headerFont(reportFont(12)), m_locale(locale)
{
}

int TLogReport::detailPageCount() const
{
    return int((m_rowCount + kRowsPerPage - 1) / kRowsPerPage);
}

int TLogReport::pageCount() const
{
    const int pages = detailPageCount();
    if (!m_statistics || pages == 0)
        return pages;
    const qsizetype onLast = m_rowCount - qsizetype(pages - 1) * kRowsPerPage;
    return onLast + kStatisticsLines <= kRowsPerPage ? pages : pages + 1;
}

void TLogReport::paintStatistics(QPainter& painter, double top) const
{
    static constexpr std::array<const char*, 3> kTraces = {"Value", "SubValueA", "SubValueB"};
    static constexpr std::array<const char*, 6> kTitles = {"Trace", "Count", "Minimum", "Maximum", "Mean",
                                                           "Std. deviation"};
    const double left = kMargin;
    const double width = (kPageWidth - 2 * kMargin) / double(kTitles.size());
    painter.setFont(m_titleFont);
    drawBox(painter, mm(left, top + 1.59, kPageWidth - 2 * kMargin, kTextHeight), QStringLiteral("Statistics"),
            Qt::AlignLeft | Qt::AlignTop);
    top += kDetailHeight;
    for (size_t c = 0; c < kTitles.size(); ++c)
        drawBox(painter, mm(left + double(c) * width, top + 1.59, width, kTextHeight), QString::fromLatin1(kTitles[c]),
                Qt::AlignHCenter | Qt::AlignTop);
    top += kDetailHeight;
    painter.setFont(m_detailFont);
    for (size_t t = 0; t < kTraces.size(); ++t) {
        const TTraceStatistics& s = (*m_statistics)[t];
        const auto number = [&](double v) { return s.count > 0 ? m_locale.toString(v, 'g', 8) : QString(); };
        const std::array<QString, 6> cells = {QString::fromLatin1(kTraces[t]), m_locale.toString(s.count),
                                              number(s.min),                   number(s.max),
                                              number(s.mean),                  number(s.standardDeviation())};
        for (size_t c = 0; c < cells.size(); ++c)
            drawBox(painter, mm(left + double(c) * width, top + 1.59, width, kTextHeight), cells[c],
                    Qt::AlignHCenter | Qt::AlignTop);
        top += kDetailHeight;
    }
}

QRectF TLogReport::mm(double left, double top, double width, double height) const
{
    return {left * m_dotsPerMm, top * m_dotsPerMm, width * m_dotsPerMm, height * m_dotsPerMm};
}

void TLogReport::drawBox(QPainter& painter, const QRectF& box, const QString& text, int flags) const
{
    // Text wider than its box wraps inside it; lines that do not fit in the
    // box's height are not printed at all, and a word wider than the box is
    // cut at its edges.
    QTextLayout layout(text, painter.font(), painter.device());
    QTextOption option(Qt::Alignment(flags & Qt::AlignHorizontal_Mask));
    option.setWrapMode((flags & Qt::TextWordWrap) ? QTextOption::WordWrap : QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    double y = 0;
    int fitting = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(box.width());
        line.setPosition(QPointF(0, y));
        y += line.height();
        if (y <= box.height() + 0.01)
            ++fitting;
    }
    layout.endLayout();

    painter.save();
    painter.setClipRect(box, Qt::IntersectClip);
    for (int i = 0; i < fitting; ++i)
        layout.lineAt(i).draw(&painter, box.topLeft());
    painter.restore();
}

void TLogReport::paintPage(QPainter& painter, int page) const
{
    if (page < 0 || page >= pageCount())
        return;
    m_dotsPerMm = painter.device()->logicalDpiY() / 25.4;

    painter.save();
    painter.fillRect(mm(0, 0, kPageWidth, kPageHeight), Qt::white);
    painter.setPen(Qt::black);

    const double bandLeft = kMargin;
    const double bandWidth = kPageWidth - 2 * kMargin;
    double top = kMargin;

    // Page header
    painter.setFont(m_headerFont);
    drawBox(painter, mm(bandLeft, top + 2.12, bandWidth, kPageHeaderHeight - 2.12), QStringLiteral("Data Report"),
            Qt::AlignHCenter | Qt::AlignTop);
    painter.setFont(m_detailFont);
    // Labels that size themselves to their text: not clipped.
    QRectF label;
    painter.drawText(mm(bandLeft + 156.63, top + 2.38, 40, kTextHeight), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("Print Date: "), &label);
    // At 8 pt the label is a little wider than the 12.7 mm before the date;
    // the date then starts after it instead of over its colon.
    const double dateLeft = std::max(bandLeft + 169.33, label.right() / m_dotsPerMm);
    painter.drawText(mm(dateLeft, top + 2.38, 40, kTextHeight), Qt::AlignLeft | Qt::AlignTop, m_dateText);
    top += kPageHeaderHeight;

    // Column header
    painter.setFont(m_titleFont);
    for (const Column& c : kColumns) {
        drawBox(painter, mm(bandLeft + c.titleLeft, top + 1.85, c.titleWidth, kTextHeight),
                QString::fromLatin1(c.title), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap);
    }
    top += kColumnHeaderHeight;

    // Detail lines
    painter.setFont(m_detailFont);
    const qsizetype first = std::min(firstRowOfPage(page), m_rowCount);
    const qsizetype last = std::min(first + kRowsPerPage, std::min(m_rowCount, m_store.rowCount()));
    std::array<char, 24> scratch{};
    for (qsizetype row = first; row < last; ++row) {
        for (const Column& c : kColumns) {
            if (m_store.isNull(row, c.field))
                continue;
            const QString text = protocol::DisplayText(m_store.fieldView(row, c.field, scratch));
            drawBox(painter, mm(bandLeft + c.fieldLeft, top + 1.59, c.fieldWidth, kTextHeight), text,
                    Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap);
        }
        top += kDetailHeight;
    }

    if (m_statistics && page == pageCount() - 1)
        paintStatistics(painter, top);

    // Page footer, at the foot of the printable area
    const double footerTop = kPageHeight - kMargin - kPageFooterHeight;
    painter.drawText(mm(bandLeft + 178.86, footerTop + 5.03, 20, kTextHeight), Qt::AlignLeft | Qt::AlignTop,
                     QString::number(page + 1));
    painter.restore();
}

} // namespace varnetta::log

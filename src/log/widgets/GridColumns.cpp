#include "GridColumns.h"

#include "log/LogStore.h"
#include "log/LogTableModel.h"
#include "protocol/Reading.h"

#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTableView>

namespace varnetta::log {

namespace {

QChar widestDigit(const QFontMetrics& fm)
{
    QChar widest = QLatin1Char('0');
    for (char d = '0'; d <= '9'; ++d)
        if (fm.horizontalAdvance(QLatin1Char(d)) > fm.horizontalAdvance(widest))
            widest = QLatin1Char(d);
    return widest;
}

int widest(const QFontMetrics& fm, const QStringList& texts)
{
    int w = 0;
    for (const QString& t : texts)
        w = std::max(w, fm.horizontalAdvance(t));
    return w;
}

// What each column may have to show, in field order.
QList<QStringList> samples(const QFontMetrics& fm, const QByteArray& decimalSeparator, char timeSeparator)
{
    const QChar d = widestDigit(fm);
    auto run = [d](int n) { return QString(n, d); };
    const QString sep = protocol::DisplayText(decimalSeparator);
    const QChar ts = QLatin1Char(timeSeparator);

    QStringList functions;
    for (int m = protocol::fmNone; m < protocol::fmExportEnd; ++m)
        functions << QString::fromLatin1(protocol::FunModeText(protocol::TFunMode(m)));
    QStringList units;
    for (const protocol::TFunInfo& info : protocol::FunInfoTable())
        units << protocol::DisplayText(info.unit) << protocol::DisplayText(info.subUnit1)
              << protocol::DisplayText(info.subUnit2);
    // The meter's value fields are six characters: a sign and five digits,
    // or a sign, four digits and the separator.
    const QStringList values = {QLatin1Char('-') + run(5), QLatin1Char('-') + run(3) + sep + run(1),
                                QStringLiteral("NULL")};
    const QString time = run(2) + ts + run(2) + ts + run(2) + QLatin1Char('(') + run(4) + QLatin1Char('-') + run(2) +
                         QLatin1Char('-') + run(2) + QLatin1Char(')');

    QList<QStringList> out(kLogFieldCount);
    // Recording stops at 9999999 rows, but a text log may bring more: room
    // for eight digits keeps a grid of ten million rows readable.
    out[fANo] = {run(8)};
    out[fATime] = {time};
    out[fAFunction] = functions;
    out[fAValue] = values;
    out[fAUnit] = units;
    out[fASubValue1] = values;
    out[fASubUnit1] = units;
    out[fASubValue2] = values;
    out[fASubUnit2] = units;
    return out;
}

int headerWidth(const QHeaderView& header, int section, const QString& caption)
{
    QStyleOptionHeader opt;
    opt.initFrom(&header);
    opt.section = section;
    opt.orientation = Qt::Horizontal;
    opt.text = caption;
    opt.fontMetrics = header.fontMetrics();
    return header.style()->sizeFromContents(QStyle::CT_HeaderSection, &opt, QSize(), &header).width();
}

} // namespace

QList<int> ReadableColumnWidths(const QTableView& grid, const QByteArray& decimalSeparator, char timeSeparator)
{
    const QFontMetrics fm = grid.fontMetrics();
    // The item delegate's text margin on each side, and the grid line.
    const int margin = grid.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &grid) + 1;
    const int cellPadding = 2 * margin + (grid.showGrid() ? 1 : 0) + 2;
    const QList<QStringList> texts = samples(fm, decimalSeparator, timeSeparator);

    QList<int> widths;
    for (int f = 0; f < kLogFieldCount; ++f) {
        const int content = widest(fm, texts[f]) + cellPadding;
        const int title = headerWidth(*grid.horizontalHeader(), f, LogColumnCaption(f));
        widths << std::max({LogColumnWidth(f), content, title});
    }
    return widths;
}

QString ColumnWidthsText(const QList<int>& widths)
{
    QStringList parts;
    for (int w : widths)
        parts << QString::number(w);
    return parts.join(QLatin1Char(','));
}

QList<int> ColumnWidthsFromText(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != kLogFieldCount)
        return {};
    QList<int> widths;
    for (const QString& part : parts) {
        bool ok = false;
        const int w = part.trimmed().toInt(&ok);
        if (!ok || w < kMinUserColumnWidth || w > kMaxUserColumnWidth)
            return {};
        widths << w;
    }
    return widths;
}

} // namespace varnetta::log

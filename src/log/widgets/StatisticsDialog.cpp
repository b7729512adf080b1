#include "StatisticsDialog.h"

#include "log/LogRecorder.h"
#include "log/LogTableModel.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace varnetta::log {

namespace {

const char* const kTraceNames[] = {"Value", "SubValueA", "SubValueB"};
const char* const kColumnNames[] = {"Count", "Minimum", "Maximum", "Mean", "Std. deviation"};
const char* const kColumnHints[] = {
    "How many rows hold a number in this column (overloads, dashes and empty fields are left out)",
    "The smallest number", "The largest number", "The arithmetic mean", "The sample standard deviation"};

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

TStatisticsDialog::TStatisticsDialog(const TLogStore& store, const TLogTableModel& model,
                                     const TLogRecorder& recorder, QWidget* parent)
    : QDialog(parent), m_store(store), m_recorder(recorder)
{
    setObjectName(QStringLiteral("StatisticsDialog"));
    setWindowTitle(QStringLiteral("Statistics"));
    auto* layout = new QVBoxLayout(this);
    m_rows = new QLabel(this);
    m_rows->setObjectName(QStringLiteral("lblStatisticsRows"));
    layout->addWidget(m_rows);

    m_table = addTraceTable("grdStatistics", QStringLiteral("Statistics of the log's values"));
    layout->addWidget(m_table);

    m_pageCaption = new QLabel(this);
    m_pageCaption->setObjectName(QStringLiteral("lblPageStatistics"));
    layout->addWidget(m_pageCaption);
    m_pageTable = addTraceTable("grdPageStatistics", QStringLiteral("Statistics of the page on the chart"));
    m_pageCaption->setBuddy(m_pageTable);
    layout->addWidget(m_pageTable);

    m_verdicts = new QLabel(this);
    m_verdicts->setObjectName(QStringLiteral("lblVerdictCounts"));
    m_verdicts->setToolTip(
        QStringLiteral("Readings the limit comparator judged since the log was last cleared"));
    layout->addWidget(m_verdicts);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(620, 380);

    // A cleared or replaced log is counted afresh.
    connect(&model, &QAbstractItemModel::modelReset, this, [this] {
        m_statistics.reset();
        if (isVisible())
            refresh();
    });
    m_timer.setInterval(kRefreshMs);
    connect(&m_timer, &QTimer::timeout, this, &TStatisticsDialog::refresh);
}

QTableWidget* TStatisticsDialog::addTraceTable(const char* name, const QString& accessibleName)
{
    auto* table = new QTableWidget(3, 5, this);
    table->setObjectName(QLatin1String(name));
    table->setAccessibleName(accessibleName);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int c = 0; c < 5; ++c) {
        auto* header = new QTableWidgetItem(QLatin1String(kColumnNames[c]));
        header->setToolTip(QLatin1String(kColumnHints[c]));
        table->setHorizontalHeaderItem(c, header);
    }
    for (int t = 0; t < 3; ++t) {
        table->setVerticalHeaderItem(t, new QTableWidgetItem(QLatin1String(kTraceNames[t])));
        for (int c = 0; c < 5; ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(t, c, item);
        }
    }
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

void TStatisticsDialog::showTraces(QTableWidget* table, const std::array<TTraceStatistics, 3>& traces)
{
    const QLocale locale;
    for (int t = 0; t < 3; ++t) {
        const TTraceStatistics& s = traces[size_t(t)];
        const bool any = s.count > 0;
        const QString texts[] = {locale.toString(s.count), any ? number(s.min) : QString(),
                                 any ? number(s.max) : QString(), any ? number(s.mean) : QString(),
                                 s.count > 1 ? number(s.standardDeviation()) : QString()};
        for (int c = 0; c < 5; ++c)
            table->item(t, c)->setText(texts[c]);
    }
}

void TStatisticsDialog::refresh()
{
    m_statistics.setDecimalSeparator(m_recorder.decimalSeparator());
    const bool complete = m_statistics.update(m_store, kRowsPerRefresh);
    const QLocale locale;
    m_rows->setText(
        complete ? QStringLiteral("Rows: %1").arg(locale.toString(m_store.rowCount()))
                 : QStringLiteral("Counting: %1 of %2 rows")
                       .arg(locale.toString(m_statistics.rowsRead()), locale.toString(m_store.rowCount())));
    showTraces(m_table, {m_statistics.trace(0), m_statistics.trace(1), m_statistics.trace(2)});
    m_table->setAccessibleDescription(m_rows->text());

    m_page = m_pageSource ? m_pageSource() : std::nullopt;
    m_pageCaption->setText(m_page ? m_page->caption : QStringLiteral("Page on the chart: none"));
    showTraces(m_pageTable, m_page ? m_page->traces : std::array<TTraceStatistics, 3>{});
    m_pageTable->setAccessibleDescription(m_pageCaption->text());

    const std::optional<TVerdictCounts> verdicts = m_verdictSource ? m_verdictSource() : std::nullopt;
    m_verdicts->setText(verdicts ? QStringLiteral("Comparator since the last clear: Pass %1, Fail %2")
                                       .arg(locale.toString(verdicts->pass), locale.toString(verdicts->fail))
                                 : QString());
    // Counting a long log goes on at the next turn of the event loop rather
    // than at the next tick; one such step is pending at a time.
    if (!complete && isVisible() && !m_stepPending) {
        m_stepPending = true;
        QTimer::singleShot(0, this, [this] {
            m_stepPending = false;
            refresh();
        });
    }
}

void TStatisticsDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    refresh();
    m_timer.start();
}

void TStatisticsDialog::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QDialog::hideEvent(event);
}

} // namespace varnetta::log

#include "LogTableModel.h"

#include "protocol/Reading.h"

namespace varnetta::log {

QString LogColumnCaption(int field)
{
    static const char* const captions[kLogFieldCount] = {
        "No.", "Time", "Function", "Value", "Unit", "SubValueA", "SubUnitA", "SubValueB", "SubUnitB"};
    return field >= 0 && field < kLogFieldCount ? QString::fromLatin1(captions[field]) : QString();
}

int LogColumnWidth(int field)
{
    static const int widths[kLogFieldCount] = {36, 45, 58, 40, 37, 59, 51, 59, 50};
    return field >= 0 && field < kLogFieldCount ? widths[field] : 0;
}

TLogTableModel::TLogTableModel(const TLogStore& store, QObject* parent)
    : QAbstractTableModel(parent), m_store(store), m_shownRows(int(store.rowCount()))
{
    // A zero interval: the next slice follows once the event loop has seen
    // to input and painting.
    m_catchUp.setInterval(0);
    connect(&m_catchUp, &QTimer::timeout, this, &TLogTableModel::announceSlice);
}

int TLogTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_shownRows;
}

int TLogTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kLogFieldCount;
}

QVariant TLogTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_store.rowCount())
        return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == fAValue ? int(Qt::AlignRight | Qt::AlignVCenter)
                                         : int(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    if (index.column() == fANo) {
        const auto n = m_store.ANo(index.row());
        return n ? QVariant(QString::number(*n)) : QVariant(QString());
    }
    std::array<char, 24> scratch{};
    return protocol::DisplayText(m_store.fieldView(index.row(), index.column(), scratch));
}

QVariant TLogTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return LogColumnCaption(section);
}

Qt::ItemFlags TLogTableModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void TLogTableModel::noteAppended()
{
    const int total = int(m_store.rowCount());
    if (total < m_shownRows) {
        noteReset();
        return;
    }
    // While catching up, the next slice takes the new rows along.
    if (total == m_shownRows || catchingUp())
        return;
    const int shown = total - m_shownRows > m_sliceRows ? m_shownRows + m_sliceRows : total;
    beginInsertRows({}, m_shownRows, shown - 1);
    m_shownRows = shown;
    endInsertRows();
    if (shown < total)
        m_catchUp.start();
}

void TLogTableModel::noteReset()
{
    const int total = int(m_store.rowCount());
    beginResetModel();
    m_shownRows = std::min(total, m_sliceRows);
    endResetModel();
    if (m_shownRows < total)
        m_catchUp.start();
    else if (catchingUp()) {
        m_catchUp.stop();
        Q_EMIT caughtUp();
    }
}

void TLogTableModel::announceSlice()
{
    const int total = int(m_store.rowCount());
    if (total < m_shownRows) {
        noteReset();
        return;
    }
    const int shown = std::min<qint64>(total, qint64(m_shownRows) + m_sliceRows);
    if (shown > m_shownRows) {
        beginInsertRows({}, m_shownRows, shown - 1);
        m_shownRows = shown;
        endInsertRows();
    }
    if (shown == total) {
        m_catchUp.stop();
        Q_EMIT caughtUp();
    }
}

} // namespace varnetta::log

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
    if (total == m_shownRows)
        return;
    beginInsertRows({}, m_shownRows, total - 1);
    m_shownRows = total;
    endInsertRows();
}

void TLogTableModel::noteReset()
{
    beginResetModel();
    m_shownRows = int(m_store.rowCount());
    endResetModel();
}

} // namespace varnetta::log

// The grid's view of the log table: a thin adapter that builds display text
// only inside data(). The rows it shows are the ones it has announced, so a
// burst of appends becomes one beginInsertRows/endInsertRows.
#pragma once

#include "LogStore.h"

#include <QAbstractTableModel>

namespace varnetta::log {

// Captions and design widths of the grid's columns, in field order.
[[nodiscard]] QString LogColumnCaption(int field);
[[nodiscard]] int LogColumnWidth(int field);

class TLogTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TLogTableModel(const TLogStore& store, QObject* parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role = Qt::DisplayRole) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Announces every row the store holds beyond those already shown.
    void noteAppended();
    // The store was emptied or replaced as a whole.
    void noteReset();

private:
    const TLogStore& m_store;
    int m_shownRows = 0;
};

} // namespace varnetta::log

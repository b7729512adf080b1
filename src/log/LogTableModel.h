// The grid's view of the log table: a thin adapter that builds display text
// only inside data(). The rows it shows are the ones it has announced, so a
// burst of appends becomes one beginInsertRows/endInsertRows.
//
// A view keeps bookkeeping for every row it is told about (the grid's row
// header holds an entry per row and walks all of them after a change), so
// telling it about millions of rows at once holds the user-interface thread
// for a long moment. Beyond a slice of rows the model announces them a
// slice per turn of the event loop instead, and says when it has shown all.
#pragma once

#include "LogStore.h"

#include <QAbstractTableModel>
#include <QTimer>

#include <algorithm>

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

    // Announces every row the store holds beyond those already shown: up to
    // a slice at once, the rest a slice per turn of the event loop.
    void noteAppended();
    // The store was emptied or replaced as a whole.
    void noteReset();

    // True while rows of the store are still to be announced.
    [[nodiscard]] bool catchingUp() const { return m_catchUp.isActive(); }
    static constexpr int kDefaultSliceRows = 1 << 20;
    void setSliceRows(int rows) { m_sliceRows = std::max(1, rows); }

Q_SIGNALS:
    // The rows that were announced in slices are all shown now.
    void caughtUp();

private:
    void announceSlice();

    const TLogStore& m_store;
    int m_shownRows = 0;
    int m_sliceRows = kDefaultSliceRows;
    QTimer m_catchUp;
};

} // namespace varnetta::log

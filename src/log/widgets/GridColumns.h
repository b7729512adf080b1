// Widths of the log grid's columns that fit, in the grid's own font, the
// column's title and the widest text the column can hold from the meter
// (record numbers of eight digits, the whole time stamp, every function name
// and unit, a signed value of the meter's six characters), never narrower
// than the design widths.
#pragma once

#include <QByteArray>
#include <QList>

class QTableView;

namespace varnetta::log {

[[nodiscard]] QList<int> ReadableColumnWidths(const QTableView& grid, const QByteArray& decimalSeparator,
                                              char timeSeparator);

// The grid's widths as the settings file keeps them ("36,45,..."), and back;
// a text that is not one width per column, each within reason, reads as
// nothing.
[[nodiscard]] QString ColumnWidthsText(const QList<int>& widths);
[[nodiscard]] QList<int> ColumnWidthsFromText(const QString& text);

inline constexpr int kMinUserColumnWidth = 8;
inline constexpr int kMaxUserColumnWidth = 4000;

} // namespace varnetta::log

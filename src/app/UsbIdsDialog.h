// Connection > USB Ids...: the vendor and product ids of the bridges the
// program looks for, for a meter whose bridge carries its maker's ids.
#pragma once

#include "link/UsbIds.h"

#include <QDialog>

#include <optional>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace varnetta::app {

class TUsbIdsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TUsbIdsDialog(const link::TUsbIds& ids, QWidget* parent = nullptr);

    // The ids as entered; empty while the text does not read as ids.
    [[nodiscard]] std::optional<link::TUsbIds> ids() const;

    // Where the window keeps the choice between runs.
    [[nodiscard]] static link::TUsbIds Load();
    static void Save(const link::TUsbIds& ids);

private:
    void textChanged();

    QLineEdit* edtUsbIds = nullptr;
    QLabel* lblUsbIdsError = nullptr;
    QDialogButtonBox* buttons = nullptr;
};

} // namespace varnetta::app

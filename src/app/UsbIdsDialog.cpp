#include "UsbIdsDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace varnetta::app {

namespace {
const char* const kSettingsKey = "connection/usbIds";

QSettings settings()
{
    return QSettings(QStringLiteral("Varnetta"), QStringLiteral("varnetta"));
}
} // namespace

TUsbIdsDialog::TUsbIdsDialog(const link::TUsbIds& ids, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgUsbIds"));
    setWindowTitle(QStringLiteral("USB Ids"));
    auto* column = new QVBoxLayout(this);

    auto* caption = new QLabel(QStringLiteral("&Bridge ids (vendor:product, hex):"), this);
    edtUsbIds = new QLineEdit(link::UsbIdsText(ids), this);
    edtUsbIds->setObjectName(QStringLiteral("edtUsbIds"));
    caption->setBuddy(edtUsbIds);
    edtUsbIds->setAccessibleName(QStringLiteral("Bridge ids"));
    edtUsbIds->setToolTip(QStringLiteral("Pairs such as 10c4:ea80, separated by commas. The default, "
                                         "10c4:ea80,10c4:eab0, finds CP2110 and CP2114 bridges with the "
                                         "chip maker's ids; a meter maker may have programmed its own."));
    auto* note = new QLabel(QStringLiteral("A bridge with other ids also needs them in the udev rule; "
                                           "the README section \"Using a real meter\" says how."),
                            this);
    note->setWordWrap(true);
    lblUsbIdsError = new QLabel(this);
    lblUsbIdsError->setObjectName(QStringLiteral("lblUsbIdsError"));
    lblUsbIdsError->setWordWrap(true);
    // Room for a two-line reason from the start, so showing one moves nothing.
    lblUsbIdsError->setMinimumHeight(2 * lblUsbIdsError->fontMetrics().lineSpacing());
    edtUsbIds->setMinimumWidth(edtUsbIds->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 48);

    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                       QDialogButtonBox::RestoreDefaults,
                                   this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this,
            [this] { edtUsbIds->setText(link::UsbIdsText(link::DefaultUsbIds())); });
    connect(edtUsbIds, &QLineEdit::textChanged, this, &TUsbIdsDialog::textChanged);

    column->addWidget(caption);
    column->addWidget(edtUsbIds);
    column->addWidget(note);
    column->addWidget(lblUsbIdsError);
    column->addWidget(buttons);
    textChanged();
}

std::optional<link::TUsbIds> TUsbIdsDialog::ids() const
{
    QString error;
    return link::ParseUsbIds(edtUsbIds->text(), error);
}

void TUsbIdsDialog::textChanged()
{
    QString error;
    const bool valid = link::ParseUsbIds(edtUsbIds->text(), error).has_value();
    lblUsbIdsError->setText(valid ? QString() : error);
    // The reason is also the edit's description, so a screen reader says it.
    edtUsbIds->setAccessibleDescription(valid ? QString() : error);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(valid);
}

link::TUsbIds TUsbIdsDialog::Load()
{
    QString error;
    const QString text = settings().value(QString::fromLatin1(kSettingsKey)).toString();
    // A missing or damaged entry falls back to the family's own ids.
    return link::ParseUsbIds(text, error).value_or(link::DefaultUsbIds());
}

void TUsbIdsDialog::Save(const link::TUsbIds& ids)
{
    QSettings s = settings();
    if (ids == link::DefaultUsbIds())
        s.remove(QString::fromLatin1(kSettingsKey));
    else
        s.setValue(QString::fromLatin1(kSettingsKey), link::UsbIdsText(ids));
}

} // namespace varnetta::app

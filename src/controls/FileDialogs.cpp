#include "FileDialogs.h"

#include "UserSettings.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace varnetta::app {

namespace {

TFileDialogs::THook& hook()
{
    static TFileDialogs::THook h;
    return h;
}

QString settingsKey(TFileKind kind)
{
    switch (kind) {
    case TFileKind::Log:
        return QStringLiteral("folders/log");
    case TFileKind::ChartPicture:
        return QStringLiteral("folders/chartPicture");
    }
    return QStringLiteral("folders/other");
}

QString namePart(TFileKind kind)
{
    return kind == TFileKind::ChartPicture ? QStringLiteral("chart") : QStringLiteral("log");
}

void prepare(QFileDialog& dialog, const TFileDialogRequest& request)
{
    dialog.setObjectName(request.objectName);
    dialog.setWindowTitle(request.caption);
    dialog.setNameFilters(request.nameFilters);
    if (!request.nameFilters.isEmpty())
        dialog.selectNameFilter(request.nameFilters.constFirst());
    dialog.setDirectory(TFileDialogs::startFolder(request.kind));
}

} // namespace

QString TFileDialogs::startFolder(TFileKind kind)
{
    const QString remembered = OpenUserSettings()->value(settingsKey(kind)).toString();
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir())
        return remembered;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
}

void TFileDialogs::rememberFolder(TFileKind kind, const QString& chosenFile)
{
    if (chosenFile.isEmpty())
        return;
    OpenUserSettings()->setValue(settingsKey(kind), QFileInfo(chosenFile).absolutePath());
}

QString TFileDialogs::suggestedBaseName(TFileKind kind, const QDateTime& when)
{
    return QStringLiteral("varnetta-%1-%2").arg(namePart(kind), when.toString(QStringLiteral("yyyy-MM-dd-HH-mm-ss")));
}

QString TFileDialogs::filterSuffix(const QString& nameFilter)
{
    static const QRegularExpression firstPattern(QStringLiteral("\\*\\.([A-Za-z0-9]+)"));
    const QRegularExpressionMatch match = firstPattern.match(nameFilter);
    return match.hasMatch() ? match.captured(1) : QString();
}

TFileDialogs::THook TFileDialogs::setHook(THook h)
{
    return std::exchange(hook(), std::move(h));
}

QString TFileDialogs::run(QFileDialog& dialog, TFileKind kind)
{
    QString chosen;
    if (hook())
        chosen = hook()(dialog);
    else if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        chosen = dialog.selectedFiles().constFirst();
    rememberFolder(kind, chosen);
    return chosen;
}

QString TFileDialogs::getOpenFileName(QWidget* parent, const TFileDialogRequest& request)
{
    QFileDialog dialog(parent);
    prepare(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return run(dialog, request.kind);
}

QString TFileDialogs::getSaveFileName(QWidget* parent, const TFileDialogRequest& request)
{
    QFileDialog dialog(parent);
    prepare(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setDefaultSuffix(request.defaultSuffix);
    const QString base = suggestedBaseName(request.kind, QDateTime::currentDateTime());
    const QString firstSuffix =
        request.nameFilters.isEmpty() ? request.defaultSuffix : filterSuffix(request.nameFilters.constFirst());
    dialog.selectFile(firstSuffix.isEmpty() ? base : base + QLatin1Char('.') + firstSuffix);
    // Picking another form changes the extension of the name in the dialog
    // with it, whether the name is the one suggested or one typed.
    QStringList suffixes;
    for (const QString& filter : request.nameFilters)
        suffixes << filterSuffix(filter);
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, base, suffixes](const QString& filter) {
                         const QString suffix = filterSuffix(filter);
                         if (suffix.isEmpty())
                             return;
                         dialog.setDefaultSuffix(suffix);
                         QString name = QFileInfo(dialog.selectedFiles().value(0)).fileName();
                         if (name.isEmpty())
                             name = base;
                         const QString old = QFileInfo(name).suffix();
                         if (!old.isEmpty() && suffixes.contains(old, Qt::CaseInsensitive))
                             name.chop(old.size() + 1);
                         dialog.selectFile(name + QLatin1Char('.') + suffix);
                     });
    return run(dialog, request.kind);
}

} // namespace varnetta::app

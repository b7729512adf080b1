// Open and save dialogs as a person expects them on a desktop: each kind of
// file starts in the folder last used for that kind (remembered across runs),
// a save dialog suggests a name with the date and time, and the suggested
// name's extension follows the filter the user picks.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

class QFileDialog;
class QWidget;

namespace varnetta::app {

enum class TFileKind
{
    Log,
    ChartPicture,
};

struct TFileDialogRequest
{
    TFileKind kind = TFileKind::Log;
    QString objectName;
    QString caption;
    QStringList nameFilters;  // "Title (*.ext)" each; the first is selected
    QString defaultSuffix;    // save only: added to a name typed without one
};

class TFileDialogs
{
public:
    // The folder a dialog for this kind starts in: the one last used while it
    // still exists, else the user's documents folder, else the home folder.
    [[nodiscard]] static QString startFolder(TFileKind kind);
    // Remembers the folder of a chosen file for the next dialog of its kind.
    static void rememberFolder(TFileKind kind, const QString& chosenFile);
    // "varnetta-log-2024-03-01-14-05-09", without extension.
    [[nodiscard]] static QString suggestedBaseName(TFileKind kind, const QDateTime& when);
    // The extension of the first pattern of a filter: "xml" for "XML File(*.xml)".
    [[nodiscard]] static QString filterSuffix(const QString& nameFilter);

    // Empty when the user cancelled.
    [[nodiscard]] static QString getOpenFileName(QWidget* parent, const TFileDialogRequest& request);
    [[nodiscard]] static QString getSaveFileName(QWidget* parent, const TFileDialogRequest& request);

    // Tests replace the dialog's exec: the hook gets the dialog as prepared
    // and returns the file chosen (empty: cancelled). Returns the previous hook.
    using THook = std::function<QString(QFileDialog& dialog)>;
    static THook setHook(THook hook);

private:
    static QString run(QFileDialog& dialog, TFileKind kind);
};

} // namespace varnetta::app

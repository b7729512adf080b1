// The open and save dialogs: folders remembered per kind of file across
// runs, a dated name suggested, the extension following the chosen form.
#include "controls/FileDialogs.h"
#include "controls/UserSettings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace varnetta::app;

namespace {

class FileDialogs : public ::testing::Test
{
protected:
    FileDialogs()
    {
        OpenUserSettings()->remove(QStringLiteral("folders"));
        previous = TFileDialogs::setHook([this](QFileDialog& dialog) {
            ++shown;
            folder = dialog.directory().absolutePath();
            filters = dialog.nameFilters();
            selectedFilter = dialog.selectedNameFilter();
            suggested = dialog.selectedFiles().value(0);
            if (onShown)
                onShown(dialog);
            return answer;
        });
    }
    ~FileDialogs() override
    {
        TFileDialogs::setHook(previous);
        OpenUserSettings()->remove(QStringLiteral("folders"));
    }

    static TFileDialogRequest logSave()
    {
        TFileDialogRequest r;
        r.kind = TFileKind::Log;
        r.nameFilters = {QStringLiteral("Excel File(*.xls)"), QStringLiteral("XML File(*.xml)"),
                         QStringLiteral("Txt File(*.txt)")};
        r.defaultSuffix = QStringLiteral("xls");
        return r;
    }

    QTemporaryDir dir;
    TFileDialogs::THook previous;
    std::function<void(QFileDialog&)> onShown;
    QString answer;
    int shown = 0;
    QString folder;
    QStringList filters;
    QString selectedFilter;
    QString suggested;
};

} // namespace

TEST_F(FileDialogs, FirstDialogStartsInDocumentsOrHomeThenInTheFolderLastChosenForItsKind)
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString fallback = QFileInfo(documents).isDir() ? documents : QDir::homePath();
    EXPECT_EQ(TFileDialogs::startFolder(TFileKind::Log), fallback);

    QDir(dir.path()).mkdir(QStringLiteral("logs"));
    answer = dir.filePath(QStringLiteral("logs/day.xls"));
    EXPECT_EQ(TFileDialogs::getSaveFileName(nullptr, logSave()), answer);

    // The next log dialog, open or save, starts there; a chart picture does not.
    TFileDialogRequest open;
    open.kind = TFileKind::Log;
    answer.clear(); // cancelled: nothing new remembered
    EXPECT_TRUE(TFileDialogs::getOpenFileName(nullptr, open).isEmpty());
    EXPECT_EQ(folder, QDir(dir.filePath(QStringLiteral("logs"))).absolutePath());
    EXPECT_EQ(TFileDialogs::startFolder(TFileKind::ChartPicture), fallback);

    // Across runs: a fresh settings object reads the same folder.
    EXPECT_EQ(OpenUserSettings()->value(QStringLiteral("folders/log")).toString(),
              QDir(dir.filePath(QStringLiteral("logs"))).absolutePath());
}

TEST_F(FileDialogs, ARememberedFolderThatIsGoneFallsBackInsteadOfFailing)
{
    QDir(dir.path()).mkdir(QStringLiteral("gone"));
    TFileDialogs::rememberFolder(TFileKind::Log, dir.filePath(QStringLiteral("gone/x.xml")));
    EXPECT_EQ(TFileDialogs::startFolder(TFileKind::Log), dir.filePath(QStringLiteral("gone")));
    QDir(dir.filePath(QStringLiteral("gone"))).removeRecursively();
    EXPECT_NE(TFileDialogs::startFolder(TFileKind::Log), dir.filePath(QStringLiteral("gone")));
    EXPECT_TRUE(QFileInfo(TFileDialogs::startFolder(TFileKind::Log)).isDir());
}

TEST_F(FileDialogs, SaveSuggestsADatedNameInTheFirstFormAndOpenOffersEveryFormFirst)
{
    TFileDialogs::getSaveFileName(nullptr, logSave());
    EXPECT_EQ(shown, 1);
    const QString name = QFileInfo(suggested).fileName();
    EXPECT_TRUE(name.startsWith(QStringLiteral("varnetta-log-20"))) << name.toStdString();
    EXPECT_TRUE(name.endsWith(QStringLiteral(".xls"))) << name.toStdString();
    EXPECT_EQ(selectedFilter, QStringLiteral("Excel File(*.xls)"));
    EXPECT_EQ(TFileDialogs::suggestedBaseName(TFileKind::ChartPicture,
                                              QDateTime(QDate(2024, 3, 1), QTime(14, 5, 9))),
              QStringLiteral("varnetta-chart-2024-03-01-14-05-09"));
    EXPECT_EQ(TFileDialogs::filterSuffix(QStringLiteral("XML File(*.xml)")), QStringLiteral("xml"));
    EXPECT_EQ(TFileDialogs::filterSuffix(QStringLiteral("All log files (*.xls *.xml *.txt)")),
              QStringLiteral("xls"));
}

TEST_F(FileDialogs, ChoosingAnotherFormChangesTheExtensionOfTheNameInTheDialog)
{
    QString afterXml;
    QString typedAfterTxt;
    onShown = [&](QFileDialog& dialog) {
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.selectNameFilter(QStringLiteral("XML File(*.xml)"));
        Q_EMIT dialog.filterSelected(QStringLiteral("XML File(*.xml)"));
        afterXml = QFileInfo(dialog.selectedFiles().value(0)).fileName();
        // A name the user typed keeps its stem.
        dialog.selectFile(QStringLiteral("mine.xml"));
        Q_EMIT dialog.filterSelected(QStringLiteral("Txt File(*.txt)"));
        typedAfterTxt = QFileInfo(dialog.selectedFiles().value(0)).fileName();
    };
    TFileDialogs::getSaveFileName(nullptr, logSave());
    EXPECT_TRUE(afterXml.startsWith(QStringLiteral("varnetta-log-"))) << afterXml.toStdString();
    EXPECT_TRUE(afterXml.endsWith(QStringLiteral(".xml"))) << afterXml.toStdString();
    EXPECT_EQ(typedAfterTxt, QStringLiteral("mine.txt"));
}

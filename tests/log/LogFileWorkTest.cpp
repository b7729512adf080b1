// Loads and saves while the log goes on: the work runs beside the window,
// rows recorded meanwhile are kept, Cancel and failures leave the table as
// it was and the controls usable, and the recovery journal follows the
// unsaved rows.
#include "controls/NewMsgDlg.h"
#include "log/LogChartSink.h"
#include "log/LogFiles.h"
#include "log/LogJournal.h"
#include "log/widgets/uLogPanel.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <atomic>
#include <new>

using namespace varnetta;
using namespace varnetta::log;

namespace {

class TChartCount : public ILogChartSink
{
public:
    void AddValues(const QList<double>& values, const QList<Qt::GlobalColor>&) override
    {
        mains.append(values.value(1));
    }
    void Clear() override { mains.clear(); }
    QList<double> mains;
};

protocol::TReading reading(const QByteArray& value)
{
    protocol::TReading r;
    r.FunMode = protocol::fmPWRP;
    r.Value = value;
    r.Unit = "kW";
    r.SubValue1 = "230.1";
    r.SubUnit1 = "V";
    r.SubValue2 = "5.00";
    r.SubUnit2 = "A";
    return r;
}

// A text log of `rows` rows numbered from `first`, value = number.
QByteArray textLog(int first, int rows)
{
    TLogStore s;
    for (int i = 0; i < rows; ++i) {
        TLogRow r;
        r.ANo = first + i;
        r.setText(fATime, "10:00:00(2024-03-01)");
        r.setText(fAFunction, "FRQ");
        r.setText(fAValue, QByteArray::number(first + i));
        r.setText(fAUnit, "Hz");
        s.appendRow(r);
    }
    return TextLog(s);
}

class FileWork : public ::testing::Test
{
protected:
    FileWork()
    {
        panel.buildRecordMenu(&menu);
        panel.recorder().setChartSink(&chart);
        panel.setLivePace(0); // every row reaches the grid at once: the tests look right after
        panel.recorder().setClock([] { return QDateTime(QDate(2024, 3, 1), QTime(9, 0, 0)); });
        m_previousDialog =
            app::SetMsgDlgHook([this](const QString& msg, app::TMsgDlgType, app::TMsgDlgButtons) {
                messages.append(msg);
                return answer;
            });
        m_previousPlain = SetPlainMessageHook([this](const QString& msg) { messages.append(msg); });
    }
    ~FileWork() override
    {
        SetFileWorkHook(nullptr);
        app::SetMsgDlgHook(m_previousDialog);
        SetPlainMessageHook(m_previousPlain);
    }

    void record(int n, const QByteArray& value = "1.5")
    {
        for (int i = 0; i < n; ++i)
            panel.recorder().AppendLogRow(reading(value), false);
    }
    QString write(const char* name, const QByteArray& bytes)
    {
        QFile f(dir.filePath(QLatin1String(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }
    QByteArray column(int field)
    {
        QByteArray out;
        for (qsizetype r = 0; r < panel.store().rowCount(); ++r)
            out += panel.store().fieldText(r, field) + ' ';
        return out.trimmed();
    }
    void expectControlsUsable()
    {
        for (const char* name : {"btnRecordNew", "btnRecordOpen", "btnRecordSave"})
            EXPECT_TRUE(panel.findChild<QToolButton*>(QLatin1String(name))->isEnabled()) << name;
        for (const char* name : {"mniNew1", "mniSave1"})
            EXPECT_TRUE(menu.findChild<QAction*>(QLatin1String(name))->isEnabled()) << name;
        EXPECT_FALSE(panel.busy());
        EXPECT_FALSE(panel.recorder().rowsHeld());
    }

    QMenu menu;
    TLogPanel panel;
    TChartCount chart;
    QTemporaryDir dir;
    QStringList messages;
    int answer = app::mrYes;

private:
    app::TMsgDlgHook m_previousDialog;
    TPlainMessageHook m_previousPlain;
};

// Runs `during` on the user-interface thread while the work waits at its
// start, then lets the work go on.
struct TPausedWork
{
    explicit TPausedWork(std::function<void()> during)
    {
        SetFileWorkHook([this](qint64 done) {
            if (done != 0 || started.exchange(true))
                return;
            while (!release.load())
                QThread::msleep(1);
        });
        QTimer::singleShot(0, [this, during] {
            QTRY_VERIFY(started.load());
            during();
            release.store(true);
        });
    }
    ~TPausedWork() { SetFileWorkHook(nullptr); }
    std::atomic<bool> started{false};
    std::atomic<bool> release{false};
};

} // namespace

// ---- rows that arrive while a file is read or written

TEST_F(FileWork, TextOpenIntoAFullTableKeepsRowsRecordedMeanwhileAfterTheFilesRows)
{
    record(3, "1");
    const QString file = write("more.xls", textLog(100, 4));
    bool sawButtonsOff = false;
    TPausedWork paused([&] {
        sawButtonsOff = !panel.findChild<QToolButton*>(QStringLiteral("btnRecordOpen"))->isEnabled();
        // The table does not change while the file is read; the chart does.
        record(2, "2");
        EXPECT_EQ(panel.store().rowCount(), 3);
        EXPECT_EQ(chart.mains.size(), 5);
    });
    EXPECT_TRUE(panel.LoadLogFile(file, false));
    EXPECT_TRUE(sawButtonsOff);
    EXPECT_EQ(column(fANo), "1 2 3 100 101 102 103 8 9");
    EXPECT_EQ(column(fAValue), "1 1 1 100 101 102 103 2 2");
    EXPECT_EQ(panel.model().rowCount(), 9);
    EXPECT_EQ(panel.grid()->currentIndex().row(), 8);
    EXPECT_EQ(chart.mains.size(), 5);
    EXPECT_TRUE(messages.isEmpty());
    expectControlsUsable();
}

TEST_F(FileWork, XmlOpenReplacesTheTableAndRowsRecordedMeanwhileFollowTheFilesRows)
{
    record(2, "7");
    const QString file = dir.filePath("a.xml");
    ASSERT_TRUE(panel.SaveLogFile(file));
    record(5, "8");
    messages.clear();
    TPausedWork paused([&] { record(1, "9"); });
    EXPECT_TRUE(panel.LoadLogFile(file, false));
    EXPECT_EQ(column(fAValue), "7 7 9");
    EXPECT_EQ(column(fANo), "1 2 3");
    EXPECT_EQ(panel.store().changeLogSize(), 3);
    EXPECT_EQ(panel.model().rowCount(), 3);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(FileWork, RowsRecordedWhileSavingAreNotInTheFileButInTheTable)
{
    record(3);
    const QString file = dir.filePath("s.xls");
    TPausedWork paused([&] { record(2); });
    EXPECT_TRUE(panel.SaveLogFile(file));
    TLogStore saved;
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    ASSERT_TRUE(ReadTextLog(f, saved));
    EXPECT_EQ(saved.rowCount(), 3);
    EXPECT_EQ(panel.store().rowCount(), 5);
    EXPECT_EQ(panel.unsavedRows(), 2);
}

// ---- Cancel

TEST_F(FileWork, CancelLeavesTheTableAsItWasWithRowsRecordedMeanwhile)
{
    record(3, "1");
    const QByteArray before = XmlPacket(panel.store());
    const QString text = write("big.xls", textLog(1, 300000));
    const QString xml = dir.filePath("big.xml");
    {
        TLogStore big;
        QFile in(text);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        ASSERT_TRUE(ReadTextLog(in, big));
        QFile out(xml);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        ASSERT_TRUE(WriteXmlPacket(big, out));
    }
    for (const QString& file : {text, xml}) {
        // The work waits until the progress dialog has shown and its Cancel
        // was pressed; a row is recorded meanwhile.
        std::atomic<bool> cancelled{false};
        SetFileWorkHook([&](qint64) {
            while (!cancelled.load())
                QThread::msleep(1);
        });
        QTimer::singleShot(0, [&] {
            record(1, "5");
            QProgressDialog* dialog = nullptr;
            QTRY_VERIFY(
                (dialog = panel.window()->findChild<QProgressDialog*>(QStringLiteral("dlgLogProgress"))));
            EXPECT_TRUE(dialog->labelText().contains(QStringLiteral("Loading")));
            QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
            cancelled.store(true);
        });
        EXPECT_FALSE(panel.LoadLogFile(file, false)) << file.toStdString();
        SetFileWorkHook(nullptr);
        // The table as it was, then the row recorded during the load.
        ASSERT_EQ(panel.store().rowCount(), 4) << file.toStdString();
        EXPECT_EQ(panel.store().fieldText(3, fAValue), "5");
        EXPECT_EQ(panel.store().ANo(3), 4);
        panel.recorder().Clear();
        record(3, "1");
        EXPECT_EQ(XmlPacket(panel.store()), before);
        EXPECT_TRUE(messages.isEmpty()); // the user asked for it: no message
        expectControlsUsable();
    }
}

// ---- failures: a clear message, the table as it was, the controls usable

TEST_F(FileWork, AFailureInsideALoadLeavesTheTableAndControlsAsTheyWere)
{
    record(3);
    const QByteArray before = XmlPacket(panel.store());
    const QString text = write("ok.xls", textLog(1, 5));
    const QString xml = dir.filePath("ok.xml");
    ASSERT_TRUE(panel.SaveLogFile(xml));
    messages.clear();
    for (const QString& file : {text, xml}) {
        SetFileWorkHook([](qint64) { throw std::bad_alloc(); });
        EXPECT_FALSE(panel.LoadLogFile(file, false));
        EXPECT_EQ(messages, QStringList{"Failed to Load File!"});
        EXPECT_EQ(XmlPacket(panel.store()), before);
        expectControlsUsable();
        messages.clear();
        // And the next load works.
        SetFileWorkHook(nullptr);
        EXPECT_TRUE(panel.LoadLogFile(file, false));
        panel.recorder().Clear();
        record(3);
    }
}

TEST_F(FileWork, AFailureInsideASaveKeepsTheOldFileAndTheUnsavedRows)
{
    const QString xml = write("old.xml", "old xml");
    const QString txt = write("old.txt", "old text");
    record(4);
    SetFileWorkHook([](qint64) { throw std::runtime_error("disk on fire"); });
    EXPECT_FALSE(panel.SaveLogFile(xml));
    EXPECT_FALSE(panel.SaveLogFile(txt));
    SetFileWorkHook(nullptr);
    QFile a(xml), b(txt);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), "old xml");
    EXPECT_EQ(b.readAll(), "old text");
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].contains(xml) && messages[0].contains("disk on fire"))
        << messages[0].toStdString();
    EXPECT_EQ(messages[1], "Could not save table to specified file: " + txt);
    EXPECT_EQ(panel.unsavedRows(), 4);
    expectControlsUsable();
    EXPECT_TRUE(panel.SaveLogFile(txt));
    EXPECT_EQ(panel.unsavedRows(), 0);
}

// ---- unsaved rows and the recovery journal

TEST_F(FileWork, TheJournalHoldsExactlyTheUnsavedRecordedRows)
{
    panel.setJournalFolder(dir.filePath("journal"));
    ASSERT_TRUE(panel.journal() && panel.journal()->active());
    const QString journal = panel.journal()->filePath();
    const auto journalRows = [&] {
        TLogStore s;
        QFile f(journal);
        if (f.open(QIODevice::ReadOnly))
            (void)ReadTextLog(f, s);
        return s.rowCount();
    };
    // Rows are on disk as soon as they are recorded, the file still open.
    record(3);
    EXPECT_EQ(journalRows(), 3);
    EXPECT_EQ(panel.unsavedRows(), 3);
    // Rows from a text file are in that file already: not journalled.
    ASSERT_TRUE(panel.LoadLogFile(write("t.xls", textLog(1, 2)), false));
    EXPECT_EQ(journalRows(), 3);
    EXPECT_EQ(panel.unsavedRows(), 3);
    // A save makes them safe: the journal goes, the next row starts a new one.
    ASSERT_TRUE(panel.SaveLogFile(dir.filePath("saved.xml")));
    EXPECT_FALSE(QFile::exists(journal));
    EXPECT_EQ(panel.unsavedRows(), 0);
    record(1);
    EXPECT_EQ(journalRows(), 1);
    // Clearing gives them up.
    panel.btnRecordNewClick();
    EXPECT_FALSE(QFile::exists(journal));
    EXPECT_EQ(panel.unsavedRows(), 0);
    record(2);
    // A clean end removes it and writes no more.
    panel.closeJournal();
    EXPECT_FALSE(QFile::exists(journal));
    record(1);
    EXPECT_FALSE(QFile::exists(journal));
}

TEST_F(FileWork, AJournalLeftBehindIsOfferedAndRestoredOrDropped)
{
    const QString folder = dir.filePath("journal");
    {
        // A run that never ended cleanly: its journal stays.
        TLogPanel crashed;
        crashed.setJournalFolder(folder);
        crashed.recorder().setClock([] { return QDateTime(QDate(2024, 3, 1), QTime(14, 5, 9)); });
        for (int i = 0; i < 4; ++i)
            crashed.recorder().AppendLogRow(reading("3.25"), false);
    }
    panel.setJournalFolder(folder);
    answer = app::mrYes;
    EXPECT_EQ(panel.offerRestore(), 4);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("4 recorded rows")) << messages[0].toStdString();
    EXPECT_EQ(column(fAValue), "3.25 3.25 3.25 3.25");
    EXPECT_EQ(panel.store().fieldText(3, fATime), "14:05:09(2024-03-01)");
    EXPECT_EQ(panel.unsavedRows(), 4);
    // New rows follow the restored ones in the same journal.
    record(1, "6");
    panel.setJournalFolder(QString()); // this run "crashes" too
    TLogPanel third;
    third.setJournalFolder(folder);
    answer = app::mrNo;
    EXPECT_EQ(third.offerRestore(), 0);
    EXPECT_EQ(third.store().rowCount(), 0);
    // Declined: the journal is gone, nothing is offered again.
    TLogPanel fourth;
    fourth.setJournalFolder(folder);
    EXPECT_EQ(fourth.offerRestore(), 0);
    EXPECT_EQ(messages.size(), 2);
}

TEST(LogJournalLock, ASecondRunningCopyKeepsNoJournalOfItsOwnThere)
{
    QTemporaryDir dir;
    TLogJournal first(dir.path());
    TLogJournal second(dir.path());
    EXPECT_TRUE(first.active());
    EXPECT_FALSE(second.active());
    TLogStore s;
    TLogRow r;
    r.ANo = 1;
    s.appendRow(r);
    EXPECT_TRUE(first.append(s, 0, 1));
    EXPECT_TRUE(second.append(s, 0, 1)); // does nothing
    TLogStore back;
    EXPECT_FALSE(second.readLeftover(back));
}

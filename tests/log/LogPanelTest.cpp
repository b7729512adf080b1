// Recording, the log toolbar and the log files as the window uses them.
#include "controls/CControls.h"
#include "controls/FileDialogs.h"
#include "controls/NewMsgDlg.h"
#include "controls/UserSettings.h"
#include "log/widgets/GridColumns.h"
#include "log/LogChartSink.h"
#include "log/LogFiles.h"
#include "log/widgets/uLogPanel.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QToolButton>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QAbstractItemModelTester>
#include <QTest>

#include <cmath>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

using namespace varnetta;
using namespace varnetta::log;

namespace {

class TChartDouble : public ILogChartSink
{
public:
    void AddValues(const QList<double>& values, const QList<Qt::GlobalColor>& colors) override
    {
        points.append(values);
        lastColors = colors;
    }
    void Clear() override { ++clears; }
    QList<QList<double>> points;
    QList<Qt::GlobalColor> lastColors;
    int clears = 0;
};

protocol::TReading reading(const char* value = "-0,123")
{
    protocol::TReading r;
    r.FunMode = protocol::fmPWRP;
    r.Value = value;
    r.Unit = "kW";
    r.SubValue1 = "230,1";
    r.SubUnit1 = "V";
    r.SubValue2 = "5,00";
    r.SubUnit2 = "A";
    return r;
}

struct Dialogs
{
    Dialogs()
    {
        previous = app::SetMsgDlgHook([this](const QString& msg, app::TMsgDlgType type, app::TMsgDlgButtons) {
            messages.append(msg);
            types.append(type);
            return answer;
        });
        previousPlain = SetPlainMessageHook([this](const QString& msg) { plain.append(msg); });
    }
    ~Dialogs()
    {
        app::SetMsgDlgHook(previous);
        SetPlainMessageHook(previousPlain);
    }
    int answer = app::mrYes;
    QStringList messages;
    QList<app::TMsgDlgType> types;
    QStringList plain;
    app::TMsgDlgHook previous;
    TPlainMessageHook previousPlain;
};

class LogPanel : public ::testing::Test
{
protected:
    LogPanel()
    {
        panel.buildRecordMenu(&menu);
        panel.recorder().setChartSink(&chart);
        panel.setLivePace(0); // every row reaches the grid at once: the tests look right after
        panel.recorder().setDecimalSeparator(",");
        panel.recorder().setClock([] { return QDateTime(QDate(2024, 3, 1), QTime(14, 5, 9)); });
    }
    QAction* item(const char* name) { return menu.findChild<QAction*>(QLatin1String(name)); }
    void fill(int rows)
    {
        for (int i = 0; i < rows; ++i)
            panel.recorder().AppendLogRow(reading(), false);
    }
    // A file size limit makes every write past it fail, as a full disk does.
    void saveWithFileSizeLimit(rlim_t bytes, const QStringList& names)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = bytes;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        for (const QString& name : names)
            panel.SaveLogFile(name);
        setrlimit(RLIMIT_FSIZE, &old);
    }
    QByteArray fileBytes(const QString& name)
    {
        QFile f(name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QMenu menu;
    TLogPanel panel;
    TChartDouble chart;
    Dialogs dialogs;
    QTemporaryDir dir;
};

} // namespace

// ---- recording

TEST_F(LogPanel, RecordedRowCarriesStampFunctionTextsAndReachesTheChart)
{
    panel.recorder().AppendLogRow(reading(), false);
    panel.recorder().AppendLogRow(reading("OL"), true);
    const TLogStore& s = panel.store();
    ASSERT_EQ(s.rowCount(), 2);
    EXPECT_EQ(s.fieldText(0, fATime), "14:05:09(2024-03-01)");
    EXPECT_EQ(s.fieldText(0, fAFunction), "PWRP");
    EXPECT_EQ(s.fieldText(0, fAValue), "-0,123");
    EXPECT_EQ(s.rowState(0), kRowStateInserted);
    EXPECT_TRUE(s.isNull(1, fATime));
    EXPECT_EQ(s.ANo(1), 2);
    EXPECT_EQ(s.changeLogSize(), 2);
    ASSERT_EQ(chart.points.size(), 2);
    EXPECT_EQ(chart.points[0], (QList<double>{0.0, -0.123, 230.1, 5.0}));
    EXPECT_TRUE(std::isnan(chart.points[1][1])); // no number: drawn at 0, left out of a fit
    EXPECT_EQ(chart.lastColors, (QList<Qt::GlobalColor>{Qt::blue, Qt::red, Qt::blue, Qt::green}));
    EXPECT_EQ(panel.grid()->currentIndex().row(), 1); // the grid follows the new row
}

TEST_F(LogPanel, ALoneLiveRowReachesTheGridAtOnceAndTheRowsOfABurstTogether)
{
    panel.setLivePace(TLogPanel::kDefaultLivePaceMs);
    fill(1);
    EXPECT_EQ(panel.model().rowCount(), 1);
    EXPECT_EQ(panel.grid()->currentIndex().row(), 0);

    fill(3); // right behind it: stored at once, shown together a moment later
    EXPECT_EQ(panel.store().rowCount(), 4);
    EXPECT_EQ(panel.model().rowCount(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel.model().rowCount() == 4; }, 2000));
    EXPECT_EQ(panel.grid()->currentIndex().row(), 3);
    EXPECT_EQ(chart.points.size(), 4); // the chart is not held back
}

TEST_F(LogPanel, RecordLimitStopsWithoutAMessageAndARaisedLimitContinuesNumbering)
{
    item("mniN10001")->trigger();
    fill(1001);
    EXPECT_EQ(panel.store().rowCount(), 1000);
    EXPECT_EQ(chart.points.size(), 1000);
    EXPECT_TRUE(dialogs.messages.isEmpty());

    item("mniN50001")->trigger();
    EXPECT_TRUE(item("mniN50001")->isChecked());
    EXPECT_FALSE(item("mniN10001")->isChecked());
    EXPECT_FALSE(item("mniN100001")->isChecked());
    fill(1);
    EXPECT_EQ(panel.store().ANo(1000), 1001);

    // A limit below the row count keeps every row and appends no more.
    item("mniN10001")->trigger();
    fill(1);
    EXPECT_EQ(panel.store().rowCount(), 1001);
}

TEST_F(LogPanel, LimitItemsStartAtTenThousandAndUnlimitedIsBounded)
{
    EXPECT_TRUE(item("mniN100001")->isChecked());
    EXPECT_EQ(panel.recorder().recordLimit(), 10000);
    item("mnilimitess")->trigger();
    EXPECT_EQ(panel.recorder().recordLimit(), 9999999);
    EXPECT_EQ(menu.actions().size(), 11); // Clear, Save, separator, six limits, separator, Statistics...
    EXPECT_EQ(menu.actions().at(8)->objectName(), "mnilimitess");
}

TEST_F(LogPanel, PauseIgnoresReadingsAndTicksButNotMemoryRecords)
{
    auto* pause = panel.findChild<QPushButton*>("btnPause");
    QSignalSpy pausedSpy(&panel.recorder(), &TLogRecorder::logPausedChanged);
    QSignalSpy resumed(&panel, &TLogPanel::logResumed);
    pause->click();
    EXPECT_TRUE(panel.recorder().logPaused());
    EXPECT_EQ(pause->text(), "Log Data Mode Disabled");
    panel.recorder().readingDecoded(reading());
    panel.recorder().AppendLogRow(reading(), true);
    EXPECT_EQ(panel.store().rowCount(), 1);

    pause->click();
    EXPECT_FALSE(panel.recorder().logPaused());
    EXPECT_EQ(pause->text(), "Log Data Mode Enabled");
    EXPECT_EQ(pausedSpy.size(), 2);
    EXPECT_EQ(resumed.size(), 1);
    panel.recorder().readingDecoded(reading());
    EXPECT_EQ(panel.store().rowCount(), 2);
}

TEST_F(LogPanel, SamplingTicksLogOnlyReadingsThatArrivedSinceTheLastTick)
{
    TLogRecorder& rec = panel.recorder();
    panel.findChild<QCheckBox*>("cbInterval")->click();
    ASSERT_TRUE(rec.samplingActive());
    EXPECT_EQ(rec.timerInterval().interval(), 1000);

    rec.timerIntervalTimer(); // nothing received yet: nothing logged
    EXPECT_EQ(panel.store().rowCount(), 0);
    rec.readingDecoded(reading("1,0"));
    rec.readingDecoded(reading("2,0"));
    EXPECT_EQ(panel.store().rowCount(), 0); // readings alone log nothing while sampling
    rec.timerIntervalTimer();
    ASSERT_EQ(panel.store().rowCount(), 1);
    EXPECT_EQ(panel.store().fieldText(0, fAValue), "2,0");
    rec.timerIntervalTimer(); // link quiet: no invented row
    EXPECT_EQ(panel.store().rowCount(), 1);

    rec.readingDecoded(reading());
    rec.setLogPaused(true);
    rec.timerIntervalTimer();
    EXPECT_EQ(panel.store().rowCount(), 1);

    QSignalSpy ticks(&rec.timerInterval(), &QTimer::timeout);
    rec.setLogPaused(false);
    rec.readingDecoded(reading());
    ASSERT_TRUE(ticks.wait(3000));
    EXPECT_EQ(panel.store().rowCount(), 2);

    panel.findChild<QCheckBox*>("cbInterval")->click();
    EXPECT_FALSE(rec.samplingActive());
    rec.readingDecoded(reading());
    EXPECT_EQ(panel.store().rowCount(), 3);
}

TEST_F(LogPanel, ClearingAsksAndOnYesEmptiesTableChangeLogAndChart)
{
    fill(3);
    dialogs.answer = app::mrNo;
    panel.btnRecordNewClick();
    EXPECT_EQ(panel.store().rowCount(), 3);
    EXPECT_EQ(chart.clears, 0);

    dialogs.answer = app::mrYes;
    item("mniNew1")->trigger();
    EXPECT_EQ(dialogs.messages.last(), "Are you sure that you want to delete this record?");
    EXPECT_EQ(panel.store().rowCount(), 0);
    EXPECT_EQ(panel.store().changeLogSize(), 0);
    EXPECT_EQ(panel.model().rowCount(), 0);
    EXPECT_EQ(chart.clears, 1);
    fill(1);
    EXPECT_EQ(panel.store().ANo(0), 1);
}

// ---- interval entry

TEST_F(LogPanel, IntervalEntryTakesDigitsOnlyAndJudgesAfterASecond)
{
    auto* edit = panel.findChild<app::TCEdit*>("edtRecInterval");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), "1");
    edit->selectAll();
    QTest::keyClicks(edit, "a2-5 x");
    EXPECT_EQ(edit->text(), "25");
    EXPECT_TRUE(panel.timerInputDelay().isActive());
    EXPECT_EQ(panel.timerInputDelay().interval(), 1000);
    QSignalSpy judged(&panel.timerInputDelay(), &QTimer::timeout);
    ASSERT_TRUE(judged.wait(3000));
    EXPECT_EQ(panel.recorder().samplingSeconds(), 25);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(LogPanel, IntervalEntryRejectsOutOfRangeAndRestoresTheLastValue)
{
    auto* edit = panel.findChild<app::TCEdit*>("edtRecInterval");
    struct Case
    {
        const char* text;
        bool accepted;
    };
    for (const Case c : {Case{"0", false}, Case{"", false}, Case{"100000000", false}, Case{"12a", false},
                         Case{"99999999", true}, Case{"7", true}}) {
        dialogs.messages.clear();
        const int before = panel.lastAcceptedInterval();
        edit->setText(QLatin1String(c.text)); // as a paste would: no key filter
        panel.timerInputDelayTimer();
        if (c.accepted) {
            EXPECT_TRUE(dialogs.messages.isEmpty()) << c.text;
            EXPECT_EQ(panel.recorder().samplingSeconds(), QByteArray(c.text).toInt()) << c.text;
        } else {
            ASSERT_EQ(dialogs.messages.size(), 1) << c.text;
            EXPECT_EQ(dialogs.messages[0], "You have entered a number that is out of range.");
            EXPECT_EQ(edit->text(), QString::number(before)) << c.text;
            EXPECT_EQ(panel.recorder().samplingSeconds(), before) << c.text;
        }
    }
}

// ---- files

TEST_F(LogPanel, XmlSaveReopenAndSaveAgainGivesIdenticalBytes)
{
    fill(3);
    panel.recorder().AppendLogRow(reading(), true);
    const QString a = dir.filePath("a.xml");
    const QString b = dir.filePath("B.XML");
    panel.SaveLogFile(a);
    ASSERT_EQ(dialogs.plain.size(), 1);
    EXPECT_EQ(dialogs.plain[0], "Save table to specified file: " + a + " Scuss!");

    fill(2); // replaced by the reopened file
    panel.LoadLogFile(a, false);
    EXPECT_EQ(panel.store().rowCount(), 4);
    EXPECT_EQ(panel.model().rowCount(), 4);
    panel.SaveLogFile(b);
    EXPECT_EQ(fileBytes(b), fileBytes(a));
    EXPECT_TRUE(dialogs.messages.isEmpty());
    fill(1);
    EXPECT_EQ(panel.store().ANo(4), 5);
}

TEST_F(LogPanel, TextSaveAddsXlsAndReopeningAppendsRows)
{
    fill(2);
    panel.SaveLogFile(dir.filePath("log.dat"));
    const QString saved = dir.filePath("log.dat.xls");
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0], "Save table to specified file: " + saved + " Scuss!");
    EXPECT_EQ(fileBytes(saved), TextLog(panel.store()));

    panel.LoadLogFile(saved, false);
    EXPECT_EQ(panel.store().rowCount(), 4);
    EXPECT_EQ(panel.model().rowCount(), 4);
    EXPECT_EQ(panel.store().ANo(3), 2); // numbers as in the file
    EXPECT_EQ(panel.grid()->currentIndex().row(), 3);
    fill(1);
    EXPECT_EQ(panel.store().ANo(4), 5); // the row count decides the next number
    EXPECT_EQ(dialogs.messages.size(), 1);
}

TEST_F(LogPanel, TextSaveOfALineBreakOffersTheXmlFormInstead)
{
    fill(2);
    const QString xml = dir.filePath("breaks.xml");
    {
        QFile f(xml);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray bytes = XmlPacket(panel.store());
        const qsizetype unit = bytes.lastIndexOf("AUnit=\"kW\"");
        f.write(bytes.replace(unit, qsizetype(std::strlen("AUnit=\"kW\"")), "AUnit=\"k&#010;W\""));
    }
    panel.LoadLogFile(xml, false);
    ASSERT_EQ(panel.store().fieldText(1, fAUnit), "k\nW");
    const QString txt = dir.filePath("breaks.txt");

    // No: nothing written, and the user was told which row.
    dialogs.answer = app::mrNo;
    const QByteArray before = fileBytes(xml);
    panel.SaveLogFile(txt);
    EXPECT_FALSE(QFile::exists(txt));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.types[0], app::mtConfirmation);
    EXPECT_TRUE(dialogs.messages[0].contains("No. 2 holds a line break")) << dialogs.messages[0].toStdString();
    EXPECT_TRUE(dialogs.messages[0].contains(xml));

    // Yes, and Yes to replacing the existing XML file: saved as XML.
    dialogs.messages.clear();
    dialogs.answer = app::mrYes;
    panel.SaveLogFile(txt);
    EXPECT_FALSE(QFile::exists(txt));
    EXPECT_EQ(dialogs.messages.size(), 2); // the offer, then the question about replacing
    ASSERT_EQ(dialogs.plain, QStringList{"Save table to specified file: " + xml + " Scuss!"});
    EXPECT_EQ(fileBytes(xml), before); // the same table, saved again
}

TEST_F(LogPanel, FailedLoadsLeaveTheTableAsItWas)
{
    fill(3);
    const QByteArray before = XmlPacket(panel.store());
    const auto write = [&](const char* name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return dir.filePath(name);
    };
    const QStringList bad = {dir.filePath("missing.xml"), write("cut.xml", before.left(before.size() / 2)),
                             write("dtd.xml", "<!DOCTYPE x [<!ENTITY e \"e\">]><x>&e;</x>"),
                             write("empty.txt", ""), dir.filePath("missing.xls")};
    for (const QString& name : bad) {
        dialogs.messages.clear();
        panel.LoadLogFile(name, false);
        ASSERT_EQ(dialogs.messages.size(), 1) << name.toStdString();
        EXPECT_EQ(dialogs.messages[0], "Failed to Load File!");
        EXPECT_EQ(XmlPacket(panel.store()), before) << name.toStdString();
        EXPECT_EQ(panel.model().rowCount(), 3);
    }
    // Still recording afterwards.
    fill(1);
    EXPECT_EQ(panel.store().rowCount(), 4);

    // A text file failing on its third data line keeps the two before it.
    dialogs.messages.clear();
    panel.LoadLogFile(write("bad.txt", "head\r\n7 a\r\n8 b\r\n9 1 2 3 4 5 6 7 8 9\r\n10 c\r\n"), false);
    EXPECT_EQ(dialogs.messages, QStringList{"Failed to Load File!"});
    ASSERT_EQ(panel.store().rowCount(), 6);
    EXPECT_EQ(panel.store().ANo(5), 8);
    EXPECT_EQ(panel.model().rowCount(), 6);
}

TEST_F(LogPanel, SaveThatCannotWriteKeepsTheOldFileAndSaysSo)
{
    const QString xml = dir.filePath("old.xml");
    const QString txt = dir.filePath("old.txt");
    {
        QFile f(xml);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old xml");
        QFile g(txt);
        ASSERT_TRUE(g.open(QIODevice::WriteOnly));
        g.write("old text");
    }
    fill(5000);
    saveWithFileSizeLimit(4096, {xml, txt});

    EXPECT_EQ(fileBytes(xml), "old xml");
    EXPECT_EQ(fileBytes(txt), "old text");
    EXPECT_TRUE(dialogs.plain.isEmpty());
    ASSERT_EQ(dialogs.messages.size(), 2);
    EXPECT_EQ(dialogs.types[0], app::mtError);
    EXPECT_TRUE(dialogs.messages[0].contains(xml));
    EXPECT_EQ(dialogs.messages[1], "Could not save table to specified file: " + txt);

    // A folder that does not exist.
    dialogs.messages.clear();
    panel.SaveLogFile(dir.filePath("no/such/dir/x.xml"));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].startsWith("Cannot create file"));
    EXPECT_TRUE(dialogs.plain.isEmpty());
}

TEST_F(LogPanel, SmallSaveThatFailsOnItsLastWriteIsNoSuccess)
{
    // Smaller than any write buffer: the failing write is the one that
    // empties the buffer when the file is committed.
    fill(20); // about 1.5 KB as text
    const QString xml = dir.filePath("small.xml");
    const QString txt = dir.filePath("small.txt");
    saveWithFileSizeLimit(1024, {xml, txt});

    EXPECT_FALSE(QFile::exists(xml));
    EXPECT_FALSE(QFile::exists(txt));
    EXPECT_TRUE(dialogs.plain.isEmpty());
    ASSERT_EQ(dialogs.messages.size(), 2);
    EXPECT_EQ(dialogs.types[0], app::mtError);
    EXPECT_EQ(dialogs.messages[1], "Could not save table to specified file: " + txt);
}

TEST_F(LogPanel, GridShowsCaptionsNoNarrowerThanTheDesignWidthsAndIsReadOnly)
{
    QTableView* grid = panel.grid();
    const char* captions[] = {"No.",       "Time",     "Function",  "Value",   "Unit",
                              "SubValueA", "SubUnitA", "SubValueB", "SubUnitB"};
    const int widths[] = {36, 45, 58, 40, 37, 59, 51, 59, 50};
    for (int c = 0; c < kLogFieldCount; ++c) {
        EXPECT_EQ(panel.model().headerData(c, Qt::Horizontal).toString(), captions[c]);
        EXPECT_GE(grid->columnWidth(c), widths[c]);
    }
    fill(1);
    EXPECT_EQ(panel.model().data(panel.model().index(0, fAValue), Qt::TextAlignmentRole).toInt() &
                  Qt::AlignRight,
              Qt::AlignRight);
    EXPECT_FALSE(panel.model().flags(panel.model().index(0, 1)) & Qt::ItemIsEditable);
    EXPECT_EQ(grid->selectionBehavior(), QAbstractItemView::SelectRows);
}

// ---- the record-limit and pause notice under the pause bar

TEST_F(LogPanel, NoticeAppearsWhenARowIsRefusedAtTheLimitAndSaysHowToGoOn)
{
    QLabel* notice = panel.noticeLabel();
    QSignalSpy changed(&panel.recorder(), &TLogRecorder::stoppedAtLimitChanged);
    item("mniN10001")->trigger();
    fill(1000);
    EXPECT_TRUE(notice->isHidden()) << "full, but nothing refused yet";
    fill(2);
    EXPECT_FALSE(notice->isHidden());
    EXPECT_EQ(changed.size(), 1) << "said once, not for every refused row";
    EXPECT_TRUE(notice->text().contains("Record limit of 1000 rows reached"));
    EXPECT_TRUE(notice->text().contains("Record menu"));

    // A memory record refused at the limit keeps it said.
    panel.recorder().AppendLogRow(reading(), true);
    EXPECT_FALSE(notice->isHidden());

    item("mniN50001")->trigger();
    EXPECT_TRUE(notice->isHidden());
    EXPECT_FALSE(panel.recorder().stoppedAtLimit());
}

TEST_F(LogPanel, NoticeGoesWhenClearingOrALoadMakesRoomButNotWhileTheTableIsStillFull)
{
    QLabel* notice = panel.noticeLabel();
    item("mniN10001")->trigger();
    fill(1001);
    ASSERT_FALSE(notice->isHidden());

    // A limit still below the row count does not make room.
    item("mniN10001")->trigger();
    EXPECT_FALSE(notice->isHidden());

    // An XML log of one row replaces the full table.
    TLogStore one;
    TLogRow row;
    row.ANo = 1;
    one.appendRow(row);
    const QString xml = dir.filePath(QStringLiteral("one.xml"));
    QFile f(xml);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(XmlPacket(one));
    f.close();
    panel.LoadLogFile(xml, false);
    EXPECT_EQ(panel.store().rowCount(), 1);
    EXPECT_TRUE(notice->isHidden());

    fill(1000);
    ASSERT_FALSE(notice->isHidden());
    dialogs.answer = app::mrYes;
    panel.btnRecordNewClick();
    EXPECT_TRUE(notice->isHidden());
}

TEST(RecordLimitNotice, UnlimitedSaysToSaveAndClearSinceNoLargerLimitExists)
{
    EXPECT_TRUE(RecordLimitNotice(kMaxLogRows).contains("9999999 rows"));
    EXPECT_TRUE(RecordLimitNotice(kMaxLogRows).contains("clear it"));
    EXPECT_FALSE(RecordLimitNotice(kMaxLogRows).contains("larger limit"));
    EXPECT_TRUE(RecordLimitNotice(50000).contains("larger limit in the Record menu"));
}

TEST_F(LogPanel, PausedLoggingIsSaidWithTheWayBack)
{
    auto* pause = panel.findChild<QPushButton*>("btnPause");
    pause->click();
    EXPECT_FALSE(panel.noticeLabel()->isHidden());
    EXPECT_TRUE(panel.noticeLabel()->text().contains("\"Log Data Mode Disabled\""));
    EXPECT_TRUE(pause->toolTip().contains("go back"));
    pause->click();
    EXPECT_TRUE(panel.noticeLabel()->isHidden());

    // A memory record pauses the log the same way.
    panel.showPausedByMemoryRecord();
    EXPECT_FALSE(panel.noticeLabel()->isHidden());
}

// ---- column widths

TEST_F(LogPanel, ColumnsFitTheWidestNumberTheWholeTimeStampAndTheirTitlesInTheGridsFont)
{
    for (int pixels : {11, 24}) {
        SCOPED_TRACE(pixels);
        QFont f = panel.grid()->font();
        f.setPixelSize(pixels);
        panel.setFont(f); // reaches the grid; the panel refits on the change
        const QFontMetrics fm = panel.grid()->fontMetrics();
        ASSERT_EQ(fm.height(), QFontMetrics(f).height());
        QTableView* grid = panel.grid();
        EXPECT_GT(grid->columnWidth(fANo), fm.horizontalAdvance(QStringLiteral("10000000")));
        EXPECT_GT(grid->columnWidth(fATime), fm.horizontalAdvance(QStringLiteral("23:59:59(2024-12-31)")));
        EXPECT_GT(grid->columnWidth(fAFunction), fm.horizontalAdvance(QStringLiteral("PHSEQ")));
        EXPECT_GT(grid->columnWidth(fAValue), fm.horizontalAdvance(QStringLiteral("-999,9")));
        EXPECT_GT(grid->columnWidth(fAUnit), fm.horizontalAdvance(QStringLiteral("KVAr")));
        for (int c = 0; c < kLogFieldCount; ++c)
            EXPECT_GT(grid->columnWidth(c), grid->horizontalHeader()->fontMetrics().horizontalAdvance(
                                                LogColumnCaption(c)))
                << c;
    }
}

TEST(GridColumnWidths, SettingsTextReadsBackAndHostileTextIsIgnored)
{
    const QList<int> widths = {36, 130, 58, 40, 37, 59, 51, 59, 50};
    EXPECT_EQ(ColumnWidthsFromText(ColumnWidthsText(widths)), widths);
    for (const char* bad : {"", "1,2,3", "36,45,58,40,37,59,51,59", "36,45,58,40,37,59,51,59,50,9",
                            "36,45,58,40,37,59,51,59,x", "36,45,58,40,37,59,51,59,-5", "36,45,58,40,37,59,51,59,0",
                            "36,45,58,40,37,59,51,59,99999999999", "36,45,58,40,37,59,51,59,4001"})
        EXPECT_TRUE(ColumnWidthsFromText(QString::fromLatin1(bad)).isEmpty()) << bad;
}

TEST_F(LogPanel, ColumnWidthsTheUserDragsAreRememberedAndTheProgramsOwnAreNot)
{
    const QString key = QStringLiteral("grid/columnWidths");
    app::OpenUserSettings()->remove(key);
    panel.resize(600, 400);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));

    // The program's own fitting (a font change) stores nothing.
    QFont f = panel.font();
    f.setPixelSize(13);
    panel.setFont(f);
    EXPECT_FALSE(app::OpenUserSettings()->contains(key));

    // A drag of the Time column's right edge in the header.
    QHeaderView* header = panel.grid()->horizontalHeader();
    const int before = header->sectionSize(fATime);
    const int edge = header->sectionViewportPosition(fATime) + before - 1;
    const int y = header->height() / 2;
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(edge, y));
    QTest::mouseMove(header->viewport(), QPoint(edge + 30, y));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(edge + 30, y));
    const int dragged = header->sectionSize(fATime);
    ASSERT_GT(dragged, before);
    const QList<int> stored = ColumnWidthsFromText(app::OpenUserSettings()->value(key).toString());
    ASSERT_EQ(stored.size(), kLogFieldCount);
    EXPECT_EQ(stored[fATime], dragged);

    // The next run starts with it, whatever the font.
    TLogPanel next;
    EXPECT_EQ(next.grid()->columnWidth(fATime), dragged);
    EXPECT_EQ(next.grid()->columnWidth(fANo), stored[fANo]);
    app::OpenUserSettings()->remove(key);
}

// ---- the file dialogs of the log

TEST_F(LogPanel, OpenOffersEveryLogFormFirstAndLoadsTheChosenFile)
{
    fill(2);
    const QString saved = dir.filePath(QStringLiteral("two.xml"));
    panel.SaveLogFile(saved);
    QStringList filters;
    QString chosen = saved;
    const app::TFileDialogs::THook previous = app::TFileDialogs::setHook([&](QFileDialog& dialog) {
        filters = dialog.nameFilters();
        return chosen;
    });
    panel.findChild<QToolButton*>("btnRecordOpen")->click();
    app::TFileDialogs::setHook(previous);
    EXPECT_EQ(filters, QStringList({"All log files (*.xls *.xml *.txt)", "Excel data files (*.xls)",
                                    "XML data files (*.xml)", "notepad data files (*.txt)"}));
    EXPECT_EQ(panel.store().rowCount(), 2) << "the XML log replaced the table";
    EXPECT_EQ(app::TFileDialogs::startFolder(app::TFileKind::Log), QDir(dir.path()).absolutePath());
    app::OpenUserSettings()->remove(QStringLiteral("folders"));
}

// ---- many rows at once: the grid is told a slice per turn of the event loop

namespace {

void appendNumbered(TLogStore& store, int rows)
{
    for (int i = 0; i < rows; ++i) {
        TLogRow row;
        row.ANo = qint32(store.rowCount() + 1);
        row.setText(fAValue, QByteArray::number(store.rowCount() + 1));
        store.appendRow(row);
    }
}

} // namespace

TEST_F(LogPanel, ABigJumpReachesTheGridInSlicesInOrderAndTheGridThenFollowsTheLastRow)
{
    QAbstractItemModelTester tester(&panel.model(), QAbstractItemModelTester::FailureReportingMode::Warning);
    panel.model().setSliceRows(4);
    fill(2); // small additions are shown at once
    EXPECT_EQ(panel.model().rowCount(), 2);
    EXPECT_FALSE(panel.model().catchingUp());

    QList<std::pair<int, int>> inserted;
    QObject::connect(&panel.model(), &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex&, int first, int last) { inserted.append({first, last}); });
    QSignalSpy caughtUp(&panel.model(), &TLogTableModel::caughtUp);
    appendNumbered(panel.store(), 9);
    panel.model().noteAppended();
    EXPECT_EQ(panel.model().rowCount(), 6);
    EXPECT_TRUE(panel.model().catchingUp());

    ASSERT_TRUE(caughtUp.wait(2000));
    EXPECT_EQ(inserted, (QList<std::pair<int, int>>{{2, 5}, {6, 9}, {10, 10}}));
    EXPECT_EQ(panel.model().rowCount(), 11);
    EXPECT_EQ(panel.model().data(panel.model().index(10, fAValue)).toString(), "11");
    EXPECT_EQ(panel.grid()->currentIndex().row(), 10);
}

TEST_F(LogPanel, RowsArrivingWhileTheGridCatchesUpComeAlongInTheSameOrder)
{
    QAbstractItemModelTester tester(&panel.model(), QAbstractItemModelTester::FailureReportingMode::Warning);
    panel.model().setSliceRows(3);
    appendNumbered(panel.store(), 7);
    panel.model().noteAppended();
    ASSERT_TRUE(panel.model().catchingUp());
    fill(2); // recorded meanwhile: their announcement waits for the slices
    EXPECT_EQ(panel.model().rowCount(), 3);

    QSignalSpy caughtUp(&panel.model(), &TLogTableModel::caughtUp);
    ASSERT_TRUE(caughtUp.wait(2000));
    EXPECT_EQ(caughtUp.size(), 1);
    EXPECT_EQ(panel.model().rowCount(), 9);
    EXPECT_EQ(panel.model().data(panel.model().index(6, fAValue)).toString(), "7");
    EXPECT_EQ(panel.model().data(panel.model().index(8, fAValue)).toString(), "-0,123");
    EXPECT_EQ(panel.grid()->currentIndex().row(), 8);
}

TEST_F(LogPanel, ClearingOrReplacingTheTableWhileTheGridCatchesUpEndsTheSlicesCleanly)
{
    QAbstractItemModelTester tester(&panel.model(), QAbstractItemModelTester::FailureReportingMode::Warning);
    panel.model().setSliceRows(3);
    appendNumbered(panel.store(), 10);
    panel.model().noteAppended();
    ASSERT_TRUE(panel.model().catchingUp());

    // Emptied: nothing is left to announce, and no slice points past the end.
    QSignalSpy caughtUp(&panel.model(), &TLogTableModel::caughtUp);
    panel.store().clear();
    panel.model().noteReset();
    EXPECT_EQ(panel.model().rowCount(), 0);
    EXPECT_FALSE(panel.model().catchingUp());
    EXPECT_EQ(caughtUp.size(), 1);

    // Replaced by a bigger table: shown from its start, a slice at a time.
    appendNumbered(panel.store(), 8);
    panel.model().noteReset();
    EXPECT_EQ(panel.model().rowCount(), 3);
    ASSERT_TRUE(caughtUp.wait(2000));
    EXPECT_EQ(panel.model().rowCount(), 8);

    // Shrunk behind the model's back while catching up: a reset, not a
    // slice beyond the store's end.
    appendNumbered(panel.store(), 10);
    panel.model().noteAppended();
    ASSERT_TRUE(panel.model().catchingUp());
    panel.store().clear();
    appendNumbered(panel.store(), 2);
    ASSERT_TRUE(caughtUp.wait(2000));
    EXPECT_EQ(panel.model().rowCount(), 2);
    EXPECT_EQ(panel.model().data(panel.model().index(1, fAValue)).toString(), "2");
}

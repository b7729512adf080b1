// A recording in the window survives kill -9: the child process is the
// window on the simulated meter, with XDG folders of its own.
#include "log/LogFiles.h"
#include "log/LogStore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace varnetta;

namespace {

class Recovery : public ::testing::Test
{
protected:
    QProcessEnvironment childEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
            env.insert(QLatin1String(name), m_home.filePath(QLatin1String(name)));
        return env;
    }
    QString journalPath() const { return m_home.filePath("XDG_DATA_HOME/varnetta/recording-journal.xls"); }

    // Runs the child until it has printed a line starting with `line`, or
    // ended; returns everything it printed.
    QByteArray runUntil(QProcess& p, const QStringList& args, const QByteArray& line)
    {
        p.setProcessEnvironment(childEnvironment());
        p.start(QStringLiteral(RECORDING_CHILD), args);
        EXPECT_TRUE(p.waitForStarted());
        QByteArray out;
        for (int i = 0; i < 400 && p.state() == QProcess::Running; ++i) {
            p.waitForReadyRead(50);
            out += p.readAllStandardOutput();
            if (out.contains("\n" + line) || out.startsWith(line))
                break;
        }
        return out;
    }

    QTemporaryDir m_home;
};

} // namespace

TEST_F(Recovery, RowsRecordedBeforeAKillAreOfferedAndRestoredOnTheNextStart)
{
    QProcess recording;
    const QByteArray printed = runUntil(recording, {"record"}, "rows 3");
    ASSERT_TRUE(printed.contains("connected\n")) << printed.constData();
    ASSERT_TRUE(printed.contains("rows 3")) << printed.constData();
    recording.kill(); // SIGKILL: nothing runs on the way out
    ASSERT_TRUE(recording.waitForFinished(10000));
    EXPECT_EQ(recording.exitStatus(), QProcess::CrashExit);

    // Every row reported is on disk.
    log::TLogStore journal;
    {
        QFile f(journalPath());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << journalPath().toStdString();
        (void)log::ReadTextLog(f, journal);
    }
    ASSERT_GE(journal.rowCount(), 3);

    // The next start asks, restores on Yes, with the rows' own numbers.
    QProcess restoring;
    const QByteArray restored = runUntil(restoring, {"restore", "yes"}, "rows");
    ASSERT_TRUE(restoring.waitForFinished(20000));
    const QByteArray all = restored + restoring.readAllStandardOutput();
    const QByteArray count = QByteArray::number(journal.rowCount());
    EXPECT_TRUE(all.contains("asked: The last run ended without saving its log. Restore the " + count +
                             " recorded rows"))
        << all.constData();
    EXPECT_TRUE(all.contains("rows " + count + "\n1 2 3 ")) << all.constData();

    // That run ended without a clean quit either: offered again; No drops it.
    QProcess declining;
    runUntil(declining, {"restore", "no"}, "rows");
    ASSERT_TRUE(declining.waitForFinished(20000));
    EXPECT_FALSE(QFile::exists(journalPath()));
    QProcess after;
    const QByteArray quiet = runUntil(after, {"restore", "yes"}, "rows");
    ASSERT_TRUE(after.waitForFinished(20000));
    EXPECT_FALSE((quiet + after.readAllStandardOutput()).contains("asked:"));
}

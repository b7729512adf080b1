// varnetta-cli end to end: the copy in demo/ talks to the simulated meter,
// the copy in bin/ to real bridges (none on a build machine).
#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "log/LogFiles.h"
#include "log/LogStore.h"
#include "protocol/MeterCommands.h"
#include "protocol/MeterFrame.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <csignal>

#include <gtest/gtest.h>

#include "support/QtPrinters.h"

using namespace varnetta;
using namespace varnetta::cli;

namespace {

const QString kDemoCli = QStringLiteral(VARNETTA_TEST_DEMO_DIR "/varnetta-cli");
const QString kBinCli = QStringLiteral(VARNETTA_TEST_BIN_DIR "/varnetta-cli");

struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

CliRun run(const QString& program, const QStringList& args, const QByteArray& input = {}, int timeoutMs = 60000)
{
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(p.waitForStarted()) << program.toStdString();
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(timeoutMs)) << "timed out: " << args.join(' ').toStdString();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

QList<QByteArray> lines(const QByteArray& text)
{
    QList<QByteArray> out = text.split('\n');
    while (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    for (QByteArray& l : out)
        if (l.endsWith('\r'))
            l.chop(1);
    return out;
}

QByteArray readingFrame(uint8_t code, const QByteArray& body)
{
    QByteArray head = QByteArray::fromHex("abcd20") + char(protocol::kFrameTypeReading) + char(code) +
                      body.leftJustified(protocol::kBodySize, ' ', true) + QByteArray("\x01\x00\x00\x00\x02", 5);
    return protocol::WithChecksum(head) + "\r\n";
}

std::optional<TOptions> parse(const QStringList& args)
{
    QString error;
    return ParseArguments(args, error);
}

} // namespace

TEST(CliArguments, EachCommandTakesItsOwnOptions)
{
    const auto log = parse({"log", "--interval", "5", "--count=3", "--duration", "2.5", "--output", "x.xml"});
    ASSERT_TRUE(log);
    EXPECT_EQ(log->command, TCommand::Log);
    EXPECT_EQ(log->intervalSeconds, 5);
    EXPECT_EQ(log->count, 3);
    EXPECT_DOUBLE_EQ(log->durationSeconds, 2.5);
    EXPECT_EQ(log->output, QStringLiteral("x.xml"));
    EXPECT_TRUE(parse({"export", "--output", "m.xls"}));
    EXPECT_EQ(parse({"convert", "a.xml", "b.txt"})->arguments, (QStringList{"a.xml", "b.txt"}));
    EXPECT_EQ(parse({})->command, TCommand::Help);
    EXPECT_EQ(parse({"key", "--help"})->command, TCommand::Help);
    EXPECT_EQ(parse({"list"})->usbIds, link::DefaultUsbIds());
    EXPECT_EQ(parse({"list", "--ids", "1234:5678,10C4:EA80"})->usbIds,
              (link::TUsbIds{{0x1234, 0x5678}, {0x10C4, 0xEA80}}));
    EXPECT_EQ(parse({"key", "--ids=1234:5678", "Hold"})->arguments, QStringList{"Hold"});
}

TEST(CliArguments, BadArgumentsAreRefusedWithAReason)
{
    for (const QStringList& args : QList<QStringList>{{"bogus"},
                                                      {"log", "--interval", "0"},
                                                      {"log", "--interval", "1.5"},
                                                      {"log", "--count", "-1"},
                                                      {"log", "--duration"},
                                                      {"export", "--interval", "3"},
                                                      {"key"},
                                                      {"key", "Hold", "Select"},
                                                      {"convert", "a.xml"},
                                                      {"list", "extra"},
                                                      {"list", "--ids"},
                                                      {"list", "--ids", "10c4"},
                                                      {"log", "--ids", "0:1"},
                                                      {"convert", "--ids", "1:2", "a.xml", "b.xml"}}) {
        QString error;
        EXPECT_FALSE(ParseArguments(args, error)) << args.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(CliKeys, NamesCaptionsAndCodesResolveToTheTable)
{
    QString error;
    EXPECT_EQ(ResolveKey("Hold", error), protocol::kCmdHold);
    EXPECT_EQ(ResolveKey("btnCmdMaxMinCur", error), protocol::kCmdMaxMinCur);
    EXPECT_EQ(ResolveKey("max/min/cur", error), protocol::kCmdMaxMinCur);
    EXPECT_EQ(ResolveKey("Exit Status", error), protocol::kCmdExitStatus);
    EXPECT_EQ(ResolveKey("0x57", error), protocol::kCmdExportData);
    EXPECT_EQ(ResolveKey("73", error), protocol::kCmdSelect);
    EXPECT_FALSE(ResolveKey("OFF", error)); // two menus have an OFF item
    EXPECT_TRUE(error.contains(QStringLiteral("miBackLightOFF")));
    EXPECT_FALSE(ResolveKey("0x100", error));
    EXPECT_FALSE(ResolveKey("Jump", error));
}

TEST(CliDecode, ChunkedCorruptedAndJunkLadenStreamsPrintEveryGoodFrame)
{
    QByteArray bad = readingFrame(0x31, "  2 1.500 229.9  3.10");
    bad[12] = 'X'; // checksum no longer matches
    const QByteArray stream = QByteArray("noise\r\n") + readingFrame(0x30, "  1 0.923 230.1  4.01") + bad +
                              QByteArray("\xAB\xCD junk") + readingFrame(0x36, "  1 50.01 230.0  4.00");
    const CliRun r = run(kDemoCli, {"decode"}, stream);
    EXPECT_EQ(r.exitCode, kExitOk);
    const QList<QByteArray> out = lines(r.out);
    ASSERT_EQ(out.size(), 2) << r.out.toStdString();
    EXPECT_EQ(out[0], QByteArray("L\tPWRP\t  1\t 0.923\t 230.1\t  4.01\tKW\tV\tA\t01 00 00 00 02"));
    EXPECT_TRUE(out[1].startsWith("L\tFRQ\t  1\t 50.01"));
    EXPECT_TRUE(r.err.contains("frames dispatched 2"));
    EXPECT_TRUE(r.err.contains("checksum failures 2")) << r.err.toStdString(); // the bad frame, and the junk header run into the next frame
}

TEST(CliDecode, FrameSplitAcrossReadsIsStillOneLine)
{
    QBuffer in;
    in.setData(readingFrame(0x37, " 12 0.500 1.234  0:05"));
    in.open(QIODevice::ReadOnly);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString errText;
    QTextStream err(&errText);
    EXPECT_EQ(RunDecode(in, out, err), kExitOk);
    EXPECT_EQ(lines(out.data()).size(), 1);
    EXPECT_TRUE(out.data().startsWith("L\tENRP\t 12"));
}

TEST(CliConvert, RoundTripsBetweenBothFormsKeepTheRows)
{
    QTemporaryDir dir;
    const QString text = dir.filePath("log.txt");
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("No.\tTime\tFunction\tValue\tUnit\tSubValueA\tSubUnitA\tSubValueB\tSubUnitB\r\n"
            "1\t10:00:00(2026-12-09)\tPWRP\t0.923\tKW\t230.1\tV\t4.01\tA\r\n"
            "2\tNULL\tVTHDf\t232.0\tV\tNULL\tNULL\t1.9\t%f\r\n");
    f.close();
    EXPECT_EQ(run(kDemoCli, {"convert", text, dir.filePath("log.xml")}).exitCode, kExitOk);
    EXPECT_EQ(run(kDemoCli, {"convert", dir.filePath("log.xml"), dir.filePath("again.xls")}).exitCode, kExitOk);
    EXPECT_EQ(run(kDemoCli, {"convert", dir.filePath("again.xls"), dir.filePath("again.xml")}).exitCode, kExitOk);
    QFile a(dir.filePath("log.xml")), b(dir.filePath("again.xml")), t(dir.filePath("again.xls"));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly) && t.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll());
    const QList<QByteArray> rows = lines(t.readAll());
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[2], QByteArray("2\tNULL\tVTHDf\t232.0\tV\tNULL\tNULL\t1.9\t%f"));
}

TEST(CliConvert, UnreadableInputFailsAndWritesNothing)
{
    QTemporaryDir dir;
    QFile bad(dir.filePath("bad.xml"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("<DATAPACKET><ROWDATA><ROW");
    bad.close();
    const CliRun r = run(kDemoCli, {"convert", dir.filePath("bad.xml"), dir.filePath("out.txt")});
    EXPECT_EQ(r.exitCode, kExitFailure);
    EXPECT_TRUE(r.err.contains("Failed to Load File!"));
    EXPECT_FALSE(QFile::exists(dir.filePath("out.txt")));
    EXPECT_EQ(run(kDemoCli, {"convert", dir.filePath("missing.xml"), dir.filePath("out.txt")}).exitCode,
              kExitFailure);
}

namespace {

QByteArray fileBytes(const QString& name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString writeFile(const QTemporaryDir& dir, const char* name, const QByteArray& bytes)
{
    QFile f(dir.filePath(QString::fromLatin1(name)));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return f.fileName();
}

QByteArray xmlWithRows(const QByteArray& rows)
{
    log::TLogStore empty;
    const QByteArray bare = log::XmlPacket(empty);
    return bare.left(bare.indexOf("</ROWDATA>")) + rows + "</ROWDATA></DATAPACKET>";
}

} // namespace

TEST(CliConvertHostile, LongValuesConvertInsteadOfCrashing)
{
    QTemporaryDir dir;
    for (const qsizetype length : {qsizetype(5000), qsizetype(1) << 20}) {
        const QString in = writeFile(dir, "long.xml",
                                     xmlWithRows("<ROW ANo=\"1\" AUnit=\"&amp;" + QByteArray(length, 'x') +
                                                 "\"/><ROW ANo=\"2\" AUnit=\"kW\"/>"));
        const CliRun r = run(kDemoCli, {"convert", in, dir.filePath("long.xls")});
        ASSERT_EQ(r.exitCode, kExitOk) << length << r.err.toStdString();
        const QList<QByteArray> rows = lines(fileBytes(dir.filePath("long.xls")));
        ASSERT_EQ(rows.size(), 3);
        EXPECT_EQ(rows[1].split('\t').value(4), "&" + QByteArray(19, 'x'));
        EXPECT_EQ(run(kDemoCli, {"convert", in, dir.filePath("long.xml")}).exitCode, kExitOk);
    }
}

TEST(CliConvertHostile, LineBreakInAFieldRefusesTheTextFormAndKeepsTheXmlForm)
{
    QTemporaryDir dir;
    const QString in = writeFile(dir, "breaks.xml",
                                 xmlWithRows("<ROW ANo=\"1\" AUnit=\"kW\"/><ROW ANo=\"2\" AUnit=\"k&#013;&#010;W\" "
                                             "AValue=\"1&#009;2\"/>"));
    const CliRun text = run(kDemoCli, {"convert", in, dir.filePath("out.xls")});
    EXPECT_EQ(text.exitCode, kExitFailure);
    EXPECT_TRUE(text.err.contains("No. 2 holds a line break")) << text.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("out.xls")));

    ASSERT_EQ(run(kDemoCli, {"convert", in, dir.filePath("out.xml")}).exitCode, kExitOk);
    log::TLogStore back;
    ASSERT_TRUE(log::ReadXmlPacket(fileBytes(dir.filePath("out.xml")), back));
    EXPECT_EQ(back.fieldText(1, log::fAUnit), "k\r\nW");

    // A tab alone the text form carries, in quotes.
    const QString tab = writeFile(dir, "tab.xml", xmlWithRows("<ROW ANo=\"2\" AValue=\"1&#009;2\"/>"));
    ASSERT_EQ(run(kDemoCli, {"convert", tab, dir.filePath("tab.txt")}).exitCode, kExitOk);
    ASSERT_EQ(run(kDemoCli, {"convert", dir.filePath("tab.txt"), dir.filePath("tab2.xml")}).exitCode, kExitOk);
    EXPECT_EQ(fileBytes(dir.filePath("tab2.xml")).contains("AValue=\"1&#009;2\""), true);
}

TEST(CliSimulatedMeter, ListShowsTheSimulatedBridge)
{
    const CliRun r = run(kDemoCli, {"list"});
    EXPECT_EQ(r.exitCode, kExitOk);
    EXPECT_TRUE(r.out.startsWith("VARNETTA-SIM\t")) << r.out.toStdString();
}

TEST(CliSimulatedMeter, OtherIdsLookOnlyForBridgesWithThem)
{
    const CliRun r = run(kDemoCli, {"list", "--ids", "1234:5678"});
    EXPECT_EQ(r.exitCode, kExitOk);
    EXPECT_TRUE(r.out.isEmpty()) << "the simulated bridge has the family's ids: " << r.out.toStdString();
    EXPECT_EQ(run(kDemoCli, {"log", "--count", "1", "--ids", "1234:5678"}).exitCode, kExitNoDevice);
    EXPECT_TRUE(run(kDemoCli, {"list", "--ids", "10c4:ea80"}).out.startsWith("VARNETTA-SIM\t"));
}

TEST(CliSimulatedMeter, LogStopsAtTheCountWithHeaderFirst)
{
    const CliRun r = run(kDemoCli, {"log", "--count", "3"});
    EXPECT_EQ(r.exitCode, kExitOk) << r.err.toStdString();
    const QList<QByteArray> out = lines(r.out);
    ASSERT_EQ(out.size(), 4);
    EXPECT_EQ(out[0], log::TextLogHeaderLine().trimmed());
    for (int i = 1; i <= 3; ++i) {
        const QList<QByteArray> items = out[i].split('\t');
        ASSERT_EQ(items.size(), 9);
        EXPECT_EQ(items[0], QByteArray::number(i));
        EXPECT_NE(items[1], QByteArray("NULL")); // live rows carry a time stamp
    }
}

TEST(CliSimulatedMeter, LogStopsAfterTheDuration)
{
    const CliRun r = run(kDemoCli, {"log", "--duration", "1.5"});
    EXPECT_EQ(r.exitCode, kExitOk);
    // About two readings a second; the header and at least one row.
    EXPECT_GE(lines(r.out).size(), 2);
    EXPECT_LE(lines(r.out).size(), 6);
}

TEST(CliSimulatedMeter, RowsAreOnDiskBeforeTheProcessIsKilled)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("live.xls");
    QProcess p;
    p.start(kDemoCli, {"log", "--output", file});
    ASSERT_TRUE(p.waitForStarted());
    QByteArray seen;
    // Wait on the file, not on the clock: rows appear as they are flushed.
    for (int i = 0; i < 200 && lines(seen).size() < 3; ++i) {
        p.waitForFinished(50);
        QFile f(file);
        if (f.open(QIODevice::ReadOnly))
            seen = f.readAll();
    }
    p.kill();
    p.waitForFinished();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = lines(f.readAll());
    ASSERT_GE(rows.size(), 3);
    EXPECT_EQ(rows[1].split('\t').value(0), QByteArray("1"));
}

namespace {

// Starts `log --output file` and waits until `rows` rows were reported on
// standard output; gives what was reported.
QByteArray startLogging(QProcess& p, const QString& file, int rows)
{
    p.start(kDemoCli, {"log", "--output", file});
    EXPECT_TRUE(p.waitForStarted());
    QByteArray out;
    for (int i = 0; i < 200 && lines(out).size() < rows + 1; ++i) {
        p.waitForReadyRead(50);
        out += p.readAllStandardOutput();
    }
    return out;
}

// Every row reported on standard output stands in the XML file, as reported.
void expectEveryReportedRow(const QByteArray& reportedOut, const QString& file)
{
    const QList<QByteArray> reported = lines(reportedOut);
    const QByteArray bytes = fileBytes(file);
    log::TLogStore store;
    ASSERT_TRUE(log::ReadXmlPacket(bytes, store)) << bytes.right(200).toStdString();
    ASSERT_GE(store.rowCount(), reported.size() - 1);
    for (qsizetype i = 1; i < reported.size(); ++i)
        EXPECT_EQ(log::TextLogRowLine(store, i - 1).value_or("missing"), reported[i] + "\r\n") << i;
}

} // namespace

TEST(CliSimulatedMeter, XmlOutputHoldsEveryReportedRowAfterSigkill)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("killed.xml");
    QProcess p;
    QByteArray out = startLogging(p, file, 3);
    ::kill(pid_t(p.processId()), SIGKILL);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::CrashExit);
    out += p.readAllStandardOutput();
    ASSERT_GE(lines(out).size(), 4) << "header and three rows before the kill";
    expectEveryReportedRow(out, file);
}

TEST(CliSimulatedMeter, XmlOutputStaysLoadableWhenTheDiskFills)
{
    // A file size limit of 2 KB fails a write part way through a row, as a
    // full disk does; the rows reported before it must stay loadable.
    QTemporaryDir dir;
    const QString file = dir.filePath("full.xml");
    const CliRun r = run(QStringLiteral("/bin/bash"),
                         {"-c", "trap '' XFSZ; ulimit -f 2; exec \"$0\" log --count 40 --output \"$1\"", kDemoCli, file});
    EXPECT_EQ(r.exitCode, kExitFailure) << r.err.toStdString();
    ASSERT_GE(lines(r.out).size(), 2) << r.err.toStdString();
    expectEveryReportedRow(r.out, file);
}

TEST(CliSimulatedMeter, InterruptEndsTheRunCleanlyAndWritesTheXmlPacket)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("run.xml");
    QProcess p;
    (void)startLogging(p, file, 2);
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), kExitOk);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    log::TLogStore store;
    ASSERT_TRUE(log::ReadXmlPacket(f, store));
    EXPECT_GE(store.rowCount(), 2);
    EXPECT_EQ(store.changeLogSize(), store.rowCount()); // the whole table's packet replaced the running one
}

TEST(CliSimulatedMeter, ExportBringsEveryRecordWithoutTimeStamps)
{
    const CliRun r = run(kDemoCli, {"export"});
    EXPECT_EQ(r.exitCode, kExitOk) << r.err.toStdString();
    const QList<QByteArray> out = lines(r.out);
    ASSERT_GE(out.size(), 2);
    for (qsizetype i = 1; i < out.size(); ++i)
        EXPECT_EQ(out[i].split('\t').value(1), QByteArray("NULL")) << out[i].toStdString();
    EXPECT_TRUE(r.err.contains("Export memory data has been successfully!"));
}

TEST(CliSimulatedMeter, KeySendsOneCommand)
{
    EXPECT_EQ(run(kDemoCli, {"key", "Select"}).exitCode, kExitOk);
    EXPECT_EQ(run(kDemoCli, {"key", "0x4B"}).exitCode, kExitOk);
    EXPECT_EQ(run(kDemoCli, {"key", "Jump"}).exitCode, kExitUsage);
}

TEST(CliWithoutMeter, RealBridgeCopyFindsNoDevice)
{
    const CliRun r = run(kBinCli, {"log", "--count", "1"});
    EXPECT_EQ(r.exitCode, kExitNoDevice) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("No device found.  Please ensure that you have proper USB connection."));
    EXPECT_EQ(run(kBinCli, {"bogus"}).exitCode, kExitUsage);
}

TEST(CliWithoutMeter, DemoOptionReachesTheSimulatedMeterFromEitherCopy)
{
    // Before or after the command, from the real-bridge copy too.
    for (const QStringList& args : {QStringList{"--demo", "list"}, QStringList{"list", "--demo"}}) {
        const CliRun r = run(kBinCli, args);
        EXPECT_EQ(r.exitCode, kExitOk) << r.err.toStdString();
        EXPECT_TRUE(r.out.startsWith("VARNETTA-SIM\t")) << r.out.toStdString();
    }
    EXPECT_EQ(run(kDemoCli, {"--demo", "list"}).exitCode, kExitOk);
}

TEST(CliInstall, InstalledProgramFindsItsLibrary)
{
    QTemporaryDir prefix;
    QProcess install;
    install.start(QStringLiteral("cmake"), {"--install", QStringLiteral(VARNETTA_TEST_BUILD_DIR), "--prefix",
                                            prefix.path()});
    ASSERT_TRUE(install.waitForFinished(120000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();
    for (const char* file : {"bin/varnetta", "bin/varnetta-cli", "lib/varnetta/varnetta", "lib/varnetta/libSLABHIDtoUART.so",
                             "lib/varnetta/sim/libSLABHIDtoUART.so", "share/applications/varnetta.desktop",
                             "share/applications/varnetta-demo.desktop", "share/icons/hicolor/scalable/apps/varnetta.svg"})
        EXPECT_TRUE(QFileInfo::exists(prefix.filePath(QString::fromLatin1(file)))) << file;
    QDir rules(prefix.filePath(QStringLiteral("lib/udev/rules.d")));
    EXPECT_FALSE(rules.entryList({"*.rules"}, QDir::Files).isEmpty());
    // Through the link on the PATH: the library is found beside the real
    // file, so the answer is "no device", not "no library".
    const CliRun r = run(prefix.filePath(QStringLiteral("bin/varnetta-cli")), {"list"});
    EXPECT_EQ(r.exitCode, kExitOk) << r.err.toStdString();
    // The simulated meter ships beside the real library.
    const CliRun demo = run(prefix.filePath(QStringLiteral("bin/varnetta-cli")), {"--demo", "list"});
    EXPECT_EQ(demo.exitCode, kExitOk) << demo.err.toStdString();
    EXPECT_TRUE(demo.out.startsWith("VARNETTA-SIM\t")) << demo.out.toStdString();
    // The second menu entry starts the window on it.
    QFile entry(prefix.filePath(QStringLiteral("share/applications/varnetta-demo.desktop")));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QByteArray text = entry.readAll();
    EXPECT_TRUE(text.contains("\nExec=varnetta --demo\n"));
    EXPECT_TRUE(text.contains("\nName=Varnetta (simulated meter)\n"));
}

#include "log/MemoryDownload.h"

#include "protocol/FrameBuilders.h"
#include "protocol/FrameDispatcher.h"
#include "protocol/MeterCommands.h"
#include "protocol/MeterFrame.h"
#include "sim/MeterSimulator.h"

#include <QCoreApplication>

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace varnetta;
using protocol::testing::ExportEndFrame;
using protocol::testing::MemoryFrame;
using protocol::testing::ReadingFrame;

namespace {

// Everything the download does to its surroundings, in order, as text.
struct Recorder
{
    std::vector<std::string> events;
    std::vector<uint8_t> sent;
    std::vector<protocol::TReading> rows;
    std::vector<uint32_t> pollPauses;
    int rowLimit = 1000;
    int dots = 0;
    // The user: answers questions, closes messages.
    std::function<bool(const std::string& text, bool question)> user = [](const std::string&, bool) { return true; };

    log::TMemoryDownloadHost host()
    {
        log::TMemoryDownloadHost h;
        h.setPollPause = [this](uint32_t ms) {
            pollPauses.push_back(ms);
            events.push_back("poll " + std::to_string(ms));
        };
        h.sendCommand = [this](uint8_t code) {
            sent.push_back(code);
            events.push_back("send " + std::to_string(code));
        };
        h.commandPanelDisabled = [this] { events.push_back("panel off"); };
        h.commandPanelEnabled = [this] { events.push_back("panel on"); };
        h.showTexts = [this](const protocol::TReading& r) {
            events.push_back("show " + r.Value.toStdString());
        };
        h.appendMemoryRow = [this](const protocol::TReading& r) {
            if (int(rows.size()) >= rowLimit) {
                events.push_back("row dropped");
                return false;
            }
            rows.push_back(r);
            events.push_back("row");
            return true;
        };
        h.setLoadCaption = [this](const QString& c) { events.push_back("caption " + c.toStdString()); };
        h.advanceLoadingDots = [this] {
            ++dots;
            events.push_back("dot");
        };
        h.clearLoadingDots = [this] { events.push_back("dots cleared"); };
        h.pauseLog = [this] { events.push_back("pause"); };
        h.showOverlays = [this] { events.push_back("overlays"); };
        h.confirm = [this](const QString& q) { return user(q.toStdString(), true); };
        h.inform = [this](const QString& m) { user(m.toStdString(), false); };
        return h;
    }
};

class MemoryDownloadTest : public ::testing::Test
{
protected:
    MemoryDownloadTest()
    {
        download.setHost(recorder.host());
        download.attach(dispatcher);
        recorder.user = [this](const std::string& text, bool question) {
            dialogs.push_back({text, question});
            recorder.events.push_back("dialog " + text);
            return question ? answer : true;
        };
    }

    void feed(const QByteArray& frame)
    {
        // Through the assembly as the link would, so only checked frames arrive.
        assembly.CP21101ReceiveData(frame);
    }
    void connectAssembly()
    {
        QObject::connect(&assembly, &protocol::TReceiveAssembly::frameReady, &dispatcher,
                         &protocol::TFrameDispatcher::CP21041ReceiveData);
    }
    static QByteArray Record(char code, const QByteArray& value)
    {
        return MemoryFrame(uint8_t(code), "  1" + value.leftJustified(6, ' ') + "230.1 " + "  4.20");
    }
    // Feeds the end frame and waits until the completion message was closed.
    void finishExport()
    {
        QSignalSpy done(&download, &log::TMemoryDownload::exportCompleted);
        feed(ExportEndFrame());
        ASSERT_TRUE(done.wait(5000));
    }
    int acks() const
    {
        return int(std::count(recorder.sent.begin(), recorder.sent.end(), protocol::kCmdExportAck));
    }

    struct Dialog
    {
        std::string text;
        bool question;
    };
    Recorder recorder;
    protocol::TReceiveAssembly assembly;
    protocol::TFrameDispatcher dispatcher;
    log::TMemoryDownload download;
    std::vector<Dialog> dialogs;
    bool answer = true;
};

} // namespace

// ---- the request

TEST_F(MemoryDownloadTest, YesSpeedsUpPollingSendsTheExportAndLocksThePanel)
{
    download.btnExportDataClick();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, "Are you sure that you want to export memory data?");
    EXPECT_TRUE(dialogs[0].question);
    const std::vector<std::string> expected = {"dialog Are you sure that you want to export memory data?",
                                               "poll 1", "send 87", "panel off"};
    EXPECT_EQ(recorder.events, expected);
    EXPECT_TRUE(download.running());
}

TEST_F(MemoryDownloadTest, NoOrTheCloseBoxChangesNothing)
{
    // No and the close box both answer the question with no.
    {
        answer = false;
        recorder.events.clear();
        download.btnExportDataClick();
        EXPECT_EQ(recorder.events.size(), 1u) << "only the question";
        EXPECT_TRUE(recorder.sent.empty());
        EXPECT_FALSE(download.running());
    }
}

// ---- a whole download through the dispatcher

TEST_F(MemoryDownloadTest, RecordsAreShownLoggedWithTheirOwnFunctionsAndEachAcknowledged)
{
    connectAssembly();
    download.btnExportDataClick();
    recorder.events.clear();
    recorder.sent.clear();

    feed(Record('0', "1.234") + Record('6', "50.01"));
    feed(Record('7', "12.5"));
    ASSERT_EQ(recorder.rows.size(), 3u);
    EXPECT_EQ(recorder.rows[0].FunMode, protocol::fmPWRP);
    EXPECT_EQ(recorder.rows[0].Unit, "KW");
    EXPECT_EQ(recorder.rows[1].FunMode, protocol::fmFRQ);
    EXPECT_EQ(recorder.rows[1].Value, "50.01 ");
    EXPECT_EQ(recorder.rows[2].FunMode, protocol::fmENRP);
    EXPECT_EQ(recorder.rows[2].SubUnit2, "");
    EXPECT_EQ(acks(), 3);

    // One record's steps, in order.
    const std::vector<std::string> first(recorder.events.begin(), recorder.events.begin() + 8);
    const std::vector<std::string> expected = {"show 1.234 ", "row",        "caption Data transfering",
                                               "dot",         "pause",      "overlays",
                                               "send 88",     "show 50.01 "};
    EXPECT_EQ(first, expected);

    recorder.events.clear();
    int acksAtDialog = -1;
    recorder.user = [&](const std::string& text, bool) {
        recorder.events.push_back("dialog " + text);
        acksAtDialog = acks();
        return true;
    };
    QSignalSpy done(&download, &log::TMemoryDownload::exportCompleted);
    feed(ExportEndFrame());
    // The receive handler returns before the message, so data keeps flowing
    // while it is open; the end frame is not yet answered.
    EXPECT_EQ(acksAtDialog, -1);
    EXPECT_EQ(acks(), 3);
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(acksAtDialog, 3) << "the last acknowledgement waits for the dialog";
    EXPECT_EQ(acks(), 4);
    const std::vector<std::string> end = {"poll 100",
                                          "panel on",
                                          "caption Data transfer completed",
                                          "dots cleared",
                                          "dialog Export memory data has been successfully!",
                                          "send 88"};
    EXPECT_EQ(recorder.events, end);
    ASSERT_EQ(done.count(), 1);
    EXPECT_EQ(done[0][0].toInt(), 3);
    EXPECT_EQ(done[0][1].toInt(), 0);
    EXPECT_FALSE(download.running());
}

TEST_F(MemoryDownloadTest, EndFrameWithoutRecordsAddsNothingButStillAnswers)
{
    connectAssembly();
    download.btnExportDataClick();
    recorder.events.clear();
    finishExport();
    EXPECT_TRUE(recorder.rows.empty());
    EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "pause"), 0);
    EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "overlays"), 0);
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[1].text, "Export memory data has been successfully!");
    EXPECT_FALSE(dialogs[1].question);
    EXPECT_EQ(acks(), 1);
}

TEST_F(MemoryDownloadTest, BadFramesAreNeitherLoggedNorAcknowledged)
{
    connectAssembly();
    QByteArray bad = Record('0', "1.0");
    bad[10] = char(bad[10] ^ 0x01);
    feed(bad);
    feed(ReadingFrame('0', "  1  1.0 230.1   4.20"));
    EXPECT_TRUE(recorder.rows.empty());
    EXPECT_EQ(acks(), 0);
}

// ---- the record limit

TEST_F(MemoryDownloadTest, RecordsBeyondTheLimitAreAcknowledgedNotStoredAndReported)
{
    connectAssembly();
    recorder.rowLimit = 2;
    download.btnExportDataClick();
    for (int i = 0; i < 5; ++i)
        feed(Record('1', QByteArray::number(i)));
    EXPECT_EQ(recorder.rows.size(), 2u);
    EXPECT_EQ(download.recordsDropped(), 3);
    EXPECT_EQ(acks(), 5);
    finishExport();
    EXPECT_EQ(acks(), 6);
    ASSERT_EQ(dialogs.size(), 3u);
    EXPECT_EQ(dialogs[1].text, "Export memory data has been successfully!");
    EXPECT_FALSE(dialogs[2].question);
    EXPECT_NE(dialogs[2].text.find("3 memory records were not stored"), std::string::npos) << dialogs[2].text;
    EXPECT_NE(dialogs[2].text.find("record limit"), std::string::npos);
}

TEST_F(MemoryDownloadTest, NoLimitMessageWhenEveryRecordWasStored)
{
    connectAssembly();
    download.btnExportDataClick();
    feed(Record('1', "1"));
    finishExport();
    EXPECT_EQ(dialogs.size(), 2u);
    // A second export starts counting afresh.
    recorder.rowLimit = 1;
    download.btnExportDataClick();
    feed(Record('1', "2"));
    finishExport();
    EXPECT_EQ(dialogs.size(), 5u);
    EXPECT_NE(dialogs[4].text.find("1 memory records"), std::string::npos);
}

TEST_F(MemoryDownloadTest, ResetForgetsAnExportCutOffByTheLink)
{
    download.btnExportDataClick();
    download.CP21041ReceiveBuffData(protocol::TReading{});
    download.reset();
    EXPECT_FALSE(download.running());
    EXPECT_EQ(download.recordsReceived(), 0);
}

// ---- against the simulated meter

TEST_F(MemoryDownloadTest, WholeDownloadFromTheSimulatedMeterBringsEveryRecordOnce)
{
    connectAssembly();
    sim::MeterSimulator meter(sim::Nanos{0});
    protocol::TCommandSequencer sequencer;
    sim::Nanos now{0};
    // Commands reach the meter at once; its frames are handed over as sent.
    download.setHost([&] {
        auto h = recorder.host();
        h.sendCommand = [&](uint8_t code) {
            recorder.sent.push_back(code);
            const QByteArray f = sequencer.BuildCommandFrame(code);
            meter.receive(now, reinterpret_cast<const uint8_t*>(f.constData()), size_t(f.size()));
        };
        return h;
    }());
    const auto stored = meter.memory();
    ASSERT_FALSE(stored.empty());

    QSignalSpy done(&download, &log::TMemoryDownload::exportCompleted);
    download.btnExportDataClick();
    while (done.isEmpty() && now < std::chrono::seconds(30)) {
        now += std::chrono::milliseconds(5);
        meter.advanceTo(now);
        for (const auto& f : meter.takeFrames())
            assembly.CP21101ReceiveData(
                QByteArrayView(reinterpret_cast<const char*>(f.bytes.data()), qsizetype(f.bytes.size())));
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(done.count(), 1);
    ASSERT_EQ(recorder.rows.size(), stored.size());
    for (size_t i = 0; i < stored.size(); ++i) {
        const auto* info = protocol::FindFunInfo(stored[i].code);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(recorder.rows[i].FunMode, info->mode) << i;
    }
    // The export command, one acknowledgement per record and one for the end.
    EXPECT_EQ(recorder.sent.front(), protocol::kCmdExportData);
    EXPECT_EQ(acks(), int(stored.size()) + 1);
    EXPECT_FALSE(meter.exporting());
}

#include "LinkTestSupport.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <stdexcept>

namespace varnetta::link::testing {
namespace {

// Collects every chunk the port raises, in order.
struct ChunkLog
{
    explicit ChunkLog(TCP2110& p)
    {
        QObject::connect(&p, &TCP2110::OnReceiveData, [this](const uint8_t* data, uint32_t len) {
            chunks << QByteArray(reinterpret_cast<const char*>(data), qsizetype(len));
            all += chunks.last();
        });
    }
    QList<QByteArray> chunks;
    QByteArray all;
};

class Reader : public LinkTest
{
protected:
    TCP2110& connected()
    {
        TestBridge_AddDevice("M1", "/dev/hidraw1");
        TCP2110& p = makePort();
        TCP2110::setPollPause(1);
        EXPECT_TRUE(p.Connect());
        return p;
    }
    static QByteArray pattern(int n)
    {
        QByteArray bytes(n, Qt::Uninitialized);
        for (int i = 0; i < n; ++i)
            bytes[i] = char(i * 7 + 3);
        return bytes;
    }
};

TEST_F(Reader, deliversBytesInOrderInChunksOfAtMost2048)
{
    TCP2110& p = connected();
    ChunkLog log(p);
    const QByteArray bytes = pattern(3000);
    feed(bytes);
    QTRY_COMPARE_WITH_TIMEOUT(log.all.size(), 3000, 5000);
    EXPECT_EQ(log.all, bytes);
    EXPECT_EQ(log.chunks.first().size(), 2048);
    for (const QByteArray& chunk : log.chunks)
        EXPECT_LE(chunk.size(), 2048);
}

TEST_F(Reader, aTimedOutReadWithBytesStillDeliversThem)
{
    TCP2110& p = connected();
    ChunkLog log(p);
    TestBridge_SetReadStatus(HID_UART_READ_TIMED_OUT);
    feed("12345");
    QTRY_COMPARE_WITH_TIMEOUT(log.all, QByteArray("12345"), 5000);
}

TEST_F(Reader, emptyOrFailedReadsDeliverNothingAndPollingGoesOn)
{
    TCP2110& p = connected();
    QSignalSpy data(&p, &TCP2110::OnReceiveData);
    const uint32_t first = TestBridge_CallCount("HidUart_Read");
    QTRY_VERIFY_WITH_TIMEOUT(TestBridge_CallCount("HidUart_Read") > first + 3, 5000);
    TestBridge_FailCall("HidUart_Read", HID_UART_READ_ERROR);
    feed("abc");
    const uint32_t failing = TestBridge_CallCount("HidUart_Read");
    QTRY_VERIFY_WITH_TIMEOUT(TestBridge_CallCount("HidUart_Read") > failing + 3, 5000);
    EXPECT_EQ(data.count(), 0);
    TestBridge_FailCall("HidUart_Read", HID_UART_SUCCESS);
    EXPECT_TRUE(data.wait(5000)) << "the reader recovers once reads succeed again";
}

TEST_F(Reader, onConnectComesBeforeTheFirstChunk)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    TCP2110& p = makePort();
    QStringList events;
    QObject::connect(&p, &TCP2110::OnConnect, [&](QObject*) { events << "connect"; });
    QObject::connect(&p, &TCP2110::OnReceiveData, [&](const uint8_t*, uint32_t) { events << "data"; });
    feed("x");
    ASSERT_TRUE(p.Connect());
    ASSERT_EQ(TestBridge_WaitForDataRead(5000), 1);
    QTRY_COMPARE_WITH_TIMEOUT(events, QStringList({"connect", "data"}), 5000);
}

using ReaderStop = Reader;

TEST_F(ReaderStop, disconnectDuringAHandOverHandlesThatChunkFirst)
{
    TCP2110& p = connected();
    QStringList events;
    QObject::connect(&p, &TCP2110::OnReceiveData, [&](const uint8_t* d, uint32_t n) {
        events << QString::fromLatin1(reinterpret_cast<const char*>(d), n);
    });
    QObject::connect(&p, &TCP2110::OnDisconnect, [&](QObject*) { events << "disconnect"; });
    feed("chunk");
    // The reader has read the bytes and waits in the hand-over; the event
    // loop has not run, so the chunk is still pending.
    ASSERT_EQ(TestBridge_WaitForDataRead(5000), 1);
    EXPECT_TRUE(events.isEmpty());
    p.Disconnect();
    EXPECT_EQ(events, QStringList({"chunk", "disconnect"}));
    QCoreApplication::processEvents();
    EXPECT_EQ(events.size(), 2) << "the queued call of a serviced chunk delivers nothing again";
}

TEST_F(ReaderStop, disconnectFromInsideTheChunkHandlerCompletes)
{
    TCP2110& p = connected();
    QSignalSpy disconnects(&p, &TCP2110::OnDisconnect);
    int chunks = 0;
    QObject::connect(&p, &TCP2110::OnReceiveData, [&](const uint8_t*, uint32_t) {
        ++chunks;
        p.Disconnect();
    });
    feed("a");
    QTRY_COMPARE_WITH_TIMEOUT(disconnects.count(), 1, 5000);
    EXPECT_EQ(chunks, 1);
    EXPECT_FALSE(p.Connected());
    EXPECT_EQ(TestBridge_OpenHandles(), 0);
    ASSERT_TRUE(p.Connect()) << "and a new connection works after it";
}

TEST_F(ReaderStop, disconnectWhileTheReaderSleepsDoesNotWaitOutThePause)
{
    TCP2110& p = connected();
    const uint32_t reads = TestBridge_CallCount("HidUart_Read");
    QTRY_VERIFY_WITH_TIMEOUT(TestBridge_CallCount("HidUart_Read") > reads, 5000);
    // A pause of ten minutes: a reader that slept it out would hang here.
    TCP2110::setPollPause(600000);
    const uint32_t now = TestBridge_CallCount("HidUart_Read");
    QTRY_VERIFY_WITH_TIMEOUT(TestBridge_CallCount("HidUart_Read") > now, 5000);
    EXPECT_TRUE(p.Disconnect());
    EXPECT_FALSE(p.Connected());
}

using ReadPause = Reader;

TEST_F(ReadPause, isIgnoredWhileNotConnected)
{
    TestBridge_AddDevice("M1", "/dev/hidraw1");
    TCP2110& p = makePort();
    TCP2110::setPollPause(1);
    p.setReadPause(true);
    EXPECT_FALSE(p.ReadPause());
    ASSERT_TRUE(p.Connect());
    QSignalSpy data(&p, &TCP2110::OnReceiveData);
    feed("go");
    EXPECT_TRUE(data.wait(5000));
}

TEST_F(ReadPause, aPausedReaderStartsNoReadAndResumes)
{
    TCP2110& p = connected();
    ChunkLog log(p);
    p.setReadPause(true);
    EXPECT_TRUE(p.ReadPause());
    // At most the read under way completes; after that the count stands.
    QCoreApplication::processEvents();
    const uint32_t reads = TestBridge_CallCount("HidUart_Read");
    feed("held");
    QSignalSpy data(&p, &TCP2110::OnReceiveData);
    EXPECT_FALSE(data.wait(300));
    EXPECT_LE(TestBridge_CallCount("HidUart_Read"), reads + 1);
    EXPECT_TRUE(log.all.isEmpty());
    p.setReadPause(false);
    QTRY_COMPARE_WITH_TIMEOUT(log.all, QByteArray("held"), 5000);
}

TEST_F(ReadPause, whatWaitedCanBeDroppedOnResumeAndWhatFollowsArrives)
{
    TCP2110& p = connected();
    ChunkLog log(p);
    p.setReadPause(true);
    QCoreApplication::processEvents();
    // More than one read takes: the whole backlog goes, not just a chunk.
    feed(pattern(5000));
    p.discardWaiting();
    const uint32_t reads = TestBridge_CallCount("HidUart_Read");
    p.setReadPause(false);
    // Dropping ends with a read that finds nothing; polls go on after it.
    QTRY_VERIFY_WITH_TIMEOUT(TestBridge_CallCount("HidUart_Read") > reads + 5, 5000);
    feed("fresh");
    QTRY_COMPARE_WITH_TIMEOUT(log.all, QByteArray("fresh"), 5000);
}

TEST_F(ReadPause, keepsItsValueAcrossReconnectionWhileTheNewReaderPolls)
{
    TCP2110& p = connected();
    p.setReadPause(true);
    p.Disconnect();
    EXPECT_TRUE(p.ReadPause());
    ASSERT_TRUE(p.Connect());
    EXPECT_TRUE(p.ReadPause());
    QSignalSpy data(&p, &TCP2110::OnReceiveData);
    feed("1");
    EXPECT_TRUE(data.wait(5000)) << "a new reader starts unpaused";
    p.setReadPause(true); // the value it already has: nothing happens
    feed("2");
    EXPECT_TRUE(data.wait(5000));
    p.setReadPause(false);
    EXPECT_FALSE(p.ReadPause());
    feed("3");
    EXPECT_TRUE(data.wait(5000));
}

TEST_F(ReadPause, aPausedReaderStillEndsOnDisconnect)
{
    TCP2110& p = connected();
    p.setReadPause(true);
    EXPECT_TRUE(p.Disconnect());
    EXPECT_EQ(TestBridge_OpenHandles(), 0);
}

using FailingHandler = Reader;

TEST_F(FailingHandler, completesTheHandOverReportsOnceAndDataGoesOn)
{
    TCP2110& p = connected();
    QSignalSpy failures(&p, &TCP2110::OnReceiveFailed);
    QByteArray seen;
    QObject::connect(&p, &TCP2110::OnReceiveData, [&](const uint8_t* d, uint32_t n) {
        seen.append(reinterpret_cast<const char*>(d), n);
        throw std::runtime_error("handler broke");
    });
    feed("a");
    QTRY_COMPARE_WITH_TIMEOUT(seen, QByteArray("a"), 5000);
    feed("b");
    QTRY_COMPARE_WITH_TIMEOUT(seen, QByteArray("ab"), 5000);
    feed("c");
    QTRY_COMPARE_WITH_TIMEOUT(seen, QByteArray("abc"), 5000);
    ASSERT_EQ(failures.count(), 1);
    EXPECT_EQ(failures.at(0).at(0).toString(), "handler broke");
    p.Disconnect();
    ASSERT_TRUE(p.Connect());
    feed("d");
    QTRY_COMPARE_WITH_TIMEOUT(failures.count(), 2, 5000);
}

using ReaderStress = Reader;

TEST_F(ReaderStress, aThousandConnectionsWithTheReaderBusyEndClean)
{
    TCP2110& p = connected();
    p.Disconnect();
    TestBridge_SetStream(64);
    qint64 bytes = 0;
    int connects = 0, disconnects = 0;
    QObject::connect(&p, &TCP2110::OnReceiveData, [&](const uint8_t*, uint32_t n) { bytes += n; });
    QObject::connect(&p, &TCP2110::OnConnect, [&](QObject*) { ++connects; });
    QObject::connect(&p, &TCP2110::OnDisconnect, [&](QObject*) { ++disconnects; });
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(p.Connect()) << i;
        // Every other round, stop with a chunk read but not yet handled.
        if (i % 2 == 0)
            TestBridge_WaitForDataRead(1000);
        else
            QCoreApplication::processEvents();
        p.Disconnect();
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(connects, 1000);
    EXPECT_EQ(disconnects, 1000);
    EXPECT_GE(bytes, 500 * 64);
    EXPECT_EQ(TestBridge_OpenHandles(), 0);
}

} // namespace
} // namespace varnetta::link::testing

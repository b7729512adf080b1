// The receive assembly against chunkings of real frame streams.
#include "FrameBuilders.h"
#include "protocol/MeterFrame.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include "support/QtPrinters.h"

using namespace varnetta::protocol;
using namespace varnetta::protocol::testing;

namespace {

struct Collector
{
    explicit Collector(TReceiveAssembly& assembly)
    {
        QObject::connect(&assembly, &TReceiveAssembly::frameReady, [this](const QByteArray& f) { frames << f; });
        QObject::connect(&assembly, &TReceiveAssembly::chunkReceived, [this] { ++chunks; });
    }
    QList<QByteArray> frames;
    int chunks = 0;
};

QByteArray frameA() { return ReadingFrame(0x30, "  1 0.123 230.1  2.34"); }
QByteArray frameB() { return ReadingFrame(0x36, "  1 50.01 229.8  2.30"); }
QByteArray frameC() { return MemoryFrame(0x31, "  2 0.456 231.0  1.98"); }

} // namespace

TEST(Checksum, CommandFrameExampleMatchesTheMeter)
{
    TCommandSequencer sequencer;
    EXPECT_EQ(sequencer.BuildCommandFrame(0x42), QByteArray::fromHex("abcd04420101bf"));
}

TEST(Checksum, ReceivedFrameIsValidOnlyWithTheRightSum)
{
    QByteArray frame = frameA();
    EXPECT_TRUE(CheckFrame(frame));
    frame[10] = char(frame[10] + 1);
    EXPECT_FALSE(CheckFrame(frame));
}

TEST(Checksum, FourByteFrameIsInvalid)
{
    EXPECT_FALSE(CheckFrame(QByteArray::fromHex("abcd0d0a")));
}

TEST(Checksum, SumCoversEveryByteInFrontOfTheChecksum)
{
    // 0xFF x 31 = 7905 = 0x1EE1: the largest sum a reading frame can have.
    QByteArray frame(31, char(0xFF));
    frame.append(char(0x1E)).append(char(0xE1)).append("\r\n");
    EXPECT_TRUE(CheckFrame(frame));
}

TEST(SequenceNumbers, StartAtOneAndWrapFrom255ToOne)
{
    TCommandSequencer sequencer;
    QList<int> seen;
    for (int i = 0; i < 256; ++i)
        seen << uint8_t(sequencer.BuildCommandFrame(0x41)[4]);
    EXPECT_EQ(seen.first(), 1);
    EXPECT_EQ(seen[254], 255);
    EXPECT_EQ(seen[255], 1);
    EXPECT_FALSE(seen.contains(0));
}

TEST(SequenceNumbers, ChecksumFollowsTheSequenceNumber)
{
    TCommandSequencer sequencer;
    for (int i = 0; i < 300; ++i) {
        const QByteArray f = sequencer.BuildCommandFrame(0x57);
        ASSERT_EQ(f.size(), kCommandFrameSize);
        const uint32_t sum = FrameSum(QByteArrayView(f).first(5));
        EXPECT_EQ(uint8_t(f[5]), sum / 256);
        EXPECT_EQ(uint8_t(f[6]), sum % 256);
    }
}

TEST(ReceiveAssemblyChunking, ChunkWithoutTrailerOnlyGrowsTheBufferAndRestartsTheWatchdog)
{
    TReceiveAssembly assembly;
    Collector c(assembly);
    assembly.CP21101ReceiveData(frameA().left(20));
    EXPECT_TRUE(c.frames.isEmpty());
    EXPECT_EQ(c.chunks, 1);
    EXPECT_EQ(assembly.bufferedBytes(), 20);
}

TEST(ReceiveAssemblyChunking, EmptyChunkStillRestartsTheWatchdog)
{
    TReceiveAssembly assembly;
    Collector c(assembly);
    assembly.CP21101ReceiveData(nullptr, 0);
    EXPECT_EQ(c.chunks, 1);
}

TEST(ReceiveAssemblyChunking, FrameSplitAtEveryPositionIsTakenWhenItsTrailerArrives)
{
    const QByteArray stream = frameA();
    for (qsizetype cut = 1; cut < stream.size(); ++cut) {
        TReceiveAssembly assembly;
        Collector c(assembly);
        assembly.CP21101ReceiveData(stream.left(cut));
        assembly.CP21101ReceiveData(stream.mid(cut));
        ASSERT_EQ(c.frames.size(), 1) << "cut at " << cut;
        EXPECT_EQ(c.frames.first(), stream);
        EXPECT_EQ(assembly.bufferedBytes(), 0);
    }
}

TEST(ReceiveAssemblyChunking, ByteByByteStreamYieldsEveryFrameInOrder)
{
    const QByteArray stream = frameA() + frameB() + frameC();
    TReceiveAssembly assembly;
    Collector c(assembly);
    for (char b : stream)
        assembly.CP21101ReceiveData(QByteArrayView(&b, 1));
    EXPECT_EQ(c.frames, (QList<QByteArray>{frameA(), frameB(), frameC()}));
    EXPECT_EQ(assembly.counters().framesDispatched, 3u);
    EXPECT_EQ(assembly.counters().bytesReceived, quint64(stream.size()));
}

TEST(ReceiveAssemblyChunking, EveryCompleteFrameOfOneChunkIsTakenAtOnce)
{
    TReceiveAssembly assembly;
    Collector c(assembly);
    assembly.CP21101ReceiveData(frameA() + frameB() + frameC().left(7));
    EXPECT_EQ(c.frames, (QList<QByteArray>{frameA(), frameB()}));
    EXPECT_EQ(assembly.bufferedBytes(), 7);
}

TEST(ReceiveAssemblyJunk, BytesInFrontCostOnlyThemselves)
{
    TReceiveAssembly assembly;
    Collector c(assembly);
    const QByteArray junk = frameB().mid(12); // the tail of a frame whose start was lost
    assembly.CP21101ReceiveData(junk + frameA() + frameC());
    EXPECT_EQ(c.frames, (QList<QByteArray>{frameA(), frameC()}));
    EXPECT_EQ(assembly.counters().bytesDropped, quint64(junk.size()));
    EXPECT_GE(assembly.counters().resyncs, 1u);
}

TEST(ReceiveAssemblyJunk, JunkWithoutAnyHeaderIsDroppedAtItsTrailer)
{
    TReceiveAssembly assembly;
    Collector c(assembly);
    assembly.CP21101ReceiveData(QByteArray("garbage\r\n"));
    EXPECT_TRUE(c.frames.isEmpty());
    EXPECT_EQ(assembly.bufferedBytes(), 0);
    assembly.CP21101ReceiveData(frameA());
    EXPECT_EQ(c.frames.size(), 1);
}

TEST(ReceiveAssemblyJunk, CrLfInsideAFrameCostsOnlyThatFrame)
{
    // A frame holding 0x0D 0x0A in its body is cut there and fails the check;
    // its rest is junk in front of the next frame.
    QByteArray broken = ReadingFrame(0x30, QByteArray("  1 0.1\r\n30.1  2.34"));
    TReceiveAssembly assembly;
    Collector c(assembly);
    assembly.CP21101ReceiveData(broken + frameB());
    EXPECT_EQ(c.frames, (QList<QByteArray>{frameB()}));
    EXPECT_EQ(assembly.counters().checksumFailures, 1u);
}

TEST(ReceiveAssemblyJunk, OnlyTheByteSequenceCrLfEndsAFrame)
{
    TReceiveAssembly assembly;
    Collector c(assembly);
    assembly.CP21101ReceiveData(QByteArray::fromHex("abcd30d0a5"));
    EXPECT_TRUE(c.frames.isEmpty());
    EXPECT_EQ(assembly.bufferedBytes(), 5);
}

TEST(ReceiveAssemblyJunk, HeaderSplitAcrossChunksAfterJunkStillMatches)
{
    TReceiveAssembly assembly;
    Collector c(assembly);
    const QByteArray f = frameA();
    assembly.CP21101ReceiveData(QByteArray("xx\r\nzz") + f.left(1));
    assembly.CP21101ReceiveData(f.mid(1));
    EXPECT_EQ(c.frames, (QList<QByteArray>{f}));
}

TEST(ReceiveAssemblyJunk, BadChecksumDropsTheFrameAndCountsIt)
{
    QByteArray bad = frameA();
    bad[31] = char(bad[31] ^ 0x01);
    TReceiveAssembly assembly;
    Collector c(assembly);
    assembly.CP21101ReceiveData(bad + frameB());
    EXPECT_EQ(c.frames, (QList<QByteArray>{frameB()}));
    EXPECT_EQ(assembly.counters().checksumFailures, 1u);
}

TEST(ReceiveAssemblyOverflow, EndlessBytesWithoutTrailerStayBounded)
{
    TReceiveAssembly assembly;
    Collector c(assembly);
    const QByteArray noise(1000, 'x');
    for (int i = 0; i < 100; ++i)
        assembly.CP21101ReceiveData(noise);
    EXPECT_LE(assembly.bufferedBytes(), TReceiveAssembly::kMaxBufferBytes);
    // The link comes back in sync with the next frame.
    assembly.CP21101ReceiveData(frameA());
    EXPECT_EQ(c.frames, (QList<QByteArray>{frameA()}));
}

TEST(ReceiveAssemblyOverflow, AFrameStartingAfterTheNoiseSurvivesTheBound)
{
    TReceiveAssembly assembly;
    Collector c(assembly);
    const QByteArray f = frameA();
    assembly.CP21101ReceiveData(QByteArray(TReceiveAssembly::kMaxBufferBytes, 'x') + f.left(10));
    assembly.CP21101ReceiveData(f.mid(10));
    EXPECT_EQ(c.frames, (QList<QByteArray>{f}));
}

TEST(ReceiveAssemblyReentrancy, NestedChunkDuringDispatchNeverRepeatsAFrame)
{
    // A modal dialog opened while dispatching keeps chunks coming.
    TReceiveAssembly assembly;
    QList<QByteArray> frames;
    bool nested = false;
    QObject::connect(&assembly, &TReceiveAssembly::frameReady, [&](const QByteArray& f) {
        frames << f;
        if (!nested) {
            nested = true;
            assembly.CP21101ReceiveData(frameC());
        }
    });
    assembly.CP21101ReceiveData(frameA() + frameB());
    EXPECT_EQ(frames, (QList<QByteArray>{frameA(), frameB(), frameC()}));
    EXPECT_EQ(assembly.bufferedBytes(), 0);
}

TEST(ReceiveAssemblyReentrancy, OuterReceiverStillHoldsItsOwnFrameAfterANestedChunk)
{
    TReceiveAssembly assembly;
    QList<QByteArray> seenAfterNesting;
    QList<QByteArray> kept;
    bool nested = false;
    QObject::connect(&assembly, &TReceiveAssembly::frameReady, [&](const QByteArray& f) {
        if (!nested) {
            nested = true;
            assembly.CP21101ReceiveData(frameC());
        }
        // Read only after the nested call has handed on a frame of its own.
        seenAfterNesting << QByteArray(f.constData(), f.size());
        kept << f; // a receiver keeping the frame shares it
    });
    assembly.CP21101ReceiveData(frameA() + frameB());
    // The nested call hands on B and C; the outer receiver, reading its
    // frame afterwards, still finds A.
    EXPECT_EQ(seenAfterNesting, (QList<QByteArray>{frameB(), frameC(), frameA()}));
    // Frames handed on later never change one a receiver kept.
    EXPECT_EQ(kept, (QList<QByteArray>{frameB(), frameC(), frameA()}));
}

TEST(ReceiveAssemblyTrailer, CrWithoutLfAndACrLfSplitAcrossChunksAreFoundRightly)
{
    TReceiveAssembly assembly;
    Collector c(assembly);
    // A lone CR inside a value does not end the frame.
    const QByteArray withCr = ReadingFrame(0x30, "  1 0.1\r3 230.1  2.34");
    const QByteArray a = frameA();
    assembly.CP21101ReceiveData(withCr + a.left(a.size() - 1)); // ends on the CR
    EXPECT_EQ(c.frames, (QList<QByteArray>{withCr}));
    assembly.CP21101ReceiveData(a.right(1) + "\r"); // LF, then a stray CR at the end
    EXPECT_EQ(c.frames, (QList<QByteArray>{withCr, a}));
    const QByteArray b = frameB();
    assembly.CP21101ReceiveData(b);
    // The stray CR sits in front of a header: junk, not part of a frame.
    EXPECT_EQ(c.frames, (QList<QByteArray>{withCr, a, b}));
}

TEST(ReceiveAssemblyJunk, FrameWhoseTailWasLostCostsOnlyItselfNotTheNextFrame)
{
    // The start of a frame, then its tail lost, then a whole frame: the
    // first CR LF ends both; the good frame inside is still taken.
    TReceiveAssembly assembly;
    Collector c(assembly);
    assembly.CP21101ReceiveData(frameC().left(15) + frameA() + frameB());
    EXPECT_EQ(c.frames, (QList<QByteArray>{frameA(), frameB()}));
    EXPECT_EQ(assembly.counters().checksumFailures, 1u);
    EXPECT_EQ(assembly.counters().bytesDropped, 15u);
}

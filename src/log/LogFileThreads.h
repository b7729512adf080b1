// Pieces of one file read or written on several threads at once: the
// calling thread works on the first piece and reports progress, the others
// run beside it; a failure or a cancel on any of them stops them all.
#pragma once

#include <QByteArray>
#include <QIODevice>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

namespace varnetta::log::fileio {

// How many pieces a file of `bytes` is worth: one per core, none smaller
// than `minPiece` bytes.
[[nodiscard]] int PieceCount(qint64 bytes, qint64 minPiece);
// Writers hand out small parts and join nothing: worth a thread from here.
inline constexpr qint64 kMinWriteBytesPerThread = qint64(4) << 20;

// A second device on the same bytes, for another thread: a file opened
// again by name, a buffer over the same data. Null for anything else (a
// pipe, a socket, a file opened from a handle).
[[nodiscard]] std::unique_ptr<QIODevice> OpenAgain(QIODevice& in);

class TPieceRun
{
public:
    // Runs work(0) here and work(1) .. work(count - 1) on threads of their
    // own; returns when all have ended. While the others are still at it,
    // `tick` is called here every few dozen milliseconds. An exception from
    // `tick` or any work stops the rest (stopping() turns true), and is
    // passed on once every thread has ended.
    void run(int count, const std::function<void(int piece)>& work, const std::function<void()>& tick);

    // For the pieces' loops: give up, the result is no longer wanted.
    [[nodiscard]] bool stopping() const { return m_stop.load(std::memory_order_relaxed); }
    void stop() { m_stop.store(true); }

private:
    std::atomic<bool> m_stop{false};
};

// Bytes made in parts on `threads` threads and taken in part order on the
// calling thread, a few parts ahead at most: `make(part, bytes)` fills
// the empty `bytes`, `take(part, bytes)` writes them. Either returning
// false ends the run, and so does an exception (passed on once every
// thread has ended). False when ended early.
using TMakePart = std::function<bool(qsizetype part, QByteArray& bytes)>;
using TTakePart = std::function<bool(qsizetype part, const QByteArray& bytes)>;
[[nodiscard]] bool MakeInOrder(qsizetype parts, int threads, const TMakePart& make, const TTakePart& take);

} // namespace varnetta::log::fileio

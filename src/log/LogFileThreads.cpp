#include "LogFileThreads.h"

#include <QBuffer>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace varnetta::log::fileio {

int PieceCount(qint64 bytes, qint64 minPiece)
{
    // VARNETTA_FILE_THREADS caps the threads (1: the calling thread alone),
    // for a box shared with other work and to measure what they gain.
    qint64 cores = std::max(1, QThread::idealThreadCount());
    if (const int cap = qEnvironmentVariableIntValue("VARNETTA_FILE_THREADS"); cap > 0)
        cores = std::min<qint64>(cores, cap);
    return int(std::clamp<qint64>(bytes / std::max<qint64>(1, minPiece), 1, std::min<qint64>(cores, 16)));
}

std::unique_ptr<QIODevice> OpenAgain(QIODevice& in)
{
    if (auto* file = qobject_cast<QFile*>(&in); file && !file->fileName().isEmpty()) {
        auto again = std::make_unique<QFile>(file->fileName());
        if (again->open(QIODevice::ReadOnly) && again->size() == file->size())
            return again;
        return nullptr;
    }
    if (auto* buffer = qobject_cast<QBuffer*>(&in)) {
        auto again = std::make_unique<QBuffer>();
        again->setData(buffer->data());
        if (again->open(QIODevice::ReadOnly))
            return again;
    }
    return nullptr;
}

void TPieceRun::run(int count, const std::function<void(int)>& work, const std::function<void()>& tick)
{
    std::mutex lock;
    std::condition_variable ended;
    int running = count - 1;
    std::exception_ptr failure;
    const auto fail = [&](std::exception_ptr e) {
        stop();
        const std::lock_guard guard(lock);
        if (!failure)
            failure = e;
    };

    std::vector<std::thread> threads;
    // Joined on every way out, exceptions included.
    struct TJoin
    {
        TPieceRun& run;
        std::vector<std::thread>& threads;
        ~TJoin()
        {
            if (std::uncaught_exceptions() > 0)
                run.stop();
            for (auto& t : threads)
                t.join();
        }
    } join{*this, threads};

    for (int piece = 1; piece < count; ++piece) {
        threads.emplace_back([&, piece] {
            try {
                work(piece);
            } catch (...) {
                fail(std::current_exception());
            }
            const std::lock_guard guard(lock);
            --running;
            ended.notify_all();
        });
    }
    try {
        work(0);
        for (;;) {
            {
                std::unique_lock wait(lock);
                if (ended.wait_for(wait, std::chrono::milliseconds(40), [&] { return running == 0; }))
                    break;
            }
            if (tick)
                tick();
        }
    } catch (...) {
        fail(std::current_exception());
    }
    for (auto& t : threads)
        t.join();
    threads.clear();
    if (failure)
        std::rethrow_exception(failure);
}

bool MakeInOrder(qsizetype parts, int threads, const TMakePart& make, const TTakePart& take)
{
    if (threads <= 1 || parts <= 1) {
        QByteArray bytes;
        for (qsizetype part = 0; part < parts; ++part) {
            bytes.truncate(0); // keeps its room for the next part
            if (!make(part, bytes) || !take(part, bytes))
                return false;
        }
        return true;
    }

    struct TSlot
    {
        QByteArray bytes;
        qsizetype part = -1; // the part the bytes are, once made
        bool made = false;
        bool ok = false; // what `make` said of it
    };
    const qsizetype ringSize = qsizetype(threads) * 2;
    std::vector<TSlot> ring(static_cast<size_t>(ringSize));
    std::mutex lock;
    std::condition_variable changed;
    qsizetype next = 0;  // the next part to make
    qsizetype taken = 0; // parts taken so far
    bool stop = false;
    std::exception_ptr failure;

    const auto maker = [&] {
        for (;;) {
            qsizetype part;
            {
                std::unique_lock wait(lock);
                // A part's slot is free once the part `ringSize` before it is taken.
                changed.wait(wait, [&] { return stop || next >= parts || next - taken < ringSize; });
                if (stop || next >= parts)
                    return;
                part = next++;
            }
            TSlot& slot = ring[size_t(part % ringSize)];
            bool ok = false;
            try {
                slot.bytes.truncate(0); // keeps its room for the next part
                ok = make(part, slot.bytes);
            } catch (...) {
                const std::lock_guard guard(lock);
                if (!failure)
                    failure = std::current_exception();
                stop = true;
                changed.notify_all();
                return;
            }
            const std::lock_guard guard(lock);
            slot.part = part;
            slot.ok = ok;
            slot.made = true;
            changed.notify_all();
        }
    };

    std::vector<std::thread> workers;
    struct TJoin
    {
        std::mutex& lock;
        std::condition_variable& changed;
        bool& stop;
        std::vector<std::thread>& workers;
        ~TJoin()
        {
            {
                const std::lock_guard guard(lock);
                stop = true;
            }
            changed.notify_all();
            for (auto& w : workers)
                w.join();
        }
    } join{lock, changed, stop, workers};
    for (int t = 0; t < threads; ++t)
        workers.emplace_back(maker);

    bool whole = true;
    for (qsizetype part = 0; part < parts && whole; ++part) {
        TSlot& slot = ring[size_t(part % ringSize)];
        {
            std::unique_lock wait(lock);
            changed.wait(wait, [&] { return failure || (slot.made && slot.part == part); });
            if (failure)
                break;
            whole = slot.ok;
        }
        whole = whole && take(part, slot.bytes);
        const std::lock_guard guard(lock);
        slot.made = false;
        taken = part + 1;
        changed.notify_all();
    }
    {
        const std::lock_guard guard(lock);
        stop = true;
    }
    changed.notify_all();
    for (auto& w : workers)
        w.join();
    workers.clear();
    if (failure)
        std::rethrow_exception(failure);
    return whole;
}

} // namespace varnetta::log::fileio

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
    const qint64 cores = std::max(1, QThread::idealThreadCount());
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

} // namespace varnetta::log::fileio

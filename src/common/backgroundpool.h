#pragma once

#include <QFuture>
#include <QPromise>

#include <functional>
#include <memory>
#include <utility>

class QThreadPool;

// Threads for work that may block on a server that does not answer or on a
// big file, owned by the window or object that starts the work instead of
// Qt's global pool, which QCoreApplication's destructor waits for.
//
// Nothing waits for it: its owner cancels the futures it no longer wants,
// and destroying the pool returns at once. A job still running then finishes
// on its thread, and ReleasedWork frees the threads afterwards. A job must
// therefore reach its owner only through its promise: it works on copies and
// shared data, never on a pointer to the owner.
class BackgroundPool
{
public:
    explicit BackgroundPool(int maxThreads = 2);
    ~BackgroundPool();
    BackgroundPool(const BackgroundPool &) = delete;
    BackgroundPool &operator=(const BackgroundPool &) = delete;

    // Runs work(promise) on one of the pool's threads; the future is running
    // from now on and finished when work returns. A future cancelled before
    // its job starts never runs work; work checks promise.isCanceled() in its
    // loops and between its steps.
    template <typename T, typename Work>
    QFuture<T> run(Work work)
    {
        auto promise = std::make_shared<QPromise<T>>();
        QFuture<T> future = promise->future();
        promise->start();
        start([promise, work = std::move(work)]() mutable {
            if (!promise->isCanceled())
                work(*promise);
            promise->finish();
        });
        return future;
    }

    // Jobs running now.
    int activeJobs() const;

private:
    void start(std::function<void()> job);

    QThreadPool *m_threads;
};

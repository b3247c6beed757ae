#include "common/releasedwork.h"

#include <QList>
#include <QPointer>
#include <QThread>
#include <QThreadPool>

namespace {

// A pool's idle threads end when the pool is deleted; one with a job running
// waits in the list until that job is done.
QList<QThreadPool *> &pools()
{
    static QList<QThreadPool *> list;
    return list;
}

// Each thread deletes itself when it has finished (deleteLater); the list
// forgets it then.
QList<QPointer<QThread>> &threads()
{
    static QList<QPointer<QThread>> list;
    return list;
}

void freeIdlePools()
{
    pools().removeIf([](QThreadPool *pool) {
        if (!pool->waitForDone(0))
            return false;
        delete pool;
        return true;
    });
}

} // namespace

void ReleasedWork::adopt(QThreadPool *pool)
{
    pools().append(pool);
    freeIdlePools();
}

void ReleasedWork::adopt(QThread *thread)
{
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    // A thread that finished before the connection has sent its signal already.
    if (thread->isFinished()) {
        delete thread;
        return;
    }
    threads().append(thread);
}

int ReleasedWork::running()
{
    freeIdlePools();
    threads().removeIf([](const QPointer<QThread> &thread) { return thread.isNull() || thread->isFinished(); });
    return int(pools().size() + threads().size());
}

bool ReleasedWork::finish(QDeadlineTimer deadline)
{
    for (QThreadPool *pool : pools())
        pool->waitForDone(int(deadline.remainingTime()));
    freeIdlePools();
    for (const QPointer<QThread> &thread : threads()) {
        if (thread && thread->wait(deadline))
            delete thread.data();
    }
    return running() == 0;
}

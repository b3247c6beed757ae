#include "testmain.h"

#include "common/backgroundpool.h"
#include "common/releasedwork.h"

#include <QPointer>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

// Work that waits for the test: it tells when it runs and goes on when the
// test lets it (or after a minute, so that a failing test ends).
struct Gate
{
    QSemaphore started;
    QSemaphore open;

    void pass()
    {
        started.release();
        open.tryAcquire(1, 60000);
    }
};

class TestBackgroundPool : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The owner goes while its job still waits: nothing waits for the job,
    // which finishes on its thread, after which its threads are freed.
    void aPoolLeftWithAJobRunningIsFreedWhenTheJobEnds()
    {
        auto gate = std::make_shared<Gate>();
        QFuture<int> future;
        {
            BackgroundPool pool;
            future = pool.run<int>([gate](QPromise<int> &promise) {
                gate->pass();
                promise.addResult(42);
            });
            QVERIFY(gate->started.tryAcquire(1, 10000));
            QCOMPARE(pool.activeJobs(), 1);
        }
        QCOMPARE(ReleasedWork::running(), 1);
        QVERIFY(future.isRunning());

        gate->open.release();
        QTRY_COMPARE(ReleasedWork::running(), 0);
        QVERIFY(future.isFinished());
        QCOMPARE(future.result(), 42);
    }

    // A future cancelled while its job waits in the queue never runs it;
    // one cancelled while running sees it and stops.
    void cancelledJobsStopOrNeverStart()
    {
        auto gate = std::make_shared<Gate>();
        BackgroundPool pool(1);
        std::atomic<int> rounds{0};
        QFuture<int> running = pool.run<int>([gate, &rounds](QPromise<int> &promise) {
            gate->pass();
            while (!promise.isCanceled() && rounds < 1000000)
                ++rounds;
        });
        std::atomic<bool> ran{false};
        QFuture<int> queued = pool.run<int>([&ran](QPromise<int> &) { ran = true; });
        QVERIFY(gate->started.tryAcquire(1, 10000));
        queued.cancel();
        running.cancel();
        gate->open.release();

        QTRY_VERIFY(queued.isFinished() && running.isFinished());
        QVERIFY(!ran);
        QCOMPARE(rounds.load(), 0);
    }

    // A thread told to quit is freed once it has finished; the program's
    // end waits for such work only up to its deadline.
    void releasedWorkIsWaitedForOnlyUntilTheDeadline()
    {
        auto gate = std::make_shared<Gate>();
        QThread *thread = QThread::create([gate] { gate->pass(); });
        thread->start();
        QVERIFY(gate->started.tryAcquire(1, 10000));
        ReleasedWork::adopt(thread);
        QPointer<QThread> watched(thread);
        {
            BackgroundPool pool;
            pool.run<int>([gate](QPromise<int> &) { gate->pass(); });
            QVERIFY(gate->started.tryAcquire(1, 10000));
        }
        QCOMPARE(ReleasedWork::running(), 2);

        QVERIFY(!ReleasedWork::finish(QDeadlineTimer(50)));
        QCOMPARE(ReleasedWork::running(), 2);
        gate->open.release(2);
        QVERIFY(ReleasedWork::finish(QDeadlineTimer(60000)));
        QCOMPARE(ReleasedWork::running(), 0);
        QVERIFY(watched.isNull());
    }
};

BIN4870_TEST(TestBackgroundPool)
#include "tst_backgroundpool.moc"

#include "testmain.h"

#include "platform/terminationsignals.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

namespace {

bool hasDefaultAction(int signalNumber)
{
    struct sigaction current {};
    ::sigaction(signalNumber, nullptr, &current);
    return current.sa_handler == SIG_DFL;
}

} // namespace

class TestTerminationSignals : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void eachSignalArrivesOnceThroughTheEventLoop_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    void eachSignalArrivesOnceThroughTheEventLoop()
    {
        QFETCH(int, signalNumber);
        {
            TerminationSignals catcher;
            QVERIFY(catcher.isActive());
            QVERIFY(!hasDefaultAction(signalNumber));
            QSignalSpy spy(&catcher, &TerminationSignals::received);
            QCOMPARE(::raise(signalNumber), 0);
            // The handler itself only writes; the notice comes from the event loop.
            QCOMPARE(spy.count(), 0);
            QVERIFY(spy.wait(5000));
            QCOMPARE(spy.count(), 1);
            QCOMPARE(spy.at(0).at(0).toInt(), signalNumber);
            // A second signal would now end the process the usual way.
            QVERIFY(hasDefaultAction(SIGTERM));
            QVERIFY(hasDefaultAction(SIGINT));
            QVERIFY(hasDefaultAction(SIGHUP));
        }
        {
            // The socket pair was given back: a later object works again.
            TerminationSignals again;
            QVERIFY(again.isActive());
            QVERIFY(!hasDefaultAction(SIGTERM) && !hasDefaultAction(SIGINT) && !hasDefaultAction(SIGHUP));
        }
        // Destroyed without a signal, it leaves the default actions behind.
        QVERIFY(hasDefaultAction(SIGTERM) && hasDefaultAction(SIGINT) && hasDefaultAction(SIGHUP));
    }
};

BIN4870_TEST(TestTerminationSignals)
#include "tst_terminationsignals.moc"

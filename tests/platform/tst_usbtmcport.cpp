#include "testmain.h"

#include "common/releasedwork.h"
#include "platform/usbtmcport.h"
#include "ptypair.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// The USB-TMC port against a stand-in for the usbtmc driver's device file: a
// pseudo-terminal in raw mode, whose master end the test holds. It takes each
// command the port writes, and the test writes a reply in one piece, which
// one read of the port then returns whole, as the driver does. The stand-in
// refuses the driver's time-out, so the port waits for a reply with poll();
// what differs on the real device is only which call bounds the wait.

class TestUsbTmcPort : public QObject
{
    Q_OBJECT

    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<UsbTmcPort> m_port;

    void openPort(std::chrono::milliseconds replyTimeout = std::chrono::milliseconds(1000))
    {
        m_pty = std::make_unique<PtyPair>();
        QVERIFY(m_pty->isValid());
        m_port = std::make_unique<UsbTmcPort>();
        WireSettings settings;
        settings.replyTimeout = replyTimeout;
        m_port->setWireSettings(settings);
        QVERIFY(m_port->setDevice(m_pty->device()));
        QVERIFY(m_port->setPortOpen(true));
        QVERIFY(!m_port->driverTimeout());
    }

    // The next command line the port wrote, waited for.
    QByteArray nextCommand(qsizetype after)
    {
        QByteArray sent;
        QTest::qWaitFor([&] {
            sent = m_pty->sent();
            return sent.indexOf('\n', after) >= 0;
        }, 5000);
        return sent.mid(after, sent.indexOf('\n', after) + 1 - after);
    }

private Q_SLOTS:
    void cleanup()
    {
        m_port.reset();
        m_pty.reset();
    }

    void queryFetchesItsReplyAndCommandsFetchNone()
    {
        openPort();
        QCOMPARE(m_port->wire(), Wire::UsbTmc);
        QVERIFY(!m_port->canListen());
        QCOMPARE(m_port->portName(), m_pty->device());
        QVERIFY(m_port->output("func rv\r\n"));
        QVERIFY(m_port->query(":fetch?\r\n"));
        QCOMPARE(nextCommand(0), QByteArray("func rv\r\n"));
        QCOMPARE(nextCommand(9), QByteArray(":fetch?\r\n"));

        QSignalSpy arrived(m_port.get(), &SerialPort::dataArrived);
        QVERIFY(m_pty->write("20.000E-3,3.6000E+0\r\n"));
        QVERIFY(arrived.wait(5000));
        QCOMPARE(m_port->input().valueOr(QByteArray()), QByteArray("20.000E-3,3.6000E+0\r\n"));
    }

    // A read that times out is a silent tester, not a lost one: the next
    // query is answered.
    void unansweredQueryLosesNothing()
    {
        openPort(std::chrono::milliseconds(200));
        QSignalSpy lost(m_port.get(), &SerialPort::portLost);
        QSignalSpy arrived(m_port.get(), &SerialPort::dataArrived);
        QVERIFY(m_port->query(":fetch?\r\n"));
        QCOMPARE(nextCommand(0), QByteArray(":fetch?\r\n"));
        QVERIFY(m_port->query(":fetch?\r\n"));
        // The second query goes out once the first read has given up.
        QCOMPARE(nextCommand(9), QByteArray(":fetch?\r\n"));
        QVERIFY(m_pty->write("1,2\r\n"));
        QVERIFY(arrived.wait(5000));
        QCOMPARE(m_port->input().valueOr(QByteArray()), QByteArray("1,2\r\n"));
        QCOMPARE(lost.size(), 0);
        QVERIFY(m_port->portOpen());
    }

    void unpluggedDeviceIsALostPortToldOnce()
    {
        openPort();
        QSignalSpy lost(m_port.get(), &SerialPort::portLost);
        QVERIFY(m_port->query(":fetch?\r\n"));
        QCOMPARE(nextCommand(0), QByteArray(":fetch?\r\n"));
        m_pty->closeMaster();
        QVERIFY(lost.wait(5000));
        QVERIFY(!m_port->portOpen());
        QVERIFY(!lost.wait(300));
        QCOMPARE(lost.size(), 1);
        QCOMPARE(m_port->query(":fetch?\r\n").kind(), ErrorKind::PortNotOpen);
    }

    // Closing never waits for a transfer under way, and the port's thread
    // ends soon after.
    void closeReturnsWhileAReadWaits()
    {
        openPort(std::chrono::milliseconds(30000));
        QVERIFY(m_port->query(":fetch?\r\n"));
        QCOMPARE(nextCommand(0), QByteArray(":fetch?\r\n"));
        QElapsedTimer closing;
        closing.start();
        QVERIFY(m_port->setPortOpen(false));
        QVERIFY2(closing.elapsed() < 1000, qPrintable(QString::number(closing.elapsed())));
        QVERIFY(!m_port->portOpen());
        QTRY_COMPARE_WITH_TIMEOUT(ReleasedWork::running(), 0, 5000);
        // Opened again, it works as new.
        QVERIFY(m_port->setPortOpen(true));
        QSignalSpy arrived(m_port.get(), &SerialPort::dataArrived);
        QVERIFY(m_port->query(":fetch?\r\n"));
        QCOMPARE(nextCommand(9), QByteArray(":fetch?\r\n"));
        QVERIFY(m_pty->write("1,2\r\n"));
        QVERIFY(arrived.wait(5000));
        QCOMPARE(m_port->input().valueOr(QByteArray()), QByteArray("1,2\r\n"));
    }

    void missingDeviceIsNamed()
    {
        UsbTmcPort port;
        QVERIFY(port.setDevice(QStringLiteral("/dev/usbtmc-no-such-device")));
        const Status opened = port.setPortOpen(true);
        QCOMPARE(opened.kind(), ErrorKind::PortOpenFailed);
        QVERIFY2(opened.errorString().contains(QStringLiteral("/dev/usbtmc-no-such-device"))
                     && opened.errorString().contains(QStringLiteral("does not exist")),
                 qPrintable(opened.errorString()));
        QVERIFY(!port.portOpen());
        QCOMPARE(port.setCommPort(1).kind(), ErrorKind::PortOpenFailed);
    }
};

BIN4870_TEST(TestUsbTmcPort)
#include "tst_usbtmcport.moc"

#include "testmain.h"

#include "../platform/ptypair.h"
#include "simtester.h"

#include "common/apperror.h"
#include "link/commandchannel.h"
#include "platform/qteventpump.h"
#include "platform/qtserialport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <sys/resource.h>

using namespace std::chrono_literals;

namespace {

// Counts the passes of the wait.
class CountingPump : public EventPump
{
public:
    void processOnceWaiting() override
    {
        ++waits;
        m_pump.processOnceWaiting();
    }
    void processPending() override { m_pump.processPending(); }
    int waits = 0;

private:
    QtEventPump m_pump;
};

double threadCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Sets stopRequested from inside the wait after `delay`, as STOP does.
class StopButton
{
public:
    StopButton(CommandChannel &channel, std::chrono::milliseconds delay)
    {
        m_timer.setSingleShot(true);
        m_timer.setInterval(delay);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [&channel] { channel.stopRequested = true; });
        m_timer.start();
    }

private:
    QTimer m_timer;
};

// A reply that never comes would hang the test; this ends it after a while.
constexpr auto kWatchdog = 10s;

// The program's end of the line to a tester whose COM1 is in `folder`: the port
// opened and a channel on it, waiting with `Pump`.
template <typename Pump = QtEventPump>
struct OpenLine
{
    explicit OpenLine(const QString &folder) : port(folder), channel(port, pump) { port.setPortOpen(true); }

    QtSerialPort port;
    Pump pump;
    CommandChannel channel;
};

} // namespace

class TestCommandChannel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void replyFromTheTester_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("expected");

        const QString reading = QStringLiteral("1.2345E-3,3.9876E+0");
        QTest::newRow("one piece") << QStringList{"--reply", reading} << reading;
        QTest::newRow("byte by byte") << QStringList{"--reply", reading, "--split", "1"} << reading;
        QTest::newRow("pieces of 4, late") << QStringList{"--reply", reading, "--split", "4", "--delay", "50"} << reading;
        QTest::newRow("CR LF alone") << QStringList{"--reply", ""} << "";
        QTest::newRow("one character and CR LF") << QStringList{"--reply", "A"} << "A";
        QTest::newRow("one character and LF") << QStringList{"--reply", "A\\n", "--no-eol"} << "";
        QTest::newRow("LF alone ends the line, a character is lost")
            << QStringList{"--reply", reading + "\\n", "--no-eol"} << "1.2345E-3,3.9876E+";
        QTest::newRow("two lines in one write")
            << QStringList{"--reply", reading, "--double"} << reading + "\r\n" + reading;
        QTest::newRow("LF inside the read does not end it")
            << QStringList{"--reply", "1.0E-3\\n,3.9E+0"} << "1.0E-3\n,3.9E+0";
        QTest::newRow("Latin-1 bytes pass unchanged")
            << QStringList{"--reply", "\\xb5\\x01,3"} << QString::fromLatin1("\xb5\x01,3");
    }

    void replyFromTheTester()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, expected);

        SimTester sim;
        QVERIFY(sim.start(options));
        OpenLine<> line(sim.folder());

        StopButton watchdog(line.channel, kWatchdog);
        line.channel.sendCommand(QStringLiteral(":fetch?"));
        const Reply reply = line.channel.readReply();
        QVERIFY2(reply.complete, qPrintable(QString::fromLatin1(sim.log())));
        QCOMPARE(reply.text, expected);
    }

    void benchScenarioAnswersReadingsInTheTestersNotation()
    {
        SimTester sim;
        QVERIFY(sim.start({}));
        OpenLine<> line(sim.folder());
        line.channel.sendCommand(QStringLiteral("func rv"));
        line.channel.sendCommand(QStringLiteral("trig:sour imm"));

        const QRegularExpression number(QStringLiteral("^[+-]?\\d+\\.\\d+E[+-]\\d+$"));
        StopButton watchdog(line.channel, kWatchdog);
        for (int i = 0; i < 5; ++i) {
            line.channel.sendCommand(QStringLiteral(":fetch?"));
            const QString response = line.channel.readResponse();
            const QStringList fields = response.split(QLatin1Char(','));
            QCOMPARE(fields.size(), 2);
            QVERIFY2(number.match(fields[0]).hasMatch() && number.match(fields[1]).hasMatch(), qPrintable(response));
            const double ohms = fields[0].toDouble();
            const double volts = fields[1].toDouble();
            const bool openProbes = ohms > 1e37 && volts > 1e37;
            const bool cell = ohms >= 0.0149 && ohms <= 0.0601 && volts >= 2.99 && volts <= 4.21;
            QVERIFY2(openProbes || cell, qPrintable(response));
        }
        // The simulator sees what the program sends, line by line.
        QTRY_VERIFY_WITH_TIMEOUT(sim.log().count("rx :fetch?") == 5, 5000);
        QVERIFY(sim.log().contains("rx func rv"));
        QVERIFY(sim.log().contains("rx trig:sour imm"));

        // Stopped by a signal, the simulator still removes its link.
        sim.process().terminate();
        QTRY_COMPARE_WITH_TIMEOUT(sim.process().state(), QProcess::NotRunning, 5000);
        QVERIFY(!QFileInfo(QDir(sim.folder()).filePath(QStringLiteral("COM1"))).isSymLink());
    }

    void charactersReceivedBeforeTheCommandAreDiscarded()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        OpenLine<> line(pty.folder());

        QVERIFY(pty.write(QByteArrayLiteral("9.9E-3,1.0E+0\r\nstale")));
        QTRY_COMPARE_WITH_TIMEOUT(line.port.bytesWaiting(), qint64(20), 5000);
        line.channel.sendCommand(QStringLiteral(":fetch?"));
        QTRY_COMPARE_WITH_TIMEOUT(pty.sent(), QByteArrayLiteral(":fetch?\r\n"), 5000);
        QVERIFY(pty.write(QByteArrayLiteral("1.2345E-3,3.9876E+0\r\n")));
        QCOMPARE(line.channel.readResponse(), QStringLiteral("1.2345E-3,3.9876E+0"));
    }

    void stopDuringTheWaitReturnsWhatArrived_data()
    {
        QTest::addColumn<QByteArray>("arrived");
        QTest::addColumn<QString>("expected");
        QTest::newRow("part of a line") << QByteArray("1.2345E-3,3.98") << "1.2345E-3,3.";
        QTest::newRow("three characters") << QByteArray("1.2") << "1";
        QTest::newRow("two characters") << QByteArray("1.") << "";
        QTest::newRow("nothing") << QByteArray() << "";
    }

    void stopDuringTheWaitReturnsWhatArrived()
    {
        QFETCH(QByteArray, arrived);
        QFETCH(QString, expected);

        PtyPair pty;
        QVERIFY(pty.isValid());
        OpenLine<> line(pty.folder());
        line.channel.sendCommand(QStringLiteral(":fetch?"));
        QVERIFY(pty.write(arrived));
        QTRY_COMPARE_WITH_TIMEOUT(line.port.bytesWaiting(), qint64(arrived.size()), 5000);

        StopButton stop(line.channel, 20ms);
        const Reply reply = line.channel.readReply();
        QVERIFY(line.channel.stopRequested);
        QVERIFY(!reply.complete);
        QCOMPARE(reply.text, expected);
        QVERIFY(line.port.portOpen());
    }

    void stopEndsTheWaitOnASilentOrFloodingTester_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("textExpected");
        QTest::newRow("silent") << "--silent" << false;
        QTest::newRow("flood without a line end") << "--flood" << true;
    }

    void stopEndsTheWaitOnASilentOrFloodingTester()
    {
        QFETCH(QString, mode);
        QFETCH(bool, textExpected);

        SimTester sim;
        QVERIFY(sim.start({mode}));
        OpenLine<> line(sim.folder());
        line.channel.sendCommand(QStringLiteral(":fetch?"));

        StopButton stop(line.channel, 300ms);
        const Reply reply = line.channel.readReply();
        QVERIFY(!reply.complete);
        QCOMPARE(!reply.text.isEmpty(), textExpected);
        QVERIFY(!reply.text.contains(QLatin1Char('\n')));
        QVERIFY(sim.log().contains("rx :fetch?"));
    }

    void stopAlreadyRequestedReadsNothing()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        OpenLine<CountingPump> line(pty.folder());
        QVERIFY(pty.write(QByteArrayLiteral("1.0E-3\r\n")));
        QTRY_COMPARE_WITH_TIMEOUT(line.port.bytesWaiting(), qint64(8), 5000);

        line.channel.stopRequested = true;
        const Reply reply = line.channel.readReply();
        QCOMPARE(reply.text, QString());
        QVERIFY(!reply.complete);
        QCOMPARE(line.pump.waits, 0);
        QCOMPARE(line.port.bytesWaiting(), qint64(8));
    }

    void closedPortEndsTheWaitAfterOnePass()
    {
        QTemporaryDir folder;
        QtSerialPort port(folder.path());
        CountingPump pump;
        CommandChannel channel(port, pump);

        const Reply reply = channel.readReply();
        QCOMPARE(reply.text, QString());
        QVERIFY(!reply.complete);
        QCOMPARE(pump.waits, 1);

        try {
            channel.sendCommand(QStringLiteral(":fetch?"));
            QFAIL("sendCommand on a closed port must fail");
        } catch (const AppError &error) {
            QCOMPARE(error.number(), errors::kPortNotOpen);
        }
    }

    void farEndHangingUpEndsTheWait()
    {
        SimTester sim;
        QVERIFY(sim.start({QStringLiteral("--hangup-after"), QStringLiteral("1"),
                           QStringLiteral("--delay"), QStringLiteral("100")}));
        OpenLine<> line(sim.folder());
        StopButton watchdog(line.channel, kWatchdog);

        line.channel.sendCommand(QStringLiteral(":fetch?"));
        QVERIFY(line.channel.readReply().complete);

        line.channel.sendCommand(QStringLiteral(":fetch?"));
        const double cpuBefore = threadCpuSeconds();
        const Reply reply = line.channel.readReply();
        const double cpu = threadCpuSeconds() - cpuBefore;
        QVERIFY(!line.channel.stopRequested); // ended by the hang-up, not by the watchdog
        QVERIFY(!reply.complete);
        QCOMPARE(reply.text, QString());
        QVERIFY(!line.port.portOpen());
        QVERIFY2(cpu < 0.05, qPrintable(QStringLiteral("%1 s of CPU in the wait").arg(cpu)));
        QVERIFY(sim.log().contains("hangup after 1 replies"));
        QTRY_COMPARE_WITH_TIMEOUT(sim.process().state(), QProcess::NotRunning, 5000);
        QCOMPARE(sim.process().exitCode(), 0);
        // The simulator removes its link on the way out.
        QVERIFY(!QFileInfo(QDir(sim.folder()).filePath(QStringLiteral("COM1"))).isSymLink());
    }

    void comMenuMarksFollowThePortNumber_data()
    {
        QTest::addColumn<int>("comPort");
        QTest::addColumn<int>("checkedItem"); // -1: none

        QTest::newRow("COM1") << 1 << 0;
        QTest::newRow("COM2") << 2 << 1;
        QTest::newRow("COM3") << 3 << 2;
        QTest::newRow("COM4") << 4 << 3;
        QTest::newRow("COM5 from the settings") << 5 << -1;
        QTest::newRow("COM7 from the settings") << 7 << -1;
        QTest::newRow("COM30 from the settings") << 30 << -1;
        QTest::newRow("0") << 0 << -1;
        QTest::newRow("-1") << -1 << -1;
    }

    void comMenuMarksFollowThePortNumber()
    {
        QFETCH(int, comPort);
        QFETCH(int, checkedItem);

        QTemporaryDir folder;
        QtSerialPort port(folder.path());
        port.setCommPort(2);
        const std::array<bool, 4> marks = setComPort(port, static_cast<qint16>(comPort));
        QCOMPARE(port.commPort(), qint16(comPort));
        for (int item = 0; item < 4; ++item)
            QCOMPARE(marks[static_cast<std::size_t>(item)], item == checkedItem);
    }
};

BIN4870_TEST(TestCommandChannel)
#include "tst_commandchannel.moc"

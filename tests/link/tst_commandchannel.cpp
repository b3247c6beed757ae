#include "testmain.h"

#include "ptypair.h"
#include "simtester.h"

#include "common/apperror.h"
#include "link/commandchannel.h"
#include "platform/qtserialport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include <QSignalSpy>
#include <QTimer>

#include <chrono>

using namespace std::chrono_literals;

namespace {

// The outcome of one request, as the channel reports it.
struct Exchange
{
    explicit Exchange(CommandChannel &channel)
    {
        QObject::connect(&channel, &CommandChannel::replyReceived, &m_context,
                         [this](const QString &line) { finished("reply", line); });
        QObject::connect(&channel, &CommandChannel::badReply, &m_context, [this] { finished("bad", {}); });
        QObject::connect(&channel, &CommandChannel::timedOut, &m_context, [this] { finished("timeout", {}); });
    }
    // Waits for the request to finish; false when it did not within the limit.
    bool wait(int ms = 10000)
    {
        return QTest::qWaitFor([this] { return !outcome.isEmpty(); }, ms);
    }
    void finished(const QString &how, const QString &line)
    {
        ++finishes;
        outcome = how;
        text = line;
    }

    QString outcome; // "reply", "bad" or "timeout"
    QString text;
    int finishes = 0;

private:
    QObject m_context;
};

// The program's end of the line to a tester whose COM1 is in `folder`: the port
// opened and a channel on it.
struct OpenLine
{
    explicit OpenLine(const QString &folder) : port(folder), channel(port), opened(port.setPortOpen(true)) {}

    QtSerialPort port;
    CommandChannel channel;
    // How opening the port went; every request on a port that did not open fails.
    Status opened;
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
        QTest::newRow("one character and LF") << QStringList{"--reply", "A\\n", "--no-eol"} << "A";
        QTest::newRow("LF alone ends the line and keeps every digit")
            << QStringList{"--reply", "15.000E-3,3.75\\n", "--no-eol"} << "15.000E-3,3.75";
        QTest::newRow("CR CR LF")
            << QStringList{"--reply", reading + "\\r\\r\\n", "--no-eol"} << reading;
        QTest::newRow("two lines in one write")
            << QStringList{"--reply", reading, "--double"} << reading + "\r\n" + reading;
        QTest::newRow("LF inside the line stays inside")
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
        OpenLine line(sim.folder());

        Exchange exchange(line.channel);
        QVERIFY(line.channel.request(QStringLiteral(":fetch?")));
        QVERIFY(line.channel.awaitingReply());
        QVERIFY(exchange.wait());
        QVERIFY2(exchange.outcome == "reply", qPrintable(QString::fromLatin1(sim.log())));
        QCOMPARE(exchange.text, expected);
        QVERIFY(!line.channel.awaitingReply());
    }

    void benchScenarioAnswersReadingsInTheTestersNotation()
    {
        SimTester sim;
        QVERIFY(sim.start({}));
        OpenLine line(sim.folder());
        QVERIFY(line.channel.sendCommand(QStringLiteral("func rv")));
        QVERIFY(line.channel.sendCommand(QStringLiteral("trig:sour imm")));

        const QRegularExpression number(QStringLiteral("^[+-]?\\d+\\.\\d+E[+-]\\d+$"));
        for (int i = 0; i < 5; ++i) {
            Exchange exchange(line.channel);
            QVERIFY(line.channel.request(QStringLiteral(":fetch?")));
            QVERIFY(exchange.wait());
            QCOMPARE(exchange.outcome, QStringLiteral("reply"));
            const QString response = exchange.text;
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

    void bytesArrivingWithoutARequestAreDropped()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        OpenLine line(pty.folder());
        Exchange exchange(line.channel);

        QSignalSpy arrived(&line.port, &SerialPort::dataArrived);
        QVERIFY(pty.write(QByteArrayLiteral("9.9E-3,1.0E+0\r\nstale")));
        QVERIFY(arrived.wait(5000));
        QCOMPARE(exchange.finishes, 0);
        QVERIFY(line.channel.request(QStringLiteral(":fetch?")));
        QTRY_COMPARE_WITH_TIMEOUT(pty.sent(), QByteArrayLiteral(":fetch?\r\n"), 5000);
        QVERIFY(pty.write(QByteArrayLiteral("1.2345E-3,3.9876E+0\r\n")));
        QVERIFY(exchange.wait());
        QCOMPARE(exchange.text, QStringLiteral("1.2345E-3,3.9876E+0"));
    }

    // A tester that sends by itself: the newest complete line is taken, the
    // tail of a line begun before listening is not, and silence times out.
    void listeningTakesTheNewestCompleteLine()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        OpenLine line(pty.folder());
        line.channel.setFraming({QByteArrayLiteral("\r"), '\r', 300ms});
        QSignalSpy arrived(&line.port, &SerialPort::dataArrived);
        QSignalSpy timedOut(&line.channel, &CommandChannel::timedOut);

        QVERIFY(line.channel.sendCommand(QStringLiteral("STREAM ON")));
        QTRY_COMPARE_WITH_TIMEOUT(pty.sent(), QByteArrayLiteral("STREAM ON\r"), 5000);
        line.channel.listen();
        QVERIFY(pty.write(QByteArrayLiteral("E-3\r3.8 21.0E-3\r3.9876 23.456E-3\r3.9 2")));
        std::optional<QString> latest;
        QVERIFY(QTest::qWaitFor([&] { return (latest = line.channel.takeLatest()).has_value(); }, 5000));
        QCOMPARE(*latest, QStringLiteral("3.9876 23.456E-3"));
        QCOMPARE(line.channel.takeLatest(), std::nullopt);
        // The rest of the line comes, a CR LF tester's LF included.
        QVERIFY(pty.write(QByteArrayLiteral("0E-3\r\n\r")));
        QVERIFY(QTest::qWaitFor([&] { return (latest = line.channel.takeLatest()).has_value(); }, 5000));
        QCOMPARE(*latest, QStringLiteral("3.9 20E-3"));
        QCOMPARE(timedOut.size(), 0);

        QVERIFY(timedOut.wait(2000));
        line.channel.cancel();
        QVERIFY(pty.write(QByteArrayLiteral("3.9 1\r")));
        QVERIFY(arrived.wait(5000));
        QCOMPARE(line.channel.takeLatest(), std::nullopt);
    }

    void cancelledRequestReportsNothing()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        OpenLine line(pty.folder());
        Exchange exchange(line.channel);
        QSignalSpy arrived(&line.port, &SerialPort::dataArrived);
        QSignalSpy timedOut(&line.channel, &CommandChannel::timedOut);

        QVERIFY(line.channel.request(QStringLiteral(":fetch?")));
        QVERIFY(pty.write(QByteArrayLiteral("1.2345E-3,3.98")));
        QVERIFY(arrived.wait(5000));
        line.channel.cancel();
        QVERIFY(!line.channel.awaitingReply());
        QVERIFY(pty.write(QByteArrayLiteral("76E+0\r\n")));
        QVERIFY(arrived.wait(5000));
        // Past the time-out, too: a cancelled request never times out.
        QVERIFY(!timedOut.wait(int(CommandChannel::kReplyTimeout.count()) + 200));
        QCOMPARE(exchange.finishes, 0);
    }

    void lateReplyAnswersNoLaterRequest()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        OpenLine line(pty.folder());
        QSignalSpy arrived(&line.port, &SerialPort::dataArrived);
        QSignalSpy timedOut(&line.channel, &CommandChannel::timedOut);

        QVERIFY(line.channel.request(QStringLiteral(":fetch?")));
        QVERIFY(timedOut.wait(5000));
        // Until the late reply comes (or can no longer be told from the next
        // one), the channel is not ready for another request.
        QVERIFY(!line.channel.ready());
        Exchange exchange(line.channel);
        QVERIFY(line.channel.request(QStringLiteral(":fetch?")));
        QTRY_COMPARE_WITH_TIMEOUT(pty.sent(), QByteArrayLiteral(":fetch?\r\n:fetch?\r\n"), 5000);
        QVERIFY(pty.write(QByteArrayLiteral("1.0E-3,3.1E+0\r\n")));
        QVERIFY(arrived.wait(5000));
        QCOMPARE(exchange.finishes, 0);
        QVERIFY(line.channel.awaitingReply());
        QVERIFY(pty.write(QByteArrayLiteral("2.0E-3,3.2E+0\r\n")));
        QVERIFY(exchange.wait());
        QCOMPARE(exchange.text, QStringLiteral("2.0E-3,3.2E+0"));
        QVERIFY(line.channel.ready());

        // A reply that never comes is given up after a while.
        timedOut.clear();
        QVERIFY(line.channel.request(QStringLiteral(":fetch?")));
        QVERIFY(timedOut.wait(5000));
        QVERIFY(!line.channel.ready());
        QTRY_VERIFY_WITH_TIMEOUT(line.channel.ready(), int(CommandChannel::kLateReplyWait.count()) + 1000);
    }

    // A profile's reply line end and time-out hold for the late line too: a
    // CR-ended late line is dropped, and one that never comes is owed only as
    // long as the profile's time-out.
    void lateReplyFollowsTheProfile()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        OpenLine line(pty.folder());
        line.channel.setFraming({QByteArrayLiteral("\r"), '\r', 300ms});
        QSignalSpy arrived(&line.port, &SerialPort::dataArrived);
        QSignalSpy timedOut(&line.channel, &CommandChannel::timedOut);

        QVERIFY(line.channel.request(QStringLiteral("READ?")));
        QVERIFY(timedOut.wait(5000));
        QVERIFY(!line.channel.ready());
        QVERIFY(pty.write(QByteArrayLiteral("21.0;3.8;PASS\r")));
        QVERIFY(arrived.wait(5000));
        QVERIFY(line.channel.ready());

        timedOut.clear();
        QVERIFY(line.channel.request(QStringLiteral("READ?")));
        QVERIFY(timedOut.wait(5000));
        QElapsedTimer owed;
        owed.start();
        QTRY_VERIFY_WITH_TIMEOUT(line.channel.ready(), 5000);
        QVERIFY(owed.elapsed() < CommandChannel::kLateReplyWait.count());
    }

    void silentTesterTimesOutAndAFloodIsABadReply_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("silent") << "--silent" << "timeout";
        QTest::newRow("flood without a line end") << "--flood --flood-chunk 4096" << "bad";
    }

    void silentTesterTimesOutAndAFloodIsABadReply()
    {
        QFETCH(QString, mode);
        QFETCH(QString, outcome);

        SimTester sim;
        QVERIFY(sim.start(mode.split(QLatin1Char(' '))));
        OpenLine line(sim.folder());
        Exchange exchange(line.channel);
        QVERIFY(line.channel.request(QStringLiteral(":fetch?")));
        QVERIFY(exchange.wait(15000));
        QCOMPARE(exchange.outcome, outcome);
        QCOMPARE(exchange.finishes, 1);
        QVERIFY(!line.channel.awaitingReply());
        QVERIFY(sim.log().contains("rx :fetch?"));
    }

    void replyLongerThanTheLimitIsABadReply_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("exactly the limit") << int(CommandChannel::kMaxReplyLength) << "reply";
        QTest::newRow("the limit plus one") << int(CommandChannel::kMaxReplyLength) + 1 << "bad";
    }

    void replyLongerThanTheLimitIsABadReply()
    {
        QFETCH(int, length);
        QFETCH(QString, outcome);

        const QString text(length, QLatin1Char('7'));
        SimTester sim;
        QVERIFY(sim.start({QStringLiteral("--reply"), text}));
        OpenLine line(sim.folder());
        Exchange exchange(line.channel);
        QVERIFY(line.channel.request(QStringLiteral(":fetch?")));
        QVERIFY(exchange.wait());
        QCOMPARE(exchange.outcome, outcome);
        if (outcome == QLatin1String("reply"))
            QCOMPARE(exchange.text, text);
    }

    void requestOnAClosedPortFailsAndLeavesNothingOutstanding()
    {
        QTemporaryDir folder;
        QtSerialPort port(folder.path());
        CommandChannel channel(port);
        const Status sent = channel.request(QStringLiteral(":fetch?"));
        QVERIFY2(!sent, "a request on a closed port must fail");
        QCOMPARE(sent.kind(), ErrorKind::PortNotOpen);
        QVERIFY(!channel.awaitingReply());
    }

    void farEndHangingUpReportsTheLossOnce()
    {
        SimTester sim;
        QVERIFY(sim.start({QStringLiteral("--hangup-after"), QStringLiteral("1"),
                           QStringLiteral("--delay"), QStringLiteral("100")}));
        OpenLine line(sim.folder());
        QSignalSpy lost(&line.port, &SerialPort::portLost);

        Exchange first(line.channel);
        QVERIFY(line.channel.request(QStringLiteral(":fetch?")));
        QVERIFY(first.wait());
        QCOMPARE(first.outcome, QStringLiteral("reply"));

        QVERIFY(line.channel.request(QStringLiteral(":fetch?")));
        QVERIFY(lost.wait(10000));
        QVERIFY(!line.port.portOpen());
        QVERIFY(sim.log().contains("hangup after 1 replies"));
        QTRY_COMPARE_WITH_TIMEOUT(sim.process().state(), QProcess::NotRunning, 5000);
        QCOMPARE(sim.process().exitCode(), 0);
        QCOMPARE(lost.size(), 1);
        // The simulator removes its link on the way out.
        QVERIFY(!QFileInfo(QDir(sim.folder()).filePath(QStringLiteral("COM1"))).isSymLink());
    }

    void replyTextLosesOnlyTheTrailingLineEnd_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<QString>("text");
        QTest::newRow("CR LF") << QByteArray("3.75\r\n") << "3.75";
        QTest::newRow("LF alone") << QByteArray("3.75\n") << "3.75";
        QTest::newRow("CR alone") << QByteArray("3.75\r") << "3.75";
        QTest::newRow("LF CR") << QByteArray("3.75\n\r") << "3.75";
        QTest::newRow("line end only") << QByteArray("\r\n") << "";
        QTest::newRow("inner line end stays") << QByteArray("1\r\n2\r\n") << "1\r\n2";
        QTest::newRow("trailing blank stays") << QByteArray("3.75 \n") << "3.75 ";
    }
    void replyTextLosesOnlyTheTrailingLineEnd()
    {
        QFETCH(QByteArray, received);
        QFETCH(QString, text);
        QCOMPARE(CommandChannel::replyText(received), text);
    }

};

BIN4870_TEST(TestCommandChannel)
#include "tst_commandchannel.moc"

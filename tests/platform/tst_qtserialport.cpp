#include "testmain.h"

#include "platform/qtserialport.h"
#include "ptypair.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <optional>
#include <termios.h>

namespace {

// The kind of failure an operation returned, nullopt when it succeeded.
template<typename T>
std::optional<ErrorKind> errorKindOf(const Result<T> &outcome, QString *description = nullptr)
{
    if (outcome)
        return std::nullopt;
    if (description)
        *description = outcome.errorString();
    return outcome.kind();
}

// What the port has received and not yet read; nothing when it cannot be read.
QByteArray taken(QtSerialPort &serial)
{
    return serial.input().valueOr(QByteArray());
}

} // namespace

class TestQtSerialPort : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void portNumberNamesADevice_data()
    {
        QTest::addColumn<QString>("entry");  // what the program's folder holds
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("inFolder");
        QTest::addColumn<QString>("expected"); // when not in the folder

        QTest::newRow("link in the folder wins") << "COM1->/dev/null" << 1 << true << "";
        QTest::newRow("dangling link still wins") << "COM2->/no/such/ttyUSB0" << 2 << true << "";
        QTest::newRow("plain file in the folder") << "COM3" << 3 << true << "";
        QTest::newRow("no entry: first UART") << "" << 1 << false << "/dev/ttyS0";
        QTest::newRow("other port's link is not used") << "COM1->/dev/null" << 4 << false << "/dev/ttyS3";
        QTest::newRow("port 30") << "" << 30 << false << "/dev/ttyS29";
    }

    void portNumberNamesADevice()
    {
        QFETCH(QString, entry);
        QFETCH(int, port);
        QFETCH(bool, inFolder);
        QFETCH(QString, expected);

        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        if (!entry.isEmpty()) {
            const QStringList parts = entry.split(QStringLiteral("->"));
            const QString path = folder.filePath(parts.at(0));
            if (parts.size() == 2) {
                QVERIFY(QFile::link(parts.at(1), path));
            } else {
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly));
            }
        }
        const QString device = serialDevicePath(static_cast<qint16>(port), folder.path());
        QCOMPARE(device, inFolder ? folder.filePath(QStringLiteral("COM%1").arg(port)) : expected);
    }

    void operationsOnAClosedPortRaise8018()
    {
        QTemporaryDir folder;
        QtSerialPort port(folder.path());
        QVERIFY(!port.portOpen());
        QCOMPARE(errorKindOf(port.clearInBuffer()), std::optional<ErrorKind>(ErrorKind::PortNotOpen));
        QCOMPARE(errorKindOf(port.output("x")), std::optional<ErrorKind>(ErrorKind::PortNotOpen));
        QCOMPARE(errorKindOf(port.input()), std::optional<ErrorKind>(ErrorKind::PortNotOpen));
        // Closing a closed port is no failure.
        QCOMPARE(errorKindOf(port.setPortOpen(false)), std::optional<ErrorKind>());
    }

    void portThatCannotBeOpenedNamesTheDevice_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("linkTarget");
        QTest::addColumn<QStringList>("mentioned");

        QTest::newRow("adapter unplugged")
            << 2 << "/no/such/ttyUSB7"
            << QStringList{QStringLiteral("COM2"), QStringLiteral("/no/such/ttyUSB7"),
                           QStringLiteral("No such file or directory")};
        QTest::newRow("port 0") << 0 << "" << QStringList{QStringLiteral("COM0")};
    }

    void portThatCannotBeOpenedNamesTheDevice()
    {
        QFETCH(int, port);
        QFETCH(QString, linkTarget);
        QFETCH(QStringList, mentioned);

        QTemporaryDir folder;
        if (!linkTarget.isEmpty())
            QVERIFY(QFile::link(linkTarget, folder.filePath(QStringLiteral("COM%1").arg(port))));
        QtSerialPort serial(folder.path());
        QVERIFY(serial.setCommPort(static_cast<qint16>(port)));
        QString description;
        QCOMPARE(errorKindOf(serial.setPortOpen(true), &description), std::optional<ErrorKind>(ErrorKind::PortOpenFailed));
        for (const QString &text : mentioned)
            QVERIFY2(description.contains(text), qPrintable(description));
        QVERIFY(!serial.portOpen());
    }

    void opensAPseudoTerminalAt9600Baud8N1AndExchangesBytes()
    {
        PtyPair pty(3);
        QVERIFY(pty.isValid());
        QtSerialPort serial(pty.folder());
        QVERIFY(serial.setCommPort(3));
        QVERIFY(serial.setPortOpen(true)); // raising DTR fails on a pty and must not matter
        QVERIFY(serial.portOpen());

        termios line{};
        QCOMPARE(::tcgetattr(pty.master(), &line), 0);
        QCOMPARE(::cfgetospeed(&line), speed_t(B9600));
        QCOMPARE(::cfgetispeed(&line), speed_t(B9600));
        QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));

        QVERIFY(serial.output(QByteArrayLiteral("func rv\r\n")));
        QTRY_COMPARE_WITH_TIMEOUT(pty.sent(), QByteArrayLiteral("func rv\r\n"), 5000);

        QVERIFY(pty.write(QByteArrayLiteral("\x01\xff" "1.5E-3\r\n")));
        QByteArray received;
        QTRY_COMPARE_WITH_TIMEOUT((received += taken(serial)), QByteArrayLiteral("\x01\xff" "1.5E-3\r\n"), 5000);

        QCOMPARE(errorKindOf(serial.setCommPort(4)), std::optional<ErrorKind>(ErrorKind::PortOpenFailed));
        QCOMPARE(serial.commPort(), qint16(3));

        QVERIFY(serial.setPortOpen(false));
        QVERIFY(!serial.portOpen());
        QVERIFY(serial.setPortOpen(true));
        QVERIFY(serial.portOpen());
    }

    void clearInBufferDropsWhatWasNotRead()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        QtSerialPort serial(pty.folder());
        QVERIFY(serial.setPortOpen(true));
        QVERIFY(pty.write(QByteArrayLiteral("stale")));
        QTRY_COMPARE_WITH_TIMEOUT(serial.bytesWaiting(), qint64(5), 5000);
        QVERIFY(serial.clearInBuffer());
        QCOMPARE(serial.bytesWaiting(), qint64(0));
        const Result<QByteArray> left = serial.input();
        QVERIFY(left);
        QCOMPARE(*left, QByteArray());
        QVERIFY(pty.write(QByteArrayLiteral("new")));
        QByteArray received;
        QTRY_COMPARE_WITH_TIMEOUT((received += taken(serial)), QByteArrayLiteral("new"), 5000);
    }

    void arrivingBytesAreAnnounced()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        QtSerialPort serial(pty.folder());
        QVERIFY(serial.setPortOpen(true));
        QSignalSpy arrived(&serial, &SerialPort::dataArrived);
        QVERIFY(pty.write(QByteArrayLiteral("1.0E-3\r\n")));
        QVERIFY(arrived.wait(5000));
        QByteArray received = taken(serial);
        QTRY_COMPARE_WITH_TIMEOUT((received += taken(serial)), QByteArrayLiteral("1.0E-3\r\n"), 5000);
    }

    // The receive buffer holds 1024 bytes: a longer burst is handed over in
    // pieces of at most that, whole and in order; the transmit buffer takes a
    // command of 512 bytes and refuses a longer one without sending any of it.
    void buffersHold1024BytesInAnd512Out()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        QtSerialPort serial(pty.folder());
        QVERIFY(serial.setPortOpen(true));

        QByteArray burst;
        for (int i = 0; i < 3000; ++i)
            burst += char('0' + i % 10);
        QByteArray received;
        qsizetype largestPiece = 0;
        connect(&serial, &SerialPort::dataArrived, this, [&] {
            const QByteArray piece = taken(serial);
            largestPiece = std::max(largestPiece, piece.size());
            received += piece;
        });
        QVERIFY(pty.write(burst));
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), burst.size(), 5000);
        QCOMPARE(received, burst);
        QVERIFY2(largestPiece <= SerialPort::kReceiveBufferSize, qPrintable(QString::number(largestPiece)));

        const QByteArray fits(SerialPort::kTransmitBufferSize, 'a');
        QVERIFY(serial.output(fits));
        QTRY_COMPARE_WITH_TIMEOUT(pty.sent(), fits, 5000);
        QString description;
        QCOMPARE(errorKindOf(serial.output(fits + 'b'), &description), std::optional<ErrorKind>(ErrorKind::PortIoFailed));
        QVERIFY2(description.contains(QStringLiteral("transmit buffer")), qPrintable(description));
        QVERIFY(serial.portOpen());
        QVERIFY(serial.output(QByteArrayLiteral("func rv\r\n")));
        QTRY_COMPARE_WITH_TIMEOUT(pty.sent(), fits + QByteArrayLiteral("func rv\r\n"), 5000);
    }

    void farEndClosingClosesThePortAndReportsItOnce()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        QtSerialPort serial(pty.folder());
        QVERIFY(serial.setPortOpen(true));
        QSignalSpy lost(&serial, &SerialPort::portLost);
        pty.closeMaster();

        QVERIFY(lost.wait(10000));
        QVERIFY(!serial.portOpen());
        QVERIFY(!serial.closedBecause().isEmpty());
        QCOMPARE(lost.at(0).at(0).toString(), serial.closedBecause());
        // The platform repeats the failure; the program hears of it once.
        QVERIFY(!lost.wait(300));
        QCOMPARE(lost.size(), 1);

        QString description;
        QCOMPARE(errorKindOf(serial.input(), &description), std::optional<ErrorKind>(ErrorKind::PortNotOpen));
        QVERIFY2(description.contains(QStringLiteral("closed after")), qPrintable(description));
    }

    void lostLineIsReopenedOnlyOnTheDeviceItWasOpenedOn()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        const QString link = QDir(pty.folder()).filePath(QStringLiteral("COM1"));
        QtSerialPort serial(pty.folder());
        QVERIFY(serial.setPortOpen(true));
        QSignalSpy lost(&serial, &SerialPort::portLost);
        // The device goes and its link with it, as when the adapter is pulled.
        pty.closeMaster();
        QVERIFY(lost.wait(10000));
        QVERIFY(QFile::remove(link));

        QString description;
        QCOMPARE(errorKindOf(serial.reopen(), &description), std::optional<ErrorKind>(ErrorKind::PortOpenFailed));
        QVERIFY2(description.contains(link) && !description.contains(QStringLiteral("/dev/ttyS")),
                 qPrintable(description));
        QVERIFY(!serial.portOpen());

        // The link comes back: the line goes on where it leads now.
        PtyPair again;
        QVERIFY(again.isValid());
        QVERIFY(QFile::link(again.device(), link));
        QVERIFY(serial.reopen());
        QVERIFY(serial.portOpen());
        QVERIFY(serial.output(QByteArrayLiteral("func rv\r\n")));
        QTRY_COMPARE_WITH_TIMEOUT(again.sent(), QByteArrayLiteral("func rv\r\n"), 5000);
    }
};

BIN4870_TEST(TestQtSerialPort)
#include "tst_qtserialport.moc"

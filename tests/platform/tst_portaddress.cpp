#include "testmain.h"

#include "platform/portaddress.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// How the operator's text for a tester's port is read and written back.
class TestPortAddress : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void textIsReadAsItsWire_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("wire");
        QTest::addColumn<QString>("where");  // COM number, host or device
        QTest::addColumn<int>("tcpPort");
        QTest::addColumn<QString>("written"); // text() of the result

        const int serial = int(Wire::Serial);
        const int tcp = int(Wire::Tcp);
        const int usbtmc = int(Wire::UsbTmc);
        QTest::newRow("COM2") << "COM2" << true << serial << "2" << 0 << "COM2";
        QTest::newRow("lower case, blanks") << "  com30 " << true << serial << "30" << 0 << "COM30";
        QTest::newRow("COM0") << "COM0" << false << 0 << "" << 0 << "";
        QTest::newRow("COM31") << "COM31" << false << 0 << "" << 0 << "";
        QTest::newRow("host alone") << "lab7" << true << tcp << "lab7" << 0 << "lab7";
        QTest::newRow("host and port") << "lab7.plant.example:5025" << true << tcp << "lab7.plant.example" << 5025
                                       << "lab7.plant.example:5025";
        QTest::newRow("IPv4") << "192.168.1.40:5026" << true << tcp << "192.168.1.40" << 5026 << "192.168.1.40:5026";
        QTest::newRow("IPv6 in brackets") << "[fe80::1]:5025" << true << tcp << "fe80::1" << 5025 << "[fe80::1]:5025";
        QTest::newRow("IPv6 without port") << "[::1]" << true << tcp << "::1" << 0 << "[::1]";
        QTest::newRow("IPv6 bare") << "fe80::1" << false << 0 << "" << 0 << "";
        QTest::newRow("port 0") << "lab7:0" << false << 0 << "" << 0 << "";
        QTest::newRow("port too high") << "lab7:65536" << false << 0 << "" << 0 << "";
        QTest::newRow("port no number") << "lab7:scpi" << false << 0 << "" << 0 << "";
        QTest::newRow("colon, no port") << "lab7:" << false << 0 << "" << 0 << "";
        QTest::newRow("no host") << ":5025" << false << 0 << "" << 0 << "";
        QTest::newRow("blank in host") << "lab 7:5025" << false << 0 << "" << 0 << "";
        QTest::newRow("unclosed bracket") << "[fe80::1:5025" << false << 0 << "" << 0 << "";
        QTest::newRow("USB-TMC device") << "/dev/usbtmc0" << true << usbtmc << "/dev/usbtmc0" << 0 << "/dev/usbtmc0";
        QTest::newRow("device path cleaned") << "/dev//usbtmc1/" << true << usbtmc << "/dev/usbtmc1" << 0 << "/dev/usbtmc1";
        QTest::newRow("empty") << "   " << false << 0 << "" << 0 << "";
    }

    void textIsReadAsItsWire()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, wire);
        QFETCH(QString, where);
        QFETCH(int, tcpPort);
        QFETCH(QString, written);

        const Result<PortAddress> address = PortAddress::parse(text);
        QCOMPARE(bool(address), ok);
        if (!ok) {
            // The message names what was typed.
            QVERIFY2(address.errorString().contains(text.trimmed()) || text.trimmed().isEmpty(),
                     qPrintable(address.errorString()));
            return;
        }
        QCOMPARE(int(address->wire), wire);
        switch (address->wire) {
        case Wire::Serial: QCOMPARE(QString::number(address->comPort), where); break;
        case Wire::Tcp: QCOMPARE(address->host, where); break;
        case Wire::UsbTmc: QCOMPARE(address->device, where); break;
        }
        QCOMPARE(int(address->tcpPort), tcpPort);
        QCOMPARE(address->text(), written);
        // What is written reads back as the same address.
        QCOMPARE(*PortAddress::parse(address->text()), *address);
    }

    void labelFillsInTheProfilesPort()
    {
        QCOMPARE(PortAddress::parse(QStringLiteral("lab7"))->label(5025), QStringLiteral("lab7:5025"));
        QCOMPARE(PortAddress::parse(QStringLiteral("lab7:6000"))->label(5025), QStringLiteral("lab7:6000"));
        QCOMPARE(PortAddress::parse(QStringLiteral("[::1]"))->label(5025), QStringLiteral("[::1]:5025"));
        QCOMPARE(PortAddress::serial(3).label(5025), QStringLiteral("COM3"));
    }

    void usbTmcDevicesAreTheUsbtmcFilesOfTheFolder()
    {
        QTemporaryDir dev;
        for (const char *name : {"usbtmc1", "usbtmc0", "ttyUSB0", "usbtmcfoo"}) {
            QFile file(dev.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(presentUsbTmcDevices(dev.path()),
                 (QStringList{dev.filePath(QStringLiteral("usbtmc0")), dev.filePath(QStringLiteral("usbtmc1")),
                              dev.filePath(QStringLiteral("usbtmcfoo"))}));
        QTemporaryDir empty;
        QVERIFY(presentUsbTmcDevices(empty.path()).isEmpty());
    }
};

BIN4870_TEST(TestPortAddress)
#include "tst_portaddress.moc"

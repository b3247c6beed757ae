#include "testmain.h"

#include "platform/porterrors.h"
#include "platform/qtserialport.h"
#include "platform/serialdevices.h"
#include "common/result.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

// The port chooser's pieces without a window: naming devices, making the COMn
// links, and the messages of a port that cannot be opened.
class TestSerialDevices : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void linkComPortCreatesOrReplacesTheLink_data()
    {
        QTest::addColumn<QString>("before"); // what COM2 is beforehand
        QTest::newRow("no folder yet") << "nofolder";
        QTest::newRow("no link yet") << "";
        QTest::newRow("link to another device") << "link";
        QTest::newRow("dangling link") << "dangling";
        QTest::newRow("plain file") << "file";
    }

    void linkComPortCreatesOrReplacesTheLink()
    {
        QFETCH(QString, before);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString dir = before == QLatin1String("nofolder") ? root.filePath(QStringLiteral("a/b")) : root.path();
        const QString link = QDir(dir).filePath(QStringLiteral("COM2"));
        if (before == QLatin1String("link"))
            QVERIFY(QFile::link(QStringLiteral("/dev/null"), link));
        else if (before == QLatin1String("dangling"))
            QVERIFY(QFile::link(QStringLiteral("/no/such/ttyUSB3"), link));
        else if (before == QLatin1String("file"))
            QVERIFY(QFile(link).open(QIODevice::WriteOnly));

        const Status linked = linkComPort(2, QStringLiteral("/dev/serial/by-id/usb-Maker_Adapter_X1-if00-port0"), dir);
        QVERIFY2(linked, qPrintable(linked.errorString()));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(QFileInfo(link).symLinkTarget(), QStringLiteral("/dev/serial/by-id/usb-Maker_Adapter_X1-if00-port0"));
        // Nothing else is left behind.
        QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("COM2")});
        // The port's own resolution now goes through the new link.
        QCOMPARE(serialDevicePath(2, dir), link);
    }

    void linkComPortLeavesWhatItCannotReplace()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString occupied = root.filePath(QStringLiteral("COM1"));
        QVERIFY(QDir().mkpath(occupied + QStringLiteral("/inside")));
        const Status linked = linkComPort(1, QStringLiteral("/dev/ttyUSB0"), root.path());
        QVERIFY(!linked);
        QVERIFY2(linked.errorString().contains(occupied), qPrintable(linked.errorString()));
        QVERIFY(QFileInfo(occupied).isDir());
        QCOMPARE(QDir(root.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("COM1")});

        QVERIFY(!linkComPort(1, QString(), root.path()));
    }

    void stableNameIsTheByIdEntryLeadingToTheDevice()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString device = root.filePath(QStringLiteral("ttyUSB0"));
        const QString other = root.filePath(QStringLiteral("ttyUSB1"));
        QVERIFY(QFile(device).open(QIODevice::WriteOnly));
        QVERIFY(QFile(other).open(QIODevice::WriteOnly));
        const QString byId = root.filePath(QStringLiteral("by-id"));
        QVERIFY(QDir().mkpath(byId));
        QVERIFY(QFile::link(other, byId + QStringLiteral("/usb-Other-if00-port0")));
        QVERIFY(QFile::link(QStringLiteral("../ttyUSB0"), byId + QStringLiteral("/usb-Maker_X1_A1B2-if00-port0")));

        QCOMPARE(stableNameOf(device, byId), byId + QStringLiteral("/usb-Maker_X1_A1B2-if00-port0"));
        QCOMPARE(stableNameOf(root.filePath(QStringLiteral("ttyACM0")), byId), QString());
        QCOMPARE(stableNameOf(device, root.filePath(QStringLiteral("no-by-id"))), QString());
    }

    void openFailureTellsTheOperatorWhatToDo_data()
    {
        QTest::addColumn<int>("problem");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QStringList>("mentioned");

        QTest::newRow("adapter unplugged") << int(PortOpenProblem::Missing) << "COM1->/dev/ttyUSB7"
                                           << QStringList{"COM1", "link", "/dev/ttyUSB7", "does not exist",
                                                          "Settings > COMPort"};
        QTest::newRow("no UART") << int(PortOpenProblem::Missing) << "/dev/ttyS29"
                                 << QStringList{"COM1", "/dev/ttyS29", "does not exist"};
        // What it advises depends on the device's rights: accessAdviceFollowsTheDevicesRights.
        QTest::newRow("access denied") << int(PortOpenProblem::AccessDenied) << "/dev/ttyS0"
                                       << QStringList{"COM1", "/dev/ttyS0", "permission denied"};
        QTest::newRow("in use") << int(PortOpenProblem::Other) << "/dev/ttyS0"
                                << QStringList{"COM1", "/dev/ttyS0", "the platform's reason"};
    }

    void openFailureTellsTheOperatorWhatToDo()
    {
        QFETCH(int, problem);
        QFETCH(QString, entry);
        QFETCH(QStringList, mentioned);
        QTemporaryDir dir;
        if (entry.startsWith(QLatin1String("COM1->"))) {
            const QString target = entry.mid(6);
            entry = dir.filePath(QStringLiteral("COM1"));
            QVERIFY(QFile::link(target, entry));
            mentioned << entry;
        }
        const QString text = portOpenFailureText(1, entry, PortOpenProblem(problem), QStringLiteral("the platform's reason"));
        for (const QString &part : mentioned)
            QVERIFY2(text.contains(part), qPrintable(text));
        if (PortOpenProblem(problem) != PortOpenProblem::AccessDenied)
            QVERIFY(!text.contains(QLatin1String("dialout")));
    }

    void accessAdviceFollowsTheDevicesRights_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<uint>("mode");
        QTest::addColumn<bool>("groupHint");
        QTest::addColumn<QStringList>("mentioned");
        QTest::newRow("the usual dialout device") << "dialout" << 0660u << true
                                                  << QStringList{"\"dialout\"", "log in again"};
        QTest::newRow("another joinable group") << "uucp" << 0660u << true << QStringList{"\"uucp\"", "usermod"};
        QTest::newRow("root alone (0600)") << "root" << 0600u << false
                                           << QStringList{"owner root", "group root", "mode 0600"};
        QTest::newRow("group may only read") << "dialout" << 0640u << false
                                             << QStringList{"owner root", "group dialout", "mode 0640"};
    }

    void accessAdviceFollowsTheDevicesRights()
    {
        QFETCH(QString, group);
        QFETCH(uint, mode);
        QFETCH(bool, groupHint);
        QFETCH(QStringList, mentioned);
        DeviceRights rights;
        rights.owner = QStringLiteral("root");
        rights.group = group;
        rights.groupIsRoot = group == QLatin1String("root");
        rights.mode = mode;
        const QString text = accessDeniedText(1, QStringLiteral("/dev/ttyS0"), QString(), rights);
        QVERIFY2(text.contains(QLatin1String("permission denied on /dev/ttyS0")), qPrintable(text));
        for (const QString &part : mentioned)
            QVERIFY2(text.contains(part), qPrintable(text));
        QCOMPARE(text.contains(QLatin1String("usermod")), groupHint);
        QCOMPARE(text.contains(QLatin1String("dialout")), group == QLatin1String("dialout"));
    }

    void rightsAreReadFromTheDevice()
    {
        QTemporaryDir dir;
        const QString device = dir.filePath(QStringLiteral("ttyOwnerOnly"));
        QFile file(device);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        const std::optional<DeviceRights> rights = deviceRights(device);
        QVERIFY(rights);
        QCOMPARE(rights->mode, 0600u);
        QVERIFY(!rights->owner.isEmpty());
        QVERIFY(!deviceRights(dir.filePath(QStringLiteral("none"))));
    }

    void aDeviceTheUserMayNotOpenNamesTheDialoutGroup()
    {
        if (::geteuid() == 0)
            QSKIP("root may open every device");
        QTemporaryDir dir;
        const QString device = dir.filePath(QStringLiteral("ttyLocked"));
        QFile file(device);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(file.setPermissions(QFileDevice::Permissions()));
        QVERIFY(QFile::link(device, dir.filePath(QStringLiteral("COM1"))));
        QtSerialPort port(dir.path());
        QVERIFY(port.setCommPort(1));
        const Status opened = port.setPortOpen(true);
        QVERIFY2(!opened, "a device without access rights was opened");
        QVERIFY2(opened.errorString().contains(device), qPrintable(opened.errorString()));
        QVERIFY2(opened.errorString().contains(QLatin1String("dialout")), qPrintable(opened.errorString()));
    }
};

BIN4870_TEST(TestSerialDevices)
#include "tst_serialdevices.moc"

#include "testmain.h"

#include "freeport.h"

#include "formmainharness.h"
#include "simtester.h"

#include "app/mainwindow/portchooser.h"
#include "app/mainwindow/profilecontrols.h"
#include "settings/benchchannels.h"
#include "settings/testerprofilechoice.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QTcpServer>
#include <QTest>

#include <csignal>
#include <memory>

// Channel 1 on a LAN tester and on a USB-TMC tester, through the main window
// and a real session: tester-sim serves a TCP socket on localhost, or stands
// in for the usbtmc driver's file with a pseudo-terminal that hands each reply
// over in one piece (its own --help says so). A refused, reset or silent
// connection must look to the operator exactly as the serial line's faults
// do: the stale notice, "line lost, retrying", and the session back by itself.

namespace {

const QDateTime kStamp(QDate(2012, 8, 2), QTime(14, 5, 9));
const QString kReading = QStringLiteral("20.000E-3,3.6000E+0");
const QByteArray kRecord = "2012/08/02,14:05:09,20.000E-3,3.6000E+0\r";

PortAddress lanAddress(quint16 port)
{
    return *PortAddress::parse(QStringLiteral("127.0.0.1:%1").arg(port));
}

} // namespace

class TestTesterWires : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimTester> m_sim;
    std::unique_ptr<FormMainHarness> m_h;
    std::unique_ptr<QTemporaryDir> m_folder;

    FormMain &window() { return *m_h->window; }
    const FormMainUi &ui() { return m_h->window->ui(); }
    MeasurementSession &session() { return m_h->window->session(); }
    QLabel *notice() { return window().findChild<QLabel *>(QStringLiteral("replyNotice")); }
    QLabel *statusLine() { return window().findChild<QLabel *>(QStringLiteral("statusLine")); }
    QList<QByteArray> records() { return fileLines(ui().dataFilePath->text()); }

    void makeWindow(const QString &folder)
    {
        m_h = std::make_unique<FormMainHarness>(folder);
        m_h->clock.current = kStamp;
        setOneBinPerTable(ui());
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

    // A LAN tester in a folder of its own, and the window pointed at it.
    void makeLanBench(const QStringList &options = {})
    {
        m_sim = std::make_unique<SimTester>();
        QVERIFY2(m_sim->start(QStringList{QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0"),
                                          QStringLiteral("--reply"), kReading}
                              + options),
                 m_sim->log().constData());
        QVERIFY(m_sim->tcpPort() != 0);
        makeWindow(m_sim->folder());
        window().setPortAddress(lanAddress(m_sim->tcpPort()));
        QCOMPARE(window().portAddress(), lanAddress(m_sim->tcpPort()));
    }

    void verifyStale(bool stale, const QString &told = MeasurementSession::noAnswerText())
    {
        QCOMPARE(session().stale(), stale);
        QCOMPARE(notice()->isVisible(), stale);
        if (stale)
            QCOMPARE(notice()->text(), told);
        QCOMPARE(ui().valueLabels[0]->isEnabled(), !stale);
    }

    void verifyMeasuring()
    {
        QTRY_COMPARE_WITH_TIMEOUT(ui().valueLabels[0]->text(), QStringLiteral("20.000 mOhm"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!session().stale(), 5000);
        verifyStale(false);
    }

private Q_SLOTS:
    void init() { m_folder = std::make_unique<QTemporaryDir>(); }

    void cleanup()
    {
        m_h.reset();
        m_sim.reset();
    }

    void lanTesterIsSetUpMeasuredAndRecorded()
    {
        makeLanBench();
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(session().running());
        verifyMeasuring();
        QVERIFY(statusLine()->text().isEmpty());
        QVERIFY(countOne(window()));
        // The same line as from the serial tester, and today's commands in order.
        QCOMPARE(records(), QList<QByteArray>{kRecord});
        const QByteArray log = m_sim->log();
        const qsizetype func = log.indexOf("rx func rv");
        const qsizetype trigger = log.indexOf("rx trig:sour imm");
        QVERIFY2(func >= 0 && trigger > func && log.indexOf("rx :fetch?") > trigger, log.constData());
        QVERIFY(m_h->dialogs.messages.isEmpty());
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        QVERIFY(!session().running());
        QTRY_VERIFY(m_sim->log().contains("connection closed"));
    }

    void refusedConnectionIsALostLineUntilTheTesterComes()
    {
        const quint16 port = closedTcpPort();
        makeWindow(m_folder->path());
        window().setPortAddress(lanAddress(port));
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        // START itself succeeds: the connection is made after it.
        QVERIFY(session().running());
        QVERIFY(m_h->dialogs.messages.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(session().reconnecting(), 5000);
        const QString name = QStringLiteral("127.0.0.1:%1").arg(port);
        QVERIFY2(statusLine()->text().startsWith(QStringLiteral("line lost, retrying %1 (").arg(name)),
                 qPrintable(statusLine()->text()));
        verifyStale(true);
        // A press while the line is down waits for the line.
        QTest::mouseClick(ui().recCountButton, Qt::LeftButton);
        QVERIFY(session().recordArmed());

        m_sim = std::make_unique<SimTester>();
        QVERIFY(m_sim->start({QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(port),
                              QStringLiteral("--reply"), kReading}));
        QTRY_VERIFY_WITH_TIMEOUT(!session().reconnecting(), 5000);
        QCOMPARE(statusLine()->text(), MeasurementSession::lineBackText(name));
        verifyMeasuring();
        QTRY_VERIFY_WITH_TIMEOUT(!session().recordArmed(), 5000);
        QCOMPARE(records(), QList<QByteArray>{kRecord});
        QVERIFY(m_sim->log().contains("rx func rv"));
    }

    // Each fault ends in the state the serial line's does, and the session
    // comes back by itself.
    void lanFaultsEndAsTheSerialLinesDo_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("reset in the middle of a reply") << "reset";
        QTest::newRow("silent with the connection open") << "silent";
        QTest::newRow("tester gone and back") << "gone";
    }

    void lanFaultsEndAsTheSerialLinesDo()
    {
        QFETCH(QString, fault);
        makeLanBench(fault == QLatin1String("reset") ? QStringList{QStringLiteral("--reset-after"), QStringLiteral("3")}
                                                     : QStringList{});
        const quint16 port = m_sim->tcpPort();
        const QString name = QStringLiteral("127.0.0.1:%1").arg(port);
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        verifyMeasuring();
        std::unique_ptr<SimTester> again;

        if (fault == QLatin1String("reset")) {
            // The half reply is no reading: the line is lost and found again.
            QTRY_VERIFY_WITH_TIMEOUT(statusLine()->text().startsWith(QStringLiteral("line lost, retrying %1").arg(name)), 5000);
            QTRY_VERIFY(m_sim->log().contains("connection reset after"));
            QTRY_COMPARE_WITH_TIMEOUT(statusLine()->text(), MeasurementSession::lineBackText(name), 5000);
            QCOMPARE(session().badReplies(), 0);
        } else if (fault == QLatin1String("silent")) {
            const auto pid = pid_t(m_sim->process().processId());
            ::kill(pid, SIGSTOP);
            QTRY_VERIFY_WITH_TIMEOUT(session().stale(), 5000);
            verifyStale(true);
            // Silence alone loses no line.
            QVERIFY(!session().reconnecting());
            QVERIFY(statusLine()->text().isEmpty());
            ::kill(pid, SIGCONT);
        } else {
            m_sim->process().kill();
            QTRY_VERIFY_WITH_TIMEOUT(session().reconnecting(), 5000);
            QTRY_VERIFY_WITH_TIMEOUT(statusLine()->text().startsWith(QStringLiteral("line lost, retrying %1 (").arg(name)),
                                     5000);
            verifyStale(true);
            QVERIFY(!ui().startButton->isEnabled());
            again = std::make_unique<SimTester>();
            QVERIFY(again->start({QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:%1").arg(port),
                                  QStringLiteral("--reply"), kReading}));
            QTRY_VERIFY_WITH_TIMEOUT(!session().reconnecting(), 5000);
            QCOMPARE(statusLine()->text(), MeasurementSession::lineBackText(name));
            QTRY_VERIFY(again->log().contains("rx trig:sour imm"));
        }
        verifyMeasuring();
        QVERIFY(countOne(window()));
        QCOMPARE(records(), QList<QByteArray>{kRecord});
        QVERIFY(m_h->dialogs.messages.isEmpty());
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        QVERIFY(!session().running());
        QVERIFY(!session().reconnecting());
    }

    void usbTmcTesterIsMeasuredLostAndFoundAgain()
    {
        m_sim = std::make_unique<SimTester>();
        const QString device = QDir(m_sim->folder()).filePath(QStringLiteral("usbtmc0"));
        const QStringList options{QStringLiteral("--usbtmc"), device, QStringLiteral("--reply"), kReading};
        QVERIFY2(m_sim->start(options), m_sim->log().constData());
        makeWindow(m_sim->folder());
        PortAddress address;
        address.wire = Wire::UsbTmc;
        address.device = device;
        window().setPortAddress(address);
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY2(session().running(), qPrintable(m_h->dialogs.messageTexts().join(QLatin1Char('\n'))));
        verifyMeasuring();
        QVERIFY(countOne(window()));
        QCOMPARE(records(), QList<QByteArray>{kRecord});
        QVERIFY(m_sim->log().contains("rx func rv"));

        m_sim->process().kill();
        QTRY_VERIFY_WITH_TIMEOUT(session().reconnecting(), 5000);
        QVERIFY2(statusLine()->text().startsWith(QStringLiteral("line lost, retrying %1 (").arg(device)),
                 qPrintable(statusLine()->text()));
        verifyStale(true);
        SimTester again;
        QVERIFY(again.startIn(m_sim->folder(), options));
        QTRY_VERIFY_WITH_TIMEOUT(!session().reconnecting(), 5000);
        QCOMPARE(statusLine()->text(), MeasurementSession::lineBackText(device));
        verifyMeasuring();
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
    }

    // A profile that names its wire is refused on another one, and a pushing
    // tester on a wire that only answers; nothing is opened.
    void profileOnTheWrongWireIsRefusedAtStart_data()
    {
        QTest::addColumn<QString>("wire");    // in the profile
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("port");    // channel 1's
        QTest::addColumn<QString>("told");
        QTest::newRow("LAN profile on COM1") << "tcp" << "query" << "COM1" << "transport.wire \"tcp\"";
        QTest::newRow("serial profile on the LAN") << "serial" << "query" << "127.0.0.1:9" << "transport.wire \"serial\"";
        QTest::newRow("pushing tester on USB-TMC") << "" << "push" << "/dev/usbtmc-none" << "unasked";
    }

    void profileOnTheWrongWireIsRefusedAtStart()
    {
        QFETCH(QString, wire);
        QFETCH(QString, mode);
        QFETCH(QString, port);
        QFETCH(QString, told);
        QVERIFY(QDir(m_folder->path()).mkpath(QLatin1String(kProfilesFolderName)));
        QByteArray json = builtInProfileJson(mode == QLatin1String("push") ? QStringLiteral("push") : kDefaultProfileName);
        if (!wire.isEmpty())
            json.replace("\"mode\"", "\"transport\": { \"wire\": \"" + wire.toLatin1() + "\" },\n  \"mode\"");
        QFile file(QDir(profilesFolder(m_folder->path())).filePath(QStringLiteral("wired.json")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(json);
        file.close();
        makeWindow(m_folder->path());
        window().profiles().choose(QStringLiteral("wired.json"));
        window().setPortAddress(*PortAddress::parse(port));
        m_h->dialogs.messages.clear();
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(!session().running());
        QVERIFY(ui().startButton->isEnabled());
        QCOMPARE(m_h->dialogs.messages.size(), 1);
        const QString text = m_h->dialogs.messages[0].text;
        QVERIFY2(text.contains(told) && text.contains(port) && text.contains(QStringLiteral("wired.json")), qPrintable(text));
    }

    // Settings > COMPort: a LAN tester by its address, a USB-TMC device from
    // the list; kept for the next start in Channels.ini, while Settings.ini
    // keeps channel 1's serial port.
    void portChooserTakesALanTesterAndAUsbTmcDevice()
    {
        makeWindow(m_folder->path());
        PortChooser &chooser = window().portChooser();
        chooser.lanItem()->trigger();
        QInputDialog *dialog = chooser.lanDialog();
        QVERIFY(dialog && dialog->isVisible());
        dialog->setTextValue(QStringLiteral("lab7 : 5025"));
        dialog->accept();
        // Refused with the reason; nothing changed.
        QCOMPARE(m_h->dialogs.messages.size(), 1);
        QVERIFY(m_h->dialogs.messages[0].text.contains(QStringLiteral("lab7 : 5025")));
        QCOMPARE(window().portAddress().wire, Wire::Serial);

        chooser.lanItem()->trigger();
        dialog = chooser.lanDialog();
        QVERIFY(dialog);
        dialog->setTextValue(QStringLiteral("lab7:5026"));
        dialog->accept();
        QCOMPARE(window().portAddress().text(), QStringLiteral("lab7:5026"));
        QVERIFY(chooser.lanItem()->isChecked());
        QCOMPARE(chooser.lanItem()->text(), QStringLiteral("LAN tester: lab7:5026..."));
        for (QAction *com : ui().comPortActions)
            QVERIFY(!com->isChecked());
        QCOMPARE(loadBenchChannels(m_folder->path())->firstPort->text(), QStringLiteral("lab7:5026"));

        chooser.setUsbTmcDeviceList([] { return QStringList{QStringLiteral("/dev/usbtmc0"), QStringLiteral("/dev/usbtmc1")}; });
        Q_EMIT chooser.usbTmcMenu()->aboutToShow();
        QCOMPARE(chooser.usbTmcMenu()->actions().size(), 2);
        chooser.usbTmcMenu()->actions().at(1)->trigger();
        QCOMPARE(window().portAddress().text(), QStringLiteral("/dev/usbtmc1"));
        QVERIFY(!chooser.lanItem()->isChecked());

        // The next start finds it; Settings.ini's line 1 still names COM1.
        QVERIFY(window().close());
        m_h.reset();
        QCOMPARE(fileLines(QDir(m_folder->path()).filePath(QStringLiteral("Settings.ini"))).value(0).trimmed(), QByteArray("1"));
        makeWindow(m_folder->path());
        QCOMPARE(window().portAddress().text(), QStringLiteral("/dev/usbtmc1"));
        // COM2 from the menu: serial again, and Channels.ini forgets the device.
        ui().comPortActions[1]->trigger();
        QCOMPARE(window().portAddress(), PortAddress::serial(2));
        QVERIFY(ui().comPortActions[1]->isChecked());
        QVERIFY(!loadBenchChannels(m_folder->path())->firstPort);
    }
};

BIN4870_TEST(TestTesterWires)
#include "tst_testerwires.moc"

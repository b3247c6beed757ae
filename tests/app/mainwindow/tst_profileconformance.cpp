#include "testmain.h"

#include "formmainharness.h"
#include "simtester.h"
#include "ptypair.h"

#include "app/mainwindow/profilecontrols.h"
#include "link/testerprofile.h"
#include "settings/testerprofilechoice.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcessEnvironment>
#include <QTest>

#include <csignal>
#include <memory>
#include <termios.h>

// Every tester profile through a real session: the main window against the
// simulated tester speaking that profile over a pseudo-terminal, and again
// over a TCP socket on localhost (a LAN tester). Runs the built-in profiles,
// the example profiles in docs/profiles and every "*.json" file in the folder
// named by BIN4870_PROFILE_DIR.
//
// A row checks: the line settings on the terminal (pseudo-terminal only), the set-up commands in
// order before the first reading, the reading shown, judged, counted and
// recorded (with the tester's own word when the profile reads one), the
// time-out while the tester is silent, and the reconnect when it comes back.

namespace {

const double kOhms = 0.020;
const double kVolts = 3.6;

// A text for tester-sim's command line, whose \r \n \\ it decodes.
QString escaped(const QByteArray &bytes)
{
    QString text = QString::fromLatin1(bytes);
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return text;
}

speed_t speedOf(qint32 baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
    }
}

// The settings the program gave the terminal behind path.
std::optional<termios> terminalSettings(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    termios settings{};
    const bool ok = ::tcgetattr(fd, &settings) == 0;
    ::close(fd);
    return ok ? std::optional<termios>(settings) : std::nullopt;
}

void verifyLineSettings(const QString &path, const LineSettings &line)
{
    const std::optional<termios> settings = terminalSettings(path);
    QVERIFY(settings);
    if (const speed_t speed = speedOf(line.baudRate); speed != B0)
        QCOMPARE(::cfgetospeed(&*settings), speed);
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    QCOMPARE(settings->c_cflag & CSIZE, sizes[line.dataBits - 5]);
    QCOMPARE(bool(settings->c_cflag & PARENB), line.parity != LineSettings::Parity::None);
    if (line.parity == LineSettings::Parity::Odd)
        QVERIFY(settings->c_cflag & PARODD);
    QCOMPARE(bool(settings->c_cflag & CSTOPB), line.stopBits != LineSettings::StopBits::One);
    QCOMPARE(bool(settings->c_cflag & CRTSCTS), line.flowControl == LineSettings::FlowControl::Hardware);
}

} // namespace

class TestProfileConformance : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimTester> m_sim;
    std::unique_ptr<FormMainHarness> m_h;

    const FormMainUi &ui() { return m_h->window->ui(); }
    MeasurementSession &session() { return m_h->window->session(); }

    // The set-up commands, in order, in the simulator's log, all before the
    // first reading it wrote.
    void verifySetupInOrder(const TesterProfile &profile)
    {
        // A pushing simulator writes readings from the start, before the
        // program has opened the line: wait for the last set-up command.
        const QByteArray last = profile.setupCommands.isEmpty() ? QByteArray("tx ")
                                                                : "rx " + profile.setupCommands.last().toLatin1();
        QTRY_VERIFY(m_sim->log().contains(last));
        QTRY_VERIFY(m_sim->log().contains("tx "));
        const QByteArray log = m_sim->log();
        qsizetype at = -1;
        for (const QString &command : profile.setupCommands) {
            const qsizetype found = log.indexOf("rx " + command.toLatin1(), at + 1);
            QVERIFY2(found > at, qPrintable(QStringLiteral("%1 not in order in:\n%2").arg(command, QString::fromLatin1(log))));
            at = found;
        }
        if (!profile.pushes())
            QVERIFY2(at < log.indexOf("rx " + profile.request.toLatin1()), log.constData());
    }

    void verifyReadingShown()
    {
        QTRY_COMPARE(ui().valueLabels[0]->text(), QStringLiteral("20.000 mOhm"));
        QTRY_COMPARE(ui().valueLabels[1]->text(), QStringLiteral("3.6000 V"));
        QTRY_VERIFY(!session().stale());
    }

private Q_SLOTS:
    void cleanup()
    {
        m_h.reset();
        m_sim.reset();
    }

    void profileWorksThroughASession_data()
    {
        QTest::addColumn<QString>("profileFile"); // empty for a built-in profile
        QTest::addColumn<QString>("profileName");
        QTest::addColumn<bool>("lan");            // over TCP instead of the pseudo-terminal
        for (const bool lan : {false, true}) {
            const QString wire = lan ? QStringLiteral(" over TCP") : QString();
            for (const TesterProfile &profile : builtInProfiles())
                QTest::newRow(qPrintable(profile.name + wire)) << QString() << profile.name << lan;
            QStringList folders{QStringLiteral(BIN4870_EXAMPLE_PROFILES)};
            const QString given = QProcessEnvironment::systemEnvironment().value(QStringLiteral("BIN4870_PROFILE_DIR"));
            if (!given.isEmpty())
                folders << given;
            for (const QString &folder : folders) {
                for (const QFileInfo &file : QDir(folder).entryInfoList({QStringLiteral("*.json")}, QDir::Files, QDir::Name))
                    QTest::newRow(qPrintable(file.filePath() + wire)) << file.absoluteFilePath() << file.fileName() << lan;
            }
        }
    }

    void profileWorksThroughASession()
    {
        QFETCH(QString, profileFile);
        QFETCH(QString, profileName);
        QFETCH(bool, lan);
        const Result<TesterProfile> load = profileFile.isEmpty() ? loadChosenProfile(QString(), profileName)
                                                                 : readTesterProfileFile(profileFile);
        QVERIFY2(load, qPrintable(load.errorString()));
        TesterProfile profile = *load;
        QByteArray fileText;
        if (!profileFile.isEmpty()) {
            QFile file(profileFile);
            QVERIFY(file.open(QIODevice::ReadOnly));
            fileText = file.readAll();
        }
        // A pseudo-terminal carries 8 data bits without parity whatever it is
        // told; such a profile is run as 8N1 and everything else of it checked.
        if (profile.line.dataBits != 8 || profile.line.parity != LineSettings::Parity::None) {
            qInfo("%s: run with 8 data bits and no parity on the pseudo-terminal", qPrintable(profileName));
            QJsonObject root = QJsonDocument::fromJson(fileText).object();
            QJsonObject serial = root.value(QStringLiteral("serial")).toObject();
            serial[QStringLiteral("dataBits")] = 8;
            serial[QStringLiteral("parity")] = QStringLiteral("none");
            root[QStringLiteral("serial")] = serial;
            fileText = QJsonDocument(root).toJson();
            profile.line.dataBits = 8;
            profile.line.parity = LineSettings::Parity::None;
        }
        const QString word = profile.judgement.present() ? profile.judgement.passWords.first() : QString();
        const QByteArray reply = encodeReply(profile, kOhms, kVolts, word);
        const DecodedReply expected = decodeReply(profile, QString::fromLatin1(reply.chopped(profile.replyEnd.size())));

        m_sim = std::make_unique<SimTester>();
        // The simulator reads the profile (as run here) from a file of its own.
        const QString simProfile = QDir(m_sim->folder()).filePath(profileName + QStringLiteral(".sim"));
        if (!profileFile.isEmpty()) {
            QFile simCopy(simProfile);
            QVERIFY(simCopy.open(QIODevice::WriteOnly));
            simCopy.write(fileText);
        }
        QStringList simOptions{QStringLiteral("--profile"), profileFile.isEmpty() ? profileName : simProfile,
                               QStringLiteral("--reply"), escaped(reply), QStringLiteral("--no-eol")};
        if (lan)
            simOptions << QStringLiteral("--tcp") << QStringLiteral("127.0.0.1:0");
        QVERIFY2(m_sim->start(simOptions), m_sim->log().constData());
        if (lan) {
            // The tester comes back on the same port.
            const quint16 port = m_sim->tcpPort();
            QVERIFY(port != 0);
            simOptions.last() = QStringLiteral("127.0.0.1:%1").arg(port);
        }
        if (!profileFile.isEmpty()) {
            QVERIFY(QDir(m_sim->folder()).mkpath(QLatin1String(kProfilesFolderName)));
            QFile copy(QDir(profilesFolder(m_sim->folder())).filePath(profileName));
            QVERIFY(copy.open(QIODevice::WriteOnly));
            copy.write(fileText);
        }
        m_h = std::make_unique<FormMainHarness>(m_sim->folder());
        m_h->window->profiles().choose(profileName);
        if (lan)
            m_h->window->setPortAddress(*PortAddress::parse(simOptions.last()));
        QVERIFY(m_h->dialogs.messages.isEmpty());
        setOneBinPerTable(ui());
        m_h->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_h->window.get()));

        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY2(session().running(), qPrintable(m_h->dialogs.messageTexts().join(QLatin1Char('\n'))));
        QCOMPARE(session().profile().name, profile.name);
        if (!lan)
            verifyLineSettings(QDir(m_sim->folder()).filePath(QStringLiteral("COM1")), profile.line);
        verifySetupInOrder(profile);
        verifyReadingShown();
        const QLabel *verdict = m_h->window->findChild<QLabel *>(QStringLiteral("testerVerdict"));
        QCOMPARE(verdict->isVisible(), profile.judgement.present());
        if (profile.judgement.present())
            QCOMPARE(verdict->text(), QStringLiteral("Tester: %1").arg(word));

        // Judged: BIN 1 of both rows lit; counted and recorded.
        QVERIFY(countOne(*m_h->window));
        QCOMPARE(m_h->binTableR.binCount[0], qint16(1));
        QCOMPARE(m_h->binTableV.binCount[0], qint16(1));
        QByteArray record = "2012/08/02,14:05:09," + expected.fields[0].toLatin1() + ',' + expected.fields[1].toLatin1();
        if (!word.isEmpty())
            record += ',' + word.toLatin1();
        QCOMPARE(fileLines(ui().dataFilePath->text()), QList<QByteArray>{record + '\r'});

        // Silence: the reading on screen turns stale within the time-out.
        const qint64 pid = m_sim->process().processId();
        ::kill(pid_t(pid), SIGSTOP);
        QTRY_VERIFY_WITH_TIMEOUT(session().stale(), int(profile.replyTimeout.count() + profile.pollInterval.count()) * 3);
        ::kill(pid_t(pid), SIGCONT);
        QTRY_VERIFY_WITH_TIMEOUT(!session().stale(), 5000);

        // The tester goes away and comes back: set up again and measuring again.
        m_sim->process().kill();
        QTRY_VERIFY_WITH_TIMEOUT(session().reconnecting(), 5000);
        SimTester again;
        QVERIFY(again.startIn(m_sim->folder(), simOptions));
        QTRY_VERIFY_WITH_TIMEOUT(!session().reconnecting(), 5000);
        if (!profile.setupCommands.isEmpty())
            QTRY_VERIFY(again.log().contains("rx " + profile.setupCommands.last().toLatin1()));
        QTRY_VERIFY_WITH_TIMEOUT(!session().stale(), 5000);
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        QVERIFY(!session().running());
    }

    // The default profile puts today's bytes on the wire, in today's order,
    // on a 9600 8N1 line.
    void defaultProfileSendsTodaysBytes()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        m_h = std::make_unique<FormMainHarness>(pty.folder());
        QCOMPARE(m_h->window->profiles().choice(), kDefaultProfileName);
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(session().running());
        const QByteArray today = "func rv\r\ntrig:sour imm\r\n:fetch?\r\n";
        QTRY_VERIFY(pty.sent().size() >= today.size());
        QCOMPARE(pty.sent().left(today.size()), today);
        verifyLineSettings(pty.device(), LineSettings{});
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
    }

    // START refuses a profile file it cannot read: the message names the file
    // and the key, and nothing is opened.
    void badProfileFileStopsStart()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        QVERIFY(QDir(pty.folder()).mkpath(QLatin1String(kProfilesFolderName)));
        const QString path = QDir(profilesFolder(pty.folder())).filePath(QStringLiteral("broken.json"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(builtInProfileJson(kDefaultProfileName)).replace("\"none\"", "\"nine\""));
        file.close();

        m_h = std::make_unique<FormMainHarness>(pty.folder());
        m_h->window->profiles().choose(QStringLiteral("broken.json"));
        m_h->dialogs.messages.clear();
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(!session().running());
        QVERIFY(!m_h->port.portOpen());
        QVERIFY(!m_h->dataFile.isOpen());
        QVERIFY(ui().startButton->isEnabled());
        QCOMPARE(m_h->dialogs.messages.size(), 1);
        const QString text = m_h->dialogs.messages[0].text;
        QVERIFY2(text.contains(QDir::toNativeSeparators(path)) && text.contains(QStringLiteral("\"serial.parity\""))
                     && text.contains(QStringLiteral("\"nine\"")),
                 qPrintable(text));
        QVERIFY(pty.sent().isEmpty());
    }
};

BIN4870_TEST(TestProfileConformance)
#include "tst_profileconformance.moc"

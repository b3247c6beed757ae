#include "testmain.h"
#include "filecontent.h"

#include "eventwait.h"
#include "formmainharness.h"
#include "specialfiles.h"
#include "simtester.h"

#include "common/numericvalue.h"
#include "settings/settingscodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <csignal>
#include <memory>
#include <sys/resource.h>

// The main window against a misbehaving tester, a broken line and a hostile
// file system. Every case checks what the operator sees and that no counted
// cell is lost or counted twice: the data file's lines against the presses.

namespace {

const QDateTime kStamp(QDate(2012, 8, 2), QTime(14, 5, 9));
// Date and time fields of a record stamped kStamp, with their commas.
const QByteArray kStampFields = "2012/08/02,14:05:09,";

// Lowers the limit on the size of files this process writes to nothing, so
// every write to a regular file fails (EFBIG) whoever runs the test, root
// included. Restores the limit when it goes.
class NoFileWrites
{
public:
    NoFileWrites()
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit none = m_old;
        none.rlim_cur = 0;
        m_ok = ::setrlimit(RLIMIT_FSIZE, &none) == 0;
    }
    ~NoFileWrites()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    NoFileWrites(const NoFileWrites &) = delete;
    NoFileWrites &operator=(const NoFileWrites &) = delete;
    bool isValid() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

enum class Damage { FolderRemoved, FolderIsAFile, SettingsIsAFolder, NoRoomForWrites };

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimTester> m_sim;
    std::unique_ptr<FormMainHarness> m_h;
    // Set when a guard timer had to end a wait the window should have ended itself.
    bool m_guardNeeded = false;

    FormMain &window() { return *m_h->window; }
    const FormMainUi &ui() { return m_h->window->ui(); }

    void makeWindowWithTester(const QStringList &options, int port = 1)
    {
        m_sim = std::make_unique<SimTester>();
        QVERIFY2(m_sim->start(options, port), m_sim->log().constData());
        m_h = std::make_unique<FormMainHarness>(m_sim->folder());
        m_h->clock.current = kStamp;
        if (port != 1)
            ui().comPortActions[size_t(port - 1)]->trigger();
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

    // Ends a session that is still waiting after `after`, so that a window stuck
    // in its wait fails the test instead of hanging it.
    void guardAgainstHanging(std::chrono::milliseconds after)
    {
        QTimer::singleShot(after, &window(), [this] {
            if (window().session().awaitingReply()) {
                m_guardNeeded = true;
                window().session().stop();
            }
        });
    }

    void verifyIdle()
    {
        QVERIFY(!window().session().timerEnabled());
        QVERIFY(!window().session().awaitingReply());
        QVERIFY(!m_h->port.portOpen());
        QVERIFY(!m_h->dataFile.isOpen());
        QVERIFY(ui().startButton->isEnabled());
        QVERIFY(ui().dataFileFrame->isEnabled());
        QVERIFY(ui().settingsMenu->menuAction()->isEnabled());
    }

    QStringList messages() const { return m_h->dialogs.messageTexts(); }

private Q_SLOTS:
    void init() { m_guardNeeded = false; }

    void cleanup()
    {
        m_h.reset();
        m_sim.reset();
    }

    void garbageRepliesAreShownAsTextAndNeverCounted()
    {
        makeWindowWithTester({QStringLiteral("--garbage")});
        const QString path = ui().dataFilePath->text();
        guardAgainstHanging(std::chrono::seconds(60));
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(window().session().timerEnabled());
        QTest::mouseClick(ui().recCountButton, Qt::LeftButton);
        QVERIFY(window().session().recordArmed());

        int shownReplies = 0;
        const qsizetype start = m_sim->log().count("rx :fetch?");
        while (m_sim->log().count("rx :fetch?") < start + 8) {
            const QString before = ui().valueLabels[0]->text() + QLatin1Char('|') + ui().valueLabels[1]->text();
            QVERIFY(QTest::qWaitFor([&] {
                return ui().valueLabels[0]->text() + QLatin1Char('|') + ui().valueLabels[1]->text() != before
                    || m_sim->log().count("rx :fetch?") >= start + 8;
            }, 5000));
            for (int t = 0; t < 2; ++t) {
                const QString shown = ui().valueLabels[size_t(t)]->text();
                QCOMPARE(shown, window().session().parser().displayText(t));
                QVERIFY(!shown.contains(QLatin1Char('\r')) && !shown.contains(QLatin1Char('\n')));
            }
            ++shownReplies;
        }
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        verifyIdle();
        QVERIFY(!m_guardNeeded);
        QVERIFY(shownReplies > 0);

        // Junk is no reading: nothing is judged into a BIN, counted or recorded,
        // and the arming still waits for a real reading.
        QVERIFY(window().session().recordArmed());
        QVERIFY(fileLines(path).isEmpty());
        QCOMPARE(m_h->binTableR.totalCount, qint16(0));
        QCOMPARE(m_h->binTableV.totalCount, qint16(0));
        QVERIFY(messages().isEmpty());
    }

    void markupFromTheTesterIsShownAsText()
    {
        makeWindowWithTester({QStringLiteral("--reply"), QStringLiteral("<b>12.5</b>E-3,3.7E+0")});
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QTRY_COMPARE(window().session().readingFields()[0], QStringLiteral("<b>12.5</b>E-3"));
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        const QLabel *label = ui().valueLabels[0];
        QCOMPARE(label->text(), QStringLiteral("<b>12.5</b> mOhm"));
        // A label left to guess the format renders the tags and shows "12.5 mOhm".
        const bool rendersAsMarkup = label->textFormat() == Qt::RichText
            || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
        QVERIFY(!rendersAsMarkup);
    }

    void oneBytePiecesAreCountedAsWholeReadings()
    {
        const QByteArrayList script = {"15.000E-3,3.2000E+0", "25.000E-3,3.7000E+0", "35.000E-3,3.3000E+0"};
        auto scriptFile = std::make_unique<QTemporaryFile>();
        QVERIFY(scriptFile->open());
        scriptFile->write(script.join('\n') + '\n');
        scriptFile->close();
        makeWindowWithTester({QStringLiteral("--split"), QStringLiteral("1"), QStringLiteral("--script"),
                              scriptFile->fileName()});
        const QString path = ui().dataFilePath->text();
        QByteArrayList counted;
        connect(&window().session(), &MeasurementSession::readingCounted, this, [&] {
            const auto &fields = window().session().readingFields();
            counted << (fields[0] + QLatin1Char(',') + fields[1]).toLatin1();
        });
        guardAgainstHanging(std::chrono::seconds(60));
        QTest::mouseClick(ui().startButton, Qt::LeftButton);

        constexpr int kPresses = 4;
        for (int k = 0; k < kPresses; ++k)
            QVERIFY(countOne(window()));
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        verifyIdle();
        QVERIFY(!m_guardNeeded);

        QCOMPARE(counted.size(), kPresses);
        const QList<QByteArray> lines = fileLines(path);
        QCOMPARE(lines.size(), kPresses);
        for (int k = 0; k < kPresses; ++k) {
            QVERIFY2(script.contains(counted[k]), counted[k].constData());
            QCOMPARE(lines[k], kStampFields + counted[k] + '\r');
        }
        // The simulator really wrote one byte at a time.
        QVERIFY(m_sim->log().count("tx ") > 20 * kPresses);
        QCOMPARE(m_h->binTableR.totalCount, qint16(kPresses));
        QVERIFY(messages().isEmpty());
    }

    void damagedSettingsStartWithinRanges_data()
    {
        QTest::addColumn<QByteArray>("content");
        QRandomGenerator random(4870);
        auto bytes = [&random](int size, const QByteArray &alphabet) {
            QByteArray out;
            for (int i = 0; i < size; ++i)
                out += alphabet.isEmpty() ? char(random.bounded(256)) : alphabet[random.bounded(alphabet.size())];
            return out;
        };
        QTest::newRow("binary") << bytes(300, {});
        QTest::newRow("binary with NUL lines") << bytes(64, {}) + QByteArray(40, '\0') + "\r\n" + bytes(64, {});
        QTest::newRow("number characters") << bytes(400, "0123456789.-+eEdD &HhOo\r\n\r\n");
        QTest::newRow("huge numbers") << QByteArray("1e39\r\n-1e39\r\n9e99\r\n1e38\r\n-3e38\r\n&HFFFFFFFF\r\n"
                                                    "1e-45\r\nnan\r\ninf\r\n-inf\r\n1e10000\r\n");
        QTest::newRow("one long line") << QByteArray(200000, '7');
    }

    void damagedSettingsStartWithinRanges()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        QVERIFY(writeFile(settingsPath(dir.path()), content));
        m_h = std::make_unique<FormMainHarness>(dir.path());

        auto checkRanges = [this] {
            QVERIFY(window().comPort() >= 1 && window().comPort() <= 30);
            QCOMPARE(m_h->port.commPort(), window().comPort());
            for (int t = 0; t < 2; ++t) {
                const auto &options = t == 0 ? ui().resistanceModes : ui().voltageModes;
                const auto &boxes = t == 0 ? ui().resistanceEntries : ui().voltageEntries;
                const BinTable &table = t == 0 ? m_h->binTableR : m_h->binTableV;
                QCOMPARE(int(options[0]->isChecked()) + int(options[1]->isChecked()) + int(options[2]->isChecked()), 1);
                const double count = numericValue(boxes[0]->text());
                QVERIFY2(count >= 0 && count <= 9, qPrintable(boxes[0]->text()));
                QVERIFY(table.numBins >= 0 && table.numBins <= 9);
                for (size_t i = 1; i < 3; ++i) {
                    const double value = numericValue(boxes[i]->text());
                    QVERIFY2(value >= -99999 && value <= 99999, qPrintable(boxes[i]->text()));
                }
            }
            QVERIFY(window().x() >= 0 && window().x() <= 10000 / 15 + 1);
            QVERIFY(window().y() >= 0 && window().y() <= 5000 / 15 + 1);
            QVERIFY(messages().isEmpty());
        };
        checkRanges();
        if (QTest::currentTestFailed())
            return;

        // What the damaged file gave is saved as a sound file that a second start
        // shows the same way.
        QStringList shown;
        for (QLineEdit *box : ui().resistanceEntries)
            shown << box->text();
        for (QLineEdit *box : ui().voltageEntries)
            shown << box->text();
        const qint16 port = window().comPort();
        window().close();
        QVERIFY(window().isShutDown());
        const QByteArray saved = readAll(settingsPath(dir.path()));
        QCOMPARE(saved.count("\r\n"), qsizetype(11));
        m_h.reset();
        m_h = std::make_unique<FormMainHarness>(dir.path());
        checkRanges();
        QStringList again;
        for (QLineEdit *box : ui().resistanceEntries)
            again << box->text();
        for (QLineEdit *box : ui().voltageEntries)
            again << box->text();
        QCOMPARE(again, shown);
        QCOMPARE(window().comPort(), port);
    }

    void unwritableProgramFolderAtShutdown_data()
    {
        QTest::addColumn<int>("damage");
        QTest::newRow("folder removed") << int(Damage::FolderRemoved);
        QTest::newRow("folder replaced by a file") << int(Damage::FolderIsAFile);
        QTest::newRow("Settings.ini is a folder") << int(Damage::SettingsIsAFolder);
        QTest::newRow("no file may grow") << int(Damage::NoRoomForWrites);
    }

    void unwritableProgramFolderAtShutdown()
    {
        QFETCH(int, damage);
        QTemporaryDir parent;
        const QString dir = parent.path() + QStringLiteral("/program");
        QVERIFY(QDir().mkdir(dir));
        const QString settings = settingsPath(dir);
        const QByteArray previous = " 3 \r\n 1 \r\n9\r\n10\r\n2.5\r\n 2 \r\n5\r\n3.7\r\n1\r\n 1200 \r\n 900 \r\n";
        if (Damage(damage) != Damage::SettingsIsAFolder)
            QVERIFY(writeFile(settings, previous));
        m_h = std::make_unique<FormMainHarness>(dir);
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
        // A set-up that differs from the stored one, so that a save would show.
        ui().resistanceEntries[0]->setText(QStringLiteral("4"));
        ui().comPortActions[1]->trigger();

        const QByteArray fileInPlace = "not a folder";
        switch (Damage(damage)) {
        case Damage::FolderRemoved:
            QVERIFY(QDir(dir).removeRecursively());
            break;
        case Damage::FolderIsAFile:
            QVERIFY(QDir(dir).removeRecursively());
            QVERIFY(writeFile(dir, fileInPlace));
            break;
        case Damage::SettingsIsAFolder:
            QVERIFY(QDir().mkdir(settings));
            break;
        case Damage::NoRoomForWrites:
            break;
        }
        {
            std::unique_ptr<NoFileWrites> limit;
            if (Damage(damage) == Damage::NoRoomForWrites) {
                limit = std::make_unique<NoFileWrites>();
                QVERIFY(limit->isValid());
            }
            window().close();
        }
        QVERIFY(window().isShutDown());
        QVERIFY(!window().isVisible());
        QVERIFY(messages().isEmpty());
        QVERIFY(eventwait::queuedEventsRun()); // nothing reported late either
        QVERIFY(messages().isEmpty());

        switch (Damage(damage)) {
        case Damage::FolderRemoved:
            QVERIFY(!QFileInfo::exists(dir));
            break;
        case Damage::FolderIsAFile:
            QCOMPARE(readAll(dir), fileInPlace);
            break;
        case Damage::SettingsIsAFolder:
            QVERIFY(QFileInfo(settings).isDir());
            QCOMPARE(withoutJournal(QDir(dir).entryList(QDir::Files | QDir::Hidden)), QStringList());
            break;
        case Damage::NoRoomForWrites:
            QCOMPARE(readAll(settings), previous);
            QCOMPARE(withoutJournal(QDir(dir).entryList(QDir::Files | QDir::Hidden)), QStringList{QStringLiteral("Settings.ini")});
            // The same close with room to write does save the changed set-up.
            m_h.reset();
            m_h = std::make_unique<FormMainHarness>(dir);
            ui().resistanceEntries[0]->setText(QStringLiteral("4"));
            window().close();
            QVERIFY(readAll(settings) != previous);
            break;
        }
        m_h.reset();
        QFile::remove(dir);
    }

    void fullDeviceTellsTheOperatorAndTheSessionGoesOn_data()
    {
        QTest::addColumn<bool>("realDevice");
        QTest::newRow("full device") << true;
        QTest::newRow("no file may grow") << false;
    }
    void fullDeviceTellsTheOperatorAndTheSessionGoesOn()
    {
        QFETCH(bool, realDevice);
        const QString reply = QStringLiteral("20.000E-3,3.6000E+0");
        makeWindowWithTester({QStringLiteral("--reply"), reply});
        const QString mountPoint = m_sim->folder() + QStringLiteral("/tiny");
        QVERIFY(QDir().mkdir(mountPoint));
        std::unique_ptr<TinyFileSystem> tiny;
        std::unique_ptr<NoFileWrites> noWrites;
        if (realDevice) {
            tiny = std::make_unique<TinyFileSystem>(mountPoint);
            if (!tiny->isMounted())
                QSKIP("cannot mount a small file system here (needs root)");
        }
        const QString path = mountPoint + QStringLiteral("/data.csv");
        ui().dataFilePath->setText(path);
        guardAgainstHanging(std::chrono::seconds(30));
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(window().session().timerEnabled());
        if (realDevice) {
            QVERIFY(tiny->fill());
        } else {
            noWrites = std::make_unique<NoFileWrites>();
            QVERIFY(noWrites->isValid());
        }

        const QString systemText = QString::fromLocal8Bit(std::strerror(realDevice ? ENOSPC : EFBIG));
        const QString loss = QStringLiteral("the data file %1 could not be written (%2)").arg(path, systemText);
        for (int k = 1; k <= 3; ++k) {
            QVERIFY(countOne(window()));
            QTRY_COMPARE(messages().size(), k);
            // Each loss names the file and the reason; a run of them is one
            // growing count.
            QVERIFY2(messages().last().contains(loss), qPrintable(messages().last()));
            QCOMPARE(messages().last().startsWith(QStringLiteral("%1 counted cells in a row").arg(k)), k > 1);
            QVERIFY(window().session().timerEnabled());
            QVERIFY(ui().recCountButton->isEnabled());
        }
        // The cells were counted all the same; the operator knows their records
        // are missing.
        QCOMPARE(m_h->binTableR.totalCount, qint16(3));
        QCOMPARE(m_h->binTableV.totalCount, qint16(3));
        // Readings go on arriving.
        const qsizetype fetches = m_sim->log().count("rx :fetch?");
        QTRY_VERIFY(m_sim->log().count("rx :fetch?") > fetches + 1);
        QCOMPARE(messages().size(), 3);
        // With room again the next cell is saved, and nothing is told.
        noWrites.reset();
        if (tiny)
            QVERIFY(QFile::remove(mountPoint + QStringLiteral("/filler")));
        QVERIFY(countOne(window()));
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        verifyIdle();
        QCOMPARE(messages().size(), 3);
        QCOMPARE(fileLines(path), QList<QByteArray>{kStampFields + reply.toLatin1() + '\r'});
        QVERIFY(!m_guardNeeded);
    }
};

BIN4870_TEST(TestFaults)
#include "tst_faults.moc"

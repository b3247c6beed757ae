#include "testmain.h"

#include "formmainharness.h"
#include "processfigures.h"
#include "simtester.h"

#include "app/mainwindow/aboutwindow.h"
#include "app/mainwindow/counterwindow.h"
#include "app/mainwindow/guidewindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryFile>
#include <QTest>

#include <memory>

// The main window against a tester that stops answering, goes away, floods
// the line or answers with things that are no readings, all over a real
// pseudo-terminal. What is checked is what the operator sees and that no
// counted cell is lost or counted twice.

namespace {

const QDateTime kStamp(QDate(2012, 8, 2), QTime(14, 5, 9));
const QByteArray kStampFields = "2012/08/02,14:05:09,";
const QString kReading = QStringLiteral("20.000E-3,3.6000E+0");

} // namespace

class TestLinkFaults : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimTester> m_sim;
    std::unique_ptr<FormMainHarness> m_h;

    FormMain &window() { return *m_h->window; }
    const FormMainUi &ui() { return m_h->window->ui(); }
    MeasurementSession &session() { return m_h->window->session(); }
    QLabel *notice() { return window().findChild<QLabel *>(QStringLiteral("replyNotice")); }
    QLabel *statusLine() { return window().findChild<QLabel *>(QStringLiteral("statusLine")); }
    qsizetype fetches() { return m_sim->log().count("rx :fetch?"); }

    void makeWindowWithTester(const QStringList &options)
    {
        m_sim = std::make_unique<SimTester>();
        QVERIFY2(m_sim->start(options), m_sim->log().constData());
        m_h = std::make_unique<FormMainHarness>(m_sim->folder());
        m_h->clock.current = kStamp;
        // One BIN per table around the simulator's reading, so a counted
        // reading shows in BIN 1 of both rows.
        setOneBinPerTable(ui());
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

    void verifyStale(bool stale)
    {
        QCOMPARE(session().stale(), stale);
        QCOMPARE(notice()->isVisible(), stale);
        if (stale)
            QCOMPARE(notice()->text(), MeasurementSession::noAnswerText());
        QCOMPARE(ui().valueLabels[0]->isEnabled(), !stale);
        QCOMPARE(ui().valueLabels[1]->isEnabled(), !stale);
    }

    void stopAndVerifyIdle()
    {
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        QVERIFY(!session().running());
        QVERIFY(!session().awaitingReply());
        QVERIFY(!m_h->port.portOpen());
        QVERIFY(!m_h->dataFile.isOpen());
        QVERIFY(ui().startButton->isEnabled());
    }

    QList<QByteArray> records() { return fileLines(ui().dataFilePath->text()); }

private Q_SLOTS:
    void cleanup()
    {
        m_h.reset();
        m_sim.reset();
    }

    void droppedReplyIsFollowedByTheStaleStateAndNormalPolling()
    {
        makeWindowWithTester({QStringLiteral("--reply"), kReading, QStringLiteral("--drop"), QStringLiteral("3")});
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QTRY_COMPARE(ui().valueLabels[0]->text(), QStringLiteral("20.000 mOhm"));
        verifyStale(false);
        const QColor lit = ui().binCells[0]->palette().color(QPalette::Window);

        QTRY_VERIFY_WITH_TIMEOUT(session().stale(), 5000);
        verifyStale(true);
        // The old reading no longer lights its BIN.
        QVERIFY(ui().binCells[0]->palette().color(QPalette::Window) != lit);
        QVERIFY(m_sim->log().contains("dropped reply to request 3"));

        QTRY_VERIFY_WITH_TIMEOUT(!session().stale(), 5000);
        verifyStale(false);
        QCOMPARE(ui().binCells[0]->palette().color(QPalette::Window), lit);
        const qsizetype before = fetches();
        QTRY_VERIFY(fetches() >= before + 3);
        QVERIFY(countOne(window()));
        QCOMPARE(records(), QList<QByteArray>{kStampFields + kReading.toLatin1() + '\r'});
        stopAndVerifyIdle();
        QVERIFY(m_h->dialogs.messages.isEmpty());
    }

    void silentTesterShowsStaleAndDialogsOpenAtOnce()
    {
        makeWindowWithTester({QStringLiteral("--silent")});
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QTRY_VERIFY(session().awaitingReply());
        QTest::mouseClick(ui().recCountButton, Qt::LeftButton);
        QVERIFY(session().recordArmed());

        // Opened by the click itself, while the request is still outstanding.
        QTest::mouseClick(ui().dataButton, Qt::LeftButton);
        QList<CounterWindow *> counters = window().findChildren<CounterWindow *>();
        QCOMPARE(counters.size(), 1);
        QVERIFY(counters[0]->isVisible());
        QVERIFY(counters[0]->isModal() || counters[0]->windowModality() != Qt::NonModal);
        // More presses of DATA do not stack windows.
        ui().dataButton->click();
        ui().dataButton->click();
        QCOMPARE(window().findChildren<CounterWindow *>().size(), 1);

        // The ticks go on behind it: the time-out comes and polling goes on.
        const qsizetype before = fetches();
        QTRY_VERIFY_WITH_TIMEOUT(session().stale(), 5000);
        verifyStale(true);
        QTRY_VERIFY(fetches() > before);
        counters[0]->close();
        QTRY_VERIFY(window().findChildren<CounterWindow *>().isEmpty());

        ui().versionAction->trigger();
        AboutWindow *about = window().findChild<AboutWindow *>();
        QVERIFY(about);
        QVERIFY(about->isVisible());
        about->close();
        ui().helpAction->trigger();
        QVERIFY(window().findChild<GuideWindow *>()
                || m_h->dialogs.messageTexts().join(QString()).contains(QLatin1String("cannot open readme.txt")));

        // An arming survives the stale state.
        QVERIFY(session().recordArmed());
        QVERIFY(!ui().recCountButton->isEnabled());
        stopAndVerifyIdle();
        QVERIFY(records().isEmpty());
    }

    void emptyOrLateRepliesNeverPassForCurrentReadings_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("told");
        QTest::addColumn<QString>("shown"); // the resistance label throughout

        QTest::newRow("CR LF alone after one reading")
            << QStringList{"--reply", kReading, "--empty-after", "1"} << MeasurementSession::badReplyText()
            << "20.000 mOhm";
        QTest::newRow("every reply after the time-out")
            << QStringList{"--reply", kReading, "--delay", "1250"} << MeasurementSession::noAnswerText() << "";
    }
    void emptyOrLateRepliesNeverPassForCurrentReadings()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, told);
        QFETCH(QString, shown);
        makeWindowWithTester(options);
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(session().stale(), 5000);
        // It stays so while the tester goes on answering.
        const qsizetype before = m_sim->log().count("tx ");
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->log().count("tx ") >= before + 2, 10000);
        QVERIFY(session().stale());
        QVERIFY(notice()->isVisible());
        QCOMPARE(notice()->text(), told);
        QVERIFY(!ui().valueLabels[0]->isEnabled());
        QCOMPARE(ui().valueLabels[0]->text(), shown);
        stopAndVerifyIdle();
        QVERIFY(records().isEmpty());
    }

    void stopAndStartInOnePassStartCleanly()
    {
        makeWindowWithTester({QStringLiteral("--reply"), kReading, QStringLiteral("--delay"), QStringLiteral("150")});
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QTRY_VERIFY(session().awaitingReply());
        QTest::mouseClick(ui().recCountButton, Qt::LeftButton);
        // Both handled before the reply to the outstanding request arrives.
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(session().running());
        QVERIFY(!session().awaitingReply());
        QVERIFY(!session().recordArmed());

        int counted = 0;
        connect(&session(), &MeasurementSession::readingCounted, this, [&counted] { ++counted; });
        QVERIFY(countOne(window()));
        // Several more readings come and go uncounted.
        const qsizetype fetchesAfterCount = fetches();
        QTRY_VERIFY_WITH_TIMEOUT(fetches() >= fetchesAfterCount + 3, 10000);
        QCOMPARE(counted, 1);
        QCOMPARE(records(), QList<QByteArray>{kStampFields + kReading.toLatin1() + '\r'});
        QCOMPARE(m_h->binTableR.totalCount, qint16(1));
        QCOMPARE(m_h->binTableV.totalCount, qint16(1));
        stopAndVerifyIdle();
    }

    void restartedTesterIsReconnectedWithoutStopAndStart_data()
    {
        QTest::addColumn<bool>("linkRemoved");
        QTest::newRow("killed: its link stays") << false;
        // The retry must not fall back to /dev/ttyS0 meanwhile.
        QTest::newRow("stopped: its link goes with it") << true;
    }
    void restartedTesterIsReconnectedWithoutStopAndStart()
    {
        QFETCH(bool, linkRemoved);
        makeWindowWithTester({QStringLiteral("--reply"), kReading});
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(countOne(window()));

        if (linkRemoved) {
            m_sim->process().terminate();
            QVERIFY(m_sim->process().waitForFinished(5000));
            QVERIFY(!QFileInfo(QDir(m_sim->folder()).filePath(QStringLiteral("COM1"))).isSymLink());
        } else {
            m_sim->process().kill();
        }
        QTRY_VERIFY_WITH_TIMEOUT(session().reconnecting(), 5000);
        if (linkRemoved) {
            // Retried on the missing link, and still lost.
            const QString link = QDir(m_sim->folder()).filePath(QStringLiteral("COM1"));
            QTRY_VERIFY_WITH_TIMEOUT(statusLine()->text().contains(link), 5000);
            QVERIFY(session().reconnecting());
            QVERIFY2(!statusLine()->text().contains(QStringLiteral("/dev/ttyS")), qPrintable(statusLine()->text()));
        }
        QVERIFY2(statusLine()->text().startsWith(QStringLiteral("line lost, retrying COM1 (")),
                 qPrintable(statusLine()->text()));
        verifyStale(true);
        QVERIFY(!ui().startButton->isEnabled());
        QVERIFY(m_h->dialogs.messages.isEmpty());
        // An arming made while the line is down waits for the line.
        QTest::mouseClick(ui().recCountButton, Qt::LeftButton);
        QVERIFY(session().recordArmed());

        SimTester again;
        // The same folder: the new simulator replaces the link the old one left.
        QVERIFY(again.startIn(m_sim->folder(), {QStringLiteral("--reply"), kReading}));
        QTRY_VERIFY_WITH_TIMEOUT(!session().reconnecting(), 5000);
        QCOMPARE(statusLine()->text(), MeasurementSession::lineBackText(1));
        QTRY_VERIFY_WITH_TIMEOUT(!session().recordArmed(), 5000);
        verifyStale(false);
        QTRY_VERIFY(again.log().contains("rx func rv"));
        QVERIFY(again.log().contains("rx trig:sour imm"));

        const QByteArray record = kStampFields + kReading.toLatin1() + '\r';
        QCOMPARE(records(), (QList<QByteArray>{record, record}));
        QCOMPARE(m_h->binTableR.totalCount, qint16(2));
        QCOMPARE(m_h->binTableV.totalCount, qint16(2));
        stopAndVerifyIdle();
        QCOMPARE(statusLine()->text(), MeasurementSession::stoppedText());
    }

    void stopEndsTheRetrying()
    {
        makeWindowWithTester({QStringLiteral("--reply"), kReading});
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QTRY_VERIFY(!ui().valueLabels[0]->text().isEmpty());
        m_sim->process().kill();
        QTRY_VERIFY_WITH_TIMEOUT(session().reconnecting(), 5000);
        stopAndVerifyIdle();
        QVERIFY(!session().reconnecting());
        QCOMPARE(statusLine()->text(), MeasurementSession::stoppedText());
        SimTester again;
        QVERIFY(again.startIn(m_sim->folder(), {QStringLiteral("--reply"), kReading}));
        // Longer than a retry takes: the program neither opens the port nor sends.
        QVERIFY(!QTest::qWaitFor([&] { return m_h->port.portOpen() || again.log().contains("rx "); },
                                 int(MeasurementSession::kReconnectInterval.count()) + 500));
    }

    void repliesThatAreNoReadingsAreNeverCounted_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("shown");        // resistance label while such replies come
        QTest::addColumn<QByteArray>("recorded");  // the record a later real reading gives

        QTest::newRow("ERR,ERR") << QStringList{"--reply", "ERR,ERR"} << "ERR" << QByteArray();
        QTest::newRow("voltage beyond float range")
            << QStringList{"--reply", "20.000E-3,1e39"} << "20.000 mOhm" << QByteArray();
        QTest::newRow("LF only keeps every digit")
            << QStringList{"--reply", "15.000E-3,3.75\\n", "--no-eol"} << "15.000 mOhm"
            << QByteArray("15.000E-3,3.75");
    }
    void repliesThatAreNoReadingsAreNeverCounted()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, shown);
        QFETCH(QByteArray, recorded);
        makeWindowWithTester(options);
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QTRY_COMPARE(ui().valueLabels[0]->text(), shown);
        QTest::mouseClick(ui().recCountButton, Qt::LeftButton);
        const qsizetype before = fetches();
        QTRY_VERIFY_WITH_TIMEOUT(fetches() >= before + 4, 5000);
        QTRY_VERIFY(!session().awaitingReply() || fetches() >= before + 5);

        if (recorded.isEmpty()) {
            QVERIFY(session().recordArmed());
            QVERIFY(records().isEmpty());
            QCOMPARE(m_h->binTableR.totalCount, qint16(0));
            QCOMPARE(m_h->binTableV.totalCount, qint16(0));
            QCOMPARE(m_h->binTableR.binCount[0], qint16(0));
        } else {
            QVERIFY(!session().recordArmed());
            QCOMPARE(records(), QList<QByteArray>{kStampFields + recorded + '\r'});
            QCOMPARE(m_h->binTableV.totalCount, qint16(1));
        }
        QVERIFY(!session().stale());
        stopAndVerifyIdle();
        QVERIFY(m_h->dialogs.messages.isEmpty());
    }

    void realReadingAfterErrTakesTheArming()
    {
        QTemporaryFile script;
        QVERIFY(script.open());
        script.write("ERR,ERR\nERR,ERR\n20.000E-3,3.6000E+0\n");
        script.close();
        makeWindowWithTester({QStringLiteral("--script"), script.fileName()});
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QTRY_COMPARE(ui().valueLabels[0]->text(), QStringLiteral("ERR"));
        for (int k = 0; k < 3; ++k)
            QVERIFY(countOne(window()));
        const QByteArray record = kStampFields + kReading.toLatin1() + '\r';
        QCOMPARE(records(), (QList<QByteArray>{record, record, record}));
        QCOMPARE(m_h->binTableR.binCount[0], qint16(3));
        QCOMPARE(m_h->binTableV.totalCount, qint16(3));
        stopAndVerifyIdle();
    }

    void floodOfAMegabyteKeepsMemoryFlatAndStopWorking()
    {
        makeWindowWithTester({QStringLiteral("--flood"), QStringLiteral("--flood-chunk"), QStringLiteral("65536")});
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QTRY_VERIFY(session().awaitingReply());
        QTest::mouseClick(ui().recCountButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(session().badReplies() >= 1, 5000);
        const qint64 rssBefore = residentKiB();
        // Each bad reply ends a request; at 64 KiB every 16 ms, several of them
        // take well over a megabyte.
        QTRY_VERIFY_WITH_TIMEOUT(session().badReplies() >= 5, 10000);
        const qint64 rssAfter = residentKiB();
        QVERIFY(rssBefore > 0 && rssAfter > 0);
        QVERIFY2(rssAfter - rssBefore < 16 * 1024,
                 qPrintable(QStringLiteral("%1 -> %2 KiB").arg(rssBefore).arg(rssAfter)));
        QCOMPARE(notice()->text(), MeasurementSession::badReplyText());
        QCOMPARE(ui().valueLabels[0]->text(), QString());

        stopAndVerifyIdle();
        QVERIFY(session().recordArmed());
        QVERIFY(records().isEmpty());
        QCOMPARE(m_h->binTableR.totalCount, qint16(0));
        QVERIFY(m_h->dialogs.messages.isEmpty());
    }
};

BIN4870_TEST(TestLinkFaults)
#include "tst_linkfaults.moc"

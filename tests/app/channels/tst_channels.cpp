#include "testmain.h"

#include "formmainharness.h"
#include "simtester.h"

#include "app/channels/channelpanel.h"
#include "app/channels/channelscontrols.h"
#include "app/channels/channelsdialog.h"
#include "app/handsfree/handsfreecontrols.h"
#include "record/recordline.h"
#include "settings/benchchannels.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <memory>

// A bench of two or more channels through the main window: each channel a
// tester-sim of its own (a pseudo-terminal linked as COMn, or a TCP socket),
// its own key, its own data file, and every record in the journal carrying
// the channel that measured it.

namespace {

const QDateTime kStamp(QDate(2012, 8, 2), QTime(14, 5, 9));
// Two readings in BIN 1 of both tables, told apart by their resistance.
const QString kFirst = QStringLiteral("20.000E-3,3.6000E+0");
const QString kSecond = QStringLiteral("25.000E-3,3.7000E+0");
const QByteArray kStampFields = "2012/08/02,14:05:09,";

// "<channel> <resistance text>" for each journal record, in the order counted.
QStringList journalRows(const QString &folder)
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("look"));
        db.setDatabaseName(QDir(folder).filePath(QStringLiteral("journal.sqlite")));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT channel || ' ' || resistance_text FROM cells ORDER BY seq")))
                while (query.next())
                    rows << query.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("look"));
    return rows;
}

} // namespace

class TestChannels : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimTester> m_first;
    std::unique_ptr<SimTester> m_second;
    std::unique_ptr<FormMainHarness> m_h;
    std::unique_ptr<QTemporaryDir> m_bench; // the program's folder, with the COMn links

    FormMain &window() { return *m_h->window; }
    const FormMainUi &ui() { return m_h->window->ui(); }
    ChannelsControls &channels() { return m_h->window->channels(); }
    MeasurementSession &second() { return *channels().session(2); }
    ChannelPanel &panel() { return *channels().panel(2); }
    QString folder() { return m_bench->path(); }
    QList<QByteArray> records(int channel)
    {
        return fileLines(channelDataPath(ui().dataFilePath->text(), channel));
    }

    // Channel 1 on COM1; channel 2 on COM2, or on a LAN tester.
    void makeBench(bool secondOnLan)
    {
        m_bench = std::make_unique<QTemporaryDir>();
        m_first = std::make_unique<SimTester>();
        QVERIFY(m_first->startIn(folder(), {QStringLiteral("--reply"), kFirst}));
        m_second = std::make_unique<SimTester>();
        QStringList options{QStringLiteral("--reply"), kSecond};
        if (secondOnLan)
            options << QStringLiteral("--tcp") << QStringLiteral("127.0.0.1:0");
        QVERIFY(m_second->startIn(folder(), options, 2));
        m_h = std::make_unique<FormMainHarness>(folder());
        m_h->clock.current = kStamp;
        setOneBinPerTable(ui());
        BenchChannels bench;
        bench.count = 2;
        if (secondOnLan)
            bench.channel(2).port = *PortAddress::parse(QStringLiteral("127.0.0.1:%1").arg(m_second->tcpPort()));
        channels().setChannels(bench);
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

    bool countSecond()
    {
        QTest::keyClick(&window(), Qt::Key_F2);
        if (!second().recordArmed())
            return false;
        return QTest::qWaitFor([this] { return !second().recordArmed(); }, 10000);
    }

    // The tester of a channel comes back where it was.
    std::unique_ptr<SimTester> restart(const QStringList &options, int port)
    {
        auto again = std::make_unique<SimTester>();
        if (!again->startIn(folder(), options, port))
            return nullptr;
        return again;
    }

private Q_SLOTS:
    void cleanup()
    {
        m_h.reset();
        m_second.reset();
        m_first.reset();
        m_bench.reset();
    }

    // One channel: nothing new on the window, and no file of channels.
    void oneChannelLeavesTheWindowAsItWas()
    {
        QTemporaryDir dir;
        m_h = std::make_unique<FormMainHarness>(dir.path());
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
        QCOMPARE(channels().count(), 1);
        QVERIFY(!channels().dock());
        QVERIFY(!window().findChild<QDockWidget *>());
        QCOMPARE(window().centralWidget()->size(), QSize(FormMainUi::kClientWidth, FormMainUi::kClientHeight));
        const QSize alone = window().size();
        // A second channel adds its panel below; taken away, the window is as before.
        BenchChannels two;
        two.count = 2;
        channels().setChannels(two);
        QVERIFY(channels().dock() && channels().panel(2));
        QTRY_VERIFY(window().size().height() > alone.height());
        two.count = 1;
        channels().setChannels(two);
        QVERIFY(!channels().dock());
        QTRY_COMPARE(window().size(), alone);
        QVERIFY(window().close());
        m_h.reset();
        // Saved because the operator changed it; an untouched bench has no file.
        QTemporaryDir untouched;
        m_h = std::make_unique<FormMainHarness>(untouched.path());
        QVERIFY(window().close());
        QVERIFY(!QFileInfo::exists(QDir(untouched.path()).filePath(QLatin1String(kChannelsFileName))));
    }

    // Enter counts channel 1 and F2 channel 2, in any order; each record
    // keeps its channel in the journal and its own data file, never swapped.
    void eachChannelCountsWithItsKeyAndKeepsItsRecords()
    {
        makeBench(false);
        QCOMPARE(panel().title(), QStringLiteral("Channel 2 - COM2"));
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(window().session().running());
        QVERIFY(second().running());
        QTRY_COMPARE(ui().valueLabels[0]->text(), QStringLiteral("20.000 mOhm"));
        QTRY_COMPARE(panel().valueLabel(0)->text(), QStringLiteral("25.000 mOhm"));
        QTRY_VERIFY(panel().recCountButton()->isEnabled());

        QVERIFY(countOne(window()));
        QVERIFY(countSecond());
        QVERIFY(countSecond());
        QVERIFY(countOne(window()));
        // The panel's own button counts as its key does.
        QTest::mouseClick(panel().recCountButton(), Qt::LeftButton);
        QTRY_VERIFY(!second().recordArmed());

        const QByteArray first = kStampFields + kFirst.toLatin1() + '\r';
        const QByteArray other = kStampFields + kSecond.toLatin1() + '\r';
        QCOMPARE(records(1), (QList<QByteArray>{first, first}));
        QCOMPARE(records(2), (QList<QByteArray>{other, other, other}));
        QCOMPARE(journalRows(folder()), (QStringList{"1 20.000E-3", "2 25.000E-3", "2 25.000E-3", "1 20.000E-3",
                                                     "2 25.000E-3"}));
        // Both count into the bench's one pair of tables.
        QCOMPARE(m_h->binTableR.totalCount, qint16(5));
        QCOMPARE(m_h->binTableV.binCount[0], qint16(5));
        // Lit on its own grid: BIN 1 of both rows.
        QCOMPARE(panel().gridCell(0, 0)->palette().color(QPalette::Window), QColor(0x80, 0xFF, 0x50));
        QVERIFY(m_h->dialogs.messages.isEmpty());

        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        QVERIFY(!second().running());
        QVERIFY(!panel().recCountButton()->isEnabled());
        QTest::keyClick(&window(), Qt::Key_F2);
        QVERIFY(!second().recordArmed());
    }

    // Either channel's line may go: the other goes on counting and recording,
    // and the lost one comes back by itself.
    void lostChannelNeverHoldsUpTheOther_data()
    {
        QTest::addColumn<bool>("secondOnLan");
        QTest::newRow("channel 2 on COM2") << false;
        QTest::newRow("channel 2 on the LAN") << true;
    }

    void lostChannelNeverHoldsUpTheOther()
    {
        QFETCH(bool, secondOnLan);
        makeBench(secondOnLan);
        const quint16 lanPort = m_second->tcpPort();
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QTRY_VERIFY(panel().recCountButton()->isEnabled());
        QTRY_COMPARE(ui().valueLabels[0]->text(), QStringLiteral("20.000 mOhm"));

        // Channel 2 pulled.
        m_second->process().kill();
        QTRY_VERIFY_WITH_TIMEOUT(second().reconnecting(), 5000);
        QVERIFY(second().stale());
        QVERIFY(panel().notice()->isVisible());
        QVERIFY2(panel().statusLine()->text().startsWith(QStringLiteral("line lost, retrying ")),
                 qPrintable(panel().statusLine()->text()));
        QVERIFY(!window().session().reconnecting());
        QVERIFY(countOne(window()));
        QVERIFY(countOne(window()));
        QVERIFY(!window().session().stale());

        QStringList options{QStringLiteral("--reply"), kSecond};
        if (secondOnLan)
            options << QStringLiteral("--tcp") << QStringLiteral("127.0.0.1:%1").arg(lanPort);
        m_second = restart(options, 2);
        QVERIFY(m_second);
        QTRY_VERIFY_WITH_TIMEOUT(!second().reconnecting(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!second().stale(), 5000);
        QVERIFY(panel().statusLine()->text().startsWith(QStringLiteral("line back on ")));

        // Channel 1 pulled: channel 2 counts on.
        m_first->process().kill();
        QTRY_VERIFY_WITH_TIMEOUT(window().session().reconnecting(), 5000);
        QVERIFY(countSecond());
        QVERIFY(!second().stale());
        m_first = restart({QStringLiteral("--reply"), kFirst}, 1);
        QVERIFY(m_first);
        QTRY_VERIFY_WITH_TIMEOUT(!window().session().reconnecting(), 5000);
        QVERIFY(countOne(window()));

        QCOMPARE(journalRows(folder()), (QStringList{"1 20.000E-3", "1 20.000E-3", "2 25.000E-3", "1 20.000E-3"}));
        QCOMPARE(records(1).size(), 3);
        QCOMPARE(records(2).size(), 1);
        QVERIFY(m_h->dialogs.messages.isEmpty());
    }

    // A channel whose tester cannot be opened says so in its panel; the
    // others measure.
    void channelThatCannotStartSaysSoInItsPanel()
    {
        makeBench(false);
        BenchChannels bench = channels().channels();
        bench.count = 3;
        bench.channel(3).port = PortAddress::serial(9);
        channels().setChannels(bench);
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(window().session().running());
        QVERIFY(second().running());
        QVERIFY(!channels().session(3)->running());
        QLabel *status = channels().panel(3)->statusLine();
        QVERIFY(status->isVisible());
        QVERIFY2(status->text().startsWith(QStringLiteral("Not measuring: ")) && status->text().contains(QStringLiteral("COM9")),
                 qPrintable(status->text()));
        QVERIFY(m_h->dialogs.messages.isEmpty());
        QTRY_VERIFY(panel().recCountButton()->isEnabled());
        QVERIFY(countSecond());
        QTest::keyClick(&window(), Qt::Key_F3);
        QVERIFY(!channels().session(3)->recordArmed());
    }

    // Auto record and its rule reach every channel.
    void handsFreeOptionsApplyToEveryChannel()
    {
        makeBench(false);
        HandsFreeOptions options = window().handsFree().options();
        options.autoRecord = true;
        options.rule.settleCount = 4;
        window().handsFree().setOptions(options);
        QVERIFY(second().autoRecord());
        QCOMPARE(second().arming().detector().rule().settleCount, 4);
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        // The simulated cell never leaves its probes: one record each.
        QTRY_COMPARE_WITH_TIMEOUT(journalRows(folder()).size(), 2, 10000);
        QStringList rows = journalRows(folder());
        rows.sort();
        QCOMPARE(rows, (QStringList{"1 20.000E-3", "2 25.000E-3"}));
    }

    // Settings > Channels...: the count, ports and profiles, checked and kept.
    void channelsDialogSetsAndKeepsTheChannels()
    {
        QTemporaryDir dir;
        m_h = std::make_unique<FormMainHarness>(dir.path());
        window().show();
        channels().menuAction()->trigger();
        ChannelsDialog *dialog = channels().dialog();
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(!dialog->portField(2)->isVisible());
        dialog->countBox()->setValue(3);
        QVERIFY(dialog->portField(3)->isVisible());
        QVERIFY(!dialog->portField(4)->isVisible());
        QCOMPARE(dialog->portField(2)->text(), QStringLiteral("COM2"));
        retype(dialog->portField(2), QStringLiteral("lab7 5025"));
        retype(dialog->portField(3), QStringLiteral("/dev/usbtmc0"));
        // A port beyond the count is not looked at.
        retype(dialog->portField(4), QStringLiteral("nonsense port"));
        dialog->profileBox(3)->setCurrentText(QStringLiteral("query-judging"));
        QTest::mouseClick(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        QVERIFY(dialog->isVisible());
        QVERIFY2(dialog->errorText()->text().startsWith(QStringLiteral("Channel 2: ")), qPrintable(dialog->errorText()->text()));
        QCOMPARE(channels().count(), 1);
        retype(dialog->portField(2), QStringLiteral("lab7:5025"));
        QTest::mouseClick(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        QTRY_VERIFY(!channels().dialog());
        QCOMPARE(channels().count(), 3);
        QCOMPARE(channels().panel(2)->title(), QStringLiteral("Channel 2 - lab7:5025"));
        QCOMPARE(channels().panel(3)->title(), QStringLiteral("Channel 3 - /dev/usbtmc0"));

        QVERIFY(window().close());
        m_h.reset();
        const Result<BenchChannels> kept = loadBenchChannels(dir.path());
        QVERIFY(kept);
        QCOMPARE(kept->count, 3);
        QCOMPARE(kept->channel(2).port.text(), QStringLiteral("lab7:5025"));
        QCOMPARE(kept->channel(3).profile, QStringLiteral("query-judging"));
        QCOMPARE(kept->channel(4).port, PortAddress::serial(4));
        m_h = std::make_unique<FormMainHarness>(dir.path());
        QCOMPARE(channels().count(), 3);
        QVERIFY(channels().panel(3));
    }
};

BIN4870_TEST(TestChannels)
#include "tst_channels.moc"

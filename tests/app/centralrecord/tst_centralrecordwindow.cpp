#include "testmain.h"
#include "devdb.h"
#include "englishplurals.h"
#include "filecontent.h"
#include "frozenserver.h"
#include "withoutfileprivileges.h"

#include "formmainharness.h"
#include "simtester.h"

#include "app/centralrecord/centralrecordcontrols.h"
#include "app/centralrecord/centralrecorddialog.h"
#include "common/releasedwork.h"
#include "record/journal.h"
#include "settings/centralsettings.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <memory>

// The record path through the main window: every counted cell in the data
// file as always and in the journal, a damaged journal moved aside, and the
// central record set up in its dialog against a real server.

namespace {

const QDateTime kStamp(QDate(2012, 8, 2), QTime(14, 5, 9));
const QString kReply = QStringLiteral("20.000E-3,3.6000E+0");

// Rows of the journal in the folder, read on a connection of the test's own.
QStringList journalRows(const QString &folder, const QString &columns)
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("look"));
        db.setDatabaseName(QDir(folder).filePath(QStringLiteral("journal.sqlite")));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT %1 FROM cells ORDER BY seq").arg(columns)))
                while (query.next())
                    rows << query.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("look"));
    return rows;
}

} // namespace

class TestCentralRecordWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimTester> m_sim;
    std::unique_ptr<FormMainHarness> m_h;

    FormMain &window() { return *m_h->window; }
    const FormMainUi &ui() { return m_h->window->ui(); }

    void startSession()
    {
        m_sim = std::make_unique<SimTester>();
        QVERIFY2(m_sim->start({QStringLiteral("--reply"), kReply}), m_sim->log().constData());
    }
    void makeWindow()
    {
        m_h = std::make_unique<FormMainHarness>(m_sim->folder());
        m_h->clock.current = kStamp;
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
        setOneBinPerTable(ui());
        ui().dataFilePath->setText(dataPath());
    }
    QString dataPath() const { return m_sim->folder() + QStringLiteral("/data.csv"); }
    void count(int cells)
    {
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(window().session().timerEnabled());
        for (int i = 0; i < cells; ++i)
            QVERIFY(countOne(window()));
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
    }

private Q_SLOTS:
    // Count texts read as the operator sees them ("1 cell", "2 cells").
    void initTestCase() { QVERIFY(englishplurals::install()); }
    void cleanup()
    {
        m_h.reset();
        m_sim.reset();
    }

    void countedCellsGoToTheDataFileAsAlwaysAndToTheJournal()
    {
        startSession();
        makeWindow();
        count(3);
        // The data file byte for byte as before.
        QCOMPARE(readAll(dataPath()), QByteArray("2012/08/02,14:05:09," + kReply.toLatin1() + "\r\n").repeated(3));
        QVERIFY(m_h->dialogs.messages.isEmpty());

        const QString offset = kStamp.toOffsetFromUtc(kStamp.offsetFromUtc()).toString(Qt::ISODateWithMs);
        const QString expected = QStringLiteral("%1|%2|20.000E-3|3.6000E+0|0.02|3.6|1|1|%3|1|1.2.0|0")
                                         .arg(QSysInfo::machineHostName(), offset,
                                              binSetupOf(m_h->binTableR, m_h->binTableV).hash);
        const QStringList rows = journalRows(
                m_sim->folder(), QStringLiteral("bench || '|' || measured_at || '|' || resistance_text || '|' || "
                                                "voltage_text || '|' || resistance_ohm || '|' || voltage_v || '|' || "
                                                "resistance_bin || '|' || voltage_bin || '|' || setup_hash || '|' || "
                                                "(cell_id IS NULL) || '|' || program_version || '|' || sent"));
        QCOMPARE(rows, QStringList(3, expected));
        QCOMPARE(journalRows(m_sim->folder(), QStringLiteral("DISTINCT id")).size(), 3);
        // Off by default: nothing in the status bar.
        QVERIFY(!window().centralRecord().statusLabel()->isVisible());
    }

    void damagedJournalIsToldAndEveryCellIsInTheDataFile()
    {
        startSession();
        const QByteArray garbage = QByteArray("not a journal at all ").repeated(400);
        QVERIFY(writeFile(m_sim->folder() + QStringLiteral("/journal.sqlite"), garbage));
        makeWindow();
        QTRY_COMPARE(m_h->dialogs.messages.size(), 1);
        QVERIFY2(m_h->dialogs.messages[0].text.contains(QLatin1String("could not be read"))
                         && m_h->dialogs.messages[0].text.contains(QLatin1String("moved to")),
                 qPrintable(m_h->dialogs.messages[0].text));
        count(2);
        QCOMPARE(fileLines(dataPath()).size(), 2);
        QCOMPARE(journalRows(m_sim->folder(), QStringLiteral("resistance_text")),
                 QStringList(2, QStringLiteral("20.000E-3")));
        const QStringList aside = QDir(m_sim->folder()).entryList({QStringLiteral("journal.sqlite.damaged-*")});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(readAll(QDir(m_sim->folder()).filePath(aside.first())), garbage);
    }

    // A journal damaged inside, with the central record on: the window
    // shows without reading the whole journal, the damage is told when the
    // check finds it, and the forwarder, started only then, sends the cells
    // counted afterwards from the new journal.
    void damageFoundAfterTheWindowShowsIsToldAndCellsGoOn()
    {
        DevDatabase db;
        QVERIFY(db.start());
        startSession();
        const QString journalPath = m_sim->folder() + QStringLiteral("/journal.sqlite");
        {
            Journal journal;
            QVERIFY(journal.open(journalPath));
            const BinSetup setup = cellfixtures::setup();
            std::vector<CellRecord> records;
            for (int n = 0; n < 3000; ++n)
                records.push_back(cellfixtures::record(QStringLiteral("bench-1"), n, setup));
            QVERIFY(journal.appendAll(records, setup));
        }
        const QByteArray damaged = cellfixtures::damagedInside(readAll(journalPath));
        QVERIFY(writeFile(journalPath, damaged));
        QVERIFY(saveCentralSettings(m_sim->folder(), db.settings(QStringLiteral("line-2-bench-4"))));

        makeWindow();
        QTRY_COMPARE_WITH_TIMEOUT(m_h->dialogs.messages.size(), 1, 20000);
        QVERIFY2(m_h->dialogs.messages[0].text.contains(QLatin1String("moved to")),
                 qPrintable(m_h->dialogs.messages[0].text));
        const QStringList aside = QDir(m_sim->folder()).entryList({QStringLiteral("journal.sqlite.damaged-*")});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(readAll(QDir(m_sim->folder()).filePath(aside.first())), damaged);
        count(2);
        QCOMPARE(fileLines(dataPath()).size(), 2);
        QCOMPARE(journalRows(m_sim->folder(), QStringLiteral("resistance_text")),
                 QStringList(2, QStringLiteral("20.000E-3")));
        QTRY_COMPARE_WITH_TIMEOUT(db.column(QStringLiteral("SELECT bench || ' ' || resistance_text FROM cells")),
                                  QStringList(2, QStringLiteral("line-2-bench-4 20.000E-3")), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(window().centralRecord().statusLabel()->text(),
                                  QStringLiteral("Central record: up to date"), 20000);
    }

    // A journal this user may not write is told when the window opens, left
    // where it is, and its waiting cells still reach the server; the cells
    // counted meanwhile are in the data file, each told once, and the status
    // bar counts them as never sent.
    void journalThatCannotBeWrittenIsToldAndItsWaitingCellsStillGo()
    {
        DevDatabase db;
        QVERIFY(db.start());
        startSession();
        const QString journalPath = m_sim->folder() + QStringLiteral("/journal.sqlite");
        {
            Journal journal;
            QVERIFY(journal.open(journalPath));
            const BinSetup setup = cellfixtures::setup();
            for (int n = 0; n < 3; ++n)
                QVERIFY(journal.append(cellfixtures::record(QStringLiteral("earlier"), n, setup), setup));
        }
        QVERIFY(QFile::setPermissions(journalPath, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(saveCentralSettings(m_sim->folder(), db.settings(QStringLiteral("line-2-bench-4"))));
        WithoutFilePrivileges ordinaryUser;
        QVERIFY(ordinaryUser.isValid());

        makeWindow();
        QTRY_COMPARE(m_h->dialogs.messages.size(), 1);
        const QString told = m_h->dialogs.messages[0].text;
        QVERIFY2(told.startsWith(QStringLiteral("The record journal %1 cannot be written").arg(journalPath))
                         && told.contains(QLatin1String("3 cells")),
                 qPrintable(told));
        QTRY_COMPARE_WITH_TIMEOUT(db.column(QStringLiteral("SELECT count(*) FROM cells WHERE bench = 'earlier'")),
                                  QStringList{QStringLiteral("3")}, 20000);

        count(2);
        QCOMPARE(fileLines(dataPath()).size(), 2);
        QCOMPARE(m_h->dialogs.messages.size(), 3);
        QVERIFY2(m_h->dialogs.messages[2].text.startsWith(
                         QStringLiteral("2 counted cells in a row were not saved: the record journal %1 could not be "
                                        "written").arg(journalPath))
                         && m_h->dialogs.messages[2].text.endsWith(
                                 QStringLiteral("They are in the BIN counters and in the data file %1, but not in the "
                                                "central record.").arg(dataPath())),
                 qPrintable(m_h->dialogs.messages[2].text));
        QTRY_VERIFY2_WITH_TIMEOUT(window().centralRecord().statusLabel()->text().startsWith(
                                          QLatin1String("Central record: 2 counted cells not in the journal, never sent")),
                                  qPrintable(window().centralRecord().statusLabel()->text()), 20000);
        QCOMPARE(QDir(m_sim->folder()).entryList({QStringLiteral("journal.sqlite.damaged-*")}), QStringList());
    }

    // A Database.ini that cannot be used is told in the status and a notice;
    // no server is tried with a guessed setting, and counting goes on.
    void aDatabaseIniThatCannotBeUsedIsTold_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("why");
        QTest::newRow("port abc") << QByteArray("[General]\nEnabled=true\nHost=localhost\nPort=abc\n")
                                  << QStringLiteral(": Port \"abc\" is not a port number (1 to 65535)");
        QTest::newRow("larger than 1 MB") << "[General]\nEnabled=true\n" + QByteArray(2 * 1024 * 1024, 'x') + '\n'
                                          << QStringLiteral(" is larger than 1 MB");
    }
    void aDatabaseIniThatCannotBeUsedIsTold()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, why);
        startSession();
        const QString ini = QDir(m_sim->folder()).filePath(QStringLiteral("Database.ini"));
        QVERIFY(writeFile(ini, content));
        makeWindow();
        const QString problem = QDir::toNativeSeparators(ini) + why;
        QLabel *status = window().centralRecord().statusLabel();
        QCOMPARE(status->text(), QStringLiteral("Central record: not started (%1)").arg(problem));
        QVERIFY(status->isVisible());
        QTRY_COMPARE(m_h->dialogs.messages.size(), 1);
        QVERIFY2(m_h->dialogs.messages.at(0).text.startsWith(problem), qPrintable(m_h->dialogs.messages.at(0).text));
        count(1);
        QCOMPARE(fileLines(dataPath()).size(), 1);
        QCOMPARE(status->text(), QStringLiteral("Central record: not started (%1)").arg(problem));
    }

    // The name cells will carry, shown as it is typed, and the journal's
    // cells counted without a name, which keep the host name.
    void theDialogShowsTheNameCellsWillCarry()
    {
        startSession();
        makeWindow();
        count(2);
        window().centralRecord().openDialog();
        CentralRecordDialog *dialog = window().centralRecord().dialog();
        QVERIFY(dialog);
        const QString host = QSysInfo::machineHostName();
        const QString kept = QStringLiteral(" The journal holds 2 cells counted without a bench name; they keep the host "
                                            "name \"%1\" in the central record.").arg(host);
        QLabel *note = dialog->benchNameLabel();
        QCOMPARE(note->text(),
                 QStringLiteral("No bench name is set: cells counted from now on carry this machine's host name "
                                "\"%1\".").arg(host) + kept);
        auto *bench = dialog->findChild<QLineEdit *>(QStringLiteral("benchEdit"));
        QTest::keyClicks(bench, QStringLiteral("benchA"));
        QCOMPARE(note->text(), QStringLiteral("Cells counted from now on carry the bench name \"benchA\".") + kept);
        QCOMPARE(CentralRecordDialog::benchNameNote(QStringLiteral(" "), QStringLiteral("h"), 1),
                 QStringLiteral("No bench name is set: cells counted from now on carry this machine's host name \"h\". "
                                "The journal holds 1 cell counted without a bench name; they keep the host name \"h\" in "
                                "the central record."));
        QCOMPARE(CentralRecordDialog::benchNameNote(QStringLiteral("B-2"), QStringLiteral("h"), 0),
                 QStringLiteral("Cells counted from now on carry the bench name \"B-2\"."));
        dialog->reject();
    }

    void centralRecordIsSetUpInItsDialog()
    {
        DevDatabase db;
        QVERIFY(db.start());
        startSession();
        makeWindow();
        CentralRecordControls &central = window().centralRecord();
        central.action()->trigger();
        CentralRecordDialog *dialog = central.dialog();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->windowModality(), Qt::WindowModal);

        dialog->findChild<QCheckBox *>(QStringLiteral("enabledBox"))->setChecked(true);
        dialog->findChild<QLineEdit *>(QStringLiteral("hostEdit"))->setText(db.folder());
        dialog->findChild<QLineEdit *>(QStringLiteral("databaseEdit"))->setText(QStringLiteral("nosuch"));
        dialog->findChild<QLineEdit *>(QStringLiteral("benchEdit"))->setText(QStringLiteral("line-2-bench-4"));
        QTest::mouseClick(dialog->testButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->testing() && dialog->testButton()->isEnabled(), 20000);
        QVERIFY2(dialog->testResult()->text().contains(QLatin1String("has no database \"nosuch\"")),
                 qPrintable(dialog->testResult()->text()));

        // OK with the wrong name: the status bar says why cells wait.
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        QTRY_COMPARE_WITH_TIMEOUT(central.statusLabel()->text(),
                                  QStringLiteral("Central record: 0 cells waiting (database nosuch does not exist)"),
                                  20000);
        QVERIFY(central.statusLabel()->isVisible());

        central.action()->trigger();
        dialog = central.dialog();
        dialog->findChild<QLineEdit *>(QStringLiteral("databaseEdit"))->setText(QStringLiteral("bin4870"));
        QTest::mouseClick(dialog->testButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(dialog->testResult()->text().startsWith(QLatin1String("Connected")), 20000);
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        QVERIFY(!dialog->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(central.statusLabel()->text(), QStringLiteral("Central record: up to date"), 20000);

        const QSettings ini(QDir(m_sim->folder()).filePath(QStringLiteral("Database.ini")), QSettings::IniFormat);
        QCOMPARE(ini.value(QStringLiteral("Enabled")).toString(), QStringLiteral("true"));
        QCOMPARE(ini.value(QStringLiteral("Host")).toString(), db.folder());
        QCOMPARE(ini.value(QStringLiteral("Database")).toString(), QStringLiteral("bin4870"));
        QCOMPARE(ini.value(QStringLiteral("Bench")).toString(), QStringLiteral("line-2-bench-4"));
        QVERIFY(!ini.contains(QStringLiteral("Password")));

        count(2);
        QTRY_COMPARE_WITH_TIMEOUT(db.column(QStringLiteral("SELECT bench || ' ' || resistance_text FROM cells")),
                                  QStringList(2, QStringLiteral("line-2-bench-4 20.000E-3")), 20000);

        // The server goes away: cells wait, and closing says how many.
        QVERIFY(db.stop());
        count(3);
        QTRY_COMPARE_WITH_TIMEOUT(central.statusLabel()->text(),
                                  QStringLiteral("Central record: 3 cells waiting (server not reachable)"), 20000);
        QTest::ignoreMessage(QtWarningMsg, "Central record: 3 cells waiting; they are sent at the next start.");
        window().close();
        QCOMPARE(fileLines(dataPath()).size(), 5);
        QCOMPARE(journalRows(m_sim->folder(), QStringLiteral("sent")),
                 (QStringList{"1", "1", "0", "0", "0"}));
    }

    // A counted cell that has not reached the server is never "up to date":
    // the status counts the journal's unsent cells when each cell is counted,
    // whatever the forwarder, stuck in a statement, last said.
    void cellsCountedWhileTheServerHangsAreNeverUpToDate_data()
    {
        QTest::addColumn<bool>("frozen");
        QTest::newRow("server stopped (SIGSTOP)") << true;
        QTest::newRow("cells table locked") << false;
    }
    void cellsCountedWhileTheServerHangsAreNeverUpToDate()
    {
        QFETCH(bool, frozen);
        DevDatabase db;
        QVERIFY(db.start());
        startSession();
        QVERIFY(saveCentralSettings(m_sim->folder(), db.settings(QStringLiteral("hung-bench"))));
        makeWindow();
        QLabel *status = window().centralRecord().statusLabel();
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("Central record: up to date"), 20000);
        FrozenServer server(db);
        QVERIFY(server.lockCells());
        if (frozen)
            QVERIFY(server.freeze());

        count(1);
        QCOMPARE(status->text(), QStringLiteral("Central record: 1 cell waiting (sending)"));
        if (!frozen)
            QTRY_COMPARE_WITH_TIMEOUT(server.waitingOnLock(), 1, 20000);
        count(3);
        QCOMPARE(status->text(), QStringLiteral("Central record: 4 cells waiting (sending)"));

        server.thaw();
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("Central record: up to date"), 60000);
        QCOMPARE(db.column(QStringLiteral("SELECT count(*) FROM cells")), QStringList{QStringLiteral("4")});
    }

    // The forwarder's statement hangs on a server that stopped answering in
    // the middle of it: closing the window returns at once all the same, the
    // cells still waiting are told as ever, and they go at the next start,
    // each once.
    void closingWhileTheSharedDatabaseHangsReturnsAtOnce()
    {
        DevDatabase db;
        QVERIFY(db.start());
        startSession();
        QVERIFY(saveCentralSettings(m_sim->folder(), db.settings(QStringLiteral("frozen-bench"))));
        makeWindow();
        QTRY_COMPARE_WITH_TIMEOUT(window().centralRecord().statusLabel()->text(),
                                  QStringLiteral("Central record: up to date"), 20000);
        FrozenServer frozen(db);
        QVERIFY(frozen.lockCells());
        count(2);
        QTRY_COMPARE_WITH_TIMEOUT(frozen.waitingOnLock(), 1, 20000);
        QVERIFY(frozen.freeze());

        QTest::ignoreMessage(QtWarningMsg, "Central record: 2 cells waiting; they are sent at the next start.");
        const qint64 closing = millisecondsOf([&] {
            window().close();
            m_h.reset();
        });
        QVERIFY2(closing < 500, qPrintable(QStringLiteral("closing took %1 ms").arg(closing)));
        QCOMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);

        frozen.thaw();
        makeWindow();
        QTRY_COMPARE_WITH_TIMEOUT(window().centralRecord().statusLabel()->text(),
                                  QStringLiteral("Central record: up to date"), 20000);
        QCOMPARE(db.column(QStringLiteral("SELECT count(DISTINCT id) || ' ' || count(*) FROM cells")),
                 QStringList{QStringLiteral("2 2")});
        QTRY_COMPARE_WITH_TIMEOUT(journalRows(m_sim->folder(), QStringLiteral("sent")),
                                  (QStringList{"1", "1"}), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(ReleasedWork::running(), 0, 20000);
    }
};

BIN4870_TEST(TestCentralRecordWindow)
#include "tst_centralrecordwindow.moc"

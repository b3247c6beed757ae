#include "testmain.h"

#include "devdb.h"
#include "englishplurals.h"
#include "filecontent.h"
#include "formmainharness.h"
#include "frozenserver.h"
#include "simtester.h"

#include "app/cellids/cellhistorywindow.h"
#include "app/cellids/cellidcontrols.h"
#include "app/cellids/cellidoptionsdialog.h"
#include "app/cellids/cellidstrip.h"
#include "app/cellids/celltagging.h"
#include "app/centralrecord/centralrecordcontrols.h"
#include "app/handsfree/handsfreecontrols.h"
#include "app/style/warninglabel.h"
#include "cellline.h"
#include "cellid/cellhistory.h"
#include "common/releasedwork.h"
#include "record/centraldatabase.h"
#include "record/journal.h"
#include "settings/centralsettings.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QToolBar>

#include <memory>

// Cell IDs in the main window against the simulated tester over a real
// pseudo-terminal: scanning, counting with an ID, refusals, the repeat warning,
// the K-value and the cell history, from the journal and a real PostgreSQL
// server started by scripts/dev-db.sh.

class TestCellIds : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimTester> m_sim;
    std::unique_ptr<FormMainHarness> m_h;

    FormMain &window() { return *m_h->window; }
    const FormMainUi &ui() { return m_h->window->ui(); }
    CellIdControls &cellIds() { return m_h->window->cellIds(); }
    QLineEdit *field() { return cellIds().field(); }
    QList<QByteArray> records() { return fileLines(ui().dataFilePath->text()); }
    QString folderFile(const QString &name) { return QDir(m_sim->folder()).filePath(name); }

    // The simulator and the window, with cell IDs on (IDs in the data file).
    void startBench(const QStringList &simOptions, CellIdOptions options = {})
    {
        m_sim = std::make_unique<SimTester>();
        QVERIFY2(m_sim->start(simOptions), m_sim->log().constData());
        startBenchWindow(options);
    }
    void startBenchWindow(CellIdOptions options)
    {
        m_h = std::make_unique<FormMainHarness>(m_sim->folder());
        setOneBinPerTable(ui());
        options.enabled = true;
        options.writeToDataFile = true;
        cellIds().setOptions(options);
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

    // The harness's clock stands at 2012-08-02 14:05:09.
    inline static const QDateTime kBenchNow{QDate(2012, 8, 2), QTime(14, 5, 9)};

    // An earlier record of the cell, made at another bench.
    static CellRecord earlierRecord(const QString &cellId, const QString &bench, const QDateTime &at, double volts)
    {
        CellRecord record = cellfixtures::record(bench, 0, cellfixtures::setup());
        record.measuredAt = at;
        record.cellId = cellId;
        record.voltageV = volts;
        record.voltageText = QStringLiteral("+3.6500E+00");
        // The resistance the simulated cell reads: the same cell.
        record.resistanceOhm = 0.021;
        record.resistanceText = QStringLiteral("+2.1000E-02");
        record.voltageBin = QStringLiteral("2");
        return record;
    }

    // The bench's journal holds the record before the window opens.
    bool seedJournal(const CellRecord &record)
    {
        Journal journal(QStringLiteral("seed"));
        return journal.open(folderFile(QStringLiteral("journal.sqlite"))) && journal.append(record, cellfixtures::setup());
    }

    void start()
    {
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(window().session().running());
        QTRY_VERIFY(field()->hasFocus());
    }

    // A hand scanner: the code as a burst of keys and Enter.
    void scan(const QString &code)
    {
        QTest::keyClicks(field(), code);
        QTest::keyClick(field(), Qt::Key_Return);
    }

    // Polls of the tester answered since now, so that "nothing happened" is
    // seen over a few real cycles.
    void waitPolls(int polls)
    {
        const int before = int(m_sim->log().count("fetch?"));
        QTRY_VERIFY_WITH_TIMEOUT(int(m_sim->log().count("fetch?")) >= before + polls, 10000);
    }

private Q_SLOTS:
    // Count texts read as the operator sees them ("1 cell", "2 cells").
    void initTestCase() { QVERIFY(englishplurals::install()); }
    void cleanup()
    {
        m_h.reset();
        m_sim.reset();
    }

    void offByDefaultTheWindowAndTheDataFileStayAsTheyWere()
    {
        m_sim = std::make_unique<SimTester>();
        QVERIFY(m_sim->start({QStringLiteral("--reply"), QStringLiteral("+2.0000E-02,+3.7000E+00")}));
        m_h = std::make_unique<FormMainHarness>(m_sim->folder());
        QVERIFY(!cellIds().options().enabled);
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
        QVERIFY(!cellIds().strip()->isVisible());
        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        QVERIFY(ui().recCountButton->hasFocus());
        QVERIFY(countOne(window()));
        QCOMPARE(records(), QList<QByteArray>{QByteArray("2012/08/02,14:05:09,+2.0000E-02,+3.7000E+00\r")});
        QVERIFY(!QFile::exists(folderFile(QStringLiteral("CellId.ini"))));
    }

    void aScanFollowedByAutoRecordRecordsThatId()
    {
        // tester-sim names its first cell SIM-000001 and writes it to the truth.
        const QString truth = QDir::temp().filePath(QStringLiteral("cellids-truth-%1.txt").arg(QCoreApplication::applicationPid()));
        startBench({QStringLiteral("--cell-line"), QStringLiteral("held"), QStringLiteral("--cells"), QStringLiteral("1"),
                    QStringLiteral("--gap-ms"), QStringLiteral("600:600"), QStringLiteral("--hold-ms"),
                    QStringLiteral("2400:2400"), QStringLiteral("--truth"), truth});
        window().handsFree().autoRecordToggle()->click();
        QVERIFY(window().session().autoRecord());
        start();
        scan(QStringLiteral("SIM-000001"));
        QCOMPARE(cellIds().takenId(), QStringLiteral("SIM-000001"));
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->log().contains("cell line done"), 30000);
        const QList<QByteArray> lines = records();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.at(0).endsWith(",SIM-000001\r"), lines.at(0).constData());
        const QList<QByteArray> truthLines = fileLines(truth);
        QFile::remove(truth);
        QVERIFY(!truthLines.isEmpty());
        QVERIFY2(truthLines.at(0).endsWith(",id,SIM-000001"), truthLines.at(0).constData());
        // Ready for the next cell: the field is empty and has the focus.
        QVERIFY(field()->text().isEmpty());
        QVERIFY(field()->hasFocus());
    }

    // A constant reply is one cell that stays on the probes: it is counted
    // once under its ID, and an ID scanned after that waits for the next cell.
    void aScanAndAManualPressRecordOnce()
    {
        startBench({QStringLiteral("--reply"), QStringLiteral("+2.0000E-02,+3.7000E+00")});
        start();
        // Typed by hand: Enter takes the ID, a second Enter counts it.
        qint64 clock = 0;
        cellIds().setKeyClock([&clock] { return clock += 200; });
        QTest::keyClicks(field(), QStringLiteral("C-0001"));
        QTest::keyClick(field(), Qt::Key_Return);
        QCOMPARE(cellIds().takenId(), QStringLiteral("C-0001"));
        waitPolls(3);
        QVERIFY(records().isEmpty());
        QVERIFY(!window().session().recordArmed());
        QTest::keyClick(field(), Qt::Key_Return);
        QVERIFY(window().session().recordArmed());
        QTRY_COMPARE(records(), QList<QByteArray>{QByteArray("2012/08/02,14:05:09,+2.0000E-02,+3.7000E+00,C-0001\r")});
        QVERIFY(field()->text().isEmpty());
        QVERIFY(m_h->dialogs.messages.isEmpty());

        // A scan's own Enter takes the ID and counts nothing; the cell on the
        // probes has its record, so the ID is for the next cell placed, and
        // REC - COUNT does not count the same cell again under it.
        cellIds().setKeyClock([&clock] { return clock += 5; });
        scan(QStringLiteral("C-0002"));
        QCOMPARE(cellIds().takenId(), QStringLiteral("C-0002"));
        QVERIFY2(cellIds().notice()->text().contains(QStringLiteral("for the next cell placed")),
                 qPrintable(cellIds().notice()->text()));
        QVERIFY(!countOne(window()));
        QCOMPARE(m_h->dialogs.messages.size(), 1);
        QVERIFY2(m_h->dialogs.messages.at(0).text.contains(QStringLiteral("counted already")),
                 qPrintable(m_h->dialogs.messages.at(0).text));
        waitPolls(3);
        QCOMPARE(records().size(), 1);
    }

    void refusedIdsAndMissingIdsRecordNothing()
    {
        CellIdOptions options;
        options.pattern = QStringLiteral("C-\\d{4}");
        startBench({QStringLiteral("--reply"), QStringLiteral("+2.0000E-02,+3.7000E+00")}, options);
        start();
        scan(QStringLiteral("C-OO12")); // letters O read for zeros
        QVERIFY(cellIds().takenId().isEmpty());
        QVERIFY2(cellIds().notice()->text().contains(QStringLiteral("does not match")),
                 qPrintable(cellIds().notice()->text()));
        QTest::mouseClick(ui().recCountButton, Qt::LeftButton);
        QVERIFY(!window().session().recordArmed());
        QCOMPARE(m_h->dialogs.messages.size(), 1);
        QVERIFY(m_h->dialogs.messages.at(0).text.contains(QStringLiteral("does not match")));
        // A comma never reaches the file either.
        field()->clear();
        scan(QStringLiteral("C-00,1"));
        QVERIFY(cellIds().takenId().isEmpty());
        // No ID at all.
        field()->clear();
        QTest::mouseClick(ui().recCountButton, Qt::LeftButton);
        QVERIFY(!window().session().recordArmed());
        QCOMPARE(m_h->dialogs.messages.last().text, CellIdControls::noIdText());
        waitPolls(2);
        QVERIFY(records().isEmpty());

        // Allowed without an ID: a four-field line.
        options = cellIds().options();
        options.allowWithoutId = true;
        cellIds().setOptions(options);
        QVERIFY(countOne(window()));
        QCOMPARE(records(), QList<QByteArray>{QByteArray("2012/08/02,14:05:09,+2.0000E-02,+3.7000E+00\r")});
    }

    // Whether IDs were required cannot be known: no cell is counted, with or
    // without an ID, until IDs are chosen again on purpose.
    void aCellIdFileThatCannotBeReadRefusesEveryCount()
    {
        m_sim = std::make_unique<SimTester>();
        QVERIFY(m_sim->start({QStringLiteral("--reply"), QStringLiteral("+2.0000E-02,+3.7000E+00")}));
        const QString ini = folderFile(QStringLiteral("CellId.ini"));
        const QByteArray content = "[CellId]\nenabled=true\n" + QByteArray(2 * 1024 * 1024, 'j') + '\n';
        QVERIFY(writeFile(ini, content));
        m_h = std::make_unique<FormMainHarness>(m_sim->folder());
        setOneBinPerTable(ui());
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
        const QString why = QDir::toNativeSeparators(ini) + QStringLiteral(" is larger than 1 MB: the cell-ID options cannot be read");
        QTRY_COMPARE(m_h->dialogs.messages.size(), 1);
        QVERIFY2(m_h->dialogs.messages.at(0).text.startsWith(why), qPrintable(m_h->dialogs.messages.at(0).text));
        QVERIFY(cellIds().strip()->isVisible());
        QVERIFY(cellIds().notice()->text().startsWith(why));

        QTest::mouseClick(ui().startButton, Qt::LeftButton);
        scan(QStringLiteral("C-0001"));
        QTest::mouseClick(ui().recCountButton, Qt::LeftButton);
        QVERIFY(!window().session().recordArmed());
        QCOMPARE(m_h->dialogs.messages.size(), 2);
        QVERIFY(m_h->dialogs.messages.at(1).text.contains(QStringLiteral("No cell is counted until the file is mended")));
        window().handsFree().autoRecordToggle()->click();
        waitPolls(4);
        QVERIFY(records().isEmpty());
        QCOMPARE(readAll(ini), content);

        // Switched off on purpose: cells are counted without an ID.
        window().handsFree().autoRecordToggle()->click();
        cellIds().setOptions(CellIdOptions());
        QVERIFY(!cellIds().strip()->isVisible());
        QVERIFY(countOne(window()));
        QCOMPARE(records(), QList<QByteArray>{QByteArray("2012/08/02,14:05:09,+2.0000E-02,+3.7000E+00\r")});
    }

    void aRepeatIsWarnedAndTheKValueShownAndRecorded()
    {
        // The cell was recorded at bench-A 7.5 days before the bench clock's
        // now, at 3.6500 V; it reads 3.6350 V now: 15 mV in 7.5 days is 2.00
        // mV/day, and the 0.1 mV steps of both readings leave 0.1 / 7.5 =
        // 0.013 mV/day, shown as 0.02: OK against 2.5.
        m_sim = std::make_unique<SimTester>();
        QVERIFY(m_sim->start({QStringLiteral("--reply"), QStringLiteral("+2.1000E-02,+3.6350E+00")}));
        const QDateTime earlier = kBenchNow.addSecs(-qint64(7.5 * 86400));
        const CellRecord first = earlierRecord(QStringLiteral("C-0042"), QStringLiteral("bench-A"), earlier, 3.65);
        QVERIFY(seedJournal(first));
        CellIdOptions options;
        options.kLimitMvPerDay = 2.5;
        startBenchWindow(options);
        start();
        scan(QStringLiteral("C-0042"));
        const QString warning = cellIds().notice()->text();
        QVERIFY2(warning.contains(QStringLiteral("recorded before")), qPrintable(warning));
        QVERIFY2(warning.contains(historyTimeText(earlier) + QStringLiteral(" at bench bench-A")), qPrintable(warning));
        // In the main window's units, not as the tester wrote it.
        QVERIFY2(warning.contains(QStringLiteral("3.6500 V (BIN 2)")), qPrintable(warning));
        // In bold red, as the guide says.
        QCOMPARE(cellIds().notice()->palette().color(QPalette::WindowText), warningColour());
        QVERIFY(cellIds().notice()->font().bold());
        QTRY_COMPARE(cellIds().kValueLabel()->text(), QStringLiteral("K 2.00 +/- 0.02 mV/day (7.5 days) OK"));

        QVERIFY(countOne(window()));
        QVERIFY2(cellIds().notice()->text().contains(QStringLiteral("(re-test). K 2.00 +/- 0.02 mV/day (7.5 days) OK")),
                 qPrintable(cellIds().notice()->text()));
        QVERIFY(records().at(0).endsWith(",C-0042\r"));
        // The journal keeps the ID, the re-test mark and the K-value with its verdict.
        const std::vector<CellRecord> kept = cellIds().historyOf(QStringLiteral("C-0042")).records;
        QCOMPARE(kept.size(), std::size_t(2));
        QCOMPARE(kept[0].id, first.id);
        QVERIFY(kept[1].retest);
        QVERIFY(kept[1].kValue && qAbs(*kept[1].kValue - 2.0) < 1e-6);
        QCOMPARE(kept[1].kVerdict, QStringLiteral("OK"));

        // The history window lists both records.
        QTest::mouseClick(ui().stopButton, Qt::LeftButton);
        cellIds().historyAction()->trigger();
        CellHistoryWindow *historyWindow = cellIds().historyWindow();
        QVERIFY(historyWindow);
        QTest::keyClicks(historyWindow->idField(), QStringLiteral("C-0042"));
        QTest::keyClick(historyWindow->idField(), Qt::Key_Return);
        QCOMPARE(historyWindow->table()->rowCount(), 2);
        QCOMPARE(historyWindow->table()->item(0, 1)->text(), QStringLiteral("bench-A"));
        QCOMPARE(historyWindow->table()->item(1, 5)->text(), QStringLiteral("re-test"));
        QCOMPARE(historyWindow->table()->item(1, 6)->text(), QStringLiteral("K 2.00 +/- 0.02 mV/day OK"));
        QCOMPARE(historyWindow->table()->item(1, 4)->text(), QStringLiteral("1 / 1"));
        QCOMPARE(historyWindow->table()->item(1, 2)->text(), QStringLiteral("21.000 mOhm"));
        QCOMPARE(historyWindow->table()->item(0, 3)->text(), QStringLiteral("3.6500 V"));
        historyWindow->idField()->clear();
        QTest::keyClicks(historyWindow->idField(), QStringLiteral("C,1"));
        QTest::keyClick(historyWindow->idField(), Qt::Key_Return);
        QCOMPARE(historyWindow->table()->rowCount(), 0);
        QVERIFY(historyWindow->summary()->text().contains(QStringLiteral("a comma")));
    }

    // With the shared database on, another bench's record of the cell is
    // warned about and is the K-value's first record; the count reaches the
    // database with its marks. A database that is down is said, and the
    // journal's records stand; the window goes on meanwhile.
    void theSharedDatabaseAddsOtherBenchesAndItsAbsenceIsTold()
    {
        DevDatabase db;
        QVERIFY(db.start());
        const QDateTime earlier = kBenchNow.addSecs(-qint64(7.5 * 86400));
        const CellRecord other = earlierRecord(QStringLiteral("C-7"), QStringLiteral("line-1-bench-9"), earlier, 3.65);
        const BinSetup setup = cellfixtures::setup();
        QVERIFY(sendCells(db.settings(), {{1, other}}, {{setup.hash, setup.text}}));

        m_sim = std::make_unique<SimTester>();
        QVERIFY(m_sim->start({QStringLiteral("--reply"), QStringLiteral("+2.1000E-02,+3.6350E+00")}));
        QVERIFY(saveCentralSettings(m_sim->folder(), db.settings(QStringLiteral("line-1-bench-2"))));
        CellIdOptions options;
        options.kLimitMvPerDay = 2.5;
        startBenchWindow(options);
        start();
        scan(QStringLiteral("C-7"));
        QTRY_VERIFY_WITH_TIMEOUT(cellIds().notice()->text().contains(QStringLiteral("at bench line-1-bench-9")), 20000);
        QTRY_COMPARE(cellIds().kValueLabel()->text(), QStringLiteral("K 2.00 +/- 0.02 mV/day (7.5 days) OK"));
        QVERIFY(countOne(window()));
        QTRY_COMPARE_WITH_TIMEOUT(
                db.column(QStringLiteral("SELECT concat_ws(' ', bench, retest, round(k_value::numeric, 2), k_verdict)"
                                         " FROM cells WHERE cell_id = 'C-7' ORDER BY measured_at")),
                (QStringList{QStringLiteral("line-1-bench-9 f"), QStringLiteral("line-1-bench-2 t 2.00 OK")}),
                20000);
        // The history lists both benches' records, each once.
        cellIds().historyAction()->trigger();
        CellHistoryWindow *historyWindow = cellIds().historyWindow();
        QVERIFY(historyWindow);
        historyWindow->showCell(QStringLiteral("C-7"));
        QTRY_COMPARE_WITH_TIMEOUT(historyWindow->table()->rowCount(), 2, 20000);
        QTRY_VERIFY(!historyWindow->summary()->text().contains(QStringLiteral("Asking")));
        QCOMPARE(historyWindow->table()->item(0, 1)->text(), QStringLiteral("line-1-bench-9"));
        QCOMPARE(historyWindow->table()->item(1, 1)->text(), QStringLiteral("line-1-bench-2"));

        // The server goes away: the next scan warns at once from the journal
        // and from what the database said before, and then says the history
        // is not known now; what was known of the cell stays.
        QVERIFY(db.stop());
        QElapsedTimer took;
        took.start();
        scan(QStringLiteral("C-7"));
        QVERIFY2(took.elapsed() < 1000, "the scan does not wait for the database");
        QVERIFY2(cellIds().notice()->text().contains(QStringLiteral("at bench line-1-bench-2")),
                 qPrintable(cellIds().notice()->text()));
        QTRY_VERIFY_WITH_TIMEOUT(cellIds().notice()->text().contains(QStringLiteral("server not reachable")), 20000);
        QVERIFY2(cellIds().notice()->text().contains(QStringLiteral("recorded before (2 times)")),
                 qPrintable(cellIds().notice()->text()));
        QVERIFY2(cellIds().notice()->text().contains(QStringLiteral("History not known now (")),
                 qPrintable(cellIds().notice()->text()));
        historyWindow->showCell(QStringLiteral("C-7"));
        QTRY_VERIFY_WITH_TIMEOUT(historyWindow->summary()->text().contains(QStringLiteral("server not reachable")),
                                 20000);
        QCOMPARE(historyWindow->table()->rowCount(), 2);
    }

    // The race of a press and the next scan: REC - COUNT decides the count
    // with PRESSED-1, and the scanner types NEXT-0001 while the tester takes
    // 250 ms to answer. The count records PRESSED-1 whole; the reading comes
    // in while NEXT-0001 is half typed, which is neither cut nor taken for
    // the counted cell: it waits for the next cell.
    void aScanWhileACountWaitsNeitherChangesNorCutsEither()
    {
        startBench({QStringLiteral("--reply"), QStringLiteral("+2.0000E-02,+3.7000E+00"), QStringLiteral("--delay"),
                    QStringLiteral("250")});
        qint64 keyClock = 0;
        cellIds().setKeyClock([&keyClock] { return keyClock += 5; });
        start();
        waitPolls(2);
        scan(QStringLiteral("PRESSED-1"));
        QVERIFY2(cellIds().notice()->text().contains(QStringLiteral("for the cell on the probes")),
                 qPrintable(cellIds().notice()->text()));
        QTest::mouseClick(ui().recCountButton, Qt::LeftButton);
        QVERIFY(window().session().recordArmed());
        // A scanner types a key every 40 ms: the reply arrives mid-scan.
        QTest::keyClicks(field(), QStringLiteral("NEXT-"), Qt::NoModifier, 40);
        QTRY_COMPARE_WITH_TIMEOUT(records().size(), 1, 10000);
        QCOMPARE(field()->text(), QStringLiteral("NEXT-"));
        QTest::keyClicks(field(), QStringLiteral("0001"), Qt::NoModifier, 40);
        QTest::keyClick(field(), Qt::Key_Return);
        QCOMPARE(records(), QList<QByteArray>{QByteArray("2012/08/02,14:05:09,+2.0000E-02,+3.7000E+00,PRESSED-1\r")});
        QCOMPARE(field()->text(), QStringLiteral("NEXT-0001"));
        QCOMPARE(cellIds().takenId(), QStringLiteral("NEXT-0001"));
        QVERIFY2(cellIds().notice()->text().contains(QStringLiteral("for the next cell placed")),
                 qPrintable(cellIds().notice()->text()));
        // Not the cell on the probes: it has its record.
        QVERIFY(!countOne(window()));
        waitPolls(2);
        QCOMPARE(records().size(), 1);
    }

    // With the scanner before the fixture, a scan while a cell is on the
    // probes is refused: it could only be a late one.
    void scanBeforePlacingRefusesAScanOnTheProbes()
    {
        CellIdOptions options;
        options.scanBeforePlacing = true;
        startBench({QStringLiteral("--reply"), QStringLiteral("+2.0000E-02,+3.7000E+00")}, options);
        start();
        waitPolls(2);
        scan(QStringLiteral("C-0001"));
        QVERIFY(cellIds().takenId().isEmpty());
        QVERIFY2(cellIds().notice()->text().contains(QStringLiteral("scan before placing")),
                 qPrintable(cellIds().notice()->text()));
        QVERIFY(!countOne(window()));
        QVERIFY(records().isEmpty());
    }

    // The journal knows C-42 as 30 mOhm; the cell on the probes reads 21
    // mOhm: 30 % off. Its reading is held with a question and recorded only
    // on Yes. Enter confirms only when pressed on purpose: not within a
    // second of the question, not as the end of a scan.
    void aReadingUnlikeTheCellsRecordsIsHeldForTheOperatorsWord()
    {
        m_sim = std::make_unique<SimTester>();
        QVERIFY(m_sim->start({QStringLiteral("--reply"), QStringLiteral("+2.1000E-02,+3.6350E+00")}));
        CellRecord earlier = earlierRecord(QStringLiteral("C-42"), QStringLiteral("bench-A"),
                                           kBenchNow.addDays(-1), 3.65);
        earlier.resistanceOhm = 0.030;
        earlier.resistanceText = QStringLiteral("+3.0000E-02");
        QVERIFY(seedJournal(earlier));
        startBenchWindow({});
        qint64 keyClock = 0;
        cellIds().setKeyClock([&keyClock] { return keyClock += 5; });
        start();
        waitPolls(2);
        scan(QStringLiteral("C-42"));
        QVERIFY(countOne(window()));
        CellIdStrip *strip = cellIds().cellIdStrip();
        QVERIFY(strip->asking());
        QVERIFY(strip->yesButton()->isVisible());
        const QString question = strip->question()->text();
        QVERIFY2(question.startsWith(QStringLiteral("Is this cell C-42? Its last record (")), qPrintable(question));
        QVERIFY2(question.contains(QStringLiteral("30.000 mOhm")) && question.contains(QStringLiteral("21.000 mOhm")),
                 qPrintable(question));
        QCOMPARE(strip->question()->accessibleName(), question);
        QVERIFY(cellIds().notice()->text().contains(QStringLiteral("Waiting for your answer")));
        waitPolls(2);
        QVERIFY(records().isEmpty());
        // Nothing else is counted meanwhile.
        QTest::mouseClick(ui().recCountButton, Qt::LeftButton);
        QVERIFY(!window().session().recordArmed());
        QVERIFY(m_h->dialogs.messages.last().text.contains(QStringLiteral("waits for your answer")));
        // No: nothing recorded, and the ID is dropped.
        QTest::keyClick(field(), Qt::Key_Escape);
        QVERIFY(!strip->asking());
        QVERIFY(!window().session().holdingReading());
        QVERIFY(cellIds().takenId().isEmpty());
        waitPolls(2);
        QVERIFY(records().isEmpty());

        // Again, and Yes: an Enter at once is taken for the one meant to count.
        scan(QStringLiteral("C-42"));
        QVERIFY(countOne(window()));
        QVERIFY(strip->asking());
        QTest::keyClick(field(), Qt::Key_Return);
        QVERIFY(strip->asking());
        keyClock += CellIdStrip::kConfirmGuardMs;
        QTest::keyClick(field(), Qt::Key_Return);
        QVERIFY(!strip->asking());
        QCOMPARE(records(), QList<QByteArray>{QByteArray("2012/08/02,14:05:09,+2.1000E-02,+3.6350E+00,C-42\r")});
        const std::vector<CellRecord> kept = cellIds().historyOf(QStringLiteral("C-42")).records;
        QCOMPARE(kept.size(), std::size_t(2));
        QVERIFY(kept[1].retest);
        QVERIFY(cellIds().notice()->text().startsWith(QStringLiteral("Cell C-42 counted (re-test).")));
    }

    // Hands-free: a settled cell whose reading does not fit its ID waits, and
    // the strip says what for, until Enter confirms it.
    void autoRecordHoldsAnImplausibleCellUntilEnter()
    {
        m_sim = std::make_unique<SimTester>();
        QVERIFY(m_sim->start({QStringLiteral("--reply"), QStringLiteral("+2.1000E-02,+3.6350E+00")}));
        // Recorded a day ago at 3.6200 V: 14.8 mV higher now, more than 5.1 mV.
        const CellRecord earlier = earlierRecord(QStringLiteral("C-43"), QStringLiteral("bench-A"),
                                                 kBenchNow.addDays(-1), 3.62);
        QVERIFY(seedJournal(earlier));
        startBenchWindow({});
        qint64 keyClock = 0;
        cellIds().setKeyClock([&keyClock] { return keyClock += 5; });
        window().handsFree().autoRecordToggle()->click();
        start();
        scan(QStringLiteral("C-43"));
        CellIdStrip *strip = cellIds().cellIdStrip();
        QTRY_VERIFY_WITH_TIMEOUT(strip->asking(), 10000);
        QVERIFY2(strip->question()->text().contains(QStringLiteral("the voltage is 15.0 mV higher")),
                 qPrintable(strip->question()->text()));
        QVERIFY(cellIds().notice()->text().contains(QStringLiteral("held, and nothing else is counted")));
        waitPolls(3);
        QVERIFY(records().isEmpty());
        QVERIFY(strip->asking());
        keyClock += CellIdStrip::kConfirmGuardMs;
        QTest::keyClick(field(), Qt::Key_Return);
        QTRY_COMPARE(records().size(), 1);
        QVERIFY(records().at(0).endsWith(",C-43\r"));
        // Recorded once: auto record waits for the lift.
        waitPolls(3);
        QCOMPARE(records().size(), 1);
    }

    // A record of the cell dated in 2027 against a bench clock in 2012: a
    // clock problem, named with its date, and no K-value from it.
    void aRecordFromTheFutureIsToldAsAClockProblem()
    {
        m_sim = std::make_unique<SimTester>();
        QVERIFY(m_sim->start({QStringLiteral("--reply"), QStringLiteral("+2.1000E-02,+3.6350E+00")}));
        const CellRecord future = earlierRecord(QStringLiteral("C-44"), QStringLiteral("benchZ"),
                                                QDateTime(QDate(2027, 6, 1), QTime(10, 0)), 3.65);
        QVERIFY(seedJournal(future));
        CellIdOptions options;
        options.minimumRestMinutes = 1;
        startBenchWindow(options);
        start();
        scan(QStringLiteral("C-44"));
        const QString notice = cellIds().notice()->text();
        QVERIFY2(notice.contains(QStringLiteral("Clock problem")) && notice.contains(historyTimeText(future.measuredAt)),
                 qPrintable(notice));
        QTRY_COMPARE(cellIds().kValueLabel()->text(), QStringLiteral("K: no record before now (clock problem)"));
        QVERIFY(countOne(window()));
        const std::vector<CellRecord> kept = cellIds().historyOf(QStringLiteral("C-44")).records;
        QCOMPARE(kept.size(), std::size_t(2));
        QVERIFY(kept[0].retest && !kept[0].kValue);
    }

    // The shared database stops answering (SIGSTOP) while a cell is looked
    // up: after two seconds the strip says its history is not known now,
    // and what the journal knows stands: the repeat warning, the K-value, and
    // on the count the re-test mark and the K with its uncertainty. A cell
    // the journal does not know is not passed off as new.
    void aFrozenServerKeepsTheJournalsHistoryAndK()
    {
        DevDatabase db;
        QVERIFY(db.start());
        m_sim = std::make_unique<SimTester>();
        QVERIFY(m_sim->start({QStringLiteral("--reply"), QStringLiteral("+2.1000E-02,+3.6350E+00")}));
        const CellRecord first = earlierRecord(QStringLiteral("C-42"), QStringLiteral("bench-2"),
                                               kBenchNow.addSecs(-qint64(7.5 * 86400)), 3.65);
        QVERIFY(seedJournal(first));
        QVERIFY(saveCentralSettings(m_sim->folder(), db.settings(QStringLiteral("bench-2"))));
        CellIdOptions options;
        options.kLimitMvPerDay = 2.5;
        startBenchWindow(options);
        QTRY_COMPARE_WITH_TIMEOUT(window().centralRecord().statusLabel()->text(),
                                  QStringLiteral("Central record: up to date"), 20000);
        start();
        waitPolls(2);

        FrozenServer frozen(db, std::chrono::seconds(40));
        QVERIFY(frozen.freeze());
        scan(QStringLiteral("C-50"));
        QVERIFY2(cellIds().notice()->text().contains(QStringLiteral("Asking the central record")),
                 qPrintable(cellIds().notice()->text()));
        QTRY_VERIFY_WITH_TIMEOUT(cellIds().notice()->text().contains(QStringLiteral("History not known now (")), 10000);
        QVERIFY2(!cellIds().notice()->text().contains(QStringLiteral("no earlier record")),
                 qPrintable(cellIds().notice()->text()));
        QCOMPARE(cellIds().kValueLabel()->text(), QStringLiteral("K: history not known now"));

        scan(QStringLiteral("C-42"));
        QTRY_VERIFY_WITH_TIMEOUT(cellIds().notice()->text().contains(QStringLiteral("History not known now (")), 10000);
        QVERIFY2(cellIds().notice()->text().contains(QStringLiteral("recorded before (once)")),
                 qPrintable(cellIds().notice()->text()));
        QTRY_COMPARE(cellIds().kValueLabel()->text(),
                     QStringLiteral("K 2.00 +/- 0.02 mV/day (7.5 days) OK (history not known now)"));
        QVERIFY(countOne(window()));
        const Result<std::vector<CellRecord>> kept = [this] {
            Journal journal(QStringLiteral("look"));
            const Status opened = journal.open(folderFile(QStringLiteral("journal.sqlite")));
            return opened ? journal.recordsOfCell(QStringLiteral("C-42")) : Result<std::vector<CellRecord>>(opened.failure());
        }();
        QVERIFY(kept && kept->size() == 2);
        const CellRecord &counted = kept->at(1);
        QVERIFY(counted.retest);
        QVERIFY(counted.kValue && qAbs(*counted.kValue - 2.0) < 1e-6);
        QVERIFY(counted.kUncertainty && qAbs(*counted.kUncertainty - 0.1 / 7.5) < 1e-6);
        QCOMPARE(counted.kVerdict, QStringLiteral("OK"));
        frozen.thaw();
    }

    // A look-up in the shared database hangs on a server that stopped
    // answering in the middle of it: it holds no thread of Qt's global pool
    // (which the program's end would wait for), and closing the history
    // window and the main window returns at once.
    void closingDuringALookUpOnAHungServerReturnsAtOnce()
    {
        DevDatabase db;
        QVERIFY(db.start());
        QTemporaryDir folder;
        QVERIFY(saveCentralSettings(folder.path(), db.settings(QStringLiteral("frozen-bench"))));
        m_h = std::make_unique<FormMainHarness>(folder.path());
        window().show();
        QTRY_COMPARE_WITH_TIMEOUT(window().centralRecord().statusLabel()->text(),
                                  QStringLiteral("Central record: up to date"), 20000);

        FrozenServer frozen(db);
        QVERIFY(frozen.lockCells());
        cellIds().historyAction()->trigger();
        CellHistoryWindow *historyWindow = cellIds().historyWindow();
        QVERIFY(historyWindow);
        historyWindow->showCell(QStringLiteral("C-9"));
        QVERIFY2(historyWindow->summary()->text().contains(QStringLiteral("Asking the central record")),
                 qPrintable(historyWindow->summary()->text()));
        QTRY_COMPARE_WITH_TIMEOUT(frozen.waitingOnLock(), 1, 20000);
        QVERIFY(frozen.freeze());

        const qint64 closing = millisecondsOf([&] {
            historyWindow->close();
            window().close();
            m_h.reset();
        });
        QVERIFY2(closing < 500, qPrintable(QStringLiteral("closing took %1 ms").arg(closing)));
        QCOMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);

        frozen.thaw();
        QTRY_COMPARE_WITH_TIMEOUT(ReleasedWork::running(), 0, 20000);
    }

    void theSimulatedLineBringsCellsBackWithTheirDrift()
    {
        // Two cells in turn, then both again; 3 mV lost per simulated day, a
        // day being 10 s of the line's time.
        CellLine::Settings settings;
        settings.pattern = {CellLine::Kind::Held};
        settings.cells = 4;
        settings.idCycle = 2;
        settings.driftVoltsPerDay = 0.003;
        settings.dayMs = 10000;
        CellLine line(settings, 4870);
        QVERIFY(!line.finished(0));
        QVERIFY(line.finished(1e6)); // cells are made as the time passes them
        const std::vector<CellLine::Cell> &cells = line.cells();
        QCOMPARE(cells.size(), std::size_t(4));
        QCOMPARE(cells[0].id, QStringLiteral("SIM-000001"));
        QCOMPARE(cells[1].id, QStringLiteral("SIM-000002"));
        QCOMPARE(cells[2].id, cells[0].id);
        QCOMPARE(cells[3].id, cells[1].id);
        QCOMPARE(cells[2].ohms, cells[0].ohms);
        const double lost = 0.003 * (cells[2].contactMs - cells[0].contactMs) / 10000.0;
        QVERIFY(qAbs((cells[0].volts - cells[2].volts) - lost) < 1e-12);
        QVERIFY(CellLine::truthLine(cells[2]).endsWith(",id,SIM-000001"));
    }

    void optionsDialogChecksItsFieldsAndSavesBesideSettings()
    {
        m_sim = std::make_unique<SimTester>();
        QVERIFY(m_sim->start({QStringLiteral("--reply"), QStringLiteral("+2.0000E-02,+3.7000E+00")}));
        m_h = std::make_unique<FormMainHarness>(m_sim->folder());
        window().show();
        cellIds().optionsAction()->trigger();
        CellIdOptionsDialog *dialog = cellIds().optionsDialog();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        dialog->findChild<QCheckBox *>(QStringLiteral("cellIdsBox"))->setChecked(true);
        QLineEdit *rest = dialog->findChild<QLineEdit *>(QStringLiteral("restField"));
        retype(rest, QStringLiteral("10 s"));
        QPushButton *ok = dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        ok->click();
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->errorText()->text().startsWith(QStringLiteral("Minimum rest:")));
        retype(rest, QStringLiteral("10 min"));
        QLineEdit *share = dialog->findChild<QLineEdit *>(QStringLiteral("resistanceShareField"));
        QCOMPARE(share->text(), QStringLiteral("20"));
        retype(share, QStringLiteral("0.5"));
        ok->click();
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->errorText()->text().startsWith(QStringLiteral("Resistance difference:")));
        retype(share, QStringLiteral("25"));
        retype(dialog->findChild<QLineEdit *>(QStringLiteral("voltageMarginField")), QStringLiteral("2.5"));
        dialog->findChild<QCheckBox *>(QStringLiteral("scanBeforePlacingBox"))->setChecked(true);
        ok->click();
        QTRY_VERIFY(!cellIds().optionsDialog());
        QVERIFY(cellIds().options().enabled);
        QCOMPARE(cellIds().options().minimumRestMinutes, qint64(10));
        QCOMPARE(cellIds().options().resistancePercent, 25.0);
        QCOMPARE(cellIds().options().voltageMarginMv, 2.5);
        QVERIFY(cellIds().options().scanBeforePlacing);
        QVERIFY(cellIds().tagging()->binding().scanBeforePlacing());
        QVERIFY(*loadCellIdOptions(m_sim->folder()) == cellIds().options());
        QVERIFY(cellIds().strip()->isVisible());
    }
};

BIN4870_TEST(TestCellIds)
#include "tst_cellids.moc"

#include "testmain.h"

#include "filecontent.h"
#include "packrecords.h"

#include "pack/poolreader.h"
#include "settings/centralsettings.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

// bin4870 --build-pack run as a process without a display, from a portable
// copy of the program beside its own journal, Database.ini and
// CapacityCsv.ini: the build sheet as CSV and PDF (read back with pdftotext),
// the exit statuses, and two processes reserving at the same moment, on the
// journal and on a real PostgreSQL server, never sharing a cell.

namespace {

QProcess *started(const QString &program, const QStringList &arguments)
{
    auto *process = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process->setProcessEnvironment(env);
    process->start(program, arguments);
    return process;
}

// The cell IDs of a build sheet in CSV, its header left out.
QStringList cellsOf(const QByteArray &csv)
{
    QStringList cells;
    const QList<QByteArray> lines = csv.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(',');
        if (fields.size() > 2)
            cells << QString::fromUtf8(fields[2]);
    }
    return cells;
}

} // namespace

class TestPackCommand : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_program;
    const BinSetup m_setup = cellfixtures::setup();

    QString path(const QString &name) const { return m_dir.filePath(name); }

    int run(const QStringList &arguments, QByteArray *out, QByteArray *err)
    {
        std::unique_ptr<QProcess> process(started(m_program, arguments));
        if (!process->waitForFinished(120000))
            return -1;
        *out = process->readAllStandardOutput();
        *err = process->readAllStandardError();
        return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    }

    static QString pdfText(const QString &pdf)
    {
        QProcess tool;
        tool.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        tool.waitForFinished(30000);
        return QString::fromUtf8(tool.readAllStandardOutput()).replace(QRegularExpression(QStringLiteral("\\s+")),
                                                                       QStringLiteral(" "));
    }

    // Two processes with the same command line at the same moment, each
    // writing its own sheet; then the one that was refused, if one was, once
    // more. Every reserved cell is reserved once.
    void reserveTwiceAtOnce(const QString &source, const std::function<QStringList()> &reservedCells)
    {
        const QStringList common{QStringLiteral("--build-pack"), QStringLiteral("3s4p"), QStringLiteral("--source"),
                                 source, QStringLiteral("--reserve")};
        const QString sheets[2] = {path(source + QStringLiteral("-a.csv")), path(source + QStringLiteral("-b.csv"))};
        std::unique_ptr<QProcess> processes[2];
        for (int i = 0; i < 2; ++i)
            processes[i].reset(started(m_program, common + QStringList{QStringLiteral("--out"), sheets[i]}));
        int refused = -1;
        QByteArray refusal;
        for (int i = 0; i < 2; ++i) {
            QVERIFY(processes[i]->waitForFinished(120000));
            const QByteArray err = processes[i]->readAllStandardError();
            if (processes[i]->exitCode() != 0) {
                QCOMPARE(processes[i]->exitCode(), 1);
                QVERIFY2(err.contains("Not saved: another pack holds 12 cells of the plan already"), err.constData());
                QVERIFY2(refused < 0, "both processes were refused");
                refused = i;
                refusal = err;
            }
        }
        if (refused >= 0) {
            // The refusal names the cells the other process reserved.
            for (const QString &cell : cellsOf(readAll(sheets[1 - refused])))
                QVERIFY2(refusal.contains(cell.toUtf8()), refusal.constData());
            QVERIFY(!QFile::exists(sheets[refused]));
            QByteArray out, err;
            QCOMPARE(run(common + QStringList{QStringLiteral("--out"), sheets[refused]}, &out, &err), 0);
        }
        const QStringList a = cellsOf(readAll(sheets[0]));
        const QStringList b = cellsOf(readAll(sheets[1]));
        QCOMPARE(a.size(), 12);
        QCOMPARE(b.size(), 12);
        QCOMPARE((QSet<QString>(a.begin(), a.end()) & QSet<QString>(b.begin(), b.end())).size(), 0);
        QStringList reserved = reservedCells();
        reserved.sort();
        QStringList both = a + b;
        both.sort();
        QCOMPARE(reserved, both);
        std::printf("%s: %s\n", qPrintable(source),
                    refused >= 0 ? "one process refused, the other's cells named; planned again without them"
                                 : "the second process read the pool after the first had reserved");
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString binDir = QProcessEnvironment::systemEnvironment().value(QStringLiteral("BIN4870_BIN_DIR"));
        m_program = path(QStringLiteral("bin4870"));
        // The program with its translations, so that counts read as the
        // operator reads them ("12 cells").
        const QString translations = QStringLiteral("/translations/bin4870_en.qm");
        QVERIFY(QFile::copy(binDir + QStringLiteral("/bin4870"), m_program));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("translations")));
        QVERIFY(QFile::copy(binDir + translations, m_dir.path() + translations));
        std::vector<CellRecord> records;
        QByteArray capacities = "cell,capacity\n";
        const std::vector<PoolCell> cells = generatedPool(60, 5, true);
        for (const PoolCell &cell : cells) {
            records.push_back(packrecords::recordOf(cell, QStringLiteral("bench-1"), packrecords::kFirstCount, m_setup));
            capacities += cell.cellId.toUtf8() + ',' + cell.capacityText.toUtf8() + '\n';
        }
        capacities += "C99999,3000\n";
        QVERIFY(packrecords::writeJournal(path(QStringLiteral("journal.sqlite")), records, m_setup));
        QVERIFY(writeFile(path(QStringLiteral("capacity.csv")), capacities));
    }

    void buildSheetsAsCsvAndPdf()
    {
        QByteArray out, err;
        const QString csv = path(QStringLiteral("plan.csv"));
        QCOMPARE(run({QStringLiteral("--build-pack"), QStringLiteral("3s4p"), QStringLiteral("--out"), csv}, &out, &err), 0);
        QVERIFY2(out.contains("wrote") && out.contains("3s4p, 12 cells, not reserved"), out.constData());
        const QByteArray sheet = readAll(csv);
        QVERIFY(sheet.startsWith("group,position,cell_id,resistance_ohm,voltage_v,capacity_mah"));
        const QStringList cells = cellsOf(sheet);
        QCOMPARE(cells.size(), 12);
        QCOMPARE(QSet<QString>(cells.begin(), cells.end()).size(), 12);
        QVERIFY(sheet.contains("\r\n3,4,C"));
        // The same input and seed give the same sheet; another seed may not.
        const QString again = path(QStringLiteral("again.csv"));
        QCOMPARE(run({QStringLiteral("--build-pack"), QStringLiteral("3s4p"), QStringLiteral("--out"), again}, &out, &err), 0);
        QCOMPARE(readAll(again), sheet);

        const QString pdf = path(QStringLiteral("plan.pdf"));
        QCOMPARE(run({QStringLiteral("--build-pack"), QStringLiteral("3S4P"), QStringLiteral("--capacity"),
                      path(QStringLiteral("capacity.csv")), QStringLiteral("--seed"), QStringLiteral("7"),
                      QStringLiteral("--group-window"), QStringLiteral("2.5 mOhm"), QStringLiteral("--out"), pdf},
                     &out, &err),
                 0);
        // The capacity file's row that gave no capacity, by its row.
        QVERIFY2(err.contains("capacity.csv, row 62: unknown cell ID C99999: no record holds it"), err.constData());
        const QString text = pdfText(pdf);
        for (const char *expected : {"BIN4870 build sheet: 3s4p", "Not saved: no cell is reserved for this plan",
                                     "Capacity range between groups:", "Expected pack capacity:",
                                     "Group resistance range:", "Widest resistance spread inside a group:",
                                     "Expected pack resistance:", "Seed 7, algorithm \"bin4870 pack plan 1\"",
                                     "60 cells of the pool with a capacity", "1 row gave no capacity",
                                     "Group 1:", "Cell ID", "Capacity (mAh)", "1.1 C", "3.4 C"}) {
            QVERIFY2(text.contains(QLatin1String(expected)), expected);
        }
    }

    void exitStatusesSayWhatWentWrong()
    {
        const QString csv = path(QStringLiteral("failed.csv"));
        const QString file = QStringLiteral("file:") + path(QStringLiteral("none.csv"));
        struct Case
        {
            QStringList arguments;
            int code;
            const char *message;
        };
        const Case cases[] = {
            {{QStringLiteral("--build-pack"), QStringLiteral("14x40"), QStringLiteral("--out"), csv}, 2,
             "\"14x40\" is no pack shape"},
            {{QStringLiteral("--build-pack"), QStringLiteral("3s4p")}, 2, "--out needs the file to write"},
            {{QStringLiteral("--build-pack"), QStringLiteral("3s4p"), QStringLiteral("--out"), path(QStringLiteral("p.txt"))},
             2, "ending in .pdf or .csv"},
            {{QStringLiteral("--build-pack"), QStringLiteral("3s4p"), QStringLiteral("--seed"), QStringLiteral("abc"),
              QStringLiteral("--out"), csv}, 2, "--seed: 'abc' is no whole number"},
            {{QStringLiteral("--build-pack"), QStringLiteral("3s4p"), QStringLiteral("--group-window"), QStringLiteral("5"),
              QStringLiteral("--out"), csv}, 2, "is no group window"},
            {{QStringLiteral("--build-pack"), QStringLiteral("3s4p"), QStringLiteral("--source"), QStringLiteral("ftp:x"),
              QStringLiteral("--out"), csv}, 2, "none of journal, central, file:PATH"},
            {{QStringLiteral("--build-pack"), QStringLiteral("3s4p"), QStringLiteral("--source"), file,
              QStringLiteral("--reserve"), QStringLiteral("--out"), csv}, 2, "a data file keeps no plans"},
            {{QStringLiteral("--build-pack"), QStringLiteral("3s4p"), QStringLiteral("--k-verdict"), QStringLiteral("good"),
              QStringLiteral("--out"), csv}, 2, "--k-verdict: 'good'"},
            {{QStringLiteral("--build-pack"), QStringLiteral("3s4p"), QStringLiteral("--colour"), QStringLiteral("--out"), csv},
             2, "Unknown option 'colour'"},
            {{QStringLiteral("--build-pack"), QStringLiteral("3s4p"), QStringLiteral("--source"), file,
              QStringLiteral("--out"), csv}, 1, "the cells cannot be read"},
            {{QStringLiteral("--build-pack"), QStringLiteral("8s8p"), QStringLiteral("--out"), csv}, 1,
             "no plan: Too few cells: a 8s8p pack needs 64 cells"},
            {{QStringLiteral("--build-pack"), QStringLiteral("3s4p"), QStringLiteral("--source"), QStringLiteral("central"),
              QStringLiteral("--out"), csv}, 1, "No shared database is set up"},
            {{QStringLiteral("--build-pack"), QStringLiteral("3s4p"), QStringLiteral("--capacity"),
              path(QStringLiteral("none.csv")), QStringLiteral("--out"), csv}, 1, "the capacity file cannot be read"},
            {{QStringLiteral("--build-pack"), QStringLiteral("3s4p"), QStringLiteral("--out"),
              path(QStringLiteral("missing/plan.csv"))}, 1, "the build sheet cannot be written"},
        };
        for (const Case &c : cases) {
            QByteArray out, err;
            QCOMPARE(run(c.arguments, &out, &err), c.code);
            QVERIFY2(err.contains(c.message), err.constData());
            QVERIFY(!QFile::exists(csv));
        }
        // A folder where the sheet should go, with --reserve: told, and the
        // reservation given back.
        QVERIFY(QDir().mkdir(path(QStringLiteral("folder.csv"))));
        QByteArray out, err;
        QCOMPARE(run({QStringLiteral("--build-pack"), QStringLiteral("3s4p"), QStringLiteral("--reserve"),
                      QStringLiteral("--out"), path(QStringLiteral("folder.csv"))},
                     &out, &err),
                 1);
        QVERIFY2(err.contains("is a folder, not a regular file (the reservation was released)"), err.constData());
        PoolSource journal;
        journal.path = path(QStringLiteral("journal.sqlite"));
        QCOMPARE(readReservedIds(journal).valueOr({QStringLiteral("x")}), std::set<QString>());
    }

    void twoProcessesReservingOnTheJournalNeverShareACell()
    {
        PoolSource journal;
        journal.path = path(QStringLiteral("journal.sqlite"));
        reserveTwiceAtOnce(QStringLiteral("journal"), [&journal] {
            QStringList ids;
            for (const QString &id : readReservedIds(journal).valueOr({}))
                ids << id;
            return ids;
        });
    }

    void twoProcessesReservingOnTheServerNeverShareACell()
    {
        DevDatabase db;
        QVERIFY(db.start());
        std::vector<CellRecord> records;
        for (const PoolCell &cell : generatedPool(60, 6, false))
            records.push_back(packrecords::recordOf(cell, QStringLiteral("bench-2"), packrecords::kFirstCount, m_setup));
        QVERIFY(packrecords::sendRecords(db.settings(), records, m_setup));
        QVERIFY(saveCentralSettings(m_dir.path(), db.settings()));
        reserveTwiceAtOnce(QStringLiteral("central"), [&db] {
            const QStringList ids = db.column(QStringLiteral("SELECT cell_id FROM pack_cells WHERE reserved"));
            db.disconnectCheck();
            return ids;
        });
        QCOMPARE(db.column(QStringLiteral("SELECT count(*) FROM packs")), QStringList{QStringLiteral("2")});
        QFile::remove(centralSettingsPath(m_dir.path()));
    }
};

BIN4870_TEST(TestPackCommand)
#include "tst_packcommand.moc"

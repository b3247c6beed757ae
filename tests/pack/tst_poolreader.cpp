#include "testmain.h"

#include "packrecords.h"

#include "pack/poolreader.h"
#include "record/packtables.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

// The pool read from the journal, the shared database and a data file is the
// pool buildPool() makes of the same records, and leaves out the cells the
// source's pack tables hold reserved.

namespace {

void comparePools(const Pool &read, const Pool &built)
{
    QCOMPARE(read.cells.size(), built.cells.size());
    for (std::size_t i = 0; i < read.cells.size(); ++i) {
        const PoolCell &a = read.cells[i];
        const PoolCell &b = built.cells[i];
        QCOMPARE(a.cellId, b.cellId);
        QCOMPARE(a.recordId, b.recordId);
        QCOMPARE(a.bench, b.bench);
        QCOMPARE(a.measuredAt, b.measuredAt);
        QCOMPARE(a.resistanceOhm, b.resistanceOhm);
        QCOMPARE(a.voltageV, b.voltageV);
        QCOMPARE(a.resistanceText, b.resistanceText);
        QCOMPARE(a.voltageText, b.voltageText);
        QCOMPARE(a.resistanceBin, b.resistanceBin);
        QCOMPARE(a.kVerdict, b.kVerdict);
        QCOMPARE(a.retest, b.retest);
        QCOMPARE(a.failedRetest, b.failedRetest);
    }
    QCOMPARE(read.report.lines(), built.report.lines());
    QCOMPARE(read.knownIds, built.knownIds);
}

std::vector<CellRecord> withIds(const std::vector<CellRecord> &records)
{
    std::vector<CellRecord> kept;
    for (const CellRecord &r : records) {
        if (!r.cellId.isEmpty())
            kept.push_back(r);
    }
    return kept;
}

// The filters a pool is read with: the defaults, a time range that cuts an
// ID's records apart, one bench, a BIN, and everything kept.
std::vector<PoolFilter> filters()
{
    std::vector<PoolFilter> list(5);
    list[1].from = packrecords::kFirstCount.addSecs(600);
    list[1].to = packrecords::kFirstCount.addDays(3);
    list[2].benches = QStringList{QStringLiteral("bench-2")};
    list[3].resistanceBins = QStringList{QStringLiteral("3")};
    list[4].kVerdict = KVerdictFilter::Any;
    list[4].withoutFailedRetest = false;
    return list;
}

} // namespace

class TestPoolReader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    const BinSetup m_setup = cellfixtures::setup();

    QString path(const QString &name) const { return QDir(m_dir.path()).filePath(name); }

private Q_SLOTS:
    void poolFromTheJournalIsBuildPoolsOfItsRecords()
    {
        const std::vector<CellRecord> records = packrecords::benchRecords(400, 7, m_setup);
        const QString journal = path(QStringLiteral("pool.sqlite"));
        QVERIFY(packrecords::writeJournal(journal, records, m_setup));
        PoolSource source;
        source.path = journal;
        for (const PoolFilter &filter : filters()) {
            const Result<Pool> read = readPool(source, filter);
            QVERIFY2(read, qPrintable(read.errorString()));
            QVERIFY(!read->cells.empty());
            comparePools(*read, buildPool(withIds(records), filter));
        }

        // Cells the journal's pack tables hold reserved are left out.
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reserve"));
            db.setDatabaseName(journal);
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(QStringLiteral("INSERT INTO packs VALUES ('p', 'p', '1s2p', 1, 2, '1', 'a', 'h', '{}',"
                                              " '{}', 'bench-1', 'me', '2026-12-08T10:00:00.000+01:00', NULL)")));
            QVERIFY(query.exec(QStringLiteral("INSERT INTO pack_cells (pack_id, group_no, position, cell_id) VALUES"
                                              " ('p', 1, 1, 'C00001'), ('p', 1, 2, 'C00002')")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("reserve"));
        const Result<Pool> read = readPool(source, PoolFilter());
        QVERIFY(read);
        comparePools(*read, buildPool(withIds(records), PoolFilter(), {QStringLiteral("C00001"), QStringLiteral("C00002")}));
        QCOMPARE(readReservedIds(source).valueOr({}), (std::set<QString>{QStringLiteral("C00001"), QStringLiteral("C00002")}));
    }

    void poolFromTheServerIsBuildPoolsOfItsRecords()
    {
        DevDatabase db;
        QVERIFY(db.start());
        const std::vector<CellRecord> records = packrecords::benchRecords(400, 8, m_setup);
        QVERIFY(packrecords::sendRecords(db.settings(), records, m_setup));
        PoolSource source;
        source.kind = PoolSource::Kind::Central;
        source.central = db.settings();
        for (const PoolFilter &filter : filters()) {
            const Result<Pool> read = readPool(source, filter);
            QVERIFY2(read, qPrintable(read.errorString()));
            QVERIFY(!read->cells.empty());
            comparePools(*read, buildPool(withIds(records), filter));
        }
        QVERIFY(db.column(QStringLiteral("INSERT INTO packs VALUES ('%1', 'p', '1s1p', 1, 1, '1', 'a', 'h', '{}', '{}',"
                                         " 'bench-1', 'me', now(), NULL)")
                                  .arg(QUuid::createUuid().toString(QUuid::WithoutBraces)))
                        .isEmpty());
        QVERIFY(db.column(QStringLiteral("INSERT INTO pack_cells (pack_id, group_no, position, cell_id)"
                                         " SELECT id, 1, 1, 'C00003' FROM packs"))
                        .isEmpty());
        const Result<Pool> read = readPool(source, PoolFilter());
        QVERIFY(read);
        comparePools(*read, buildPool(withIds(records), PoolFilter(), {QStringLiteral("C00003")}));

        // A server that is down is said, with the server's place.
        QVERIFY(db.stop());
        const Result<Pool> down = readPool(source, PoolFilter());
        QVERIFY(!down);
        QVERIFY2(down.errorString().contains(db.folder()), qPrintable(down.errorString()));
    }

    void poolFromADataFileTakesTheFifthFieldAsTheId()
    {
        const QString file = path(QStringLiteral("bench7.csv"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("2026/12/07,08:00:00,+2.5000E-02,+3.6000E+00,A1\r\n"
                  "2026/12/07,08:00:05,+2.6000E-02,+3.6100E+00\r\n"          // no ID
                  "2026/12/07,08:00:10,+2.7000E-02,+3.6200E+00,A2,PASS\r\n"
                  "2026/12/07,08:00:15,damaged\r\n"
                  "2026/12/07,09:00:00,+2.4000E-02,+3.5900E+00,A1\r\n"   // A1 again
                  "2026/12/07,09:00:05,+2.8000E-02,+3.6300E+00,=A3\r\n");   // no valid ID
        out.close();
        PoolSource source;
        source.kind = PoolSource::Kind::DataFile;
        source.path = file;
        const Result<Pool> read = readPool(source, PoolFilter());
        QVERIFY2(read, qPrintable(read.errorString()));
        QCOMPARE(read->cells.size(), std::size_t(2));
        const PoolCell &a1 = read->cells[0];
        QCOMPARE(a1.cellId, QStringLiteral("A1"));
        QCOMPARE(a1.bench, QStringLiteral("bench7"));
        QCOMPARE(a1.resistanceText, QStringLiteral("+2.4000E-02"));
        QCOMPARE(a1.resistanceOhm, 0.024);
        QCOMPARE(a1.measuredAt, QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
        QVERIFY(a1.retest);
        QCOMPARE(read->report.records, 5);
        QCOMPARE(read->report.withoutId, 2);
        QCOMPARE(read->report.superseded, 1);
        QCOMPARE(readReservedIds(source).valueOr({QStringLiteral("x")}), std::set<QString>());
    }

    void failuresAndCancellingAreToldNotCrashed()
    {
        PoolSource missing;
        missing.path = path(QStringLiteral("none.sqlite"));
        const Result<Pool> none = readPool(missing, PoolFilter());
        QVERIFY(!none);
        QVERIFY2(none.errorString().contains(QLatin1String("no such journal")), qPrintable(none.errorString()));

        PoolSource notAJournal;
        notAJournal.path = path(QStringLiteral("plain.sqlite"));
        QFile plain(notAJournal.path);
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("these are no cells\n");
        plain.close();
        QVERIFY(!readPool(notAJournal, PoolFilter()));

        PoolSource folder;
        folder.kind = PoolSource::Kind::DataFile;
        folder.path = m_dir.path();
        const Result<Pool> fromFolder = readPool(folder, PoolFilter());
        QVERIFY(!fromFolder);
        QVERIFY2(fromFolder.errorString().contains(QLatin1String("folder")), qPrintable(fromFolder.errorString()));

        const QString journal = path(QStringLiteral("cancel.sqlite"));
        QVERIFY(packrecords::writeJournal(journal, packrecords::benchRecords(50, 9, m_setup), m_setup));
        PoolSource source;
        source.path = journal;
        std::atomic<bool> cancel{true};
        const Result<Pool> cancelled = readPool(source, PoolFilter(), &cancel);
        QVERIFY(!cancelled);
        QVERIFY(cancelled.errorString().contains(QLatin1String("cancelled")));
    }
};

BIN4870_TEST(TestPoolReader)
#include "tst_poolreader.moc"

#include "testmain.h"

#include "pack/pool.h"

#include <QTest>

// The pool of cells a pack may take: one entry per cell ID, the latest record
// deciding, every filter honoured and every record accounted for.

namespace {

const QDateTime kMonday(QDate(2026, 12, 7), QTime(8, 0), Qt::OffsetFromUTC, 3600);

CellRecord record(const QString &cellId, int minutes, double milliOhm = 25, const QString &rBin = QStringLiteral("3"))
{
    CellRecord r;
    r.id = QUuid::createUuidV5(QUuid(), cellId + QString::number(minutes) + QString::number(milliOhm));
    r.cellId = cellId;
    r.bench = QStringLiteral("bench-1");
    r.measuredAt = kMonday.addSecs(minutes * 60);
    r.resistanceOhm = milliOhm / 1000;
    r.resistanceText = QString::number(milliOhm, 'f', 3) + QStringLiteral("E-3");
    r.voltageV = 3.6;
    r.voltageText = QStringLiteral("3.6000E+0");
    r.resistanceBin = rBin;
    r.voltageBin = QStringLiteral("2");
    return r;
}

QStringList idsOf(const Pool &pool)
{
    QStringList ids;
    for (const PoolCell &cell : pool.cells)
        ids << cell.cellId;
    return ids;
}

} // namespace

class TestPool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theLatestRecordOfAnIdDecides()
    {
        // C1 measured three times, out of order; C2 once.
        std::vector<CellRecord> records = {record(QStringLiteral("C1"), 30, 26), record(QStringLiteral("C2"), 5),
                                           record(QStringLiteral("C1"), 90, 24.5), record(QStringLiteral("C1"), 10, 27)};
        const Pool pool = buildPool(records, PoolFilter());
        QCOMPARE(idsOf(pool), (QStringList{QStringLiteral("C1"), QStringLiteral("C2")}));
        const PoolCell &c1 = pool.cells.front();
        QCOMPARE(c1.resistanceOhm, 0.0245);
        QCOMPARE(c1.resistanceText, QStringLiteral("24.500E-3"));
        QCOMPARE(c1.recordId, records[2].id);
        QCOMPARE(c1.measuredAt, records[2].measuredAt);
        QVERIFY(c1.retest);
        QVERIFY(!pool.cells.back().retest);
        QCOMPARE(pool.report.records, 4);
        QCOMPARE(pool.report.superseded, 2);
        QCOMPARE(pool.report.taken, 2);

        // The same time twice: the larger UUID decides, whatever the order.
        CellRecord a = record(QStringLiteral("C3"), 0, 20), b = record(QStringLiteral("C3"), 0, 30);
        const bool bLater = a.id.toString() < b.id.toString();
        for (const auto &order : {std::vector<CellRecord>{a, b}, std::vector<CellRecord>{b, a}}) {
            const Pool tied = buildPool(order, PoolFilter());
            QCOMPARE(tied.cells.size(), std::size_t(1));
            QCOMPARE(tied.cells.front().recordId, bLater ? b.id : a.id);
        }
    }

    void aRecordHeldByJournalAndDatabaseCountsOnce()
    {
        const CellRecord r = record(QStringLiteral("C1"), 0);
        const Pool pool = buildPool({r, r}, PoolFilter());
        QCOMPARE(pool.cells.size(), std::size_t(1));
        QVERIFY(!pool.cells.front().retest);
        QCOMPARE(pool.report.records, 1);
        QCOMPARE(pool.report.superseded, 0);
    }

    void cellsWithoutAUsableIdOrReadingAreCountedNotTaken()
    {
        CellRecord noId = record(QString(), 0);
        CellRecord badId = record(QStringLiteral("=SUM(A1)"), 1);
        CellRecord open = record(QStringLiteral("C9"), 2);
        open.resistanceOhm = 9.9e37; // the tester's open-circuit mark
        CellRecord zero = record(QStringLiteral("C8"), 3);
        zero.resistanceOhm = 0;
        const Pool pool = buildPool({noId, badId, open, zero, record(QStringLiteral("  C7 "), 4)}, PoolFilter());
        QCOMPARE(idsOf(pool), QStringList{QStringLiteral("C7")});
        QCOMPARE(pool.report.withoutId, 2);
        QCOMPARE(pool.report.noReading, 2);
        // An ID with records is known even when its cell is not taken.
        QCOMPARE(pool.knownIds, (std::set<QString>{QStringLiteral("C7"), QStringLiteral("C8"), QStringLiteral("C9")}));
        const QStringList lines = pool.report.lines();
        QVERIFY(lines.contains(QStringLiteral("2 record(s) without a valid cell ID (a pack is placed by scanning IDs)")));
        QVERIFY(lines.contains(QStringLiteral("2 cell(s) without a usable resistance or voltage")));
        QVERIFY(lines.contains(QStringLiteral("1 cell(s) in the pool")));
    }

    void everyFilterLeavesOutWhatItShould_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QString>("line");

        // The cells (latest record each):
        //   T1  09:00 bench-1 R BIN 3, K OK
        //   T2  12:00 bench-2 R BIN 4, K unknown
        //   T3  10:00 bench-1 R BIN 3, K too high
        //   T4  11:00 bench-1 R BIN +Out, a re-test (failed)
        //   T5  11:30 bench-1 R BIN 3, a re-test after a failed first test (passed)
        //   T6  08:30 bench-1 R BIN -Out, first test only
        //   T7  09:30 bench-1 R BIN 3, already in a pack
        //   T8  09:45 bench-1 R BIN 3, V BIN 1, a re-test whose tester word is FAIL
        //   T9  10:15 bench-1 R BIN 3, a re-test whose voltage rose since the first record
        QTest::newRow("none but the defaults") << "defaults" << QStringList{"T1", "T2", "T5", "T6"} << "";
        QTest::newRow("time range") << "09:00-11:00" << QStringList{"T1"} << "4 cell(s) last measured outside the time range";
        QTest::newRow("bench") << "bench-2" << QStringList{"T2"} << "8 cell(s) last measured at another bench";
        QTest::newRow("resistance BIN") << "R 3" << QStringList{"T1", "T5"} << "3 cell(s) in a resistance BIN not chosen";
        QTest::newRow("voltage BIN") << "V 1" << QStringList{} << "8 cell(s) in a voltage BIN not chosen";
        QTest::newRow("K unknown stays") << "K not too high" << QStringList{"T1", "T2", "T5", "T6"}
                                         << "2 cell(s) left out by their K-value";
        QTest::newRow("K OK only") << "K OK" << QStringList{"T1"} << "8 cell(s) left out by their K-value";
        QTest::newRow("K any") << "K any" << QStringList{"T1", "T2", "T3", "T5", "T6"} << "";
        QTest::newRow("failed re-tests kept") << "with failed re-tests" << QStringList{"T1", "T2", "T4", "T5", "T6", "T8"}
                                              << "";
        QTest::newRow("packed cells kept") << "with packed" << QStringList{"T1", "T2", "T5", "T6", "T7"} << "";
    }

    void everyFilterLeavesOutWhatItShould()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, taken);
        QFETCH(QString, line);
        const auto at = [](const QString &id, int hour, int minute, const QString &rBin) {
            CellRecord r = record(id, (hour - 8) * 60 + minute, 25, rBin);
            return r;
        };
        std::vector<CellRecord> records;
        records.push_back(at(QStringLiteral("T1"), 9, 0, QStringLiteral("3")));
        records.back().kVerdict = QStringLiteral("OK");
        records.push_back(at(QStringLiteral("T2"), 12, 0, QStringLiteral("4")));
        records.back().bench = QStringLiteral("bench-2");
        records.push_back(at(QStringLiteral("T3"), 10, 0, QStringLiteral("3")));
        records.back().kVerdict = QStringLiteral("too high");
        records.push_back(at(QStringLiteral("T4"), 8, 0, QStringLiteral("3")));
        records.push_back(at(QStringLiteral("T4"), 11, 0, QStringLiteral("+Out")));
        records.push_back(at(QStringLiteral("T5"), 8, 10, QStringLiteral("-Out")));
        records.push_back(at(QStringLiteral("T5"), 11, 30, QStringLiteral("3")));
        records.back().retest = true;
        records.push_back(at(QStringLiteral("T6"), 8, 30, QStringLiteral("-Out")));
        records.push_back(at(QStringLiteral("T7"), 9, 30, QStringLiteral("3")));
        records.push_back(at(QStringLiteral("T8"), 9, 45, QStringLiteral("3")));
        records.back().voltageBin = QStringLiteral("1");
        records.back().retest = true;
        records.back().testerWord = QStringLiteral("fail");
        records.push_back(at(QStringLiteral("T9"), 10, 15, QStringLiteral("3")));
        records.back().retest = true;
        records.back().kVerdict = QStringLiteral("voltage rose");

        PoolFilter f;
        f.failWords = QStringList{QStringLiteral("FAIL")};
        if (filter == QLatin1String("09:00-11:00")) {
            f.from = kMonday.addSecs(3600);
            f.to = kMonday.addSecs(3 * 3600);
        } else if (filter == QLatin1String("bench-2")) {
            f.benches = QStringList{QStringLiteral("bench-2")};
        } else if (filter == QLatin1String("R 3")) {
            f.resistanceBins = QStringList{QStringLiteral("3")};
        } else if (filter == QLatin1String("V 1")) {
            f.voltageBins = QStringList{QStringLiteral("1")};
        } else if (filter == QLatin1String("K OK")) {
            f.kVerdict = KVerdictFilter::OkOnly;
        } else if (filter == QLatin1String("K any")) {
            f.kVerdict = KVerdictFilter::Any;
        } else if (filter == QLatin1String("with failed re-tests")) {
            f.withoutFailedRetest = false;
        } else if (filter == QLatin1String("with packed")) {
            f.withoutPacked = false;
        }
        const Pool pool = buildPool(records, f, {QStringLiteral("T7")});
        QCOMPARE(idsOf(pool), taken);
        if (!line.isEmpty())
            QVERIFY2(pool.report.lines().contains(line), qPrintable(pool.report.lines().join(QLatin1Char('\n'))));
        // Every record is accounted for, once.
        const PoolReport &r = pool.report;
        QCOMPARE(r.withoutId + r.superseded + r.noReading + r.outsideTime + r.otherBench + r.resistanceBin
                         + r.voltageBin + r.kVerdict + r.failedRetest + r.inPack + r.taken,
                 r.records);
        for (const PoolCell &cell : pool.cells) {
            QCOMPARE(cell.inPack, cell.cellId == QLatin1String("T7"));
            QCOMPARE(cell.failedRetest, cell.cellId == QLatin1String("T4") || cell.cellId == QLatin1String("T8"));
        }
    }
};

BIN4870_TEST(TestPool)
#include "tst_pool.moc"

#include "testmain.h"
#include "englishplurals.h"

#include "cellid/cellhistory.h"
#include "cellid/cellid.h"
#include "cellid/kvalue.h"
#include "cellid/scandetector.h"

#include <QUuid>
#include <QTest>

// Cell IDs: what an ID may hold, how a scan is told from typing, the K-value,
// and a cell's history from the journal and the shared database.

class TestCellId : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Count texts read as the operator sees them ("1 cell", "2 cells").
    void initTestCase() { QVERIFY(englishplurals::install()); }
    void idsAreCheckedBeforeTheyReachARecord_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("problem"); // a part of the message; empty when good

        QTest::newRow("plain") << "C18650-0042" << "" << "";
        QTest::newRow("blanks around are dropped") << "  AB12 " << "" << "";
        QTest::newRow("inner blank and signs") << "LOT 7/#42_x" << "" << "";
        QTest::newRow("64 characters") << QString(64, QLatin1Char('A')) << "" << "";
        QTest::newRow("65 characters") << QString(65, QLatin1Char('A')) << "" << "at most 64";
        QTest::newRow("empty") << "   " << "" << "empty";
        QTest::newRow("comma") << "AB,12" << "" << "a comma";
        QTest::newRow("double quote") << "AB\"12" << "" << "a double quote";
        QTest::newRow("non-ASCII letter") << QString::fromUtf8("ZELLE-\u00c4") << "" << "keyboard layout";
        QTest::newRow("tab inside") << "AB\t12" << "" << "control character";
        QTest::newRow("DEL inside") << "AB\x7F" "12" << "" << "control character";
        QTest::newRow("DEL at the end") << "AB12\x7F" << "" << "control character";
        QTest::newRow("formula") << "=HYPERLINK(1)" << "" << "formula";
        QTest::newRow("minus first") << "-12" << "" << "formula";
        QTest::newRow("matches the pattern") << "C18650-0042" << "C\\d{5}-\\d{4}" << "";
        QTest::newRow("pattern matches only part") << "XC18650-0042" << "C\\d{5}-\\d{4}"
                                                   << "does not match the pattern of the options (C\\d{5}-\\d{4}):";
        QTest::newRow("misread against the pattern") << "C1865O-0042" << "C\\d{5}-\\d{4}" << "does not match";
    }
    void idsAreCheckedBeforeTheyReachARecord()
    {
        QFETCH(QString, id);
        QFETCH(QString, pattern);
        QFETCH(QString, problem);
        const std::optional<QString> found = cellIdProblem(id, cellIdPattern(pattern));
        if (problem.isEmpty()) {
            QVERIFY2(!found, qPrintable(found.value_or(QString())));
        } else {
            QVERIFY(found);
            QVERIFY2(found->contains(problem), qPrintable(*found));
        }
    }

    void scansAreToldFromTyping()
    {
        // A scanner: 8 ms between keys, Enter 8 ms after the last one.
        ScanDetector scan;
        for (int i = 0; i < 10; ++i)
            scan.key(1000 + 8 * i);
        QVERIFY(scan.ends(1080));
        // An operator: 180 ms between keys.
        for (int i = 0; i < 6; ++i)
            scan.key(5000 + 180 * i);
        QVERIFY(!scan.ends(5000 + 180 * 6));
        // A fast burst, then an Enter pressed by hand a second later.
        for (int i = 0; i < 6; ++i)
            scan.key(9000 + 5 * i);
        QVERIFY(!scan.ends(10100));
        // One slow gap in the middle is typing, however fast the rest was.
        scan.key(20000);
        scan.key(20005);
        scan.key(20200);
        scan.key(20205);
        QVERIFY(!scan.ends(20210));
        // Two keys are too few to tell.
        scan.key(30000);
        scan.key(30005);
        QVERIFY(!scan.ends(30010));
    }

    void framedScansLoseTheirFrame()
    {
        QCOMPARE(unframedScan(QStringLiteral("[AB12]"), QStringLiteral("["), QStringLiteral("]")),
                 std::optional<QString>(QStringLiteral("AB12")));
        QCOMPARE(unframedScan(QStringLiteral("AB12]"), QStringLiteral("["), QStringLiteral("]")), std::nullopt);
        QCOMPARE(unframedScan(QStringLiteral("[]"), QStringLiteral("[]"), QStringLiteral("]")), std::nullopt);
        QCOMPARE(unframedScan(QStringLiteral("AB12"), QString(), QString()),
                 std::optional<QString>(QStringLiteral("AB12")));
    }

    void kValueAgainstAHandWorkedExample()
    {
        // 3.6500 V on Nov 30 at 08:00, 3.6350 V on Dec 7 at 20:00: a drop of
        // 15 mV over 7.5 days is 2.0 mV/day.
        const QDateTime first(QDate(2026, 11, 30), QTime(8, 0));
        const QDateTime now(QDate(2026, 12, 7), QTime(20, 0));
        const std::optional<double> k = kValue(3.6500, first, 3.6350, now, 7 * 86400);
        QVERIFY(k);
        QVERIFY(qAbs(*k - 2.0) < 1e-9);
        QVERIFY(!kValueTooHigh(*k, 2.0));
        QVERIFY(kValueTooHigh(*k, 1.5));
        QCOMPARE(kValueText(*k, 2.0), QStringLiteral("K 2.00 mV/day OK"));
        QCOMPARE(kValueText(*k, 1.5), QStringLiteral("K 2.00 mV/day too high"));
        // Not rested long enough, or a clock that went back: no K-value.
        QCOMPARE(kValue(3.65, first, 3.60, first.addSecs(7 * 86400 - 1), 7 * 86400), std::nullopt);
        QCOMPARE(kValue(3.65, now, 3.60, first, 0), std::nullopt);
        // A rest of minutes for trying it out: 1 mV in 10 minutes is 144 mV/day.
        const std::optional<double> quick = kValue(3.651, first, 3.650, first.addSecs(600), 600);
        QVERIFY(quick && qAbs(*quick - 144.0) < 1e-6);
    }

    // The journal's and the shared database's records of one cell: a record
    // sent is in both and listed once; a new count is a re-test with its
    // K-value against the oldest record, wherever that came from.
    void historyFromTwoSourcesMarksTheNextCount()
    {
        const auto record = [](const QString &bench, const QDateTime &at, double volts) {
            CellRecord r;
            r.id = QUuid::createUuid();
            r.bench = bench;
            r.measuredAt = at;
            r.voltageV = volts;
            r.voltageText = QString::number(volts, 'f', 4);
            r.resistanceText = QStringLiteral("+2.1000E-02");
            r.resistanceBin = QStringLiteral("2");
            r.voltageBin = QStringLiteral("3");
            r.cellId = QStringLiteral("C1");
            return r;
        };
        const CellRecord first = record(QStringLiteral("bench-3"), QDateTime(QDate(2026, 11, 30), QTime(8, 0)), 3.65);
        const CellRecord mine = record(QStringLiteral("bench-1"), QDateTime(QDate(2026, 12, 2), QTime(9, 0)), 3.645);
        const std::vector<CellRecord> history = mergedHistory({mine}, {mine, first});
        QCOMPARE(history.size(), std::size_t(2));
        QCOMPARE(history.front().id, first.id);

        CellRecord now = record(QStringLiteral("bench-1"), QDateTime(QDate(2026, 12, 7), QTime(20, 0)), 3.635);
        markAgainstHistory(now, history, 7 * 86400, 1.5);
        QVERIFY(now.retest);
        QVERIFY(now.kValue && qAbs(*now.kValue - 2.0) < 1e-9);
        QCOMPARE(now.kVerdict, QStringLiteral("too high"));
        // Not rested long enough: a re-test without a K-value.
        markAgainstHistory(now, history, 8 * 86400, 1.5);
        QVERIFY(now.retest && !now.kValue);
        QVERIFY(now.kVerdict.isEmpty());
        // A first record: neither.
        markAgainstHistory(now, {}, 60, 1.5);
        QVERIFY(!now.retest && !now.kValue);

        const QString warning = repeatWarning(QStringLiteral("C1"), history);
        QVERIFY2(warning.contains(QStringLiteral("2 times")), qPrintable(warning));
        QVERIFY2(warning.contains(QStringLiteral("2026-12-02 09:00:00 at bench bench-1")), qPrintable(warning));
        QVERIFY2(warning.contains(QStringLiteral("(BIN 3)")), qPrintable(warning));
        QVERIFY(repeatWarning(QStringLiteral("C3"), {}).isEmpty());
    }
};

BIN4870_TEST(TestCellId)
#include "tst_cellid.moc"

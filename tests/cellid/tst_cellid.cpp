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

    void voltageResolutionIsTheLastDigit_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("step"); // volts; 0 for none

        QTest::newRow("engineering, 4 decimals") << "3.7604E+0" << 1e-4;
        QTest::newRow("signed exponent of two digits") << "+3.6500E+00" << 1e-4;
        QTest::newRow("millivolts in volts") << "23.456E-3" << 1e-6;
        QTest::newRow("plain, 2 decimals") << "3.98" << 1e-2;
        QTest::newRow("whole volts") << "4" << 1.0;
        QTest::newRow("point without decimals") << "4." << 1.0;
        QTest::newRow("Fortran exponent") << "3.7604D+0" << 1e-4;
        QTest::newRow("blanks around") << "  3.760 " << 1e-3;
        QTest::newRow("an error word") << "OVER" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
    }
    void voltageResolutionIsTheLastDigit()
    {
        QFETCH(QString, text);
        QFETCH(double, step);
        const std::optional<double> found = voltageResolution(text);
        if (step == 0) {
            QCOMPARE(found, std::nullopt);
            return;
        }
        QVERIFY(found);
        QVERIFY2(qAbs(*found - step) < step * 1e-9, qPrintable(QString::number(*found)));
    }

    // Hand-worked: K = (V first - V now) / days; its uncertainty is one
    // resolution step q for the difference of two readings (each off by at
    // most q / 2), divided by the days: u = (q first + q now) / 2 / days.
    // K is shown to the first significant digit of u, u rounded up.
    void kValueWithItsUncertainty_data()
    {
        QTest::addColumn<double>("vFirst");
        QTest::addColumn<double>("vNow");
        QTest::addColumn<double>("step");  // volts, both readings
        QTest::addColumn<qint64>("restSecs");
        QTest::addColumn<qint64>("minimumRest");
        QTest::addColumn<double>("limit");
        QTest::addColumn<QString>("shown"); // empty: no K-value

        const qint64 day = 86400;
        // Rows give the rest since the first record and the minimum rest (s).
        // 14.7 mV in 7 days = 2.1 mV/day; q = 2 mV: u = 2 / 7 = 0.29, shown 0.3.
        QTest::newRow("2.1 +/- 0.3, straddles 2") << 3.6500 << 3.6353 << 0.002 << 7 * day << 60LL << 2.0
                                                  << "K 2.1 +/- 0.3 mV/day (7.0 days) not yet: rest longer";
        QTest::newRow("2.1 +/- 0.3, well within 5") << 3.6500 << 3.6353 << 0.002 << 7 * day << 60LL << 5.0
                                                    << "K 2.1 +/- 0.3 mV/day (7.0 days) OK";
        // 2.1 - 0.3 = 1.8 > 1.5, and 0.3 < 1.5.
        QTest::newRow("2.1 +/- 0.3, above 1.5") << 3.6500 << 3.6353 << 0.002 << 7 * day << 60LL << 1.5
                                                << "K 2.1 +/- 0.3 mV/day (7.0 days) too high";
        // 15 mV in 7.5 days = 2.00; q = 0.1 mV: u = 0.1 / 7.5 = 0.0133, shown 0.02.
        // At the limit itself: 2.00 + 0.02 > 2, not a verdict yet.
        QTest::newRow("2.00 at the limit") << 3.6500 << 3.6350 << 0.0001 << qint64(7.5 * day) << 7 * day << 2.0
                                           << "K 2.00 +/- 0.02 mV/day (7.5 days) not yet: rest longer";
        QTest::newRow("2.00 below 2.5") << 3.6500 << 3.6350 << 0.0001 << qint64(7.5 * day) << 7 * day << 2.5
                                        << "K 2.00 +/- 0.02 mV/day (7.5 days) OK";
        // One hour: 0.2 mV is 4.8 mV/day, but u = 0.1 / (1/24) = 2.4 mV/day,
        // as large as the limit: no verdict.
        QTest::newRow("a too short rest") << 3.6500 << 3.6498 << 0.0001 << 3600LL << 60LL << 2.0
                                          << "K 5 +/- 3 mV/day (1.0 h) not yet: rest longer";
        // A rise of 2 mV in 7 days: K = -0.286, u = 0.0143; -0.29 + 0.02 < 0.
        QTest::newRow("a rise beyond the uncertainty") << 3.6500 << 3.6520 << 0.0001 << 7 * day << 60LL << 2.0
                                                       << "K -0.29 +/- 0.02 mV/day (7.0 days) implausible: "
                                                          "voltage rose (another cell, or charged?)";
        // One step up in 7 days is within the resolution: -0.01 + 0.02 >= 0.
        QTest::newRow("a rise of one step") << 3.6500 << 3.6501 << 0.0001 << 7 * day << 60LL << 2.0
                                            << "K -0.01 +/- 0.02 mV/day (7.0 days) OK";
        QTest::newRow("before the minimum rest") << 3.6500 << 3.6350 << 0.0001 << 7 * day - 1 << 7 * day << 2.0 << "";
        QTest::newRow("no time between") << 3.6500 << 3.6350 << 0.0001 << 0LL << 0LL << 2.0 << "";
        QTest::newRow("first record in the future") << 3.6500 << 3.6350 << 0.0001 << -day << 0LL << 2.0 << "";
    }
    void kValueWithItsUncertainty()
    {
        QFETCH(double, vFirst);
        QFETCH(double, vNow);
        QFETCH(double, step);
        QFETCH(qint64, restSecs);
        QFETCH(qint64, minimumRest);
        QFETCH(double, limit);
        QFETCH(QString, shown);
        const QDateTime now(QDate(2026, 12, 7), QTime(20, 0));
        const std::optional<KEstimate> k
                = estimateK(vFirst, step, now.addSecs(-restSecs), vNow, step, now, minimumRest, limit);
        if (shown.isEmpty()) {
            QVERIFY2(!k, k ? qPrintable(kEstimateText(*k)) : "");
            return;
        }
        QVERIFY(k);
        QCOMPARE(kEstimateText(*k), shown);
    }

    void theVerdictWordsAreKeptAsStoredAndShownInFull()
    {
        QCOMPARE(kVerdictWord(KVerdict::Ok), QStringLiteral("OK"));
        QCOMPARE(kVerdictWord(KVerdict::TooHigh), QStringLiteral("too high"));
        QCOMPARE(kVerdictWord(KVerdict::NotYet), QStringLiteral("not yet"));
        QCOMPARE(kVerdictWord(KVerdict::VoltageRose), QStringLiteral("voltage rose"));
        // A record of before the uncertainty was kept reads as it did.
        QCOMPARE(kRecordText(2.0, std::nullopt, QStringLiteral("OK")), QStringLiteral("K 2.00 mV/day OK"));
        QCOMPARE(kRecordText(-0.286, 0.0143, QStringLiteral("voltage rose")),
                 QStringLiteral("K -0.29 +/- 0.02 mV/day implausible: voltage rose (another cell, or charged?)"));
        QCOMPARE(kVerdictTextOfWord(QString::fromLatin1(kHistoryNotKnownWord)), QStringLiteral("history not known"));
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
        const ReadingNow reading{0.021, 3.635, QStringLiteral("+2.1000E-02"), QStringLiteral("3.6350"),
                                 std::nullopt, now.measuredAt};
        // 15 mV in 7.5 days: 2.0 +/- 0.0133 mV/day against 1.5.
        markAgainstHistory(now, history, true, reading, 7 * 86400, 1.5);
        QVERIFY(now.retest);
        QVERIFY(now.kValue && qAbs(*now.kValue - 2.0) < 1e-9);
        QVERIFY(now.kUncertainty && qAbs(*now.kUncertainty - 0.0001 * 1000 / 7.5) < 1e-9);
        QCOMPARE(now.kVerdict, QStringLiteral("too high"));
        // Not rested long enough: a re-test without a K-value.
        markAgainstHistory(now, history, true, reading, 8 * 86400, 1.5);
        QVERIFY(now.retest && !now.kValue && !now.kUncertainty);
        QVERIFY(now.kVerdict.isEmpty());
        // A first record: neither.
        markAgainstHistory(now, {}, true, reading, 60, 1.5);
        QVERIFY(!now.retest && !now.kValue);
        QVERIFY(now.kVerdict.isEmpty());
        // Nothing found while a source did not answer: not passed off as new.
        markAgainstHistory(now, {}, false, reading, 60, 1.5);
        QVERIFY(!now.retest && !now.kValue);
        QCOMPARE(now.kVerdict, QString::fromLatin1(kHistoryNotKnownWord));

        const QString warning = repeatWarning(QStringLiteral("C1"), history);
        QVERIFY2(warning.contains(QStringLiteral("2 times")), qPrintable(warning));
        QVERIFY2(warning.contains(QStringLiteral("2026-12-02 09:00:00 at bench bench-1")), qPrintable(warning));
        QVERIFY2(warning.contains(QStringLiteral("(BIN 3)")), qPrintable(warning));
        QVERIFY(repeatWarning(QStringLiteral("C3"), {}).isEmpty());
    }

    // A record dated 2027-06-01 against a bench whose clock says 2026-12-07:
    // a clock problem, told with its date, and no K-value from it; the K
    // comes from the oldest record before now.
    void aRecordFromTheFutureIsAClockProblemNeverAK()
    {
        const QDateTime now(QDate(2026, 12, 7), QTime(20, 0));
        CellRecord future;
        future.id = QUuid::createUuid();
        future.bench = QStringLiteral("benchZ");
        future.measuredAt = QDateTime(QDate(2027, 6, 1), QTime(10, 0));
        future.voltageV = 3.70;
        future.voltageText = QStringLiteral("3.7000");
        const ReadingNow reading{0.021, 3.635, QStringLiteral("+2.1000E-02"), QStringLiteral("3.6350"),
                                 std::nullopt, now};
        CellRecord counted;
        counted.measuredAt = now;
        markAgainstHistory(counted, {future}, true, reading, 60, 2.0);
        QVERIFY(counted.retest);
        QVERIFY(!counted.kValue);
        const QString warning = clockWarning(QStringLiteral("C9"), {future}, now);
        QVERIFY2(warning.contains(QStringLiteral("2027-06-01 10:00:00")), qPrintable(warning));
        QVERIFY2(warning.contains(QStringLiteral("2026-12-07 20:00:00")), qPrintable(warning));
        QVERIFY2(warning.contains(QStringLiteral("not used for the K-value")), qPrintable(warning));

        // With an earlier record as well, K is taken against that one: 15 mV in 7.5 days.
        CellRecord past = future;
        past.id = QUuid::createUuid();
        past.measuredAt = now.addSecs(-qint64(7.5 * 86400));
        past.voltageV = 3.65;
        past.voltageText = QStringLiteral("3.6500");
        markAgainstHistory(counted, mergedHistory({future}, {past}), true, reading, 60, 2.5);
        QVERIFY(counted.kValue && qAbs(*counted.kValue - 2.0) < 1e-9);
        QCOMPARE(counted.kVerdict, QStringLiteral("OK"));
        // A minute ahead is the clocks of two benches, not a problem.
        past.measuredAt = now.addSecs(kClockSlackSecs);
        QVERIFY(clockWarning(QStringLiteral("C9"), {past}, now).isEmpty());
    }

    // The last record: 27.276 mOhm, 3.7604 V (step 0.1 mV). Default limits:
    // 20 % of the resistance; the voltage may rise by the step and 5 mV.
    void aReadingUnlikeTheCellsLastRecordIsQuestioned_data()
    {
        QTest::addColumn<double>("ohms");
        QTest::addColumn<double>("volts");
        QTest::addColumn<double>("stated");  // the profile's resolution; 0 for none
        QTest::addColumn<double>("percent"); // resistance share allowed
        QTest::addColumn<double>("marginMv");
        QTest::addColumn<QString>("reason"); // a part of the question; empty: no question

        QTest::newRow("same cell, a little lower") << 0.02740 << 3.7500 << 0.0 << 20.0 << 5.0 << "";
        QTest::newRow("resistance 19 % higher") << 0.032458 << 3.7600 << 0.0 << 20.0 << 5.0 << "";
        QTest::newRow("resistance 21 % higher") << 0.033004 << 3.7600 << 0.0 << 20.0 << 5.0
                                                << "the resistance differs by 21 % (more than 20 %)";
        QTest::newRow("resistance 21 % lower") << 0.021548 << 3.7600 << 0.0 << 20.0 << 5.0 << "differs by 21 %";
        QTest::newRow("another cell: 45 mOhm") << 0.045123 << 3.7604 << 0.0 << 20.0 << 5.0 << "differs by 65 %";
        QTest::newRow("voltage 5.0 mV higher") << 0.027276 << 3.7654 << 0.0 << 20.0 << 5.0 << "";
        QTest::newRow("voltage 5.2 mV higher") << 0.027276 << 3.7656 << 0.0 << 20.0 << 5.0
                                               << "the voltage is 5.2 mV higher";
        QTest::newRow("voltage 50 mV lower") << 0.027276 << 3.7104 << 0.0 << 20.0 << 5.0 << "";
        QTest::newRow("a 2 mV tester allows 7 mV") << 0.027276 << 3.7673 << 0.002 << 20.0 << 5.0 << "";
        QTest::newRow("a 2 mV tester, 7.2 mV") << 0.027276 << 3.7676 << 0.002 << 20.0 << 5.0 << "7.2 mV higher";
        QTest::newRow("tighter limits: 11 %") << 0.030276 << 3.7604 << 0.0 << 10.0 << 1.0 << "more than 10 %";
        QTest::newRow("tighter limits: 1.2 mV") << 0.027276 << 3.7616 << 0.0 << 10.0 << 1.0 << "1.2 mV higher";
        QTest::newRow("both") << 0.045123 << 3.7700 << 0.0 << 20.0 << 5.0 << "65 % (more than 20 %) and the voltage";
    }
    void aReadingUnlikeTheCellsLastRecordIsQuestioned()
    {
        QFETCH(double, ohms);
        QFETCH(double, volts);
        QFETCH(double, stated);
        QFETCH(double, percent);
        QFETCH(double, marginMv);
        QFETCH(QString, reason);
        const QDateTime now(QDate(2026, 12, 7), QTime(20, 0));
        CellRecord first;
        first.id = QUuid::createUuid();
        first.bench = QStringLiteral("bench-A");
        first.measuredAt = now.addDays(-10);
        first.resistanceOhm = 0.040;
        first.voltageV = 3.80;
        first.voltageText = QStringLiteral("3.8000E+0");
        CellRecord last = first;
        last.id = QUuid::createUuid();
        last.measuredAt = now.addDays(-3);
        last.resistanceOhm = 0.027276;
        last.resistanceText = QStringLiteral("27.276E-3");
        last.voltageV = 3.7604;
        last.voltageText = QStringLiteral("3.7604E+0");
        // Dated after now: a clock problem, not the record to compare with.
        CellRecord future = first;
        future.id = QUuid::createUuid();
        future.measuredAt = now.addDays(30);
        future.resistanceOhm = 0.060;
        future.voltageV = 3.0;
        const std::vector<CellRecord> history{first, last, future};
        const ReadingNow reading{ohms, volts, QStringLiteral("%1E-3").arg(ohms * 1000, 0, 'f', 3),
                                 QStringLiteral("%1E+0").arg(volts, 0, 'f', 4),
                                 stated > 0 ? std::optional<double>(stated) : std::nullopt, now};
        const std::optional<QString> question
                = implausibility(QStringLiteral("SIM-000001"), history, reading,
                                 PlausibilityLimits{percent / 100.0, marginMv / 1000.0});
        if (reason.isEmpty()) {
            QVERIFY2(!question, qPrintable(question.value_or(QString())));
            return;
        }
        QVERIFY(question);
        QVERIFY2(question->startsWith(QStringLiteral("Is this cell SIM-000001? Its last record (")), qPrintable(*question));
        // Both readings, the earlier one with its date and bench.
        QVERIFY2(question->contains(historyTimeText(last.measuredAt) + QStringLiteral(", bench bench-A): 27.276E-3 ohm, "
                                                                                        "3.7604E+0 V; now: ")),
                 qPrintable(*question));
        QVERIFY2(question->contains(reading.voltageText + QStringLiteral(" V")), qPrintable(*question));
        QVERIFY2(question->contains(reason), qPrintable(*question));
        // Without a record there is nothing to compare with.
        QVERIFY(!implausibility(QStringLiteral("SIM-000001"), {}, reading, PlausibilityLimits{}));
    }
};

BIN4870_TEST(TestCellId)
#include "tst_cellid.moc"

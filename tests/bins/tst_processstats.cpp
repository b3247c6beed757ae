#include "testmain.h"

#include "bins/bintable.h"
#include "bins/processstats.h"

#include <QTest>

#include <cmath>

using namespace spc;

namespace {

bool near(double a, double b)
{
    return std::fabs(a - b) < 1e-9 * std::max(1.0, std::fabs(b));
}

// Limits set by hand: centre 10, sigma 1 (so 2 sigma at 8 and 12, control
// limits 7 and 13) and a moving-range limit of 4.
ControlLimits handLimits()
{
    ControlLimits l;
    l.count = 2;
    l.centre = 10;
    l.sigma = 1;
    l.lower = 7;
    l.upper = 13;
    l.movingRangeUpper = 4;
    return l;
}

} // namespace

class TestProcessStats : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // x = 5 7 6 8 4: mean 6; moving ranges 2 1 2 4, mean 2.25.
    void controlLimitsOfAHandWorkedSeries()
    {
        const ControlLimits l = controlLimits({5, 7, 6, 8, 4});
        QCOMPARE(l.count, qint64(5));
        QVERIFY(near(l.centre, 6));
        QVERIFY(near(l.meanMovingRange, 2.25));
        QVERIFY(near(l.upper, 11.985)); // 6 + 2.66 x 2.25
        QVERIFY(near(l.lower, 0.015));
        QVERIFY(near(l.movingRangeUpper, 7.35075)); // 3.267 x 2.25
        QVERIFY(near(l.sigma, 2.25 / 1.128));

        // One value has no moving range: no limits, and no marks from them.
        const ControlLimits one = controlLimits({5});
        QVERIFY(!one.valid());
        RuleScanner scanner(one);
        QCOMPARE(scanner.add(1e9), 0u);
    }

    // Each point's marks worked out by hand against handLimits().
    void runRulesOfAHandWorkedSeries()
    {
        const double values[] = {
            11,   // 0  above, within 2 sigma
            12.5, // 1  beyond +2 sigma, the first
            12.2, // 2  beyond +2 sigma, the second of three       -> 2 of 3
            9,    // 3  below; not itself beyond 2 sigma: no mark
            13.5, // 4  beyond 13; range 4.5 > 4; with 12.2 two of three -> beyond, range, 2 of 3
            10,   // 5  on the centre line: ends the run
            9.5, 9.5, 9.5, 9.5, 9.5, 9.5, 9.5, // 6..12 below, run of 7
            9.5,  // 13 the eighth below                           -> eight
            9.5,  // 14 ninth                                      -> eight
            6.5,  // 15 beyond 7; tenth below                      -> beyond, eight
            7.5,  // 16 beyond -2 sigma with 6.5; eleventh below   -> 2 of 3, eight
            10,   // 17 centre line
        };
        const std::vector<RuleMark> expected = {
            {2, 12.2, TwoOfThreeBeyond2Sigma},
            {4, 13.5, BeyondLimits | RangeBeyondLimit | TwoOfThreeBeyond2Sigma},
            {13, 9.5, EightOnOneSide},
            {14, 9.5, EightOnOneSide},
            {15, 6.5, BeyondLimits | EightOnOneSide},
            {16, 7.5, TwoOfThreeBeyond2Sigma | EightOnOneSide},
        };
        RuleScanner scanner(handLimits());
        for (const double v : values)
            scanner.add(v);
        QCOMPARE(scanner.marks().size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            QCOMPARE(scanner.marks()[i].index, expected[i].index);
            QCOMPARE(scanner.marks()[i].value, expected[i].value);
            QCOMPARE(scanner.marks()[i].rules, expected[i].rules);
        }
        QCOMPARE(scanner.markedPoints(), qint64(6));
        QCOMPARE(scanner.count(BeyondLimits), qint64(2));
        QCOMPARE(scanner.count(EightOnOneSide), qint64(4));
        QCOMPARE(scanner.count(TwoOfThreeBeyond2Sigma), qint64(3));
        QCOMPARE(scanner.count(RangeBeyondLimit), qint64(1));

        // A long shift keeps the counts but only the first marks.
        RuleScanner few(handLimits(), 2);
        for (const double v : values)
            few.add(v);
        QCOMPARE(few.marks().size(), std::size_t(2));
        QCOMPARE(few.markedPoints(), qint64(6));
    }

    // With x = 5 7 6 8 4: sigma = 2.25 / 1.128, 3 sigma = 6.75 / 1.128.
    void capabilityTwoSidedOneSidedAndWithoutSpread()
    {
        const ControlLimits l = controlLimits({5, 7, 6, 8, 4});
        const Capability both = capability(l, 0.0, 15.0);
        QCOMPARE(both.status, Capability::Status::Ok);
        QVERIFY(near(*both.cp, 15 * 1.128 / 13.5));  // 1.25333
        QVERIFY(near(*both.cpk, 6 * 1.128 / 6.75));  // nearer the lower limit: 1.00267

        const Capability upperOnly = capability(l, std::nullopt, 15.0);
        QCOMPARE(upperOnly.status, Capability::Status::Ok);
        QVERIFY(!upperOnly.cp);
        QVERIFY(near(*upperOnly.cpk, 9 * 1.128 / 6.75)); // 1.504
        const Capability lowerOnly = capability(l, 0.0, std::nullopt);
        QVERIFY(!lowerOnly.cp);
        QVERIFY(near(*lowerOnly.cpk, 6 * 1.128 / 6.75));

        // A mean outside the limits gives a negative Cpk, not a wrapped one.
        const Capability outside = capability(l, 7.0, 15.0);
        QVERIFY(near(*outside.cpk, -1 * 1.128 / 6.75));

        const Capability flat = capability(controlLimits({3, 3, 3}), 0.0, 15.0);
        QCOMPARE(flat.status, Capability::Status::NoSpread);
        QVERIFY(!flat.cp && !flat.cpk);
        QCOMPARE(capability(controlLimits({3}), 0.0, 15.0).status, Capability::Status::TooFewValues);
        QCOMPARE(capability(l, std::nullopt, std::nullopt).status, Capability::Status::NoLimits);
    }

    void outerLimitsOfATable()
    {
        BinTable t;
        QVERIFY(!outerLimits(t).lower && !outerLimits(t).upper); // no BINs
        t.mode = BinMode::RefPercent; // bands of +-10 % and +-20 % around 100
        t.numBins = 2;
        t.refValue = 100;
        t.percentValue = 10;
        QVERIFY(calcBinLimits(t));
        QVERIFY(near(*outerLimits(t).lower, 80));
        QVERIFY(near(*outerLimits(t).upper, 120));
        t.mode = BinMode::MaxMin; // reversed: max below min
        t.maxValue = 10;
        t.minValue = 40;
        QVERIFY(calcBinLimits(t));
        QVERIFY(near(*outerLimits(t).lower, 10));
        QVERIFY(near(*outerLimits(t).upper, 40));
    }

    void yieldPerWallClockHour()
    {
        YieldByHour y;
        y.add(3599, true);  // hour 0
        y.add(3600, true);  // hour 1, its first second
        y.add(7199, false); // hour 1, its last second
        y.add(-1, false);   // the hour before 1970
        QCOMPARE(y.hours().size(), std::size_t(3));
        QCOMPARE(y.hours().at(-3600).cells, qint64(1));
        QCOMPARE(y.hours().at(0).inBins, qint64(1));
        QCOMPARE(y.hours().at(3600).cells, qint64(2));
        QCOMPARE(y.hours().at(3600).percent(), 50.0);
        QCOMPARE(y.total().cells, qint64(4));
        QCOMPARE(y.total().percent(), 50.0);
        QCOMPARE(HourYield().percent(), 0.0);
    }
};

BIN4870_TEST(TestProcessStats)
#include "tst_processstats.moc"

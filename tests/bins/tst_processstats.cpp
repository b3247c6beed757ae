#include "testmain.h"

#include "bins/bintable.h"
#include "bins/processstats.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace spc;

namespace {

bool near(double a, double b)
{
    return std::fabs(a - b) < 1e-9 * std::max(1.0, std::fabs(b));
}

bool near(double a, double b, double tolerance)
{
    return std::fabs(a - b) <= tolerance;
}

// Limits set by hand: centre 10, sigma 1 (so 2 sigma at 8 and 12, control
// limits 7 and 13) and a moving-range limit of 4.
ControlLimits handLimits()
{
    ControlLimits l;
    l.count = 2;
    l.ranges = 1;
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
    // The individuals chart of the viscosity of an aircraft primer paint, 15
    // batches, in D. C. Montgomery, "Introduction to Statistical Quality
    // Control" (the example of the chart for individual measurements):
    // mean 33.52, mean moving range 0.48, limits 34.80 and 32.24, moving-range
    // limit 1.57.
    void controlLimitsOfThePublishedIndividualsChart()
    {
        const ControlLimits l = controlLimits({33.75, 33.05, 34.00, 33.81, 33.46, 34.02, 33.68, 33.27, 33.49, 33.20,
                                               33.62, 33.00, 33.54, 33.12, 33.84});
        QCOMPARE(l.count, qint64(15));
        QCOMPARE(l.ranges, qint64(14));
        QVERIFY(near(l.centre, 33.52, 0.005));
        QVERIFY(near(l.meanMovingRange, 0.48, 0.005));
        QVERIFY(near(l.upper, 34.80, 0.005));
        QVERIFY(near(l.lower, 32.24, 0.005));
        QVERIFY(near(l.movingRangeUpper, 1.57, 0.005));
        QVERIFY(near(l.sigma, l.meanMovingRange / 1.128, 1e-12));
    }

    // A second, hand-worked check: x = 5 7 6 8 4: mean 6; moving ranges
    // 2 1 2 4, mean 2.25. And pooled ranges: the sum of several streams'
    // ranges over their number, not over count - 1.
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

        // Seven cells of two streams have five moving ranges between them.
        const ControlLimits pooled = limitsFrom(7, 6, 10, 5);
        QCOMPARE(pooled.ranges, qint64(5));
        QVERIFY(near(pooled.meanMovingRange, 2.0));
        QVERIFY(!limitsFrom(3, 6, 0, 0).valid()); // three streams of one cell: no range at all

        // One value has no moving range: no limits, and no marks from them.
        const ControlLimits one = controlLimits({5});
        QVERIFY(!one.valid());
        RuleScanner scanner(one);
        QCOMPARE(scanner.add(1e9), 0u);
    }

    // Neither quantity can be negative: a lower control limit below zero is
    // shown as 0 and said to be clipped; one at or above zero as it is.
    void aLowerControlLimitBelowZeroIsShownAsZero()
    {
        // 19.4 - 2.66 x 19.5 = -32.47
        const ControlLimits l = controlLimits({10, 15, 25, 45, 2});
        QVERIFY(l.lower < 0);
        const ShownLimit shown = shownLowerLimit(l.lower);
        QCOMPARE(shown.value, 0.0);
        QVERIFY(shown.clipped);
        QCOMPARE(shownLowerLimit(0.0).value, 0.0);
        QVERIFY(!shownLowerLimit(0.0).clipped);
        QCOMPARE(shownLowerLimit(2.5).value, 2.5);
        QVERIFY(!shownLowerLimit(2.5).clipped);
    }

    // The published summary of Minitab's Graphical Summary example
    // ("Anderson-Darling Normality Test", precipitation data, N = 11): mean
    // 3.6364, StDev 2.3779, variance 5.6545, minimum 1, maximum 10.
    void momentsOfThePublishedSummary()
    {
        Moments m;
        for (const double v : {1, 2, 2, 3, 3, 3, 3, 4, 4, 5, 10})
            m.add(v);
        QCOMPARE(m.count(), qint64(11));
        QVERIFY(near(m.mean(), 3.6364, 0.00005));
        QVERIFY(near(m.standardDeviation(), 2.3779, 0.00005));
        QVERIFY(near(m.standardDeviation() * m.standardDeviation(), 5.6545, 0.00005));
        QCOMPARE(m.lowest(), 1.0);
        QCOMPARE(m.highest(), 10.0);
        // Far from zero the one-pass sums stay exact enough: 1e9 + the same.
        Moments shifted;
        for (const double v : {1, 2, 2, 3, 3, 3, 3, 4, 4, 5, 10})
            shifted.add(1e9 + v);
        QVERIFY(near(shifted.standardDeviation(), m.standardDeviation(), 1e-6));
        Moments single;
        single.add(4);
        QCOMPARE(single.standardDeviation(), 0.0);
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

    // NIST/SEMATECH e-Handbook of Statistical Methods, section 6.1.6 ("What is
    // process capability?"): USL = 20, LSL = 8, mean 16, s = 2 give Cp = 1.0 and
    // Cpk = 0.6667 (the same formulas as Pp and Ppk with the overall sigma);
    // its one-sided indices Cpu = 0.6667, Cpl = 1.3333.
    void processIndicesOfThePublishedExample()
    {
        const IndexPair both = processIndices(16, 2, 8.0, 20.0);
        QVERIFY(both.potential && both.nearest);
        QVERIFY(near(*both.potential, 1.0));
        QVERIFY(near(*both.nearest, 0.6667, 0.00005));
        const IndexPair upper = processIndices(16, 2, std::nullopt, 20.0);
        QVERIFY(!upper.potential);
        QVERIFY(near(*upper.nearest, 0.6667, 0.00005));
        const IndexPair lower = processIndices(16, 2, 8.0, std::nullopt);
        QVERIFY(near(*lower.nearest, 1.3333, 0.00005));
        // A mean outside the limits gives a negative index, not a wrapped one.
        QVERIFY(near(*processIndices(22, 2, 8.0, 20.0).nearest, -1.0 / 3.0));
        // No spread or no limit: no index.
        QVERIFY(!processIndices(16, 0, 8.0, 20.0).nearest);
        QVERIFY(!processIndices(16, 2, std::nullopt, std::nullopt).nearest);
    }

    // Quality Digest, May 2000, "The Last Word" (confidence intervals for
    // Cpk): a Cpk of 1.15 from a random sample of n = 45 lies, at 95 %,
    // between 0.89 and 1.41 (Bissell's approximation).
    void cpkBoundsOfThePublishedExample()
    {
        const Bounds b = bissellBounds(1.15, 45);
        QVERIFY2(near(b.low, 0.89, 0.005), qPrintable(QString::number(b.low)));
        QVERIFY2(near(b.high, 1.41, 0.005), qPrintable(QString::number(b.high)));
        // Hand-worked second check: 1.15 +/- 1.96 sqrt(1/405 + 1.3225/88).
        QVERIFY(near(b.high - 1.15, 1.959963984540054 * std::sqrt(1.0 / 405 + 1.3225 / 88)));
        // More cells, narrower bounds.
        QVERIFY(bissellBounds(1.15, 4500).high - bissellBounds(1.15, 4500).low < b.high - b.low);
    }

    // Capability from the limits of the cells: Cp/Cpk with the within sigma,
    // Pp/Ppk with the overall sigma, each with its bounds; too few cells,
    // no limits and no spread give no index.
    void capabilityWithinAndOverall()
    {
        // 30 cells: 10, 12, 10, 12, ...: mean 11, every moving range 2 (within
        // sigma 2 / 1.128), overall sigma sqrt(30 / 29).
        std::vector<double> values;
        for (int i = 0; i < 30; ++i)
            values.push_back(i % 2 ? 12 : 10);
        const ControlLimits l = controlLimits(values);
        const double within = 2.0 / 1.128;
        const double overall = std::sqrt(30.0 / 29.0);
        const Capability c = capability(l, 5.0, 20.0, overall);
        QCOMPARE(c.status, Capability::Status::Ok);
        QCOMPARE(c.count, qint64(30));
        QVERIFY(near(*c.cp, 15 / (6 * within)));
        QVERIFY(near(*c.cpk, 6 / (3 * within)));
        QVERIFY(near(*c.pp, 15 / (6 * overall)));
        QVERIFY(near(*c.ppk, 6 / (3 * overall)));
        QVERIFY(near(c.cpkBounds->low, bissellBounds(*c.cpk, 30).low));
        QVERIFY(near(c.ppkBounds->high, bissellBounds(*c.ppk, 30).high));

        // Without the overall sigma (a database's summary): Cp and Cpk only.
        const Capability withinOnly = capability(l, 5.0, 20.0);
        QVERIFY(withinOnly.cpk && !withinOnly.ppk && !withinOnly.ppkBounds);

        // One cell fewer than needed: no index at all.
        values.pop_back();
        const Capability few = capability(controlLimits(values), 5.0, 20.0, overall);
        QCOMPARE(few.status, Capability::Status::TooFewValues);
        QVERIFY(!few.cp && !few.cpk && !few.pp && !few.ppk && !few.cpkBounds);

        QCOMPARE(capability(l, std::nullopt, std::nullopt, overall).status, Capability::Status::NoLimits);
        const Capability flat = capability(controlLimits(std::vector<double>(40, 3.0)), 0.0, 15.0, 0.0);
        QCOMPARE(flat.status, Capability::Status::NoSpread);
        QVERIFY(!flat.cp && !flat.cpk);
        // Benches each alike but apart: no within spread, an overall one.
        ControlLimits apart = limitsFrom(40, 11, 0, 38);
        const Capability between = capability(apart, 5.0, 20.0, 1.0);
        QCOMPARE(between.status, Capability::Status::Ok);
        QVERIFY(!between.cpk && between.ppk);
    }

    // A specification the engineer gives must make sense.
    void aSpecificationThatContradictsItselfIsRefused()
    {
        QVERIFY(specificationProblem(SpecLimits{25.0, 45.0, 35.0}).isEmpty());
        QVERIFY(specificationProblem(SpecLimits{std::nullopt, 45.0, std::nullopt}).isEmpty());
        QVERIFY(specificationProblem(SpecLimits{std::nullopt, std::nullopt, 35.0}).isEmpty());
        QVERIFY(!specificationProblem(SpecLimits{45.0, 25.0, std::nullopt}).isEmpty());
        QVERIFY(!specificationProblem(SpecLimits{25.0, 25.0, std::nullopt}).isEmpty());
        QVERIFY(!specificationProblem(SpecLimits{25.0, 45.0, 50.0}).isEmpty());
        QVERIFY(!specificationProblem(SpecLimits{25.0, std::nullopt, 20.0}).isEmpty());
    }

    // Equal bars over the range of the values, every value in one of them.
    void aHistogramCountsEveryValueOnce()
    {
        Histogram h(10, 20, 1000); // 2 x 1000^(1/3) = 20 bars of 0.5
        QCOMPARE(h.counts().size(), std::size_t(20));
        QCOMPARE(h.width(), 0.5);
        for (const double v : {10.0, 10.49, 10.5, 19.99, 20.0})
            h.add(v);
        h.add(std::numeric_limits<double>::quiet_NaN());
        QCOMPARE(h.total(), qint64(5));
        QCOMPARE(h.counts().front(), qint64(2));
        QCOMPARE(h.counts()[1], qint64(1));
        QCOMPARE(h.counts().back(), qint64(2)); // the highest value is in the last bar
        QCOMPARE(Histogram(0, 1, 1).counts().size(), std::size_t(5));
        QCOMPARE(Histogram(0, 1, 100000000).counts().size(), std::size_t(40));
        // Every value alike: one place to put them.
        Histogram alike(3.6, 3.6, 10);
        alike.add(3.6);
        QCOMPARE(alike.total(), qint64(1));
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

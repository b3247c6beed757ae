#include "testmain.h"
#include "packcells.h"

#include "pack/packplan.h"

#include <QSet>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

// Choosing and arranging cells for a pack: against every arrangement on small
// packs, the windows, the same plan for the same seed, the early stop, what the
// group window costs, and the pack's figures.

namespace {

PlanSettings settingsFor(int series, int parallel, bool capacity)
{
    PlanSettings s;
    s.series = series;
    s.parallel = parallel;
    s.balanceCapacity = capacity;
    s.groupWindow = 0.01;
    s.groupWindowUnit = SpreadUnit::Ohm;
    s.voltageWindowV = 1;
    return s;
}

QStringList idsOf(const PackGroups &groups)
{
    QStringList ids;
    for (const auto &group : groups) {
        for (const PoolCell &cell : group)
            ids << cell.cellId;
        ids << QStringLiteral("|");
    }
    return ids;
}

// Whether groups are a pack of the settings' shape, of distinct pool cells,
// within both windows; the reason when not.
QString packProblem(const PackGroups &groups, const std::vector<PoolCell> &pool, const PlanSettings &s)
{
    if (int(groups.size()) != s.series)
        return QStringLiteral("%1 groups").arg(groups.size());
    QSet<QString> poolIds, seen;
    for (const PoolCell &cell : pool)
        poolIds.insert(cell.cellId);
    double lowV = 1e9, highV = -1e9;
    for (const auto &group : groups) {
        if (int(group.size()) != s.parallel)
            return QStringLiteral("a group of %1").arg(group.size());
        double low = 1e9, high = -1e9, sum = 0;
        for (const PoolCell &cell : group) {
            if (!poolIds.contains(cell.cellId))
                return cell.cellId + QStringLiteral(" is not in the pool");
            if (seen.contains(cell.cellId))
                return cell.cellId + QStringLiteral(" twice");
            seen.insert(cell.cellId);
            low = std::min(low, cell.resistanceOhm);
            high = std::max(high, cell.resistanceOhm);
            sum += cell.resistanceOhm;
            lowV = std::min(lowV, cell.voltageV);
            highV = std::max(highV, cell.voltageV);
        }
        if (!spreadWithin(high - low, sum / double(group.size()), s.groupWindow, s.groupWindowUnit))
            return QStringLiteral("a group spans %1 ohm").arg(high - low);
    }
    if (highV - lowV > s.voltageWindowV + 1e-9)
        return QStringLiteral("voltages span %1 V").arg(highV - lowV);
    return QString();
}

// Calls visit with every pack of the settings' shape from pool: every choice
// of S x P cells, split every way into S unordered groups of P.
void forEveryPack(const std::vector<PoolCell> &pool, const PlanSettings &s,
                  const std::function<void(const PackGroups &)> &visit)
{
    const int n = int(pool.size()), needed = s.cellCount();
    std::vector<int> chosen;
    PackGroups groups;
    std::vector<bool> placed;
    std::function<void()> split = [&]() {
        int first = -1;
        for (int i = 0; i < needed; ++i) {
            if (!placed[std::size_t(i)]) {
                first = i;
                break;
            }
        }
        if (first < 0) {
            visit(groups);
            return;
        }
        // The group of the first unplaced cell, with P - 1 later unplaced cells.
        std::vector<int> members{first};
        placed[std::size_t(first)] = true;
        std::function<void(int)> fill = [&](int from) {
            if (int(members.size()) == s.parallel) {
                std::vector<PoolCell> group;
                for (int m : members)
                    group.push_back(pool[std::size_t(chosen[std::size_t(m)])]);
                groups.push_back(group);
                split();
                groups.pop_back();
                return;
            }
            for (int i = from; i < needed; ++i) {
                if (placed[std::size_t(i)])
                    continue;
                placed[std::size_t(i)] = true;
                members.push_back(i);
                fill(i + 1);
                members.pop_back();
                placed[std::size_t(i)] = false;
            }
        };
        fill(first + 1);
        placed[std::size_t(first)] = false;
    };
    std::function<void(int)> choose = [&](int from) {
        if (int(chosen.size()) == needed) {
            placed.assign(std::size_t(needed), false);
            split();
            return;
        }
        for (int i = from; i <= n - (needed - int(chosen.size())); ++i) {
            chosen.push_back(i);
            choose(i + 1);
            chosen.pop_back();
        }
    };
    choose(0);
}

} // namespace

class TestPackPlan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exhaustiveSearchCountsEveryPackOnce()
    {
        // 8 cells choose 6 (28 ways), 6 cells into three unordered pairs (15).
        int packs = 0;
        forEveryPack(generatedPool(8, 1, false), settingsFor(3, 2, false), [&packs](const PackGroups &) { ++packs; });
        QCOMPARE(packs, 28 * 15);
        packs = 0;
        forEveryPack(generatedPool(10, 1, false), settingsFor(4, 2, false), [&packs](const PackGroups &) { ++packs; });
        QCOMPARE(packs, 45 * 105);
    }

    void planMatchesEveryArrangementsBestOnSmallPacks_data()
    {
        QTest::addColumn<int>("series");
        QTest::addColumn<int>("cells");
        QTest::addColumn<bool>("capacity");
        QTest::addColumn<double>("groupWindow");   // ohm
        QTest::addColumn<double>("voltageWindow"); // V

        QTest::newRow("3s2p of 8, resistance") << 3 << 8 << false << 0.01 << 1.0;
        QTest::newRow("3s2p of 8, with capacity") << 3 << 8 << true << 0.01 << 1.0;
        QTest::newRow("4s2p of 10, resistance") << 4 << 10 << false << 0.01 << 1.0;
        QTest::newRow("4s2p of 10, with capacity") << 4 << 10 << true << 0.01 << 1.0;
        // Windows that rule out many arrangements: about one standard
        // deviation of the cells' resistance inside a group, two of their
        // voltage over the pack.
        QTest::newRow("4s2p of 10, narrow group window") << 4 << 10 << true << 0.0015 << 1.0;
        QTest::newRow("4s2p of 10, narrow voltage window") << 4 << 10 << true << 0.01 << 0.02;
    }

    void planMatchesEveryArrangementsBestOnSmallPacks()
    {
        QFETCH(int, series);
        QFETCH(int, cells);
        QFETCH(bool, capacity);
        QFETCH(double, groupWindow);
        QFETCH(double, voltageWindow);
        PlanSettings s = settingsFor(series, 2, capacity);
        s.groupWindow = groupWindow;
        s.voltageWindowV = voltageWindow;
        // The tolerance: the search's objective equals the best of every
        // arrangement up to the rounding of adding a few scaled numbers (the
        // search and figuresOf() add the same cells in another order), far
        // below one last digit of a reading. A plan that stopped at the
        // tester's resolution may be worse by up to one such digit in each range.
        constexpr double rounding = 1e-9;
        int compared = 0, infeasible = 0;
        for (std::uint64_t poolSeed = 1; poolSeed <= 40; ++poolSeed) {
            const std::vector<PoolCell> pool = generatedPool(cells, poolSeed, capacity);
            s.seed = poolSeed;
            const Result<Plan> plan = planPack(pool, s);
            double optimum = std::numeric_limits<double>::infinity();
            ObjectiveScale scale;
            if (plan)
                scale = plan->scale;
            forEveryPack(pool, s, [&](const PackGroups &groups) {
                if (packProblem(groups, pool, s).isEmpty())
                    optimum = std::min(optimum, objectiveOf(figuresOf(groups), scale));
            });
            if (!std::isfinite(optimum)) {
                QVERIFY2(!plan, qPrintable(QStringLiteral("pool %1: no pack keeps the windows, yet a plan").arg(poolSeed)));
                ++infeasible;
                continue;
            }
            QVERIFY2(plan, qPrintable(QStringLiteral("pool %1: %2").arg(poolSeed).arg(plan.errorString())));
            QCOMPARE(packProblem(plan->groups, pool, s), QString());
            double tolerance = rounding;
            if (plan->stop == PlanStop::Resolution) {
                tolerance += plan->groupResistanceStepOhm / scale.resistanceOhm;
                if (scale.capacityMah > 0)
                    tolerance += plan->groupCapacityStepMah / scale.capacityMah;
            }
            QVERIFY2(plan->objective <= optimum + tolerance,
                     qPrintable(QStringLiteral("pool %1: plan %2, best %3").arg(poolSeed).arg(plan->objective, 0, 'g', 12)
                                        .arg(optimum, 0, 'g', 12)));
            ++compared;
        }
        // The narrow rows must still leave most pools with a pack to compare.
        QVERIFY2(compared >= 25, qPrintable(QStringLiteral("%1 compared, %2 without a pack").arg(compared).arg(infeasible)));
    }

    void everyCellOnceWithinBothWindowsOnALargerPack_data()
    {
        QTest::addColumn<bool>("capacity");
        QTest::addColumn<int>("unit");
        QTest::addColumn<double>("groupWindow");
        QTest::newRow("resistance, window in ohm") << false << int(SpreadUnit::Ohm) << 0.004;
        QTest::newRow("capacity, window in ohm") << true << int(SpreadUnit::Ohm) << 0.004;
        // Narrower than the tightest run of 120 cells: groups of neighbours.
        QTest::newRow("capacity, narrow window in percent") << true << int(SpreadUnit::Percent) << 4.0;
    }

    void everyCellOnceWithinBothWindowsOnALargerPack()
    {
        QFETCH(bool, capacity);
        QFETCH(int, unit);
        QFETCH(double, groupWindow);
        PlanSettings s = settingsFor(12, 10, capacity);
        s.groupWindow = groupWindow;
        s.groupWindowUnit = SpreadUnit(unit);
        s.voltageWindowV = 0.03;
        const std::vector<PoolCell> pool = generatedPool(200, 7, capacity);
        const Result<Plan> plan = planPack(pool, s);
        QVERIFY2(plan, qPrintable(plan.errorString()));
        QCOMPARE(packProblem(plan->groups, pool, s), QString());
        QVERIFY(plan->figures.voltageSpreadV <= 0.03 + 1e-9);
        QCOMPARE(plan->figures.hasCapacity, capacity);
        QCOMPARE(plan->algorithm, QString::fromLatin1(kPackPlanAlgorithm));
        QCOMPARE(plan->inputHash.size(), 64);
    }

    void theSameSeedGivesTheSamePlanWhateverThePoolsOrder()
    {
        PlanSettings s = settingsFor(6, 5, true);
        s.voltageWindowV = 0.04;
        s.seed = 4870;
        std::vector<PoolCell> pool = generatedPool(60, 3, true);
        const Result<Plan> first = planPack(pool, s);
        QVERIFY(first);
        std::reverse(pool.begin(), pool.end());
        std::rotate(pool.begin(), pool.begin() + 17, pool.end());
        const Result<Plan> again = planPack(pool, s);
        QVERIFY(again);
        QCOMPARE(idsOf(again->groups), idsOf(first->groups));
        QCOMPARE(again->inputHash, first->inputHash);
        QCOMPARE(again->swapsWeighed, first->swapsWeighed);
        QCOMPARE(again->settings.seed, quint64(4870));

        // Another seed searches another way; its plan keeps every rule and is
        // weighed from the same input.
        for (std::uint64_t seed : {1, 2, 99}) {
            s.seed = seed;
            const Result<Plan> other = planPack(pool, s);
            QVERIFY(other);
            QCOMPARE(packProblem(other->groups, pool, s), QString());
            QCOMPARE(other->inputHash, first->inputHash);
            QCOMPARE(other->settings.seed, seed);
        }

        // A changed reading is another input.
        pool.front().resistanceOhm += 1e-6;
        const Result<Plan> changed = planPack(pool, s);
        QVERIFY(changed);
        QVERIFY(changed->inputHash != first->inputHash);
    }

    void tooFewCellsAreSaidPlainly_data()
    {
        QTest::addColumn<int>("cells");
        QTest::addColumn<int>("withCapacity");
        QTest::addColumn<bool>("balance");
        QTest::addColumn<double>("groupWindow");
        QTest::addColumn<double>("voltageWindow");
        QTest::addColumn<QString>("said");

        QTest::newRow("pool too small") << 20 << 0 << false << 0.01 << 1.0
                                        << "Too few cells: a 4s6p pack needs 24 cells; the pool has 20";
        QTest::newRow("too few with a capacity") << 40 << 10 << true << 0.01 << 1.0
                                                 << "needs 24 cells with a capacity; the pool has 10";
        QTest::newRow("voltage window") << 40 << 0 << false << 0.01 << 0.0001
                                        << "The voltage window leaves too few cells: within 0.0001 V";
        QTest::newRow("group window") << 40 << 0 << false << 0.00001 << 1.0
                                      << "With a group window of 0.01 mOhm, only";
    }

    void tooFewCellsAreSaidPlainly()
    {
        QFETCH(int, cells);
        QFETCH(int, withCapacity);
        QFETCH(bool, balance);
        QFETCH(double, groupWindow);
        QFETCH(double, voltageWindow);
        QFETCH(QString, said);
        std::vector<PoolCell> pool = generatedPool(cells, 5, true);
        for (std::size_t i = std::size_t(withCapacity); i < pool.size() && balance; ++i)
            pool[i].capacityMah.reset();
        PlanSettings s = settingsFor(4, 6, balance);
        s.groupWindow = groupWindow;
        s.voltageWindowV = voltageWindow;
        const Result<Plan> plan = planPack(pool, s);
        QVERIFY(!plan);
        QVERIFY2(plan.errorString().contains(said), qPrintable(plan.errorString()));
    }

    void settingsOutOfRangeAndAnIdTwiceAreRefused()
    {
        const std::vector<PoolCell> pool = generatedPool(30, 5, false);
        PlanSettings s = settingsFor(0, 5, false);
        QVERIFY(!planPack(pool, s));
        s = settingsFor(2, 2, false);
        s.groupWindow = std::nan("");
        QVERIFY(!planPack(pool, s));
        s = settingsFor(2, 2, false);
        s.voltageWindowV = -1;
        QVERIFY(!planPack(pool, s));

        std::vector<PoolCell> twice = pool;
        twice.push_back(pool[3]);
        twice.back().recordId = QUuid::createUuidV5(QUuid(), QStringLiteral("another record"));
        const Result<Plan> plan = planPack(twice, settingsFor(2, 2, false));
        QVERIFY(!plan);
        QVERIFY(plan.errorString().contains(pool[3].cellId));

        // A cell without a usable reading is left out and said to be.
        std::vector<PoolCell> broken = pool;
        broken[0].resistanceOhm = 0;
        broken[1].voltageV = 9.9e37;
        const Result<Plan> without = planPack(broken, settingsFor(2, 2, false));
        QVERIFY(without);
        QCOMPARE(without->withoutReading, 2);
        QVERIFY(without->summaryLines().join(QLatin1Char('\n')).contains(QStringLiteral("2 cell(s) of the pool left out")));
    }

    void stopsEarlyOnceEverySpreadIsBelowTheResolution()
    {
        // Twelve alike cells: any arrangement is already as even as the
        // readings' last digits can tell.
        std::vector<PoolCell> alike;
        for (int i = 0; i < 12; ++i)
            alike.push_back(packCell(QStringLiteral("A%1").arg(i), 25.0, 3.6, 3000.0));
        PlanSettings s = settingsFor(3, 4, true);
        const Result<Plan> plan = planPack(alike, s);
        QVERIFY(plan);
        QCOMPARE(plan->stop, PlanStop::Resolution);
        QCOMPARE(plan->rounds, 1);
        QCOMPARE(plan->stopText(), QStringLiteral("stopped: every spread below the tester's resolution"));
        QVERIFY(plan->summaryLines().contains(plan->stopText()));
        QCOMPARE(plan->resistanceStepOhm, 1e-6);
        QCOMPARE(plan->capacityStepMah, 1.0);

        // Cells a search can even out to the last digit: 2 groups of 2 from
        // 10, 20, 10, 20 mOhm and 1000, 2000 mAh pairs.
        const std::vector<PoolCell> pairs = {packCell(QStringLiteral("P1"), 10, 3.6, 1000.0),
                                             packCell(QStringLiteral("P2"), 20, 3.6, 2000.0),
                                             packCell(QStringLiteral("P3"), 10, 3.6, 1000.0),
                                             packCell(QStringLiteral("P4"), 20, 3.6, 2000.0)};
        const Result<Plan> even = planPack(pairs, settingsFor(2, 2, true));
        QVERIFY(even);
        QCOMPARE(even->stop, PlanStop::Resolution);
        QCOMPARE(even->figures.capacityRangeMah, 0.0);
        QVERIFY(even->figures.groupResistanceRangeOhm < even->groupResistanceStepOhm);

        // Generated cells cannot be evened out that far: the search stops on
        // its own rule and says which.
        PlanSettings busy = settingsFor(4, 5, true);
        busy.stallRounds = 5;
        const Result<Plan> searched = planPack(generatedPool(40, 2, true), busy);
        QVERIFY(searched);
        QCOMPARE(searched->stop, PlanStop::Stalled);
        QCOMPARE(searched->stopText(), QStringLiteral("stopped: no better arrangement in the last 5 round(s)"));
        busy.swapBudget = 100;
        const Result<Plan> budget = planPack(generatedPool(40, 2, true), busy);
        QVERIFY(budget);
        QCOMPARE(budget->stop, PlanStop::Budget);
        QVERIFY(budget->stopText().startsWith(QStringLiteral("stopped at the search budget")));
    }

    void aCancelledSearchGivesItsBestSoFar()
    {
        const std::atomic<bool> cancel{true};
        const std::vector<PoolCell> pool = generatedPool(50, 8, false);
        const PlanSettings s = settingsFor(4, 10, false);
        const Result<Plan> plan = planPack(pool, s, &cancel);
        QVERIFY(plan);
        QCOMPARE(plan->stop, PlanStop::Cancelled);
        QCOMPARE(packProblem(plan->groups, pool, s), QString());
    }

    void narrowingTheGroupWindowCostsBalance()
    {
        const std::vector<PoolCell> pool = generatedPool(150, 11, true);
        PlanSettings s = settingsFor(8, 12, true);
        s.voltageWindowV = 0.05;
        const std::vector<double> windows{0.0001, 0.0005, 0.001, 0.004};
        const std::vector<WindowTradeRow> rows = windowTrade(pool, s, windows);
        QCOMPARE(rows.size(), windows.size());
        // 0.1 mOhm holds far fewer than 12 neighbours of 25 +/- 1.5 mOhm.
        QVERIFY(!rows[0].planned);
        QVERIFY(rows[0].failure.contains(QStringLiteral("group window")));
        for (std::size_t i = 1; i < rows.size(); ++i) {
            QVERIFY(rows[i].choosableCells >= rows[i - 1].choosableCells);
            QVERIFY2(rows[i].planned, qPrintable(rows[i].failure));
            QVERIFY(rows[i].figures.worstGroupSpreadOhm <= windows[i] + 1e-9);
        }
        // The widest window lets every group span the whole choice: the
        // groups come out far more even than with groups of neighbours.
        QVERIFY(rows.back().choosableCells >= 96);
        QVERIFY(rows[1].choosableCells < 96);
        QVERIFY2(rows.back().objective < rows[1].objective / 10,
                 qPrintable(QStringLiteral("%1 against %2").arg(rows.back().objective).arg(rows[1].objective)));
    }

    void figuresOfAWorkedPack()
    {
        // Group 1: 20 and 30 mOhm in parallel, 12 mOhm; 1000 + 1100 mAh.
        // Group 2: 24 and 24 mOhm, 12 mOhm; 1050 + 1000 mAh.
        // Group 3: 15 and 60 mOhm, 12 mOhm; 1000 + 1000 mAh.
        const PackGroups groups = {
            {packCell(QStringLiteral("a"), 20, 3.60, 1000.0), packCell(QStringLiteral("b"), 30, 3.61, 1100.0)},
            {packCell(QStringLiteral("c"), 24, 3.62, 1050.0), packCell(QStringLiteral("d"), 24, 3.60, 1000.0)},
            {packCell(QStringLiteral("e"), 15, 3.65, 1000.0), packCell(QStringLiteral("f"), 60, 3.60, 1000.0)}};
        const PackFigures f = figuresOf(groups);
        QVERIFY(f.hasCapacity);
        QCOMPARE(f.capacityRangeMah, 100.0);                     // 2100 - 2000
        QCOMPARE(f.capacityRangePercent, 100.0 * 100 / (6150.0 / 3));
        QCOMPARE(f.packCapacityMah, 2000.0);
        QVERIFY(qAbs(f.groupResistanceRangeOhm) < 1e-15);         // all 12 mOhm
        QVERIFY(qAbs(f.packResistanceOhm - 0.036) < 1e-15);
        QCOMPARE(f.worstGroup, 2);                                // 60 - 15 mOhm
        QVERIFY(qAbs(f.worstGroupSpreadOhm - 0.045) < 1e-15);
        QVERIFY(qAbs(f.worstGroupSpreadPercent - 100 * 0.045 / 0.0375) < 1e-9);
        QVERIFY(qAbs(f.voltageSpreadV - 0.05) < 1e-12);

        ObjectiveScale scale{2000, 0.012};
        QCOMPARE(objectiveOf(f, scale), 100.0 / 2000);
        // Without every cell's capacity there is no capacity figure to weigh.
        PackGroups partly = groups;
        partly[1][0].capacityMah.reset();
        const PackFigures g = figuresOf(partly);
        QVERIFY(!g.hasCapacity);
        QCOMPARE(g.capacityRangeMah, 0.0);
        QVERIFY(qAbs(objectiveOf(g, scale)) < 1e-12);
    }

    void aPlanWithoutCapacitySaysSo()
    {
        const Result<Plan> plan = planPack(generatedPool(30, 2, false), settingsFor(3, 4, false));
        QVERIFY(plan);
        QVERIFY(!plan->figures.hasCapacity);
        const QString summary = plan->summaryLines().join(QLatin1Char('\n'));
        QVERIFY(summary.contains(QStringLiteral("Capacity: not known")));
        QVERIFY(!summary.contains(QStringLiteral("Expected pack capacity")));
        QVERIFY(summary.contains(QStringLiteral("Expected pack resistance")));
    }

    void lastDigitStepOfReadingTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("step"); // 0: none
        QTest::newRow("resistance") << "37.352E-3" << 1e-6;
        QTest::newRow("voltage") << "3.6012E+0" << 1e-4;
        QTest::newRow("no decimals") << "37E-3" << 1e-3;
        QTest::newRow("whole mAh") << "3012" << 1.0;
        QTest::newRow("decimal comma") << "3012,5" << 0.1;
        QTest::newRow("blanks around") << " 0.25 " << 0.01;
        QTest::newRow("word") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("sign alone") << "-" << 0.0;
    }

    void lastDigitStepOfReadingTexts()
    {
        QFETCH(QString, text);
        QFETCH(double, step);
        const std::optional<double> found = lastDigitStep(text);
        if (step == 0) {
            QVERIFY(!found);
        } else {
            QVERIFY(found);
            QVERIFY2(qAbs(*found - step) < step * 1e-9, qPrintable(QString::number(*found)));
        }
    }
};

BIN4870_TEST(TestPackPlan)
#include "tst_packplan.moc"

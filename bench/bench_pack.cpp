// Plans a 14s40p pack from generated 18650 cells (resistance 25 +/- 1.5 mOhm
// to the tester's 0.001 mOhm, voltage 3.60 +/- 0.01 V, capacity 3000 +/- 30
// mAh): from 700 cells without and with capacity, and from a pool of 20,000
// (or the number after --pool). Each case runs --runs times (3 by default)
// with the plan seeds 1, 2, ... and prints per run the time, the figures, why
// the search stopped and the process's peak memory so far; then what
// narrowing the group window does to the 700-cell plan with capacity.
// --budget N sets the search budget to N million exchanges weighed.
// First, before any plan, a journal of the large pool's cells (every 10th
// measured twice) is written and its pool read back as the build sheet
// reads it, and a 14s40p plan of it saved with its 560 cells reserved:
// times and peak memory.

#include "benchdata.h"
#include "packcells.h"
#include "packrecords.h"

#include "pack/packplan.h"
#include "pack/packstore.h"
#include "pack/poolreader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

const char *stopName(PlanStop stop)
{
    switch (stop) {
    case PlanStop::Resolution:
        return "resolution";
    case PlanStop::Stalled:
        return "stalled";
    case PlanStop::Budget:
        return "budget";
    case PlanStop::Cancelled:
        return "cancelled";
    }
    return "?";
}

// The search budget when given after --budget, otherwise the default.
std::int64_t g_budget = PlanSettings().swapBudget;

PlanSettings packSettings(bool capacity)
{
    PlanSettings s;
    s.swapBudget = g_budget;
    s.series = 14;
    s.parallel = 40;
    s.balanceCapacity = capacity;
    s.groupWindow = 0.005;
    s.groupWindowUnit = SpreadUnit::Ohm;
    s.voltageWindowV = 0.05;
    return s;
}

std::vector<PoolCell> withoutCapacity(std::vector<PoolCell> cells)
{
    for (PoolCell &cell : cells) {
        cell.capacityMah.reset();
        cell.capacityText.clear();
    }
    return cells;
}

void runCase(const char *name, const std::vector<PoolCell> &pool, bool capacity, int runs)
{
    std::printf("\n%s (%zu cells, group window 5 mOhm, voltage window 0.05 V)\n", name, pool.size());
    std::printf("  seed    time s  (CPU s)  cap range mAh (%%)     group R range uOhm (%%)  worst in-group mOhm  V spread V"
                "  stop        rounds  swaps weighed  peak MB\n");
    std::vector<double> times;
    for (int run = 1; run <= runs; ++run) {
        PlanSettings s = packSettings(capacity);
        s.seed = std::uint64_t(run);
        QElapsedTimer timer;
        timer.start();
        const std::clock_t cpuStart = std::clock();
        const Result<Plan> plan = planPack(pool, s);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        if (!plan) {
            std::printf("  %4d  failed: %s\n", run, qPrintable(plan.errorString()));
            continue;
        }
        times.push_back(seconds);
        const PackFigures &f = plan->figures;
        char capacityText[64] = "-";
        if (f.hasCapacity)
            std::snprintf(capacityText, sizeof capacityText, "%.1f (%.4f)", f.capacityRangeMah, f.capacityRangePercent);
        std::printf("  %4d  %8.3f  (%5.3f)  %-20s  %8.4f (%.4f)        %8.3f          %.4f  %-10s  %6d  %13lld  %7.1f\n", run,
                    seconds, cpuSeconds, capacityText, f.groupResistanceRangeOhm * 1e6, f.groupResistanceRangePercent,
                    f.worstGroupSpreadOhm * 1e3, f.voltageSpreadV, stopName(plan->stop), plan->rounds,
                    static_cast<long long>(plan->swapsWeighed), peakMegabytes());
    }
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        std::printf("  time: min %.3f s, median %.3f s, max %.3f s\n", times.front(), times[times.size() / 2],
                    times.back());
    }
}

// The pool of `count` cells read back from a journal, and a plan of it saved.
void readAndSave(int count)
{
    std::printf("\nthe pool read from a journal of %d cells (every 10th measured twice)\n", count);
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(QStringLiteral("journal.sqlite"));
    const BinSetup setup = cellfixtures::setup();
    // Written a thousand records at a time, so that writing adds little to
    // the peak memory the read is measured by.
    QElapsedTimer timer;
    timer.start();
    std::size_t written = 0;
    {
        const std::vector<PoolCell> cells = generatedPool(count, 4871, false);
        Journal journal(QStringLiteral("bench-journal"));
        if (!journal.open(path)) {
            std::printf("  the journal could not be written\n");
            return;
        }
        std::vector<CellRecord> records;
        for (int i = 0; i < count; ++i) {
            const QDateTime at = packrecords::kFirstCount.addSecs(qint64(i) * 3);
            records.push_back(packrecords::recordOf(cells[std::size_t(i)], QStringLiteral("bench-1"), at, setup));
            if (i % 10 == 0)
                records.push_back(packrecords::recordOf(cells[std::size_t(i)], QStringLiteral("bench-2"), at.addDays(2), setup));
            if (records.size() >= 1000 || i + 1 == count) {
                if (!journal.appendAll(records, setup)) {
                    std::printf("  the journal could not be written\n");
                    return;
                }
                written += records.size();
                records.clear();
            }
        }
    }
    std::printf("  %zu records written in %.2f s\n", written, double(timer.nsecsElapsed()) / 1e9);
    const double before = peakMegabytes();
    PoolSource source;
    source.path = path;
    std::vector<double> times;
    Result<Pool> pool = Failure(QString());
    for (int run = 0; run < 3; ++run) {
        timer.restart();
        pool = readPool(source, PoolFilter());
        times.push_back(double(timer.nsecsElapsed()) / 1e9);
        if (!pool) {
            std::printf("  failed: %s\n", qPrintable(pool.errorString()));
            return;
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("  read: %d cells of %d records, min %.3f s, median %.3f s, max %.3f s; peak memory %.1f MB before, "
                "%.1f MB after\n",
                pool->report.taken, pool->report.records, times.front(), times[1], times.back(), before,
                peakMegabytes());
    const Result<Plan> plan = planPack(pool->cells, packSettings(false));
    if (!plan) {
        std::printf("  no plan: %s\n", qPrintable(plan.errorString()));
        return;
    }
    PackStore store(source);
    timer.restart();
    const Status opened = store.open();
    const Result<SavedPlan> saved = opened ? store.save(*plan, PlanOrigin(), PackLabel{QStringLiteral("bench"), {}, {}})
                                           : Result<SavedPlan>(opened.failure());
    const double saving = double(timer.nsecsElapsed()) / 1e9;
    if (!saved || !saved->saved()) {
        std::printf("  not saved: %s\n", qPrintable(saved ? saved->refusalText() : saved.errorString()));
        return;
    }
    timer.restart();
    const Result<Pool> after = readPool(source, PoolFilter());
    std::printf("  14s40p saved and its 560 cells reserved (store opened, synchronous commit): %.3f s; the pool read "
                "again without them: %d cells, %.3f s\n",
                saving, after ? after->report.taken : -1, double(timer.nsecsElapsed()) / 1e9);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = std::max(1, intArgument(app.arguments(), QStringLiteral("--runs"), 3));
    const int large = std::max(560, intArgument(app.arguments(), QStringLiteral("--pool"), 20000));
    if (const int millions = intArgument(app.arguments(), QStringLiteral("--budget"), 0); millions > 0)
        g_budget = std::int64_t(millions) * 1000000;
    std::printf("peak memory before: %.1f MB\n", peakMegabytes());
    readAndSave(large);

    const std::vector<PoolCell> small = generatedPool(700, 4870, true);
    runCase("14s40p from 700 cells, without capacity", withoutCapacity(small), false, runs);
    runCase("14s40p from 700 cells, with capacity", small, true, runs);

    const std::vector<PoolCell> pool = generatedPool(large, 4871, true);
    runCase("14s40p from the large pool, without capacity", withoutCapacity(pool), false, runs);
    runCase("14s40p from the large pool, with capacity", pool, true, runs);

    std::printf("\nthe group window against the 700-cell plan with capacity (seed 1)\n");
    std::printf("  window mOhm  choosable  cap range mAh  group R range %%  worst in-group mOhm\n");
    QElapsedTimer timer;
    timer.start();
    const std::vector<double> windows{0.0005, 0.001, 0.002, 0.003, 0.005};
    for (const WindowTradeRow &row : windowTrade(small, packSettings(true), windows)) {
        if (row.planned)
            std::printf("  %11.1f  %9d  %13.1f  %15.4f  %19.3f\n", row.groupWindow * 1e3, row.choosableCells,
                        row.figures.capacityRangeMah, row.figures.groupResistanceRangePercent,
                        row.figures.worstGroupSpreadOhm * 1e3);
        else
            std::printf("  %11.1f  %9d  %s\n", row.groupWindow * 1e3, row.choosableCells, qPrintable(row.failure));
    }
    std::printf("  (%.2f s for the table)\n", double(timer.nsecsElapsed()) / 1e9);
    return 0;
}

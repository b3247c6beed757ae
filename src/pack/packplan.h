#pragma once

#include "common/result.h"
#include "pack/packfigures.h"
#include "pack/packsearch.h"
#include "pack/pool.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <vector>

// The name and version of the way planPack() chooses and arranges cells. A
// plan keeps it: the same version, input and seed give the same plan.
inline constexpr const char *kPackPlanAlgorithm = "bin4870 pack plan 1";

struct PlanSettings
{
    int series = 1;   // S groups in series
    int parallel = 1; // P cells in parallel in each group
    // The most max R - min R inside one group may be.
    double groupWindow = 10;
    SpreadUnit groupWindowUnit = SpreadUnit::Percent;
    // The most max V - min V over all the pack's cells may be.
    double voltageWindowV = 0.05;
    // Balance the groups' capacities too; only cells with a capacity are chosen.
    bool balanceCapacity = false;
    std::uint64_t seed = 1;
    // The search stops after weighing this many exchanges of two cells (some
    // 0.1 s of one core for 14s40p from 700 cells)...
    std::int64_t swapBudget = 10'000'000;
    // ... or after this many rounds (a shake-up of the best arrangement found
    // and a descent from there) without a better one.
    int stallRounds = 200;

    int cellCount() const { return series * parallel; }
};

struct Plan
{
    PlanSettings settings;
    QString algorithm;
    // SHA-256 (hex) of the canonical input: the pool in cell-ID order (the
    // fields the plan uses) and the settings, the seed aside, which the plan
    // keeps on its own.
    QString inputHash;
    // S groups of P cells; the groups by rising resistance, each group's
    // cells by rising resistance (then cell ID).
    PackGroups groups;
    PackFigures figures;
    ObjectiveScale scale;
    double objective = 0;
    PlanStop stop = PlanStop::Stalled;
    std::int64_t swapsWeighed = 0;
    int rounds = 0;
    // One last-digit step of the tester's resistance (the finest among the
    // cells) and of the capacity file; 0 when unknown.
    double resistanceStepOhm = 0;
    double capacityStepMah = 0;
    // The smallest group resistance range and capacity range that the
    // readings' last digits can tell from none: one step of one cell's
    // reading (resistanceStepOhm / P^2 for a group of equal cells).
    double groupResistanceStepOhm = 0;
    double groupCapacityStepMah = 0;
    int candidates = 0;        // cells within the chosen voltage window
    int withoutId = 0;         // pool cells left out for want of a cell ID
    int withoutCapacity = 0;   // pool cells left out for want of a capacity
    int withoutReading = 0;    // pool cells left out for want of a usable reading

    // "stopped: every spread below the tester's resolution", ...
    QString stopText() const;
    // The figures for the person who builds the pack, each only as far as the
    // data carry it, and what was left out.
    QStringList summaryLines() const;
};

// Chooses settings.cellCount() cells of pool and arranges them in groups so
// that the groups' capacities (when balanced) and resistances are as even as
// the search finds (objectiveOf()), every group within the group window and
// all cells within the voltage window.
//
// 1. Candidates: the pool's cells with a cell ID, a usable reading (and a
//    capacity when balanced), in cell-ID order, so the pool's order plays no
//    part.
// 2. Voltage windows: of every largest set of candidates within the voltage
//    window of each other, the three whose tightest run of S x P cells in
//    resistance order spans the least (then: more cells, lower voltage).
// 3. Start, in each window: that run dealt in a snake over resistance order
//    (groups 1..S, S..1, ...) when every group then keeps the group window;
//    otherwise in blocks of P neighbours, from the run or, failing that, S
//    runs of P neighbours that keep the window, as close together as they
//    come. The nearest unused cells of the window on either side (up to
//    max(S x P / 2, 32) each) and those between wait in a reserve.
// 4. Search (searchArrangement(), seeded): from a group at an end of the
//    capacity or resistance range, the best exchange of one of its cells with
//    a cell of another group or of the reserve; then, at a local optimum, a
//    few random exchanges from the best arrangement so far and a descent
//    again. A group beyond the window weighs far more than any range, so the
//    search may pass such arrangements but never keeps one.
// 5. Stop: every spread below the readings' last digit (groupCapacityStepMah,
//    groupResistanceStepOhm); stallRounds rounds without a better
//    arrangement; swapBudget exchanges weighed over all windows; or *cancel
//    set. The best window's plan is kept; one that reaches the readings' last
//    digit ends the search at once.
//
// Fails, saying why, for settings out of range, two pool cells with one ID, or
// too few cells: in the pool, with a capacity, within the voltage window or
// able to keep every group within the group window.
Result<Plan> planPack(const std::vector<PoolCell> &pool, const PlanSettings &settings,
                      const std::atomic<bool> *cancel = nullptr);

// What narrowing or widening the group window does to the plan.
struct WindowTradeRow
{
    double groupWindow = 0; // in the settings' unit
    // The most cells in the chosen voltage window whose resistances all lie
    // within groupWindow of each other (for Percent: of their mean).
    int choosableCells = 0;
    bool planned = false;
    PackFigures figures; // when planned
    double objective = 0;
    QString failure;     // when not
};

// A plan (with the settings given, but the group window) for each window;
// the windows not yet planned when *cancel is set are left out.
std::vector<WindowTradeRow> windowTrade(const std::vector<PoolCell> &pool, const PlanSettings &settings,
                                        const std::vector<double> &windows, const std::atomic<bool> *cancel = nullptr);

// The windows the trade shows around a group window: a quarter, a half, the
// window itself, twice and four times it.
std::vector<double> tradeWindowsAround(double window);

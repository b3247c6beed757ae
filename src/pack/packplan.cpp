#include "pack/packplan.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace {
struct PlanTexts
{
    Q_DECLARE_TR_FUNCTIONS(PackPlan)
};

constexpr int kMaxPackCells = 100000;
// Voltages closer than this to the window's edge are inside it: far below the
// tester's last digit, far above the rounding of the subtraction.
constexpr double kVoltageSlack = 1e-9;
// Voltage windows searched, each from its own start.
constexpr int kVoltageStarts = 3;
// Unused cells kept at hand on either side of the chosen ones: at least this
// many, or half the pack's cells.
constexpr int kMinReserveSide = 32;

QString packName(const PlanSettings &settings)
{
    return QStringLiteral("%1s%2p").arg(settings.series).arg(settings.parallel);
}

QString number(double value, int significant = 4)
{
    return QLocale::c().toString(value, 'g', significant);
}

QString ohmsText(double ohm)
{
    return PlanTexts::tr("%1 mOhm").arg(number(ohm * 1000));
}

QString windowText(double window, SpreadUnit unit)
{
    return unit == SpreadUnit::Percent ? PlanTexts::tr("%1 %").arg(number(window)) : ohmsText(window);
}

std::optional<QString> settingsProblem(const PlanSettings &s)
{
    if (s.series < 1 || s.parallel < 1)
        return PlanTexts::tr("A pack needs at least one group in series and one cell in parallel.");
    if (qint64(s.series) * s.parallel > kMaxPackCells)
        return PlanTexts::tr("A pack of more than %1 cells is beyond the planner.").arg(kMaxPackCells);
    if (!std::isfinite(s.groupWindow) || s.groupWindow <= 0)
        return PlanTexts::tr("The group window must be above 0.");
    if (!std::isfinite(s.voltageWindowV) || s.voltageWindowV < 0)
        return PlanTexts::tr("The voltage window must be 0 V or more.");
    if (s.swapBudget < 1 || s.stallRounds < 1)
        return PlanTexts::tr("The search needs a budget and a number of rounds of at least 1.");
    return std::nullopt;
}

QByteArray canonicalInput(const std::vector<PoolCell> &cells, const PlanSettings &s)
{
    const auto n = [](double value) { return QByteArray::number(value, 'g', 17); };
    // Texts percent-encoded, so that no tab or line break inside one can
    // make two inputs read alike.
    const auto t = [](const QString &text) { return text.toUtf8().toPercentEncoding(); };
    QByteArray text = QByteArray(kPackPlanAlgorithm) + '\n';
    text += "series=" + QByteArray::number(s.series) + " parallel=" + QByteArray::number(s.parallel)
          + " groupWindow=" + n(s.groupWindow) + (s.groupWindowUnit == SpreadUnit::Percent ? "%" : "ohm")
          + " voltageWindow=" + n(s.voltageWindowV) + " capacity=" + (s.balanceCapacity ? "1" : "0")
          + " budget=" + QByteArray::number(qint64(s.swapBudget)) + " stall=" + QByteArray::number(s.stallRounds)
          + '\n';
    for (const PoolCell &c : cells) {
        text += t(c.cellId) + '\t' + c.recordId.toByteArray(QUuid::WithoutBraces) + '\t' + t(c.resistanceText)
              + '\t' + n(c.resistanceOhm) + '\t' + t(c.voltageText) + '\t' + n(c.voltageV) + '\t'
              + t(c.capacityText) + '\t'
              + (c.capacityMah ? n(*c.capacityMah) : QByteArray("-")) + '\n';
    }
    return text;
}

// The candidates within one voltage window, by rising resistance, and where
// the tightest run of the pack's cells starts among them.
struct VoltageWindow
{
    std::vector<int> byResistance; // indices into the candidates
    int runStart = 0;
};

struct VoltageChoice
{
    std::vector<VoltageWindow> windows; // the best first
    int mostInAnyWindow = 0;            // the most candidates any voltage window holds
};

// The windows a plan searches: of every largest set of candidates within the
// voltage window of each other, up to kVoltageStarts whose tightest run of
// `needed` cells in resistance order spans the least (then: more cells, lower
// voltage).
VoltageChoice chooseVoltageWindows(const std::vector<PoolCell> &cells, int needed, double window)
{
    const int count = int(cells.size());
    std::vector<int> byV(static_cast<std::size_t>(count)), byR(static_cast<std::size_t>(count));
    std::iota(byV.begin(), byV.end(), 0);
    std::iota(byR.begin(), byR.end(), 0);
    const auto v = [&cells](int i) { return cells[std::size_t(i)].voltageV; };
    const auto r = [&cells](int i) { return cells[std::size_t(i)].resistanceOhm; };
    std::sort(byV.begin(), byV.end(), [&](int a, int b) { return v(a) != v(b) ? v(a) < v(b) : a < b; });
    std::sort(byR.begin(), byR.end(), [&](int a, int b) { return r(a) != r(b) ? r(a) < r(b) : a < b; });

    struct Ranked
    {
        double span;
        int members;
        double low;
        int runStart;
    };
    std::vector<Ranked> ranked;
    VoltageChoice choice;
    int end = 0;
    int previousEnd = -1;
    std::vector<double> inside;
    for (int start = 0; start < count; ++start) {
        const double low = v(byV[std::size_t(start)]);
        if (start > 0 && low == v(byV[std::size_t(start - 1)]))
            continue;
        while (end < count && v(byV[std::size_t(end)]) <= low + window + kVoltageSlack)
            ++end;
        // Only a window that is no part of the one before is worth a look.
        if (end <= previousEnd)
            continue;
        previousEnd = end;
        const int members = end - start;
        choice.mostInAnyWindow = std::max(choice.mostInAnyWindow, members);
        if (members < needed)
            continue;
        const double high = low + window + kVoltageSlack;
        inside.clear();
        for (int i : byR) {
            if (v(i) >= low && v(i) <= high)
                inside.push_back(r(i));
        }
        Ranked candidate{std::numeric_limits<double>::infinity(), members, low, 0};
        for (std::size_t k = 0; k + std::size_t(needed) <= inside.size(); ++k) {
            const double span = inside[k + std::size_t(needed) - 1] - inside[k];
            if (span < candidate.span) {
                candidate.span = span;
                candidate.runStart = int(k);
            }
        }
        const auto before = [](const Ranked &a, const Ranked &b) {
            return a.span != b.span ? a.span < b.span : a.members != b.members ? a.members > b.members : a.low < b.low;
        };
        ranked.insert(std::upper_bound(ranked.begin(), ranked.end(), candidate, before), candidate);
        if (ranked.size() > std::size_t(kVoltageStarts))
            ranked.pop_back();
    }
    for (const Ranked &w : ranked) {
        VoltageWindow chosen;
        chosen.runStart = w.runStart;
        const double high = w.low + window + kVoltageSlack;
        for (int i : byR) {
            if (v(i) >= w.low && v(i) <= high)
                chosen.byResistance.push_back(i);
        }
        choice.windows.push_back(std::move(chosen));
    }
    return choice;
}

// Whether every group of positions (into byR's resistances) keeps the window.
bool groupsFit(const std::vector<std::vector<int>> &groups, const std::vector<double> &resistance,
               const PlanSettings &s)
{
    for (const auto &group : groups) {
        double low = std::numeric_limits<double>::infinity(), high = -low, sum = 0;
        for (int i : group) {
            low = std::min(low, resistance[std::size_t(i)]);
            high = std::max(high, resistance[std::size_t(i)]);
            sum += resistance[std::size_t(i)];
        }
        if (!spreadWithin(high - low, sum / double(group.size()), s.groupWindow, s.groupWindowUnit))
            return false;
    }
    return true;
}

// Disjoint runs of P neighbours in resistance order that keep the window,
// found from the lowest resistance up (which finds the most such runs).
std::vector<int> fittingBlockStarts(const std::vector<double> &resistance, const PlanSettings &s)
{
    std::vector<int> starts;
    const int p = s.parallel;
    const int count = int(resistance.size());
    for (int k = 0; k + p <= count;) {
        double windowSum = 0;
        for (int i = k; i < k + p; ++i)
            windowSum += resistance[std::size_t(i)];
        if (spreadWithin(resistance[std::size_t(k + p - 1)] - resistance[std::size_t(k)], windowSum / p,
                         s.groupWindow, s.groupWindowUnit)) {
            starts.push_back(k);
            k += p;
        } else {
            ++k;
        }
    }
    return starts;
}

struct StartArrangement
{
    std::vector<std::vector<int>> groups; // positions in the voltage choice's resistance order
    std::vector<int> reserve;
    QString failure;
};

// The start of the search: the tightest run dealt in a snake, or in blocks of
// neighbours when the snake's groups would not keep the window; the reserve
// around them.
StartArrangement startArrangement(const std::vector<double> &resistance, int runStart, const PlanSettings &s)
{
    StartArrangement start;
    const int groups = s.series, p = s.parallel;
    start.groups.assign(std::size_t(groups), {});
    for (int t = 0; t < groups * p; ++t) {
        const int pass = t / groups, at = t % groups;
        start.groups[std::size_t(pass % 2 == 0 ? at : groups - 1 - at)].push_back(runStart + t);
    }
    if (!groupsFit(start.groups, resistance, s)) {
        for (int g = 0; g < groups; ++g) {
            start.groups[std::size_t(g)].clear();
            for (int i = 0; i < p; ++i)
                start.groups[std::size_t(g)].push_back(runStart + g * p + i);
        }
    }
    if (!groupsFit(start.groups, resistance, s)) {
        // The tightest run's neighbours are too far apart; S runs of P
        // neighbours that keep the window, as close together as they come.
        const std::vector<int> blocks = fittingBlockStarts(resistance, s);
        if (int(blocks.size()) < groups) {
            start.failure = PlanTexts::tr("With a group window of %1, only %n group(s) of %2 cells keep within it "
                                          "among the cells of the voltage window; the pack needs %3.",
                                          nullptr, int(blocks.size()))
                                    .arg(windowText(s.groupWindow, s.groupWindowUnit))
                                    .arg(p)
                                    .arg(groups);
            return start;
        }
        std::size_t first = 0;
        double narrowest = std::numeric_limits<double>::infinity();
        for (std::size_t b = 0; b + std::size_t(groups) <= blocks.size(); ++b) {
            const double span = resistance[std::size_t(blocks[b + std::size_t(groups) - 1] + p - 1)]
                    - resistance[std::size_t(blocks[b])];
            if (span < narrowest) {
                narrowest = span;
                first = b;
            }
        }
        for (int g = 0; g < groups; ++g) {
            start.groups[std::size_t(g)].clear();
            for (int i = 0; i < p; ++i)
                start.groups[std::size_t(g)].push_back(blocks[first + std::size_t(g)] + i);
        }
    }
    int low = std::numeric_limits<int>::max(), high = -1;
    std::vector<bool> used(resistance.size(), false);
    for (const auto &group : start.groups) {
        for (int i : group) {
            used[std::size_t(i)] = true;
            low = std::min(low, i);
            high = std::max(high, i);
        }
    }
    const int side = std::max(groups * p / 2, kMinReserveSide);
    const int from = std::max(0, low - side);
    const int to = std::min(int(resistance.size()) - 1, high + side);
    for (int i = from; i <= to; ++i) {
        if (!used[std::size_t(i)])
            start.reserve.push_back(i);
    }
    return start;
}

// The most of the cells (by rising resistance) whose resistances lie within
// the window of each other.
int mostWithinWindow(const std::vector<double> &resistance, double window, SpreadUnit unit)
{
    int most = 0;
    double sum = 0;
    std::size_t low = 0;
    for (std::size_t high = 0; high < resistance.size(); ++high) {
        sum += resistance[high];
        while (!spreadWithin(resistance[high] - resistance[low], sum / double(high - low + 1), window, unit)) {
            sum -= resistance[low];
            ++low;
        }
        most = std::max(most, int(high - low + 1));
    }
    return most;
}

// The pool in canonical order, the usable candidates and what the plan's
// input says before any search: everything planPack() and windowTrade() share.
struct Prepared
{
    std::vector<PoolCell> cells;           // the pool by cell ID
    std::vector<PoolCell> candidates;      // those the plan may choose, by cell ID
    int withoutId = 0;
    int withoutCapacity = 0;
    int withoutReading = 0;
    VoltageChoice voltage;
};

// The resistances of a window's cells, in its order.
std::vector<double> resistancesOf(const Prepared &p, const VoltageWindow &window)
{
    std::vector<double> resistance;
    for (int i : window.byResistance)
        resistance.push_back(p.candidates[std::size_t(i)].resistanceOhm);
    return resistance;
}

Result<Prepared> prepare(const std::vector<PoolCell> &pool, const PlanSettings &s)
{
    if (const auto problem = settingsProblem(s))
        return Failure(*problem);
    Prepared p;
    p.cells = pool;
    std::sort(p.cells.begin(), p.cells.end(), [](const PoolCell &a, const PoolCell &b) {
        return a.cellId != b.cellId ? a.cellId < b.cellId : a.recordId.toString() < b.recordId.toString();
    });
    for (std::size_t i = 1; i < p.cells.size(); ++i) {
        if (p.cells[i].cellId == p.cells[i - 1].cellId)
            return Failure(PlanTexts::tr("Cell %1 is in the pool twice; a cell can go into a pack only once.")
                                   .arg(p.cells[i].cellId));
    }
    for (const PoolCell &cell : p.cells) {
        if (cell.cellId.isEmpty())
            ++p.withoutId;
        else if (!hasUsableReading(cell.resistanceOhm, cell.voltageV))
            ++p.withoutReading;
        else if (s.balanceCapacity && !(cell.capacityMah && *cell.capacityMah > 0))
            ++p.withoutCapacity;
        else
            p.candidates.push_back(cell);
    }
    const int needed = s.cellCount();
    const int count = int(p.candidates.size());
    if (count < needed) {
        if (s.balanceCapacity && p.withoutCapacity > 0)
            return Failure(PlanTexts::tr("Too few cells: a %1 pack needs %2 cells with a capacity; the pool has %n.",
                                         nullptr, count)
                                   .arg(packName(s))
                                   .arg(needed));
        return Failure(PlanTexts::tr("Too few cells: a %1 pack needs %2 cells; the pool has %n with a usable "
                                     "reading.", nullptr, count)
                               .arg(packName(s))
                               .arg(needed));
    }
    p.voltage = chooseVoltageWindows(p.candidates, needed, s.voltageWindowV);
    if (p.voltage.windows.empty())
        return Failure(PlanTexts::tr("The voltage window leaves too few cells: within %1 V of each other lie at most "
                                     "%n cell(s); a %2 pack needs %3.", nullptr, p.voltage.mostInAnyWindow)
                               .arg(number(s.voltageWindowV))
                               .arg(packName(s))
                               .arg(needed));
    return p;
}

double finestStep(const std::vector<PoolCell> &cells, QString PoolCell::*text)
{
    double finest = 0;
    for (const PoolCell &cell : cells) {
        if (const auto step = lastDigitStep(cell.*text); step && *step > 0 && (finest == 0 || *step < finest))
            finest = *step;
    }
    return finest;
}

} // namespace

Result<Plan> planPack(const std::vector<PoolCell> &pool, const PlanSettings &settings, const std::atomic<bool> *cancel)
{
    Result<Prepared> prepared = prepare(pool, settings);
    if (!prepared)
        return prepared.failure();
    const Prepared &p = *prepared;

    Plan plan;
    plan.settings = settings;
    plan.algorithm = QString::fromLatin1(kPackPlanAlgorithm);
    plan.inputHash = QString::fromLatin1(
            QCryptographicHash::hash(canonicalInput(p.cells, settings), QCryptographicHash::Sha256).toHex());
    plan.withoutId = p.withoutId;
    plan.withoutCapacity = p.withoutCapacity;
    plan.withoutReading = p.withoutReading;

    double capacitySum = 0, resistanceSum = 0;
    for (const PoolCell &cell : p.candidates) {
        capacitySum += cell.capacityMah.value_or(0);
        resistanceSum += cell.resistanceOhm;
    }
    const double count = double(p.candidates.size());
    if (settings.balanceCapacity)
        plan.scale.capacityMah = settings.parallel * capacitySum / count;
    plan.scale.resistanceOhm = resistanceSum / count / settings.parallel;
    plan.resistanceStepOhm = finestStep(p.candidates, &PoolCell::resistanceText);
    plan.groupResistanceStepOhm = plan.resistanceStepOhm / (double(settings.parallel) * settings.parallel);
    if (settings.balanceCapacity) {
        plan.capacityStepMah = finestStep(p.candidates, &PoolCell::capacityText);
        plan.groupCapacityStepMah = plan.capacityStepMah;
    }

    SearchLimits limits;
    limits.groupWindow = settings.groupWindow;
    limits.groupWindowUnit = settings.groupWindowUnit;
    limits.scale = plan.scale;
    limits.capacityStepMah = plan.groupCapacityStepMah;
    limits.resistanceStepOhm = plan.groupResistanceStepOhm;
    limits.stallRounds = settings.stallRounds;
    limits.seed = settings.seed;
    limits.cancel = cancel;

    // Each voltage window from its own start, with what is left of the
    // budget; the best plan wins (the first on a tie). A search that reaches
    // the resolution or is cancelled ends the planning.
    QString failure;
    const VoltageWindow *bestWindow = nullptr;
    double bestObjective = std::numeric_limits<double>::infinity();
    for (const VoltageWindow &window : p.voltage.windows) {
        if (plan.swapsWeighed >= settings.swapBudget)
            break;
        const StartArrangement start = startArrangement(resistancesOf(p, window), window.runStart, settings);
        if (!start.failure.isEmpty()) {
            if (failure.isEmpty())
                failure = start.failure;
            continue;
        }
        // The search works on positions in the window's resistance order.
        std::vector<SearchCell> cells;
        for (int i : window.byResistance) {
            const PoolCell &cell = p.candidates[std::size_t(i)];
            cells.push_back({cell.resistanceOhm, settings.balanceCapacity ? *cell.capacityMah : 0.0});
        }
        limits.swapBudget = settings.swapBudget - plan.swapsWeighed;
        const SearchOutcome outcome = searchArrangement(cells, start.groups, start.reserve, limits);
        plan.swapsWeighed += outcome.swapsWeighed;
        plan.rounds += outcome.rounds;
        PackGroups groups;
        for (const auto &positions : outcome.groups) {
            std::vector<PoolCell> group;
            for (int position : positions)
                group.push_back(p.candidates[std::size_t(window.byResistance[std::size_t(position)])]);
            groups.push_back(std::move(group));
        }
        const double objective = objectiveOf(figuresOf(groups), plan.scale);
        const PlanStop stop = outcome.stop;
        if (objective < bestObjective || stop == PlanStop::Resolution) {
            bestObjective = objective;
            bestWindow = &window;
            plan.stop = stop;
            plan.groups = std::move(groups);
        }
        if (stop == PlanStop::Cancelled)
            plan.stop = PlanStop::Cancelled;
        if (stop == PlanStop::Resolution || stop == PlanStop::Cancelled)
            break;
    }
    if (!bestWindow)
        return Failure(failure);

    for (auto &group : plan.groups) {
        std::sort(group.begin(), group.end(), [](const PoolCell &a, const PoolCell &b) {
            return a.resistanceOhm != b.resistanceOhm ? a.resistanceOhm < b.resistanceOhm : a.cellId < b.cellId;
        });
    }
    const auto groupResistance = [](const std::vector<PoolCell> &group) {
        double conductance = 0;
        for (const PoolCell &cell : group)
            conductance += 1 / cell.resistanceOhm;
        return 1 / conductance;
    };
    std::sort(plan.groups.begin(), plan.groups.end(), [&](const auto &a, const auto &b) {
        const double ra = groupResistance(a), rb = groupResistance(b);
        return ra != rb ? ra < rb : a.front().cellId < b.front().cellId;
    });
    plan.candidates = int(bestWindow->byResistance.size());
    plan.figures = figuresOf(plan.groups);
    plan.objective = objectiveOf(plan.figures, plan.scale);
    return plan;
}

std::vector<double> tradeWindowsAround(double window)
{
    return {window / 4, window / 2, window, window * 2, window * 4};
}

std::vector<WindowTradeRow> windowTrade(const std::vector<PoolCell> &pool, const PlanSettings &settings,
                                        const std::vector<double> &windows, const std::atomic<bool> *cancel)
{
    std::vector<WindowTradeRow> rows;
    for (double window : windows) {
        if (cancel && cancel->load())
            break;
        WindowTradeRow row;
        row.groupWindow = window;
        PlanSettings s = settings;
        s.groupWindow = window;
        if (const Result<Prepared> prepared = prepare(pool, s))
            row.choosableCells = mostWithinWindow(resistancesOf(*prepared, prepared->voltage.windows.front()), window,
                                                  s.groupWindowUnit);
        const Result<Plan> plan = planPack(pool, s, cancel);
        if (plan && plan->stop == PlanStop::Cancelled)
            break;
        if (plan) {
            row.planned = true;
            row.figures = plan->figures;
            row.objective = plan->objective;
        } else {
            row.failure = plan.errorString();
        }
        rows.push_back(row);
    }
    return rows;
}

QString Plan::stopText() const
{
    switch (stop) {
    case PlanStop::Resolution:
        return PlanTexts::tr("stopped: every spread below the tester's resolution");
    case PlanStop::Stalled:
        return PlanTexts::tr("stopped: no better arrangement in the last %n round(s)", nullptr, settings.stallRounds);
    case PlanStop::Budget:
        return PlanTexts::tr("stopped at the search budget: %1 exchanges weighed").arg(swapsWeighed);
    case PlanStop::Cancelled:
        return PlanTexts::tr("cancelled: the best arrangement found until then");
    }
    return QString();
}

QStringList Plan::summaryLines() const
{
    QStringList lines;
    const PackFigures &f = figures;
    lines << PlanTexts::tr("%1 pack, %n cell(s) within the voltage window to choose from", nullptr, candidates)
                     .arg(packName(settings));
    if (f.hasCapacity) {
        QString line = PlanTexts::tr("Capacity range between groups: %1 mAh (%2 %)")
                               .arg(number(f.capacityRangeMah), number(f.capacityRangePercent, 3));
        if (groupCapacityStepMah > 0 && f.capacityRangeMah < groupCapacityStepMah)
            line += PlanTexts::tr(", below the capacity file's last digit");
        lines << line;
        lines << PlanTexts::tr("Expected pack capacity: %1 mAh (the smallest group)").arg(number(f.packCapacityMah, 7));
    } else {
        lines << PlanTexts::tr("Capacity: not known; the groups are balanced on the measured resistance alone");
    }
    QString resistanceLine = PlanTexts::tr("Group resistance range: %1 (%2 %)")
                                     .arg(ohmsText(f.groupResistanceRangeOhm), number(f.groupResistanceRangePercent, 3));
    if (groupResistanceStepOhm > 0 && f.groupResistanceRangeOhm < groupResistanceStepOhm)
        resistanceLine += PlanTexts::tr(", below the tester's resolution");
    else if (resistanceStepOhm <= 0)
        resistanceLine += PlanTexts::tr(" (the tester's resolution is not known)");
    lines << resistanceLine;
    lines << PlanTexts::tr("Widest resistance spread inside a group: %1 (%2 %), group %3")
                     .arg(ohmsText(f.worstGroupSpreadOhm), number(f.worstGroupSpreadPercent, 3))
                     .arg(f.worstGroup + 1);
    lines << PlanTexts::tr("Voltage spread: %1 V").arg(number(f.voltageSpreadV));
    lines << PlanTexts::tr("Expected pack resistance: %1 (the groups' resistances added up)")
                     .arg(ohmsText(f.packResistanceOhm));
    if (withoutCapacity > 0)
        lines << PlanTexts::tr("%n cell(s) of the pool left out for want of a capacity", nullptr, withoutCapacity);
    if (withoutId > 0)
        lines << PlanTexts::tr("%n cell(s) of the pool left out for want of a cell ID (a pack is placed by scan)",
                               nullptr, withoutId);
    if (withoutReading > 0)
        lines << PlanTexts::tr("%n cell(s) of the pool left out for want of a usable reading", nullptr, withoutReading);
    lines << stopText();
    return lines;
}

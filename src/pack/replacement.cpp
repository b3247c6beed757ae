#include "pack/replacement.h"

#include <algorithm>
#include <limits>
#include <set>

ObjectiveScale scaleOfPack(const PackGroups &groups, bool balanceCapacity)
{
    ObjectiveScale scale;
    double capacity = 0, resistance = 0;
    int cells = 0;
    for (const auto &group : groups) {
        for (const PoolCell &cell : group) {
            capacity += cell.capacityMah.value_or(0);
            resistance += cell.resistanceOhm;
            ++cells;
        }
    }
    if (cells == 0 || groups.empty())
        return scale;
    const double parallel = double(cells) / double(groups.size());
    if (balanceCapacity)
        scale.capacityMah = parallel * capacity / cells;
    scale.resistanceOhm = resistance / cells / parallel;
    return scale;
}

std::vector<ReplacementChoice> rankReplacements(const PackGroups &groups, int group,
                                                const std::vector<PoolCell> &pool, const PlanSettings &settings,
                                                int most)
{
    std::vector<ReplacementChoice> ranked;
    if (group < 0 || group >= int(groups.size()) || most < 1)
        return ranked;
    std::set<QString> inPack;
    double lowV = std::numeric_limits<double>::infinity(), highV = -lowV;
    for (const auto &g : groups) {
        for (const PoolCell &cell : g) {
            inPack.insert(cell.cellId);
            lowV = std::min(lowV, cell.voltageV);
            highV = std::max(highV, cell.voltageV);
        }
    }
    // The scale of the pack as planned: with a cell in the free place, which
    // any candidate fills about as well.
    const ObjectiveScale scale = scaleOfPack(groups, settings.balanceCapacity);
    constexpr double kVoltageSlack = 1e-9;
    PackGroups trial = groups;
    std::vector<PoolCell> &place = trial[std::size_t(group)];
    for (const PoolCell &cell : pool) {
        if (cell.cellId.isEmpty() || inPack.count(cell.cellId) || !hasUsableReading(cell.resistanceOhm, cell.voltageV))
            continue;
        if (settings.balanceCapacity && !(cell.capacityMah && *cell.capacityMah > 0))
            continue;
        if (std::max(highV, cell.voltageV) - std::min(lowV, cell.voltageV) > settings.voltageWindowV + kVoltageSlack)
            continue;
        place.push_back(cell);
        const GroupFigures figures = groupFiguresOf(place);
        if (spreadWithin(figures.spreadOhm, figures.meanOhm, settings.groupWindow, settings.groupWindowUnit)) {
            ReplacementChoice choice;
            choice.cell = cell;
            choice.figures = figuresOf(trial);
            choice.group = figures;
            choice.objective = objectiveOf(choice.figures, scale);
            ranked.push_back(std::move(choice));
        }
        place.pop_back();
    }
    std::sort(ranked.begin(), ranked.end(), [](const ReplacementChoice &a, const ReplacementChoice &b) {
        return a.objective != b.objective ? a.objective < b.objective : a.cell.cellId < b.cell.cellId;
    });
    if (ranked.size() > std::size_t(most))
        ranked.resize(std::size_t(most));
    return ranked;
}

#pragma once

#include "pack/packfigures.h"
#include "pack/packplan.h"

#include <QString>

#include <vector>

// A cell that may take the place of one that failed while the pack was built.
struct ReplacementChoice
{
    PoolCell cell;
    PackFigures figures;  // the pack's with the cell in that place
    GroupFigures group;   // its group's
    double objective = 0; // objectiveOf(figures, the pack's scale)
};

// The scale a built pack is weighed with: from its own cells, as planPack()
// takes it from the cells it may choose (P times their mean capacity, their
// mean resistance divided by P).
ObjectiveScale scaleOfPack(const PackGroups &groups, bool balanceCapacity);

// The cells of pool that may take a free place in group `group` (counted from
// 0) of groups, the pack as it stands without the failed cell, best first: the
// lowest objective, then the cell ID. A cell qualifies when it has a cell ID
// and a usable reading (and a capacity when the plan balanced capacity), is
// not in the pack already, keeps its group within the group window and every
// cell of the pack within the voltage window. At most `most` of them.
std::vector<ReplacementChoice> rankReplacements(const PackGroups &groups, int group,
                                                const std::vector<PoolCell> &pool, const PlanSettings &settings,
                                                int most);

#pragma once

#include "pack/packfigures.h"

#include <atomic>
#include <cstdint>
#include <vector>

// Why a plan search stopped.
enum class PlanStop {
    Resolution, // every spread below the readings' last digit
    Stalled,    // rounds without a better arrangement
    Budget,     // the exchanges to weigh were used up
    Cancelled,
};

// What the search needs of a cell.
struct SearchCell
{
    double resistanceOhm = 0; // above 0
    double capacityMah = 0;   // 0 when capacity is not balanced
};

struct SearchLimits
{
    double groupWindow = 0;
    SpreadUnit groupWindowUnit = SpreadUnit::Ohm;
    ObjectiveScale scale;              // a capacity scale of 0: capacity is not weighed
    double capacityStepMah = 0;        // stop once the capacity range is below this...
    double resistanceStepOhm = 0;      // ... and the group resistance range below this; 0: never
    std::int64_t swapBudget = 0;
    int stallRounds = 0;
    std::uint64_t seed = 0;
    const std::atomic<bool> *cancel = nullptr;
};

struct SearchOutcome
{
    std::vector<std::vector<int>> groups; // the best arrangement found
    PlanStop stop = PlanStop::Stalled;
    std::int64_t swapsWeighed = 0;
    int rounds = 0;
};

// Improves an arrangement of cells by exchanging two cells at a time, between
// groups or with the reserve (indices of cells in no group). The objective is
// objectiveOf(), the sum of squared deviations of the groups' scaled
// capacities and resistances breaking its ties. The start must keep the group
// window, and so does the arrangement returned; on the way a group may leave
// it, weighed far above any range. See planPack() for the steps. The same
// cells, start, reserve and limits give the same outcome.
SearchOutcome searchArrangement(const std::vector<SearchCell> &cells, const std::vector<std::vector<int>> &start,
                                const std::vector<int> &reserve, const SearchLimits &limits);

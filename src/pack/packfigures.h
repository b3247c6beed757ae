#pragma once

#include "pack/pool.h"

#include <QString>

#include <optional>
#include <vector>

enum class SpreadUnit {
    Ohm,
    Percent, // of the group's mean resistance
};

// Whether a group whose resistances span spanOhm around a mean of meanOhm
// keeps within window (in unit). The bound is inclusive, give or take the
// rounding of the subtraction.
bool spreadWithin(double spanOhm, double meanOhm, double window, SpreadUnit unit);

// S series groups of P parallel cells each.
using PackGroups = std::vector<std::vector<PoolCell>>;

// How even a pack's groups are and what the pack is expected to give. A
// group's resistance is its cells' parallel resistance, 1 / sum(1 / R).
struct PackFigures
{
    // Every cell has a capacity; without, the capacity figures are 0 and
    // mean nothing.
    bool hasCapacity = false;
    double capacityRangeMah = 0;     // largest minus smallest group capacity
    double capacityRangePercent = 0; // of the mean group capacity
    double packCapacityMah = 0;      // the smallest group's capacity
    double groupResistanceRangeOhm = 0;
    double groupResistanceRangePercent = 0; // of the mean group resistance
    double worstGroupSpreadOhm = 0;  // the largest max R - min R inside one group
    double worstGroupSpreadPercent = 0; // of that group's mean R
    int worstGroup = 0;              // that group's index
    double voltageSpreadV = 0;       // max V - min V over every cell
    double packResistanceOhm = 0;    // the groups' resistances added up
};

// The figures of groups; all 0 for no groups or empty ones.
PackFigures figuresOf(const PackGroups &groups);

// One group's figures: its parallel resistance, its capacity (every cell has
// one, or hasCapacity is false) and the spread of its cells' resistances.
struct GroupFigures
{
    int cells = 0;
    double resistanceOhm = 0;
    bool hasCapacity = false;
    double capacityMah = 0;
    double spreadOhm = 0;     // max R - min R
    double spreadPercent = 0; // of the cells' mean R
    double meanOhm = 0;
};

// All 0 for an empty group.
GroupFigures groupFiguresOf(const std::vector<PoolCell> &group);

// What the plan search makes small: the capacity range and the group
// resistance range, each divided by a fixed scale, and added. The scales come
// from the cells the plan may choose (P times their mean capacity, their mean
// resistance divided by P), so that a plan is weighed the same whatever cells
// it holds. A scale of 0 leaves its range out.
struct ObjectiveScale
{
    double capacityMah = 0;
    double resistanceOhm = 0;
};

double objectiveOf(const PackFigures &figures, const ObjectiveScale &scale);

// One step of the last digit of a reading as the tester or a capacity file
// writes it: "37.352E-3" gives 0.000001, "3.6012E+0" 0.0001, "3012" 1 and
// "3012,5" 0.1. Nothing for a text that is no such number.
std::optional<double> lastDigitStep(const QString &text);

#pragma once

#include <QtGlobal>

struct BinTable;

#include <array>
#include <map>
#include <optional>
#include <vector>

// Statistical process control of one quantity in record order: individuals and
// moving-range (I-MR) control limits, run rules, and capability against a pair
// of outer BIN limits. Everything is fed one value at a time, so a shift of
// any length needs the same memory.
namespace spc {

// The moving-range constants for subgroups of two.
constexpr double kIndividualsFactor = 2.66;  // 3 / d2, d2 = 1.128
constexpr double kMovingRangeFactor = 3.267; // D4
constexpr double kD2 = 1.128;

// Centre lines and control limits of an I-MR chart pair.
struct ControlLimits
{
    qint64 count = 0;
    double centre = 0;          // mean of the individuals
    double meanMovingRange = 0; // mean of |x(i) - x(i-1)|
    double lower = 0;           // centre - 2.66 x mean moving range
    double upper = 0;           // centre + 2.66 x mean moving range
    double movingRangeUpper = 0; // 3.267 x mean moving range; its lower limit is 0
    // The within sigma the limits stand for: mean moving range / d2, so that
    // the control limits are centre +/- 3 sigma.
    double sigma = 0;

    // Limits need at least two values (one moving range).
    bool valid() const { return count >= 2; }
};

// First pass: mean and mean moving range.
class LimitsAccumulator
{
public:
    void add(double value);
    ControlLimits limits() const;
    qint64 count() const { return m_count; }

private:
    qint64 m_count = 0;
    double m_mean = 0;
    double m_rangeSum = 0;
    double m_previous = 0;
};

ControlLimits controlLimits(const std::vector<double> &values);
// The limits of `count` values with this mean and this sum of the count - 1
// moving ranges (as a database sums them).
ControlLimits limitsFrom(qint64 count, double mean, double movingRangeSum);

// The run rules a point can break.
enum Rule : unsigned {
    BeyondLimits = 1u << 0,      // the individual is beyond a control limit
    EightOnOneSide = 1u << 1,    // the eighth (or later) point in a row on one side of the centre line
    TwoOfThreeBeyond2Sigma = 1u << 2, // two of three points in a row beyond 2 sigma on one side; marks the
                                      // point that makes it, which is itself beyond 2 sigma
    RangeBeyondLimit = 1u << 3,  // the moving range ending at this point is above its upper limit
};
constexpr int kRuleCount = 4;
// Short text of each rule, in bit order; translated in the context "ProcessStats".
const char *ruleText(Rule rule);

struct RuleMark
{
    qint64 index = 0; // the point's position in record order, from 0
    double value = 0;
    unsigned rules = 0;
};

// Second pass: checks every point against limits worked out beforehand.
// Keeps the count of marks per rule and the first `keep` marks.
class RuleScanner
{
public:
    explicit RuleScanner(const ControlLimits &limits, std::size_t keep = 1000);

    // The rules point `value` breaks (0 for none).
    unsigned add(double value);

    const std::vector<RuleMark> &marks() const { return m_marks; }
    qint64 markedPoints() const { return m_markedPoints; }
    qint64 count(Rule rule) const;

private:
    ControlLimits m_limits;
    std::size_t m_keep;
    qint64 m_index = 0;
    double m_previous = 0;
    int m_runSide = 0; // +1 above, -1 below, 0 on the centre line or no point yet
    qint64 m_runLength = 0;
    std::array<int, 3> m_zone{}; // +1 / -1 beyond 2 sigma above / below, 0 within, newest last
    std::array<qint64, kRuleCount> m_counts{};
    qint64 m_markedPoints = 0;
    std::vector<RuleMark> m_marks;
};

// Cp and Cpk against the outer BIN limits in use (the lowest lower and highest upper limit). A missing limit makes
// the index one-sided: Cp is then not defined and Cpk is the one side's index.
struct Capability
{
    enum class Status {
        Ok,
        TooFewValues, // fewer than two values: no moving range, no sigma
        NoLimits,     // neither limit given
        NoSpread,     // sigma is 0: every value alike; the indices are not defined
    };
    Status status = Status::TooFewValues;
    double mean = 0;
    double sigma = 0; // within sigma, mean moving range / d2
    std::optional<double> lower;
    std::optional<double> upper;
    std::optional<double> cp;  // (USL - LSL) / 6 sigma, both limits only
    std::optional<double> cpk; // min(USL - mean, mean - LSL) / 3 sigma over the limits given
};

Capability capability(const ControlLimits &limits, std::optional<double> lower, std::optional<double> upper);

// The outer limits of a table's BINs in use: the lowest lower and the highest
// upper limit (each BIN's limits taken in either order); both empty for a
// table without BINs.
struct OuterLimits
{
    std::optional<double> lower;
    std::optional<double> upper;
};
OuterLimits outerLimits(const BinTable &table);

// Cells and cells in a BIN of both tables, per wall-clock hour.
struct HourYield
{
    qint64 cells = 0;
    qint64 inBins = 0;
    double percent() const { return cells > 0 ? 100.0 * double(inBins) / double(cells) : 0.0; }
};

class YieldByHour
{
public:
    // `stamp`: seconds since 1970-01-01 00:00 of the record's wall-clock time.
    void add(qint64 stamp, bool inBins);
    // Keyed by the hour's first second.
    const std::map<qint64, HourYield> &hours() const { return m_hours; }
    HourYield total() const { return m_total; }

private:
    std::map<qint64, HourYield> m_hours;
    HourYield m_total;
};

} // namespace spc

#pragma once

#include <QString>
#include <QtGlobal>

struct BinTable;

#include <array>
#include <map>
#include <optional>
#include <vector>

// Statistical process control of one quantity of one stream (one bench's
// cells in time order): individuals and moving-range (I-MR) control limits,
// run rules, and capability against a specification or the outer BIN limits.
// Everything is fed one value at a time, so a shift of any length needs the
// same memory.
namespace spc {

// The moving-range constants for subgroups of two.
constexpr double kIndividualsFactor = 2.66;  // 3 / d2, d2 = 1.128
constexpr double kMovingRangeFactor = 3.267; // D4
constexpr double kD2 = 1.128;

// Centre lines and control limits of an I-MR chart pair.
struct ControlLimits
{
    qint64 count = 0;
    qint64 ranges = 0;          // moving ranges the mean moving range is taken over
    double centre = 0;          // mean of the individuals
    double meanMovingRange = 0; // mean of |x(i) - x(i-1)|
    double lower = 0;           // centre - 2.66 x mean moving range
    double upper = 0;           // centre + 2.66 x mean moving range
    double movingRangeUpper = 0; // 3.267 x mean moving range; its lower limit is 0
    // The within sigma the limits stand for: mean moving range / d2, so that
    // the control limits are centre +/- 3 sigma.
    double sigma = 0;

    // Limits need at least one moving range.
    bool valid() const { return ranges >= 1; }
};

// First pass: mean and mean moving range of one stream in its order.
class LimitsAccumulator
{
public:
    void add(double value);
    ControlLimits limits() const;
    qint64 count() const { return m_count; }
    double mean() const { return m_mean; }
    double movingRangeSum() const { return m_rangeSum; }

private:
    qint64 m_count = 0;
    double m_mean = 0;
    double m_rangeSum = 0;
    double m_previous = 0;
};

ControlLimits controlLimits(const std::vector<double> &values);
// The limits of `count` values with this mean and this sum of their moving
// ranges, `ranges` of them: count - 1 for one stream (as a database sums
// them), fewer when the ranges of several streams are pooled, each stream's
// ranges taken in its own order and none across two streams.
ControlLimits limitsFrom(qint64 count, double mean, double movingRangeSum, qint64 ranges);
inline ControlLimits limitsFrom(qint64 count, double mean, double movingRangeSum)
{
    return limitsFrom(count, mean, movingRangeSum, count - 1);
}

// A lower control limit as a chart and a report show it for a quantity that
// cannot be negative (resistance, voltage): one below zero is shown as 0 and
// said so.
struct ShownLimit
{
    double value = 0;
    bool clipped = false; // the limit worked out is below zero
};
ShownLimit shownLowerLimit(double lower);

// Mean, sample standard deviation (divisor n - 1) and range, one value at a
// time (Welford's method), so that any number of values needs the same memory.
class Moments
{
public:
    void add(double value);
    qint64 count() const { return m_count; }
    double mean() const { return m_mean; }
    // 0 below two values.
    double standardDeviation() const;
    double lowest() const { return m_lowest; }
    double highest() const { return m_highest; }

private:
    qint64 m_count = 0;
    double m_mean = 0;
    double m_squares = 0;
    double m_lowest = 0;
    double m_highest = 0;
};

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

// The limits capability is judged against for one quantity: the
// specification's when it gives them, else the outer limits of the BIN table
// in use. A missing limit makes the indices one-sided.
struct SpecLimits
{
    std::optional<double> lower;
    std::optional<double> upper;
    std::optional<double> target; // drawn and named; no index uses it
};

// The engineer's specification of both quantities (0 resistance in mOhm,
// 1 voltage in V); a quantity without lower and upper limit falls back on the
// BIN table's outer limits.
struct Specification
{
    std::array<SpecLimits, 2> quantities{};

    bool givesLimits(int t) const
    {
        return quantities[std::size_t(t)].lower || quantities[std::size_t(t)].upper;
    }
    bool operator==(const Specification &other) const;
};

// Why a specification cannot be used: the lower limit not below the upper
// one, or a target outside the limits; empty when it can.
QString specificationProblem(const SpecLimits &limits);

// A process index pair for one sigma: the potential index (USL - LSL) / 6
// sigma, both limits only, and the index of the nearer limit, min(USL - mean,
// mean - LSL) / 3 sigma over the limits given. Cp/Cpk with the within sigma,
// Pp/Ppk with the overall sigma. Both empty without a limit or for sigma 0.
struct IndexPair
{
    std::optional<double> potential; // Cp or Pp
    std::optional<double> nearest;   // Cpk or Ppk
};
IndexPair processIndices(double mean, double sigma, std::optional<double> lower, std::optional<double> upper);

// Approximate two-sided confidence bounds of a Cpk (or Ppk, or a one-sided
// Cpu/Cpl) estimated from n values, by Bissell's normal approximation:
//   index +/- z sqrt(1 / (9 n) + index^2 / (2 (n - 1)))
// (A. F. Bissell, "How reliable is your capability index?", Applied
// Statistics 39 (1990) 331-340), z = 1.96 for 95 %.
struct Bounds
{
    double low = 0;
    double high = 0;
};
Bounds bissellBounds(double index, qint64 n, double z = 1.959963984540054);

// Below this many cells no capability index is given: the indices and their
// bounds would say more than so few cells support.
constexpr qint64 kMinCapabilityCells = 30;

// Capability of one quantity: Cp/Cpk with the within sigma (mean moving
// range / d2), Pp/Ppk with the overall sigma (sample standard deviation),
// and 95 % bounds on Cpk and Ppk.
struct Capability
{
    enum class Status {
        Ok,
        TooFewValues, // fewer than kMinCapabilityCells cells
        NoLimits,     // neither limit given
        NoSpread,     // both sigmas 0 (or unknown): every value alike; the indices are not defined
    };
    Status status = Status::TooFewValues;
    qint64 count = 0;
    double mean = 0;
    double sigma = 0;        // within sigma, mean moving range / d2
    double overallSigma = 0; // sample standard deviation; 0 when not known
    std::optional<double> lower;
    std::optional<double> upper;
    std::optional<double> cp;  // (USL - LSL) / 6 sigma, both limits only
    std::optional<double> cpk; // min(USL - mean, mean - LSL) / 3 sigma over the limits given
    std::optional<double> pp;  // as Cp with the overall sigma
    std::optional<double> ppk; // as Cpk with the overall sigma
    std::optional<Bounds> cpkBounds;
    std::optional<Bounds> ppkBounds;
};

// overallSigma 0: not known (a database's summary that kept no squares):
// Pp and Ppk stay empty.
Capability capability(const ControlLimits &limits, std::optional<double> lower, std::optional<double> upper,
                      double overallSigma = 0);

// The outer limits of a table's BINs in use: the lowest lower and the highest
// upper limit (each BIN's limits taken in either order); both empty for a
// table without BINs.
struct OuterLimits
{
    std::optional<double> lower;
    std::optional<double> upper;
};
OuterLimits outerLimits(const BinTable &table);

// Counts in equal bars over the range of the values (Rice's rule, 2 n^(1/3)
// bars, 5 to 40), for a histogram drawn against the limits.
class Histogram
{
public:
    Histogram() = default;
    Histogram(double lowest, double highest, qint64 count);

    void add(double value);
    double low() const { return m_low; }
    double width() const { return m_width; }
    const std::vector<qint64> &counts() const { return m_counts; }
    qint64 total() const { return m_total; }

private:
    double m_low = 0;
    double m_width = 1;
    std::vector<qint64> m_counts;
    qint64 m_total = 0;
};

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

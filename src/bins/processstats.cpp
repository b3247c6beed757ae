#include "bins/processstats.h"

#include "bins/bintable.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace spc {

void LimitsAccumulator::add(double value)
{
    ++m_count;
    if (m_count > 1)
        m_rangeSum += std::fabs(value - m_previous);
    m_previous = value;
    m_mean += (value - m_mean) / double(m_count);
}

ControlLimits LimitsAccumulator::limits() const
{
    return limitsFrom(m_count, m_mean, m_rangeSum);
}

ControlLimits limitsFrom(qint64 count, double mean, double movingRangeSum, qint64 ranges)
{
    ControlLimits limits;
    limits.count = count;
    limits.centre = mean;
    if (ranges < 1 || count < 2) {
        limits.lower = limits.upper = mean;
        return limits;
    }
    limits.ranges = ranges;
    limits.meanMovingRange = movingRangeSum / double(ranges);
    limits.lower = mean - kIndividualsFactor * limits.meanMovingRange;
    limits.upper = mean + kIndividualsFactor * limits.meanMovingRange;
    limits.movingRangeUpper = kMovingRangeFactor * limits.meanMovingRange;
    limits.sigma = limits.meanMovingRange / kD2;
    return limits;
}

ControlLimits controlLimits(const std::vector<double> &values)
{
    LimitsAccumulator accumulator;
    for (const double value : values)
        accumulator.add(value);
    return accumulator.limits();
}

ShownLimit shownLowerLimit(double lower)
{
    if (lower < 0)
        return ShownLimit{0.0, true};
    return ShownLimit{lower, false};
}

void Moments::add(double value)
{
    ++m_count;
    if (m_count == 1) {
        m_lowest = m_highest = value;
    } else {
        m_lowest = std::min(m_lowest, value);
        m_highest = std::max(m_highest, value);
    }
    const double delta = value - m_mean;
    m_mean += delta / double(m_count);
    m_squares += delta * (value - m_mean);
}

double Moments::standardDeviation() const
{
    if (m_count < 2)
        return 0;
    return std::sqrt(std::max(0.0, m_squares / double(m_count - 1)));
}

const char *ruleText(Rule rule)
{
    switch (rule) {
    case BeyondLimits:
        return QT_TRANSLATE_NOOP("ProcessStats", "beyond a control limit");
    case EightOnOneSide:
        return QT_TRANSLATE_NOOP("ProcessStats", "eight in a row on one side of the centre line");
    case TwoOfThreeBeyond2Sigma:
        return QT_TRANSLATE_NOOP("ProcessStats", "two of three beyond 2 sigma on one side");
    case RangeBeyondLimit:
        return QT_TRANSLATE_NOOP("ProcessStats", "moving range above its limit");
    }
    return "";
}

RuleScanner::RuleScanner(const ControlLimits &limits, std::size_t keep) : m_limits(limits), m_keep(keep)
{
}

unsigned RuleScanner::add(double value)
{
    const qint64 index = m_index++;
    if (!m_limits.valid())
        return 0;
    unsigned rules = 0;
    if (value > m_limits.upper || value < m_limits.lower)
        rules |= BeyondLimits;
    if (index > 0 && std::fabs(value - m_previous) > m_limits.movingRangeUpper)
        rules |= RangeBeyondLimit;
    m_previous = value;

    // A point on the centre line belongs to neither side and ends a run.
    const int side = value > m_limits.centre ? 1 : value < m_limits.centre ? -1 : 0;
    if (side != 0 && side == m_runSide) {
        ++m_runLength;
    } else {
        m_runSide = side;
        m_runLength = side != 0 ? 1 : 0;
    }
    if (m_runLength >= 8)
        rules |= EightOnOneSide;

    const double twoSigma = 2.0 * m_limits.sigma;
    const int zone = value > m_limits.centre + twoSigma ? 1 : value < m_limits.centre - twoSigma ? -1 : 0;
    m_zone = {m_zone[1], m_zone[2], zone};
    if (zone != 0 && std::count(m_zone.begin(), m_zone.end(), zone) >= 2)
        rules |= TwoOfThreeBeyond2Sigma;

    if (rules != 0) {
        ++m_markedPoints;
        for (int r = 0; r < kRuleCount; ++r) {
            if (rules & (1u << r))
                ++m_counts[std::size_t(r)];
        }
        if (m_marks.size() < m_keep)
            m_marks.push_back({index, value, rules});
    }
    return rules;
}

qint64 RuleScanner::count(Rule rule) const
{
    for (int r = 0; r < kRuleCount; ++r) {
        if (rule == (1u << r))
            return m_counts[std::size_t(r)];
    }
    return 0;
}

bool Specification::operator==(const Specification &other) const
{
    for (std::size_t t = 0; t < 2; ++t) {
        const SpecLimits &a = quantities[t];
        const SpecLimits &b = other.quantities[t];
        if (a.lower != b.lower || a.upper != b.upper || a.target != b.target)
            return false;
    }
    return true;
}

QString specificationProblem(const SpecLimits &limits)
{
    if (limits.lower && limits.upper && !(*limits.lower < *limits.upper))
        return QCoreApplication::translate("ProcessStats", "the lower limit must be below the upper limit");
    if (limits.target && ((limits.lower && *limits.target < *limits.lower)
                          || (limits.upper && *limits.target > *limits.upper)))
        return QCoreApplication::translate("ProcessStats", "the target must lie within the limits");
    return QString();
}

IndexPair processIndices(double mean, double sigma, std::optional<double> lower, std::optional<double> upper)
{
    IndexPair pair;
    if (!(sigma > 0) || !std::isfinite(sigma) || (!lower && !upper))
        return pair;
    const double threeSigma = 3.0 * sigma;
    if (lower && upper)
        pair.potential = (*upper - *lower) / (2.0 * threeSigma);
    if (upper)
        pair.nearest = (*upper - mean) / threeSigma;
    if (lower) {
        const double lowerIndex = (mean - *lower) / threeSigma;
        pair.nearest = pair.nearest ? std::min(*pair.nearest, lowerIndex) : lowerIndex;
    }
    return pair;
}

Bounds bissellBounds(double index, qint64 n, double z)
{
    if (n < 2)
        return Bounds{index, index};
    const double half = z * std::sqrt(1.0 / (9.0 * double(n)) + index * index / (2.0 * double(n - 1)));
    return Bounds{index - half, index + half};
}

Capability capability(const ControlLimits &limits, std::optional<double> lower, std::optional<double> upper,
                      double overallSigma)
{
    Capability c;
    c.count = limits.count;
    c.mean = limits.centre;
    c.sigma = limits.sigma;
    c.overallSigma = overallSigma;
    c.lower = lower;
    c.upper = upper;
    if (limits.count < kMinCapabilityCells || !limits.valid()) {
        c.status = Capability::Status::TooFewValues;
        return c;
    }
    if (!lower && !upper) {
        c.status = Capability::Status::NoLimits;
        return c;
    }
    const IndexPair within = processIndices(c.mean, c.sigma, lower, upper);
    const IndexPair overall = processIndices(c.mean, overallSigma, lower, upper);
    if (!within.nearest && !overall.nearest) {
        c.status = Capability::Status::NoSpread;
        return c;
    }
    c.status = Capability::Status::Ok;
    c.cp = within.potential;
    c.cpk = within.nearest;
    c.pp = overall.potential;
    c.ppk = overall.nearest;
    if (c.cpk)
        c.cpkBounds = bissellBounds(*c.cpk, c.count);
    if (c.ppk)
        c.ppkBounds = bissellBounds(*c.ppk, c.count);
    return c;
}

OuterLimits outerLimits(const BinTable &table)
{
    OuterLimits outer;
    const int rows = std::clamp(int(table.numBins), 0, 9);
    for (int r = 0; r < rows; ++r) {
        const double a = table.lowerLimit[std::size_t(r)];
        const double b = table.upperLimit[std::size_t(r)];
        outer.lower = std::min(outer.lower.value_or(std::min(a, b)), std::min(a, b));
        outer.upper = std::max(outer.upper.value_or(std::max(a, b)), std::max(a, b));
    }
    return outer;
}

Histogram::Histogram(double lowest, double highest, qint64 count)
{
    const int bars = std::clamp(int(std::ceil(2.0 * std::cbrt(double(std::max<qint64>(count, 1))) - 1e-9)), 5, 40);
    m_counts.assign(std::size_t(bars), 0);
    if (!std::isfinite(lowest) || !std::isfinite(highest) || !(highest > lowest)) {
        // Every value alike: one bar in the middle, a little wide of it.
        const double centre = std::isfinite(lowest) ? lowest : 0.0;
        const double half = std::max(std::fabs(centre) * 1e-3, 1e-6);
        m_low = centre - half;
        m_width = 2 * half / double(bars);
        return;
    }
    m_low = lowest;
    m_width = (highest - lowest) / double(bars);
}

void Histogram::add(double value)
{
    if (m_counts.empty() || !std::isfinite(value))
        return;
    const double at = (value - m_low) / m_width;
    // The highest value belongs to the last bar.
    const auto bar = std::size_t(std::clamp(at, 0.0, double(m_counts.size() - 1)));
    ++m_counts[bar];
    ++m_total;
}

void YieldByHour::add(qint64 stamp, bool inBins)
{
    // Floor division, so that stamps before 1970 fall into their own hour too.
    qint64 hour = stamp / 3600;
    if (stamp % 3600 < 0)
        --hour;
    HourYield &h = m_hours[hour * 3600];
    ++h.cells;
    ++m_total.cells;
    if (inBins) {
        ++h.inBins;
        ++m_total.inBins;
    }
}

} // namespace spc

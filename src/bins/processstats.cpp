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

ControlLimits limitsFrom(qint64 count, double mean, double movingRangeSum)
{
    ControlLimits limits;
    limits.count = count;
    limits.centre = mean;
    if (count < 2) {
        limits.lower = limits.upper = mean;
        return limits;
    }
    limits.meanMovingRange = movingRangeSum / double(count - 1);
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

Capability capability(const ControlLimits &limits, std::optional<double> lower, std::optional<double> upper)
{
    Capability c;
    c.mean = limits.centre;
    c.sigma = limits.sigma;
    c.lower = lower;
    c.upper = upper;
    if (!limits.valid()) {
        c.status = Capability::Status::TooFewValues;
        return c;
    }
    if (!lower && !upper) {
        c.status = Capability::Status::NoLimits;
        return c;
    }
    if (!(limits.sigma > 0)) {
        c.status = Capability::Status::NoSpread;
        return c;
    }
    c.status = Capability::Status::Ok;
    const double threeSigma = 3.0 * limits.sigma;
    if (lower && upper)
        c.cp = (*upper - *lower) / (2.0 * threeSigma);
    std::optional<double> cpk;
    if (upper)
        cpk = (*upper - limits.centre) / threeSigma;
    if (lower) {
        const double cpl = (limits.centre - *lower) / threeSigma;
        cpk = cpk ? std::min(*cpk, cpl) : cpl;
    }
    c.cpk = cpk;
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

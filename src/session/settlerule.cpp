#include "session/settlerule.h"

#include "link/testernumber.h"

#include <algorithm>
#include <cmath>

namespace {

std::optional<double> plainNumber(const QString &field)
{
    const std::optional<double> value = testerNumber(field);
    if (!value || !std::isfinite(*value))
        return std::nullopt;
    return value;
}

} // namespace

ProbeSample classifyReading(const std::array<QString, 2> &fields)
{
    const std::optional<double> ohms = plainNumber(fields[0]);
    const std::optional<double> volts = plainNumber(fields[1]);
    // One overflow marker is enough: an open probe rarely reads the same on both.
    if ((ohms && isOverflowMark(*ohms)) || (volts && isOverflowMark(*volts)))
        return ProbeSample::open();
    if (!ohms || !volts)
        return ProbeSample::none();
    return ProbeSample::reading(*ohms, *volts);
}

double SettleRule::resistanceTolerance(double ohms) const
{
    return std::max(std::fabs(ohms) * resistancePercent / 100.0, resistanceFloorOhms);
}

double SettleRule::voltageTolerance(double volts) const
{
    return std::max(std::fabs(volts) * voltagePercent / 100.0, voltageFloorVolts);
}

void SettleDetector::setRule(const SettleRule &rule)
{
    m_rule = rule;
    // The cell on the probes stays where it is.
    const bool onCell = m_onCell;
    reset();
    m_onCell = onCell;
}

void SettleDetector::reset()
{
    m_run.clear();
    m_holding = false;
    m_maybeLifted = false;
    m_liftsInRow = 0;
    m_onCell = false;
    m_change = ProbeChange::None;
}

bool SettleDetector::lifts(const ProbeSample &sample) const
{
    return sample.kind == ProbeSample::Kind::Open
        || (sample.kind == ProbeSample::Kind::Reading && std::fabs(sample.volts) < m_rule.liftVolts);
}

bool SettleDetector::sameCell(const ProbeSample &a, const ProbeSample &b) const
{
    return std::fabs(a.ohms - b.ohms) <= m_rule.resistanceTolerance(b.ohms)
        && std::fabs(a.volts - b.volts) <= m_rule.voltageTolerance(b.volts);
}

bool SettleDetector::feed(const ProbeSample &sample)
{
    m_change = ProbeChange::None;
    if (lifts(sample)) {
        // One lifting reading may be a bounce; a second in a row is a lift.
        if (++m_liftsInRow >= kLiftReadings) {
            if (m_onCell)
                m_change = ProbeChange::Lifted;
            m_onCell = false;
            m_holding = false;
            m_maybeLifted = false;
            m_run.clear();
        } else if (m_holding && !m_maybeLifted) {
            m_maybeLifted = true;
            m_run.clear();
        }
        return false;
    }
    if (sample.kind != ProbeSample::Kind::Reading) {
        m_run.clear();
        return false;
    }
    m_liftsInRow = 0;
    m_last = sample;
    if (!m_onCell) {
        m_onCell = true;
        ++m_placements;
        m_change = ProbeChange::Placed;
    }
    if (m_holding && !m_maybeLifted) {
        m_held = sample;
        return false;
    }
    m_run.push_back(sample);
    while (int(m_run.size()) > std::max(1, m_rule.settleCount))
        m_run.pop_front();
    if (int(m_run.size()) < m_rule.settleCount || !runSettled())
        return false;
    if (m_holding) {
        // Settled again after one lifting reading: the held cell after a
        // bounce, or the next cell.
        m_maybeLifted = false;
        if (sameCell(sample, m_held)) {
            m_held = sample;
            m_run.clear();
            return false;
        }
        m_holding = false;
        ++m_placements;
        m_change = ProbeChange::Replaced;
    }
    return true;
}

void SettleDetector::recorded()
{
    m_holding = true;
    m_maybeLifted = false;
    m_held = m_last;
    m_run.clear();
}

bool SettleDetector::runSettled() const
{
    const auto [minR, maxR] = std::minmax_element(m_run.begin(), m_run.end(),
        [](const ProbeSample &a, const ProbeSample &b) { return a.ohms < b.ohms; });
    const auto [minV, maxV] = std::minmax_element(m_run.begin(), m_run.end(),
        [](const ProbeSample &a, const ProbeSample &b) { return a.volts < b.volts; });
    const ProbeSample &last = m_run.back();
    return maxR->ohms - minR->ohms <= m_rule.resistanceTolerance(last.ohms)
        && maxV->volts - minV->volts <= m_rule.voltageTolerance(last.volts);
}

#include "pack/packsearch.h"

#include "pack/seededrandom.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Two objective values closer than this are equal: far above the rounding of
// sums of a few thousand scaled values near 1, far below any change a reading's
// last digit makes.
constexpr double kObjectiveTolerance = 1e-13;
constexpr double kDeviationTolerance = 1e-24;

// Exchanges per shake-up.
constexpr int kShakeMin = 2;
constexpr int kShakeSpread = 3;

// A group reaching beyond the window by 1 % of a cell's resistance weighs as
// much as a 100 % range: far more than any arrangement that keeps the window.
// The search may cross such arrangements after a shake-up, but a plan never
// holds one.
constexpr double kExcessWeight = 100;

struct Score
{
    double objective = kInf; // the plan's objective plus the weighted window excess
    double deviation = kInf; // sum of squared deviations, the tie-breaker
    double excess = kInf;    // how far the groups reach beyond the window, weighted; 0 when they keep it

    bool betterThan(const Score &other) const
    {
        if (objective < other.objective - kObjectiveTolerance)
            return true;
        if (objective > other.objective + kObjectiveTolerance)
            return false;
        return deviation < other.deviation - kDeviationTolerance;
    }
};

// Groups' scaled capacities (x) and resistances (y) gathered: their ends,
// their deviations from a centre and their window excess.
struct Tally
{
    double maxX = -kInf, minX = kInf, maxY = -kInf, minY = kInf;
    double sumU = 0, sumU2 = 0, sumV = 0, sumV2 = 0, excess = 0;

    void add(double x, double y, double groupExcess, double centreX, double centreY)
    {
        maxX = std::max(maxX, x);
        minX = std::min(minX, x);
        maxY = std::max(maxY, y);
        minY = std::min(minY, y);
        sumU += x - centreX;
        sumU2 += (x - centreX) * (x - centreX);
        sumV += y - centreY;
        sumV2 += (y - centreY) * (y - centreY);
        excess += groupExcess;
    }

    Score score(int groups) const
    {
        return {(maxX - minX) + (maxY - minY) + excess,
                sumU2 - sumU * sumU / groups + sumV2 - sumV * sumV / groups, excess};
    }
};

// A group's sums and its two lowest and two highest resistances, so that the
// group's spread after exchanging one cell is known at once.
struct GroupState
{
    double capacity = 0;
    double conductance = 0;
    double resistanceSum = 0;
    double low1 = kInf, low2 = kInf, high1 = -kInf, high2 = -kInf;
    int lowAt = -1, highAt = -1; // positions of low1 and high1 in the group
    double excess = 0;           // weighted, as in Score
};

// The best exchange found between group a and a partner.
struct Exchange
{
    Score score;
    int inA = -1;       // position in group a
    int inPartner = -1; // position in the partner group or the reserve
};

class ArrangementSearch
{
public:
    ArrangementSearch(const std::vector<SearchCell> &cells, const std::vector<std::vector<int>> &start,
                      const std::vector<int> &reserve, const SearchLimits &limits)
        : m_cells(cells), m_limits(limits), m_random(limits.seed), m_groups(int(start.size())),
          m_size(start.empty() ? 0 : int(start.front().size())), m_reserve(reserve)
    {
        m_capacityWeight = limits.scale.capacityMah > 0 ? 1 / limits.scale.capacityMah : 0;
        m_resistanceWeight = limits.scale.resistanceOhm > 0 ? 1 / limits.scale.resistanceOhm : 0;
        double resistanceSum = 0;
        for (const auto &group : start) {
            m_slots.insert(m_slots.end(), group.begin(), group.end());
            for (int i : group)
                resistanceSum += cells[std::size_t(i)].resistanceOhm;
        }
        m_excessWeight = kExcessWeight / (resistanceSum / double(m_slots.size()));
        m_state.resize(std::size_t(m_groups));
        for (int g = 0; g < m_groups; ++g)
            refresh(g);
        // Deviations are taken from the start's means, which keeps the sums of
        // squares free of cancellation.
        for (int g = 0; g < m_groups; ++g) {
            m_centreX += x(g) / m_groups;
            m_centreY += y(g) / m_groups;
        }
    }

    SearchOutcome run()
    {
        SearchOutcome outcome;
        Score score = exactScore();
        std::vector<int> bestSlots = m_slots;
        std::vector<int> bestReserve = m_reserve;
        Score best = score;
        int stalled = 0;
        bool resolved = false;
        for (;;) {
            if (m_limits.cancel && m_limits.cancel->load()) {
                outcome.stop = PlanStop::Cancelled;
                break;
            }
            while (descend(score)) {
            }
            ++outcome.rounds;
            const bool keeps = score.excess == 0;
            if (keeps && score.betterThan(best)) {
                best = score;
                bestSlots = m_slots;
                bestReserve = m_reserve;
                stalled = 0;
            } else {
                ++stalled;
            }
            if (keeps && belowResolution()) {
                resolved = true;
                outcome.stop = PlanStop::Resolution;
                break;
            }
            if (m_weighed >= m_limits.swapBudget) {
                outcome.stop = PlanStop::Budget;
                break;
            }
            if (stalled >= m_limits.stallRounds) {
                outcome.stop = PlanStop::Stalled;
                break;
            }
            restore(bestSlots, bestReserve);
            shake();
            score = exactScore();
        }
        if (!resolved)
            restore(bestSlots, bestReserve);
        outcome.swapsWeighed = m_weighed;
        outcome.groups.resize(std::size_t(m_groups));
        for (int g = 0; g < m_groups; ++g)
            outcome.groups[std::size_t(g)].assign(m_slots.begin() + g * m_size, m_slots.begin() + (g + 1) * m_size);
        return outcome;
    }

private:
    const SearchCell &cellAt(int g, int position) const { return m_cells[std::size_t(m_slots[std::size_t(g * m_size + position)])]; }
    double x(int g) const { return m_capacityWeight * m_state[std::size_t(g)].capacity; }
    double y(int g) const { return m_resistanceWeight / m_state[std::size_t(g)].conductance; }

    void refresh(int g)
    {
        GroupState s;
        for (int p = 0; p < m_size; ++p) {
            const SearchCell &cell = cellAt(g, p);
            const double r = cell.resistanceOhm;
            s.capacity += cell.capacityMah;
            s.conductance += 1 / r;
            s.resistanceSum += r;
            if (r < s.low1) {
                s.low2 = s.low1;
                s.low1 = r;
                s.lowAt = p;
            } else if (r < s.low2) {
                s.low2 = r;
            }
            if (r > s.high1) {
                s.high2 = s.high1;
                s.high1 = r;
                s.highAt = p;
            } else if (r > s.high2) {
                s.high2 = r;
            }
        }
        s.excess = excess(s.high1 - s.low1, s.resistanceSum / m_size);
        m_state[std::size_t(g)] = s;
    }

    // The weighted amount by which a group spanning `span` around `mean`
    // reaches beyond the window; 0 when it keeps it.
    double excess(double span, double mean) const
    {
        if (spreadWithin(span, mean, m_limits.groupWindow, m_limits.groupWindowUnit))
            return 0;
        const double limit = m_limits.groupWindowUnit == SpreadUnit::Percent ? m_limits.groupWindow / 100 * mean
                                                                              : m_limits.groupWindow;
        return m_excessWeight * (span - limit);
    }

    // The excess of group g with the cell at position replaced by one of
    // resistance r.
    double excessAfter(int g, int position, double r) const
    {
        const GroupState &s = m_state[std::size_t(g)];
        const double low = std::min(position == s.lowAt ? s.low2 : s.low1, r);
        const double high = std::max(position == s.highAt ? s.high2 : s.high1, r);
        return excess(high - low, (s.resistanceSum - cellAt(g, position).resistanceOhm + r) / m_size);
    }

    Score exactScore() const
    {
        Tally tally;
        for (int g = 0; g < m_groups; ++g)
            tally.add(x(g), y(g), m_state[std::size_t(g)].excess, m_centreX, m_centreY);
        return tally.score(m_groups);
    }

    bool belowResolution() const
    {
        if (m_limits.resistanceStepOhm <= 0)
            return false;
        double maxC = -kInf, minC = kInf, maxR = -kInf, minR = kInf;
        for (const GroupState &s : m_state) {
            maxC = std::max(maxC, s.capacity);
            minC = std::min(minC, s.capacity);
            maxR = std::max(maxR, 1 / s.conductance);
            minR = std::min(minR, 1 / s.conductance);
        }
        const bool capacityDone = m_capacityWeight == 0
                || (m_limits.capacityStepMah > 0 && maxC - minC < m_limits.capacityStepMah);
        return capacityDone && maxR - minR < m_limits.resistanceStepOhm;
    }

    // The best exchange of a cell of group a with one of partner (a group, or
    // m_groups for the reserve), if it beats `current`.
    Exchange weigh(int a, int partner, const Score &current)
    {
        const bool withReserve = partner == m_groups;
        Tally others;
        for (int g = 0; g < m_groups; ++g) {
            if (g != a && g != partner)
                others.add(x(g), y(g), m_state[std::size_t(g)].excess, m_centreX, m_centreY);
        }
        const GroupState &sa = m_state[std::size_t(a)];
        const GroupState *sb = withReserve ? nullptr : &m_state[std::size_t(partner)];
        const int partnerSize = withReserve ? int(m_reserve.size()) : m_size;
        m_weighed += std::int64_t(m_size) * partnerSize;

        Exchange best;
        best.score = current;
        for (int i = 0; i < m_size; ++i) {
            const SearchCell &ci = cellAt(a, i);
            const double gi = 1 / ci.resistanceOhm;
            for (int j = 0; j < partnerSize; ++j) {
                const SearchCell &cj = withReserve ? m_cells[std::size_t(m_reserve[std::size_t(j)])] : cellAt(partner, j);
                const double gj = 1 / cj.resistanceOhm;
                Tally tally = others;
                tally.add(m_capacityWeight * (sa.capacity - ci.capacityMah + cj.capacityMah),
                          m_resistanceWeight / (sa.conductance - gi + gj), excessAfter(a, i, cj.resistanceOhm),
                          m_centreX, m_centreY);
                if (sb)
                    tally.add(m_capacityWeight * (sb->capacity + ci.capacityMah - cj.capacityMah),
                              m_resistanceWeight / (sb->conductance + gi - gj),
                              excessAfter(partner, j, ci.resistanceOhm), m_centreX, m_centreY);
                const Score score = tally.score(m_groups);
                if (!score.betterThan(best.score))
                    continue;
                best = {score, i, j};
            }
        }
        return best;
    }

    void exchange(int a, int inA, int partner, int inPartner)
    {
        int &first = m_slots[std::size_t(a * m_size + inA)];
        int &second = partner == m_groups ? m_reserve[std::size_t(inPartner)]
                                          : m_slots[std::size_t(partner * m_size + inPartner)];
        std::swap(first, second);
        refresh(a);
        if (partner != m_groups)
            refresh(partner);
    }

    // Makes one exchange that lowers the score, from a group at an end of a
    // range or beyond the window; false at a local optimum, when the budget
    // is used up or when cancelled.
    bool descend(Score &score)
    {
        std::vector<int> ends;
        double maxX = -kInf, minX = kInf, maxY = -kInf, minY = kInf;
        for (int g = 0; g < m_groups; ++g) {
            maxX = std::max(maxX, x(g));
            minX = std::min(minX, x(g));
            maxY = std::max(maxY, y(g));
            minY = std::min(minY, y(g));
        }
        for (int g = 0; g < m_groups; ++g) {
            if ((m_capacityWeight > 0 && (x(g) == maxX || x(g) == minX)) || y(g) == maxY || y(g) == minY
                || m_state[std::size_t(g)].excess > 0)
                ends.push_back(g);
        }
        std::vector<int> partners;
        for (int g = 0; g <= m_groups; ++g) {
            if (g < m_groups || !m_reserve.empty())
                partners.push_back(g);
        }
        m_random.shuffle(ends);
        m_random.shuffle(partners);
        for (int a : ends) {
            for (int partner : partners) {
                if (partner == a)
                    continue;
                if (m_weighed >= m_limits.swapBudget || (m_limits.cancel && m_limits.cancel->load()))
                    return false;
                const Exchange found = weigh(a, partner, score);
                if (found.inA < 0)
                    continue;
                exchange(a, found.inA, partner, found.inPartner);
                // The sums are taken afresh after an exchange; only an
                // exchange that lowers them is kept, so the search never
                // circles on rounding.
                const Score now = exactScore();
                if (now.betterThan(score)) {
                    score = now;
                    return true;
                }
                exchange(a, found.inA, partner, found.inPartner);
            }
        }
        return false;
    }

    // A few random exchanges, to leave a local optimum; they may take a group
    // beyond the window, which the descent then weighs.
    void shake()
    {
        const int partners = m_groups + (m_reserve.empty() ? 0 : 1);
        if (partners < 2)
            return;
        const int moves = kShakeMin + int(m_random.below(kShakeSpread));
        for (int move = 0; move < moves; ++move) {
            const int a = int(m_random.below(std::uint64_t(m_groups)));
            int partner = int(m_random.below(std::uint64_t(partners - 1)));
            if (partner >= a)
                ++partner;
            const int inA = int(m_random.below(std::uint64_t(m_size)));
            const bool withReserve = partner == m_groups;
            const int inPartner = int(m_random.below(std::uint64_t(withReserve ? m_reserve.size() : m_size)));
            exchange(a, inA, partner, inPartner);
        }
    }

    void restore(const std::vector<int> &slots, const std::vector<int> &reserve)
    {
        m_slots = slots;
        m_reserve = reserve;
        for (int g = 0; g < m_groups; ++g)
            refresh(g);
    }

    const std::vector<SearchCell> &m_cells;
    const SearchLimits m_limits;
    SeededRandom m_random;
    const int m_groups;
    const int m_size;
    std::vector<int> m_slots; // group g's cells at [g * m_size, (g + 1) * m_size)
    std::vector<int> m_reserve;
    std::vector<GroupState> m_state;
    double m_capacityWeight = 0;
    double m_resistanceWeight = 0;
    double m_centreX = 0;
    double m_centreY = 0;
    double m_excessWeight = 0;
    std::int64_t m_weighed = 0;
};

} // namespace

SearchOutcome searchArrangement(const std::vector<SearchCell> &cells, const std::vector<std::vector<int>> &start,
                                const std::vector<int> &reserve, const SearchLimits &limits)
{
    if (start.empty() || start.front().empty()) {
        SearchOutcome none;
        none.groups = start;
        return none;
    }
    return ArrangementSearch(cells, start, reserve, limits).run();
}

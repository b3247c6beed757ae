#include "bins/shiftanalysis.h"

#include "record/databasesources.h"

#include <algorithm>
#include <cmath>
#include <QCoreApplication>

namespace {
struct AnalysisTexts
{
    Q_DECLARE_TR_FUNCTIONS(ShiftAnalysis)
};

// Collects the lowest and highest value of each stretch of `step` points, so
// that a thinned-out line still reaches every extreme.
class Thinner
{
public:
    Thinner(std::vector<QPointF> &out, qint64 step) : m_out(out), m_step(std::max<qint64>(1, step)) {}

    void add(qint64 index, double value)
    {
        if (m_step == 1) {
            m_out.emplace_back(double(index), value);
            return;
        }
        if (m_inStretch == 0 || value < m_low.y())
            m_low = QPointF(double(index), value);
        if (m_inStretch == 0 || value > m_high.y())
            m_high = QPointF(double(index), value);
        if (++m_inStretch == m_step)
            flush();
    }

    void flush()
    {
        if (m_inStretch == 0)
            return;
        const bool lowFirst = m_low.x() <= m_high.x();
        m_out.push_back(lowFirst ? m_low : m_high);
        if (m_low != m_high)
            m_out.push_back(lowFirst ? m_high : m_low);
        m_inStretch = 0;
    }

private:
    std::vector<QPointF> &m_out;
    qint64 m_step;
    qint64 m_inStretch = 0;
    QPointF m_low;
    QPointF m_high;
};

double valueOf(int t, const RecordReading &reading)
{
    return t == 0 ? double(reading.resistance) : double(reading.voltage);
}

} // namespace

Result<ShiftAnalysis> analyseShift(RecordSource &source, const RecordFilter &filter, const BinTable &binTableR,
                                   const BinTable &binTableV, int maxPoints, const KeepGoing &keepGoing)
{
    ShiftAnalysis a;
    a.source = source.description();
    a.filter = filter;
    a.summary = BatchSummary(binTableR, binTableV);
    const QStringList benchNames = source.benches();
    std::vector<BenchFigures> benches(std::size_t(benchNames.size()));
    std::vector<std::array<spc::LimitsAccumulator, 2>> benchLimits(benches.size());
    std::array<spc::LimitsAccumulator, 2> limits;
    bool stopped = false;
    bool first = true;

    const Status firstPass = source.read(filter, [&](int bench, const RecordReading &reading) {
        if (keepGoing && !keepGoing()) {
            stopped = true;
            return false;
        }
        const std::array<int, 2> slots = a.summary.add(reading);
        const bool inBins = slots[0] < 9 && slots[1] < 9;
        a.yield.add(reading.stamp, inBins);
        if (first)
            a.firstStamp = a.lastStamp = reading.stamp;
        first = false;
        a.firstStamp = std::min(a.firstStamp, reading.stamp);
        a.lastStamp = std::max(a.lastStamp, reading.stamp);
        for (int t = 0; t < 2; ++t)
            limits[std::size_t(t)].add(valueOf(t, reading));
        if (bench >= 0 && std::size_t(bench) < benches.size()) {
            BenchFigures &b = benches[std::size_t(bench)];
            ++b.cells;
            b.inBins += inBins ? 1 : 0;
            b.lastStamp = b.cells == 1 ? reading.stamp : std::max(b.lastStamp, reading.stamp);
            for (int t = 0; t < 2; ++t)
                benchLimits[std::size_t(bench)][std::size_t(t)].add(valueOf(t, reading));
        }
        return true;
    });
    const auto cancelled = [&] { return stopped || (keepGoing && !keepGoing()); };
    if (!firstPass)
        return firstPass.failure();
    if (cancelled())
        return Failure(AnalysisTexts::tr("cancelled"));
    a.recordsNotRead = source.recordsNotRead();
    Result<std::vector<SetupInForce>> setups = source.setups(filter);
    if (!setups)
        return setups.failure();
    a.setups = std::move(*setups);
    if (cancelled())
        return Failure(AnalysisTexts::tr("cancelled"));

    const qint64 count = limits[0].count();
    a.pointStep = std::max<qint64>(1, (2 * count + maxPoints - 1) / std::max(1, maxPoints));
    if (count <= maxPoints)
        a.pointStep = 1;
    std::array<spc::RuleScanner, 2> scanners{spc::RuleScanner(limits[0].limits()),
                                             spc::RuleScanner(limits[1].limits())};
    std::array<std::vector<QPointF>, 4> lines;
    std::array<Thinner, 4> thinners{Thinner(lines[0], a.pointStep), Thinner(lines[1], a.pointStep),
                                    Thinner(lines[2], a.pointStep), Thinner(lines[3], a.pointStep)};
    for (auto &line : lines)
        line.reserve(std::size_t(std::min<qint64>(count, 2 * qint64(maxPoints) + 2)));
    qint64 index = 0;
    std::array<double, 2> previous{};
    const Status secondPass = source.readValues(filter, [&](int, const RecordReading &reading) {
        if (keepGoing && !keepGoing()) {
            stopped = true;
            return false;
        }
        // A live source may have gained cells since the first pass; the
        // charts keep to the cells the limits stand for.
        if (index == count)
            return false;
        for (int t = 0; t < 2; ++t) {
            const double value = valueOf(t, reading);
            scanners[std::size_t(t)].add(value);
            thinners[std::size_t(2 * t)].add(index + 1, value);
            if (index > 0)
                thinners[std::size_t(2 * t + 1)].add(index + 1, std::fabs(value - previous[std::size_t(t)]));
            previous[std::size_t(t)] = value;
        }
        ++index;
        return true;
    });
    if (!secondPass)
        return secondPass.failure();
    if (cancelled())
        return Failure(AnalysisTexts::tr("cancelled"));

    for (auto &thinner : thinners)
        thinner.flush();
    for (int t = 0; t < 2; ++t) {
        QuantityAnalysis &q = a.quantities[std::size_t(t)];
        const spc::RuleScanner &scanner = scanners[std::size_t(t)];
        q.limits = limits[std::size_t(t)].limits();
        const spc::OuterLimits outer = spc::outerLimits(a.summary.table(t));
        q.capability = spc::capability(q.limits, outer.lower, outer.upper);
        q.marks = scanner.marks();
        q.markedPoints = scanner.markedPoints();
        for (int r = 0; r < spc::kRuleCount; ++r)
            q.ruleCounts[std::size_t(r)] = scanner.count(spc::Rule(1u << r));
        q.individuals = std::move(lines[std::size_t(2 * t)]);
        q.movingRanges = std::move(lines[std::size_t(2 * t + 1)]);
    }
    for (std::size_t b = 0; b < benches.size(); ++b) {
        if (benches[b].cells == 0)
            continue;
        benches[b].bench = benchNames.at(qsizetype(b));
        for (int t = 0; t < 2; ++t) {
            const spc::OuterLimits outer = spc::outerLimits(a.summary.table(t));
            benches[b].capability[std::size_t(t)] =
                spc::capability(benchLimits[b][std::size_t(t)].limits(), outer.lower, outer.upper);
        }
        a.benches.push_back(std::move(benches[b]));
    }
    return a;
}

BenchFigures benchFigures(const LineRow &row, const BinTable &binTableR, const BinTable &binTableV)
{
    BenchFigures figures;
    figures.bench = row.bench;
    figures.cells = row.cells;
    figures.inBins = row.inBins;
    figures.lastStamp = row.lastStamp;
    figures.unnamed = row.unnamed;
    for (int t = 0; t < 2; ++t) {
        const spc::OuterLimits outer = spc::outerLimits(t == 0 ? binTableR : binTableV);
        const spc::ControlLimits limits =
            spc::limitsFrom(row.cells, row.mean[std::size_t(t)], row.movingRangeSum[std::size_t(t)]);
        figures.capability[std::size_t(t)] = spc::capability(limits, outer.lower, outer.upper);
    }
    return figures;
}

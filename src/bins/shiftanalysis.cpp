#include "bins/shiftanalysis.h"

#include "record/databasesources.h"

#include <algorithm>
#include <cmath>
#include <map>
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

// What the first pass learns of one stream.
struct FirstLook
{
    StreamKey key;
    qint64 cells = 0;
    qint64 inBins = 0;
    qint64 firstStamp = 0;
    qint64 lastStamp = 0;
    std::array<spc::LimitsAccumulator, 2> limits;
    std::array<spc::Moments, 2> moments;
};

// What the second pass works with for one stream.
struct SecondLook
{
    std::array<spc::RuleScanner, 2> scanners;
    std::vector<Thinner> thinners; // individuals R, moving ranges R, V, V; charted streams only
    std::array<double, 2> previous{};
    qint64 index = 0;
};

} // namespace

QString streamName(const StreamKey &key, const QStringList &benches)
{
    const QString bench = key.bench >= 0 && key.bench < benches.size() ? benches.at(key.bench) : QStringLiteral("?");
    if (key.channel == 1)
        return bench;
    return QCoreApplication::translate("ShiftAnalysis", "%1 channel %2").arg(bench).arg(key.channel);
}

Result<ShiftAnalysis> analyseShift(RecordSource &source, const RecordFilter &filter, const BinTable &binTableR,
                                   const BinTable &binTableV, int maxPoints, const KeepGoing &keepGoing)
{
    ShiftAnalysis a;
    a.source = source.description();
    a.filter = filter;
    a.summary = BatchSummary(binTableR, binTableV);
    const QStringList benchNames = source.benches();
    std::map<StreamKey, std::size_t> streamIndex;
    std::vector<FirstLook> looks;
    std::array<spc::Moments, 2> moments;
    std::array<spc::ReservoirSample, 2> samples{spc::ReservoirSample(kNormalitySample),
                                                spc::ReservoirSample(kNormalitySample)};
    bool stopped = false;
    bool first = true;
    // Records of one stream usually come in runs: the last stream found is
    // looked at before the map.
    std::size_t lastStream = 0;
    const auto streamOfRecord = [&](int bench, const RecordReading &reading) -> std::size_t {
        const StreamKey key = streamOf(bench, reading);
        if (!looks.empty() && looks[lastStream].key == key)
            return lastStream;
        const auto found = streamIndex.find(key);
        if (found != streamIndex.end())
            return lastStream = found->second;
        streamIndex.emplace(key, looks.size());
        looks.push_back(FirstLook{});
        looks.back().key = key;
        return lastStream = looks.size() - 1;
    };

    const Status firstPass = source.read(filter, [&](int bench, const RecordReading &reading, qint64) {
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
        FirstLook &look = looks[streamOfRecord(bench, reading)];
        ++look.cells;
        look.inBins += inBins ? 1 : 0;
        look.firstStamp = look.cells == 1 ? reading.stamp : std::min(look.firstStamp, reading.stamp);
        look.lastStamp = look.cells == 1 ? reading.stamp : std::max(look.lastStamp, reading.stamp);
        for (std::size_t t = 0; t < 2; ++t) {
            const double value = valueOf(int(t), reading);
            look.limits[t].add(value);
            look.moments[t].add(value);
            moments[t].add(value);
            samples[t].add(value);
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

    // The streams in the source's bench order; the first kChartedStreams are charted.
    std::vector<std::size_t> order(looks.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&looks](std::size_t x, std::size_t y) { return looks[x].key < looks[y].key; });
    std::vector<std::size_t> rank(looks.size());
    for (std::size_t r = 0; r < order.size(); ++r)
        rank[order[r]] = r;

    a.streams.resize(looks.size());
    std::vector<SecondLook> seconds;
    seconds.reserve(looks.size());
    for (std::size_t i = 0; i < looks.size(); ++i) {
        const FirstLook &look = looks[i];
        StreamAnalysis &s = a.streams[rank[i]];
        s.key = look.key;
        s.name = streamName(look.key, benchNames);
        s.cells = look.cells;
        s.inBins = look.inBins;
        s.firstStamp = look.firstStamp;
        s.lastStamp = look.lastStamp;
        s.charted = rank[i] < std::size_t(kChartedStreams);
        if (look.cells > maxPoints)
            s.pointStep = std::max<qint64>(1, (2 * look.cells + maxPoints - 1) / std::max(1, maxPoints));
        for (std::size_t t = 0; t < 2; ++t) {
            s.quantities[t].limits = look.limits[t].limits();
            s.quantities[t].overallSigma = look.moments[t].standardDeviation();
        }
        seconds.push_back(SecondLook{{spc::RuleScanner(s.quantities[0].limits, 0),
                                      spc::RuleScanner(s.quantities[1].limits, 0)},
                                     {},
                                     {},
                                     0});
        if (s.charted) {
            for (std::size_t t = 0; t < 2; ++t) {
                for (auto *line : {&s.quantities[t].individuals, &s.quantities[t].movingRanges}) {
                    line->reserve(std::size_t(std::min<qint64>(look.cells, 2 * qint64(maxPoints) + 2)));
                    seconds.back().thinners.emplace_back(*line, s.pointStep);
                }
            }
        }
    }
    for (std::size_t t = 0; t < 2; ++t) {
        QuantityAnalysis &q = a.quantities[t];
        q.moments = moments[t];
        q.histogram = spc::Histogram(moments[t].lowest(), moments[t].highest(), moments[t].count());
        q.normality = spc::andersonDarling(samples[t].values());
        // The streams' own moving ranges, pooled.
        double rangeSum = 0;
        qint64 ranges = 0;
        for (const FirstLook &look : looks) { // every stream of the first pass
            rangeSum += look.limits[t].movingRangeSum();
            ranges += std::max<qint64>(0, look.limits[t].count() - 1);
        }
        q.pooled = spc::limitsFrom(moments[t].count(), moments[t].mean(), rangeSum, ranges);
    }
    samples = {spc::ReservoirSample(0), spc::ReservoirSample(0)};

    const Status secondPass = source.readValues(filter, [&](int bench, const RecordReading &reading, qint64 place) {
        if (keepGoing && !keepGoing()) {
            stopped = true;
            return false;
        }
        const std::size_t i = streamOfRecord(bench, reading);
        // A live source may have gained cells since the first pass, or a
        // stream: the charts keep to the cells the limits stand for.
        if (i >= seconds.size() || seconds[i].index >= looks[i].cells)
            return true;
        SecondLook &second = seconds[i];
        StreamAnalysis &s = a.streams[rank[i]];
        for (std::size_t t = 0; t < 2; ++t) {
            const double value = valueOf(int(t), reading);
            a.quantities[t].histogram.add(value);
            const unsigned rules = second.scanners[t].add(value);
            StreamQuantity &q = s.quantities[t];
            if (rules != 0 && q.marks.size() < kKeptMarks)
                q.marks.push_back(MarkedCell{second.index, value, rules, place, reading.stamp, QString()});
            if (!second.thinners.empty()) {
                second.thinners[2 * t].add(second.index + 1, value);
                if (second.index > 0)
                    second.thinners[2 * t + 1].add(second.index + 1, std::fabs(value - second.previous[t]));
            }
            second.previous[t] = value;
        }
        ++second.index;
        return true;
    });
    if (!secondPass)
        return secondPass.failure();
    if (cancelled())
        return Failure(AnalysisTexts::tr("cancelled"));

    std::vector<qint64> places;
    for (std::size_t i = 0; i < seconds.size(); ++i) {
        SecondLook &second = seconds[i];
        StreamAnalysis &s = a.streams[rank[i]];
        for (Thinner &thinner : second.thinners)
            thinner.flush();
        for (std::size_t t = 0; t < 2; ++t) {
            StreamQuantity &q = s.quantities[t];
            const spc::RuleScanner &scanner = second.scanners[t];
            q.markedPoints = scanner.markedPoints();
            a.quantities[t].markedPoints += q.markedPoints;
            for (int r = 0; r < spc::kRuleCount; ++r) {
                q.ruleCounts[std::size_t(r)] = scanner.count(spc::Rule(1u << r));
                a.quantities[t].ruleCounts[std::size_t(r)] += q.ruleCounts[std::size_t(r)];
            }
            for (const MarkedCell &mark : q.marks) {
                if (mark.place >= 0)
                    places.push_back(mark.place);
            }
        }
    }
    std::sort(places.begin(), places.end());
    places.erase(std::unique(places.begin(), places.end()), places.end());
    Result<std::map<qint64, RecordDetail>> details = source.details(places);
    if (!details)
        return details.failure();
    for (StreamAnalysis &s : a.streams) {
        for (StreamQuantity &q : s.quantities) {
            for (MarkedCell &mark : q.marks) {
                const auto found = details->find(mark.place);
                if (found == details->end())
                    continue;
                if (found->second.stamp != 0)
                    mark.stamp = found->second.stamp;
                mark.cellId = found->second.cellId;
            }
        }
    }
    judgeCapability(a, spc::Specification{});
    return a;
}

void judgeCapability(ShiftAnalysis &a, const spc::Specification &specification)
{
    a.specification = specification;
    for (std::size_t t = 0; t < 2; ++t) {
        QuantityAnalysis &q = a.quantities[t];
        const spc::SpecLimits &spec = specification.quantities[t];
        std::optional<double> lower;
        std::optional<double> upper;
        if (specification.givesLimits(int(t))) {
            q.limitsSource = LimitsSource::Specification;
            lower = spec.lower;
            upper = spec.upper;
        } else {
            q.limitsSource = LimitsSource::BinTable;
            const spc::OuterLimits outer = spc::outerLimits(a.summary.table(int(t)));
            lower = outer.lower;
            upper = outer.upper;
        }
        q.target = spec.target;
        q.capability = spc::capability(q.pooled, lower, upper, q.moments.standardDeviation());
        for (StreamAnalysis &s : a.streams) {
            StreamQuantity &sq = s.quantities[t];
            sq.capability = spc::capability(sq.limits, lower, upper, sq.overallSigma);
        }
    }
}

BenchFigures benchFigures(const LineRow &row, const BinTable &binTableR, const BinTable &binTableV)
{
    BenchFigures figures;
    figures.bench = row.bench;
    figures.channel = row.channel;
    figures.cells = row.cells;
    figures.inBins = row.inBins;
    figures.firstStamp = row.firstStamp;
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

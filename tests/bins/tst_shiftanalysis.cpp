#include "testmain.h"

#include "bintablefixture.h"

#include "bins/shiftanalysis.h"

#include <QTest>

#include <cmath>

namespace {

bool near(double a, double b)
{
    return std::fabs(a - b) < 1e-9 * std::max(1.0, std::fabs(b));
}

// Records of several benches in the order given, each with its place (its
// index) and, for details(), a time and an ID of its own.
class Benches : public RecordSource
{
public:
    struct Row
    {
        int bench;
        float resistance;
        float voltage;
        int channel = 1;
    };

    Benches(QStringList benches, std::vector<Row> rows) : m_benches(std::move(benches)), m_rows(std::move(rows)) {}

    QString description() const override { return QStringLiteral("benches"); }
    QStringList benches() const override { return m_benches; }
    Status read(const RecordFilter &filter, const RecordVisitor &visit) override
    {
        for (std::size_t i = 0; i < m_rows.size(); ++i) {
            const Row &r = m_rows[i];
            if (!filter.bench.isEmpty() && m_benches.value(r.bench) != filter.bench)
                continue;
            if (!visit(r.bench, RecordReading{r.resistance, r.voltage, stampOf(i), r.channel}, qint64(i)))
                break;
        }
        return {};
    }
    // The second pass, like the central database's, without times.
    Status readValues(const RecordFilter &filter, const RecordVisitor &visit) override
    {
        return read(filter, [&visit](int bench, const RecordReading &reading, qint64 place) {
            return visit(bench, RecordReading{reading.resistance, reading.voltage, 0, reading.channel}, place);
        });
    }
    Result<std::map<qint64, RecordDetail>> details(const std::vector<qint64> &places) override
    {
        asked = places;
        std::map<qint64, RecordDetail> found;
        for (const qint64 place : places)
            found[place] = RecordDetail{stampOf(std::size_t(place)), QStringLiteral("ID-%1").arg(place)};
        return found;
    }

    static qint64 stampOf(std::size_t i) { return wallClockSeconds(2026, 12, 7, 6, 0, 0) + qint64(i) * 10; }

    std::vector<qint64> asked;

private:
    QStringList m_benches;
    std::vector<Row> m_rows;
};

} // namespace

class TestShiftAnalysis : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Two benches whose cells arrive interleaved: each bench's moving ranges
    // are taken in its own order, never from a cell of A to one of B.
    // A: 10 12 11 15 (ranges 2 1 4), B: 20 22 21 (ranges 2 1); interleaved,
    // 10 20 12 22 11 21 15 would give ranges 10 8 10 11 10 6.
    void movingRangesNeverSpanTwoBenches()
    {
        Benches source({QStringLiteral("A"), QStringLiteral("B")},
                       {{0, 10, 3.6f}, {1, 20, 3.6f}, {0, 12, 3.6f}, {1, 22, 3.6f}, {0, 11, 3.6f}, {1, 21, 3.6f},
                        {0, 15, 3.6f}});
        const Result<ShiftAnalysis> analysed = analyseShift(source, RecordFilter{}, maxMin(3, 0, 30), BinTable{}, 100);
        QVERIFY2(analysed, qPrintable(analysed.errorString()));
        const ShiftAnalysis &a = *analysed;
        QCOMPARE(a.streams.size(), std::size_t(2));
        const StreamAnalysis &benchA = a.streams[0];
        const StreamAnalysis &benchB = a.streams[1];
        QCOMPARE(benchA.name, QStringLiteral("A"));
        QCOMPARE(benchA.cells, qint64(4));
        QVERIFY(near(benchA.quantities[0].limits.centre, 12));
        QVERIFY(near(benchA.quantities[0].limits.meanMovingRange, 7.0 / 3.0));
        QCOMPARE(benchB.name, QStringLiteral("B"));
        QVERIFY(near(benchB.quantities[0].limits.meanMovingRange, 1.5));
        // The chart points of each bench are its own cells, numbered from 1.
        QCOMPARE(benchB.quantities[0].individuals,
                 (std::vector<QPointF>{QPointF(1, 20), QPointF(2, 22), QPointF(3, 21)}));
        QCOMPARE(benchB.quantities[0].movingRanges, (std::vector<QPointF>{QPointF(2, 2), QPointF(3, 1)}));
        // Pooled: the five ranges of both benches, 10 / 5; the mean of all seven cells.
        const spc::ControlLimits &pooled = a.quantities[0].pooled;
        QCOMPARE(pooled.count, qint64(7));
        QCOMPARE(pooled.ranges, qint64(5));
        QVERIFY(near(pooled.meanMovingRange, 2.0));
        QVERIFY(near(pooled.sigma, 2.0 / 1.128));
        QVERIFY(near(pooled.centre, 111.0 / 7.0));
        // The overall sigma is every cell's sample standard deviation.
        QVERIFY(near(a.quantities[0].moments.standardDeviation(), std::sqrt(((10 - 111.0 / 7) * (10 - 111.0 / 7)
                + (12 - 111.0 / 7) * (12 - 111.0 / 7) + (11 - 111.0 / 7) * (11 - 111.0 / 7) + (15 - 111.0 / 7) * (15 - 111.0 / 7)
                + (20 - 111.0 / 7) * (20 - 111.0 / 7) + (22 - 111.0 / 7) * (22 - 111.0 / 7) + (21 - 111.0 / 7) * (21 - 111.0 / 7)) / 6)));
        // A jump from one bench's level to the other's is no moving range:
        // nothing is marked.
        QCOMPARE(a.quantities[0].markedPoints, qint64(0));
    }

    // Two test heads of one bench are two streams, as two benches are: the
    // same cells as above on channels 1 and 2 of bench A give the same
    // ranges, and a stream named by its channel.
    void channelsOfOneBenchAreStreamsOfTheirOwn()
    {
        Benches source({QStringLiteral("A")},
                       {{0, 10, 3.6f, 1}, {0, 20, 3.6f, 2}, {0, 12, 3.6f, 1}, {0, 22, 3.6f, 2}, {0, 11, 3.6f, 1},
                        {0, 21, 3.6f, 2}, {0, 15, 3.6f, 1}});
        const Result<ShiftAnalysis> analysed = analyseShift(source, RecordFilter{}, maxMin(3, 0, 30), BinTable{}, 100);
        QVERIFY2(analysed, qPrintable(analysed.errorString()));
        const ShiftAnalysis &a = *analysed;
        QCOMPARE(a.streams.size(), std::size_t(2));
        QCOMPARE(a.streams[0].name, QStringLiteral("A"));
        QVERIFY(near(a.streams[0].quantities[0].limits.meanMovingRange, 7.0 / 3.0));
        QCOMPARE(a.streams[1].name, QStringLiteral("A channel 2"));
        QCOMPARE(a.streams[1].quantities[0].movingRanges, (std::vector<QPointF>{QPointF(2, 2), QPointF(3, 1)}));
        QVERIFY(near(a.quantities[0].pooled.meanMovingRange, 2.0));
        QCOMPARE(a.quantities[0].markedPoints, qint64(0));
    }

    // A point that breaks a rule in its bench's own chart is marked with
    // the bench, the time and the cell ID the source gives for its place,
    // also when the second pass brings no times.
    void aMarkedCellNamesItsBenchTimeAndId()
    {
        std::vector<Benches::Row> rows;
        for (int i = 0; i < 40; ++i) {
            rows.push_back({0, float(30 + i % 2), 3.6f});
            rows.push_back({1, float(50 + i % 3), 3.6f});
        }
        rows.push_back({1, 51, 3.6f});
        rows.push_back({0, 90, 3.6f}); // far beyond A's limits; place 81
        Benches source({QStringLiteral("A"), QStringLiteral("B")}, rows);
        const Result<ShiftAnalysis> analysed = analyseShift(source, RecordFilter{}, maxMin(3, 0, 100), BinTable{}, 100);
        QVERIFY2(analysed, qPrintable(analysed.errorString()));
        const StreamQuantity &a = analysed->streams[0].quantities[0];
        QVERIFY(!a.marks.empty());
        const MarkedCell &last = a.marks.back();
        QCOMPARE(last.index, qint64(40));
        QCOMPARE(last.value, 90.0);
        QVERIFY(last.rules & spc::BeyondLimits);
        QCOMPARE(last.place, qint64(81));
        QCOMPARE(last.stamp, Benches::stampOf(81));
        QCOMPARE(last.cellId, QStringLiteral("ID-81"));
        QVERIFY(std::find(source.asked.begin(), source.asked.end(), 81) != source.asked.end());
        QCOMPARE(analysed->streams[1].quantities[0].markedPoints, qint64(0));
    }

    // Many benches: a chart each for the first kChartedStreams, figures for
    // every one; the points kept per chart stay near the number asked for.
    void chartsForTheFirstBenchesFiguresForAll()
    {
        QStringList names;
        std::vector<Benches::Row> rows;
        for (int b = 0; b < kChartedStreams + 3; ++b)
            names << QStringLiteral("bench-%1").arg(b, 2, 10, QLatin1Char('0'));
        for (int i = 0; i < 3000; ++i) {
            for (int b = 0; b < int(names.size()); ++b)
                rows.push_back({b, float(20 + (i * 7 + b) % 11), 3.6f});
        }
        Benches source(names, rows);
        const Result<ShiftAnalysis> analysed = analyseShift(source, RecordFilter{}, BinTable{}, BinTable{}, 500);
        QVERIFY(analysed);
        QCOMPARE(int(analysed->streams.size()), kChartedStreams + 3);
        for (const StreamAnalysis &s : analysed->streams) {
            QCOMPARE(s.cells, qint64(3000));
            QCOMPARE(s.charted, !s.quantities[0].individuals.empty());
            QVERIFY(s.quantities[0].individuals.size() <= 2 * 500 + 2);
        }
        QVERIFY(analysed->streams[kChartedStreams - 1].charted);
        QVERIFY(!analysed->streams[kChartedStreams].charted);
    }

    // Capability against the specification where it gives limits, against
    // the outer BIN limits where it does not; judged again without a pass.
    void capabilityAgainstTheSpecificationOrTheBinLimits()
    {
        std::vector<Benches::Row> rows;
        for (int i = 0; i < 60; ++i)
            rows.push_back({0, float(30 + i % 5), float(3.6 + 0.01 * (i % 3))});
        Benches source({QStringLiteral("A")}, rows);
        Result<ShiftAnalysis> analysed = analyseShift(source, RecordFilter{}, maxMin(3, 10, 40), maxMin(2, 3.0f, 4.0f), 100);
        QVERIFY(analysed);
        ShiftAnalysis &a = *analysed;
        QCOMPARE(a.quantities[0].limitsSource, LimitsSource::BinTable);
        QCOMPARE(*a.quantities[0].capability.lower, 10.0);
        QCOMPARE(*a.quantities[0].capability.upper, 40.0);
        const double bins = *a.quantities[0].capability.cpk;

        spc::Specification spec;
        spec.quantities[0] = spc::SpecLimits{25.0, 45.0, 35.0};
        spec.quantities[1].target = 3.61; // a target alone leaves the BIN limits
        judgeCapability(a, spec);
        QCOMPARE(a.quantities[0].limitsSource, LimitsSource::Specification);
        QCOMPARE(*a.quantities[0].capability.lower, 25.0);
        QCOMPARE(*a.quantities[0].target, 35.0);
        QVERIFY(*a.quantities[0].capability.cpk != bins);
        QCOMPARE(*a.streams[0].quantities[0].capability.upper, 45.0);
        QCOMPARE(a.quantities[1].limitsSource, LimitsSource::BinTable);
        QCOMPARE(*a.quantities[1].target, 3.61);

        judgeCapability(a, spc::Specification{});
        QCOMPARE(*a.quantities[0].capability.cpk, bins);
    }
};

BIN4870_TEST(TestShiftAnalysis)
#include "tst_shiftanalysis.moc"

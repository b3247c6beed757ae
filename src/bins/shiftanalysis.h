#pragma once

#include "bins/batchsummary.h"
#include "bins/normality.h"
#include "bins/processstats.h"
#include "record/recordsource.h"

#include <QPointF>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>
#include <vector>

// Which stream a record belongs to: one channel (test head) of one bench. A
// stream is charted on its own, its cells in time order; its moving ranges
// and run rules never reach into another stream.
struct StreamKey
{
    int bench = -1; // index in RecordSource::benches(); -1 when the source names none
    int channel = 1;

    bool operator<(const StreamKey &other) const
    {
        return bench != other.bench ? bench < other.bench : channel < other.channel;
    }
    bool operator==(const StreamKey &other) const { return bench == other.bench && channel == other.channel; }
};

inline StreamKey streamOf(int bench, const RecordReading &reading)
{
    return StreamKey{bench, reading.channel};
}

// "bench-04", or "bench-04 channel 2" for a channel other than the first; "?"
// for a record whose bench the source does not name.
QString streamName(const StreamKey &key, const QStringList &benches);

// A point that breaks a run rule, with what finds the cell at the bench.
struct MarkedCell
{
    qint64 index = 0; // the cell's number in its stream's time order, from 0
    double value = 0;
    unsigned rules = 0; // spc::Rule bits
    qint64 place = -1;  // the source's place of the record
    qint64 stamp = 0;   // its time, RecordReading::stamp; 0 when the source did not tell
    QString cellId;     // empty when it has none
};

// One quantity of one stream.
struct StreamQuantity
{
    spc::ControlLimits limits;  // the stream's own
    double overallSigma = 0;    // its sample standard deviation
    std::vector<MarkedCell> marks; // the first kKeptMarks
    qint64 markedPoints = 0;
    std::array<qint64, spc::kRuleCount> ruleCounts{};
    // Charted streams only. x: the cell's number in the stream from 1, y:
    // the individual / the moving range ending there. With more cells than
    // points to draw, each stretch of pointStep cells is drawn as its lowest
    // and highest value, in the order they came.
    std::vector<QPointF> individuals;
    std::vector<QPointF> movingRanges;
    spc::Capability capability;
};

// One stream's cells in the range.
struct StreamAnalysis
{
    StreamKey key;
    QString name;
    qint64 cells = 0;
    qint64 inBins = 0; // in a BIN of both tables
    qint64 firstStamp = 0;
    qint64 lastStamp = 0;
    bool charted = false; // its chart points are kept
    qint64 pointStep = 1;
    std::array<StreamQuantity, 2> quantities; // 0 resistance in mOhm, 1 voltage in V

    double yieldPercent() const { return cells > 0 ? 100.0 * double(inBins) / double(cells) : 0.0; }
};

// Where the limits a capability is judged against came from.
enum class LimitsSource { BinTable, Specification };

// One quantity over every stream: the capability an engineer signs.
struct QuantityAnalysis
{
    // The mean of every cell and the mean moving range pooled from the
    // streams' own moving ranges (their sum over the number of them, none
    // spanning two streams): within sigma = that / d2.
    spc::ControlLimits pooled;
    spc::Moments moments; // every cell: count, mean, sample standard deviation, range
    spc::Capability capability;
    LimitsSource limitsSource = LimitsSource::BinTable;
    std::optional<double> target;
    // Anderson-Darling over every cell, or over a random sample of
    // kNormalitySample of them when there are more (normality->tested says
    // how many); empty below spc::kMinNormalityValues cells or without spread.
    std::optional<spc::Normality> normality;
    spc::Histogram histogram;
    qint64 markedPoints = 0; // over every stream
    std::array<qint64, spc::kRuleCount> ruleCounts{};
};

// One bench's channel's figures from the central database's line view (the
// line view's row), with Cpk against the tables' outer limits (within sigma
// only: the server keeps no squares).
struct BenchFigures
{
    QString bench;
    int channel = 1;
    qint64 cells = 0;
    qint64 inBins = 0; // in a BIN of both tables
    qint64 firstStamp = 0;
    qint64 lastStamp = 0;
    std::array<spc::Capability, 2> capability{};
    // No bench name was set: the name is a machine's host name.
    bool unnamed = false;
    double yieldPercent() const { return cells > 0 ? 100.0 * double(inBins) / double(cells) : 0.0; }
    // The pace between the first and the last record: (cells - 1) per hour
    // of that span; none for fewer than two cells or records of one second.
    std::optional<double> cellsPerHour() const
    {
        if (cells < 2 || lastStamp <= firstStamp)
            return std::nullopt;
        return double(cells - 1) * 3600.0 / double(lastStamp - firstStamp);
    }
};

struct LineRow;

BenchFigures benchFigures(const LineRow &row, const BinTable &binTableR, const BinTable &binTableV);

// Everything the quality views and the shift report show of a set of records.
struct ShiftAnalysis
{
    QString source; // the source's description
    RecordFilter filter;
    BatchSummary summary;
    std::array<QuantityAnalysis, 2> quantities; // 0 resistance in mOhm, 1 voltage in V
    std::vector<StreamAnalysis> streams;        // those with cells, in the source's bench order
    spc::YieldByHour yield;
    std::vector<SetupInForce> setups; // the set-ups that judged the cells, when the source keeps them
    spc::Specification specification; // as judgeCapability() was last given it
    qint64 firstStamp = 0;
    qint64 lastStamp = 0;
    qint64 recordsNotRead = 0;
};

// Streams whose chart points an analysis keeps; the others have their
// figures only.
constexpr int kChartedStreams = 12;
// Marked cells kept per stream and quantity, drawn and listed with time and
// cell ID.
constexpr std::size_t kKeptMarks = 1000;
// The most values the normality test is taken over.
constexpr std::size_t kNormalitySample = 5000;

// Two passes over the source: per stream the limits, the moments and the
// cells, and the BIN summary, yields and a random sample for the normality
// test first; then per stream the run rules and chart points against its own
// limits, and the histograms. The marked cells' times and IDs come from the
// source's details() at the end. At most about `maxPoints` points per chart
// and kChartedStreams streams charted. Capability is judged against the
// tables' outer limits (judgeCapability() may judge it again). Fails with the
// source's reason when the source fails, and with "cancelled" when the
// analysis is stopped: keepGoing, asked between records and between the
// passes, stops it when it returns false (give the source the same with
// RecordSource::setKeepGoing to stop it also among records the filter does
// not take).
Result<ShiftAnalysis> analyseShift(RecordSource &source, const RecordFilter &filter, const BinTable &binTableR,
                                   const BinTable &binTableV, int maxPoints, const KeepGoing &keepGoing = {});

// Judges the capability of every quantity, pooled and per stream, against
// the specification's limits where it gives them and the outer limits of the
// analysis's BIN tables elsewhere; the target comes from the specification.
// Needs no pass over the cells.
void judgeCapability(ShiftAnalysis &analysis, const spc::Specification &specification);

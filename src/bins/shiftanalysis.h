#pragma once

#include "bins/batchsummary.h"
#include "bins/processstats.h"
#include "record/recordsource.h"

#include <QPointF>
#include <QString>

#include <array>
#include <functional>
#include <vector>

// One quantity of a shift: its I-MR limits, the points that break a run rule,
// its capability against the table's outer limits, and the points to draw.
struct QuantityAnalysis
{
    spc::ControlLimits limits;
    spc::Capability capability;
    std::vector<spc::RuleMark> marks; // the first ones, with their values
    qint64 markedPoints = 0;
    std::array<qint64, spc::kRuleCount> ruleCounts{};
    // x: the cell's number in record order from 1, y: the individual / the
    // moving range ending there.
    // With more records than points to draw, each stretch of `pointStep`
    // records is drawn as its lowest and highest value, in the order they came.
    std::vector<QPointF> individuals;
    std::vector<QPointF> movingRanges;
};

// One bench's figures in a shift (the line view's row).
struct BenchFigures
{
    QString bench;
    qint64 cells = 0;
    qint64 inBins = 0; // in a BIN of both tables
    qint64 lastStamp = 0;
    std::array<spc::Capability, 2> capability{};
    // No bench name was set: the name is a machine's host name.
    bool unnamed = false;
    double yieldPercent() const { return cells > 0 ? 100.0 * double(inBins) / double(cells) : 0.0; }
};

struct LineRow;

// A bench's figures from the central database's line view, with Cpk against
// the tables' outer limits.
BenchFigures benchFigures(const LineRow &row, const BinTable &binTableR, const BinTable &binTableV);

// Everything the quality views and the shift report show of a set of records.
struct ShiftAnalysis
{
    QString source; // the source's description
    RecordFilter filter;
    BatchSummary summary;
    std::array<QuantityAnalysis, 2> quantities; // 0 resistance in mOhm, 1 voltage in V
    spc::YieldByHour yield;
    std::vector<BenchFigures> benches; // those with cells, in the source's order
    std::vector<SetupInForce> setups;  // the set-ups that judged the cells, when the source keeps them
    qint64 firstStamp = 0;
    qint64 lastStamp = 0;
    qint64 recordsNotRead = 0;
    qint64 pointStep = 1;
};

// Two passes over the source: limits, BIN summary, yields and bench figures
// first, then run rules and chart points against those limits. At most about
// `maxPoints` points per chart. Fails with the source's reason when the source
// fails, and with "cancelled" when the analysis is stopped: keepGoing, asked
// between records and between the passes, stops it when it returns false
// (give the source the same with RecordSource::setKeepGoing to stop it also
// among records the filter does not take).
Result<ShiftAnalysis> analyseShift(RecordSource &source, const RecordFilter &filter, const BinTable &binTableR,
                                   const BinTable &binTableV, int maxPoints, const KeepGoing &keepGoing = {});

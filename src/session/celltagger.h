#pragma once

#include "bins/judge.h"

#include <QDateTime>
#include <QString>

#include <optional>

// The BIN a judged reading goes to, as a record names it: "1".."9", "+Out" or
// "-Out".
inline QString recordedBinName(const Judgement &judgement)
{
    for (int row = 0; row < 9; ++row) {
        if (judgement.lit[size_t(row)])
            return QString::number(row + 1);
    }
    return judgement.out == OutSide::Above ? QStringLiteral("+Out") : QStringLiteral("-Out");
}

// A cell as the session counted it, handed to the cell tagger.
struct CountedCell
{
    QDateTime measuredAt;
    QString resistanceText; // exactly as the tester sent them
    QString voltageText;
    double resistanceOhm = 0;
    double voltageV = 0;
    QString resistanceBin;  // "1".."9", "+Out", "-Out"
    QString voltageBin;
};

// What a counted cell's record carries of the cell's identity.
struct CellTag
{
    QString cellId;           // empty: a cell without an ID
    bool toDataFile = false;  // the ID goes into the data file's line
    bool retest = false;      // the ID had records already
    std::optional<double> kValue; // mV/day against the ID's first record, once rested
    bool kTooHigh = false;    // kValue above the limit
};

// Gives counted cells their ID. The session asks it before a cell is counted
// and hands it every counted cell; without one, cells have no ID.
class CellTagger
{
public:
    virtual ~CellTagger() = default;
    // May the next reading be counted now? automatic: auto record fired it,
    // else REC - COUNT was pressed. A refusal is told by the tagger itself.
    virtual bool mayCount(bool automatic) = 0;
    // A reading was judged (mOhm, V), counted or not.
    virtual void readingJudged(double resistanceMilliohm, double voltageV) = 0;
    // A cell was counted: its tag, and the tagger makes ready for the next cell.
    virtual CellTag counted(const CountedCell &cell) = 0;
};

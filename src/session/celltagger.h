#pragma once

struct CellRecord;

// Gives counted cells their ID. The session asks it before a cell is counted
// and hands it every counted cell's record before the record is kept; without
// one, cells have no ID.
class CellTagger
{
public:
    virtual ~CellTagger() = default;
    // May the next reading be counted now? automatic: auto record fired it,
    // else REC - COUNT was pressed. A refusal is told by the tagger itself.
    virtual bool mayCount(bool automatic) = 0;
    // A reading was judged (mOhm, V), counted or not.
    virtual void readingJudged(double resistanceMilliohm, double voltageV) = 0;
    // A cell was counted: the tagger fills the record's cell ID, re-test mark
    // and K-value, and makes ready for the next cell.
    virtual void tag(CellRecord &record) = 0;
};

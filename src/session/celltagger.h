#pragma once

#include "session/settlerule.h"

#include <QString>

#include <optional>

struct CellRecord;

// A reading as the tagger is told it.
struct TaggedReading
{
    double ohms = 0;
    double volts = 0;
    QString resistanceText; // as the tester sent it
    QString voltageText;
    // The voltage resolution the tester's profile states (volts), if any.
    std::optional<double> statedVoltageResolution;
    // A reading of a cell on the probes: not open, not below the lift voltage.
    bool ofCell = false;
};

// Gives counted cells their ID. The session tells it what happens on the
// probes, asks it before a count is decided and before a count takes its
// reading, and hands it every counted cell's record before the record is
// kept; without one, cells have no ID.
class CellTagger
{
public:
    // What a count does with the reading it was about to take.
    enum class Take {
        Record, // count and record it now
        Hold,   // keep it until the operator confirms it (MeasurementSession::answerHeld)
        Wait,   // no reading of the count's cell: a press waits for the next one
        Drop,   // the count is given up: its cell is gone, or its ID does not fit
    };

    virtual ~CellTagger() = default;
    // A session starts: nothing is known of the probes, no count waits.
    virtual void beginSession() = 0;
    // The session stopped: the probes are not watched until the next start.
    virtual void endSession() = 0;
    // What the reply just in changed on the probes; told before the rest of it.
    virtual void probesChanged(SettleDetector::ProbeChange change) = 0;
    // May a count be decided now? automatic: auto record fired it (nothing is
    // decided yet); else REC - COUNT was pressed, and a true answer decides
    // the count, which waits for the next reading. A refusal is told by the
    // tagger itself.
    virtual bool mayCount(bool automatic) = 0;
    // A reading was judged, counted or not.
    virtual void readingJudged(const TaggedReading &reading) = 0;
    // A count is about to take this reading; automatic: auto record decides
    // the count now.
    virtual Take takeReading(const TaggedReading &reading, bool automatic) = 0;
    // A reading taken (Record, or a held one confirmed) is counted: the tagger
    // fills the record's cell ID, re-test mark and K-value, and makes ready
    // for the next cell.
    virtual void tag(CellRecord &record) = 0;
    // A held reading is dropped without an answer (STOP).
    virtual void heldDropped() = 0;
};

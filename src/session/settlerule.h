#pragma once

#include <QString>

#include <array>
#include <deque>
#include <optional>

// What one reply says about the probes, as far as recording a cell goes.
struct ProbeSample
{
    enum class Kind {
        Reading,   // both fields are numbers inside the tester's range
        Open,      // the tester reports an overflow or open circuit
        NoReading, // no number (error text, empty field), a time-out or a stale line
    };
    Kind kind = Kind::NoReading;
    double ohms = 0;
    double volts = 0;

    static ProbeSample reading(double ohms, double volts) { return {Kind::Reading, ohms, volts}; }
    static ProbeSample open() { return {Kind::Open, 0, 0}; }
    static ProbeSample none() { return {}; }
};

// Sorts a reply's two fields (ohms, volts, as the tester sent them). An
// overflow mark in either field counts as open probes.
ProbeSample classifyReading(const std::array<QString, 2> &fields);

// When a reading counts as settled, and when the probes count as lifted.
struct SettleRule
{
    int settleCount = 3;                 // consecutive readings within tolerance
    double resistancePercent = 1.0;      // of the resistance
    double resistanceFloorOhms = 0.0001; // 0.1 mOhm
    double voltagePercent = 0.2;         // of the voltage
    double voltageFloorVolts = 0.002;    // 2 mV
    double liftVolts = 0.1;              // below this the probes are off the cell

    bool operator==(const SettleRule &other) const
    {
        return settleCount == other.settleCount && resistancePercent == other.resistancePercent
            && resistanceFloorOhms == other.resistanceFloorOhms && voltagePercent == other.voltagePercent
            && voltageFloorVolts == other.voltageFloorVolts && liftVolts == other.liftVolts;
    }

    // Widest spread of settleCount readings still taken as one settled value.
    double resistanceTolerance(double ohms) const;
    double voltageTolerance(double volts) const;
};

// Decides when a cell on the probes has settled enough to be recorded, and
// holds off after a record until the probes have been lifted. Fed every
// complete reply in order; has no timers and no widgets.
//
// A reading fires once the last settleCount readings, with no gap between
// them, lie within the rule's tolerances of each other. After a record (by
// whichever path: a fire or the operator's press) nothing fires until the
// probes are lifted. A reply without a reading breaks the run of readings but
// is no lift: the cell may still be on the probes when the line comes back.
//
// The probes count as lifted when the tester reports an open circuit (or a
// voltage below liftVolts) twice in a row. One such reading alone may be
// contact bounce: it neither breaks a run nor ends the hold. If the readings
// after it settle on the held cell's values, that cell is still held; if they
// settle on other values, the next cell was put on quickly and is recorded.
//
// It also tells when a cell comes on the probes (the first reading after a
// lift, or the first of a session) and when it goes, whether auto record is on
// or not, so that whatever belongs to one cell (its ID) is not given another.
class SettleDetector
{
public:
    // What the sample fed last changed on the probes.
    enum class ProbeChange {
        None,
        Placed,   // a cell came on the open probes
        Lifted,   // the cell was lifted
        Replaced, // after one lifting reading, readings settled on another cell
    };

    explicit SettleDetector(SettleRule rule = {}) : m_rule(rule) {}

    const SettleRule &rule() const { return m_rule; }
    // A new rule starts the run and the hold afresh; the cell on the probes stays.
    void setRule(const SettleRule &rule);

    // True when this reading is the one to record now.
    bool feed(const ProbeSample &sample);
    // The reading just fed was recorded: wait for the lift.
    void recorded();
    // Forgets the run and the hold (session start, new rule).
    void reset();
    // Forgets the run only: the readings so far no longer count towards a fire.
    void breakRun() { m_run.clear(); }
    // Whether the sample says the probes are off the cell.
    bool lifts(const ProbeSample &sample) const;

    bool holding() const { return m_holding; }
    int runLength() const { return int(m_run.size()); }
    ProbeChange change() const { return m_change; }
    // A cell is on the probes: a reading came and no lift since.
    bool onCell() const { return m_onCell; }
    // Cells placed so far (Placed and Replaced), which tells one cell from the next.
    int placements() const { return m_placements; }

    // Lifting readings in a row that make a lift.
    static constexpr int kLiftReadings = 2;

private:
    bool runSettled() const;
    bool sameCell(const ProbeSample &a, const ProbeSample &b) const;

    SettleRule m_rule;
    std::deque<ProbeSample> m_run;
    bool m_holding = false;
    // While holding: the held cell's latest reading, and whether one lifting
    // reading has come since, so that the next settled run must tell a bounce
    // from a new cell.
    ProbeSample m_held;
    bool m_maybeLifted = false;
    ProbeSample m_last;     // the latest reading fed
    int m_liftsInRow = 0;   // lifting readings since the latest reading
    bool m_onCell = false;
    int m_placements = 0;
    ProbeChange m_change = ProbeChange::None;
};

#pragma once

#include "session/settlerule.h"

// The one arming behind "REC - COUNT" and the automatic record, so that a press
// and a settled reading can never record one cell twice or lose one.
//
// - A press arms the next reading; it waits through replies that carry none.
// - With auto record on, a settled reading (SettleDetector) arms itself.
// - Whichever armed it, one reading is counted and recorded, and after that the
//   automatic path waits for the probes to be lifted. A press while a cell is
//   held therefore records that cell once more, at the operator's word, and the
//   automatic path still waits for the lift.
// - Switching auto record off forgets the run at once: nothing more is
//   recorded without a press.
class RecordArming
{
public:
    void press() { m_pressed = true; }
    bool pressed() const { return m_pressed; }
    // The press is given up without a record (its reading belongs to another
    // cell, or waits for the operator's confirmation instead).
    void cancelPress() { m_pressed = false; }

    void setAutoRecord(bool enabled);
    bool autoRecord() const { return m_auto; }
    void setRule(const SettleRule &rule) { m_detector.setRule(rule); }
    const SettleDetector &detector() const { return m_detector; }

    // A reply arrived (or its time-out). True when auto record is on and this
    // reading settled the cell: it is to be counted and recorded now, as if
    // pressed. Every reply goes through here, whether auto record is on or not,
    // so the hold follows the probes either way. A press is not consumed here:
    // the session counts the next reading it can judge while pressed() holds.
    bool fires(const ProbeSample &sample);
    // A reading was counted and recorded, by a press or a fire: the press is
    // spent and, while the probes are on a cell, the automatic path waits for
    // the lift. A counting that was refused (a full counter) calls nothing: a
    // press keeps waiting, and a fire comes again with the next settled reading
    // of the same cell.
    void recorded(const ProbeSample &sample);
    // A new session: a press left over from the last one is dropped and the
    // run and hold are forgotten.
    void reset();

private:
    SettleDetector m_detector;
    bool m_pressed = false;
    bool m_auto = false;
};

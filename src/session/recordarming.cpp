#include "session/recordarming.h"

void RecordArming::setAutoRecord(bool enabled)
{
    if (enabled == m_auto)
        return;
    m_auto = enabled;
    // Switched on: the cell on the probes is recorded once it settles.
    // Switched off: nothing of the current run may fire any more.
    m_detector.breakRun();
}

bool RecordArming::fires(const ProbeSample &sample)
{
    // The detector follows the probes even when auto record is off, so that a
    // cell recorded by a press before auto record was switched on is not
    // recorded again; it only fires when auto record is on.
    const bool settled = m_detector.feed(sample);
    m_skipped = false;
    if (m_detector.lifts(sample)) {
        // The lift the detector takes: the second lifting reading in a row.
        if (++m_liftsInRow == SettleDetector::kLiftReadings) {
            m_skipped = m_auto && m_cellOnProbes && !m_cellRecorded;
            m_cellOnProbes = false;
            m_cellRecorded = false;
        }
    } else if (sample.kind == ProbeSample::Kind::Reading) {
        m_liftsInRow = 0;
        m_cellOnProbes = true;
    }
    return m_auto && settled;
}

void RecordArming::recorded(const ProbeSample &sample)
{
    m_pressed = false;
    m_cellRecorded = m_cellOnProbes;
    // A press may take a reading that is no cell (an overflow the tables still
    // judge); that holds nothing.
    if (sample.kind == ProbeSample::Kind::Reading && !m_detector.lifts(sample))
        m_detector.recorded();
}

void RecordArming::reset()
{
    m_pressed = false;
    m_detector.reset();
    m_cellOnProbes = false;
    m_cellRecorded = false;
    m_liftsInRow = 0;
    m_skipped = false;
}

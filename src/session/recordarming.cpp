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
    return m_auto && settled;
}

void RecordArming::recorded(const ProbeSample &sample)
{
    m_pressed = false;
    // A press may take a reading that is no cell (an overflow the tables still
    // judge); that holds nothing.
    if (sample.kind == ProbeSample::Kind::Reading && !m_detector.lifts(sample))
        m_detector.recorded();
}

void RecordArming::reset()
{
    m_pressed = false;
    m_detector.reset();
}

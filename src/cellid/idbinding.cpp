#include "cellid/idbinding.h"

#include <utility>

void IdBinding::reset()
{
    // A cell that was on the probes before may have been swapped while no
    // session watched: its ID is not carried into the new session.
    m_onCell = false;
    m_counted = false;
    m_current.clear();
    m_waiting.reset();
}

IdBinding::ScanTarget IdBinding::scan(const QString &id)
{
    if (m_scanBeforePlacing && m_onCell)
        return ScanTarget::Refused;
    if (m_onCell && !m_counted && !m_waiting) {
        m_current = id;
        return ScanTarget::CellOnProbes;
    }
    m_next = id;
    return ScanTarget::NextCell;
}

void IdBinding::placed()
{
    ++m_cell;
    m_onCell = true;
    m_counted = false;
    m_current = std::exchange(m_next, QString());
}

IdBinding::Lift IdBinding::lifted()
{
    Lift lift;
    if (!m_onCell)
        return lift;
    lift.counted = m_counted;
    if (!m_counted)
        lift.droppedId = m_current;
    m_onCell = false;
    m_counted = false;
    m_current.clear();
    return lift;
}

IdBinding::Count IdBinding::decide()
{
    Count count{inForce(), m_cell};
    if (m_onCell && !m_counted)
        m_current.clear();
    m_waiting = count;
    return count;
}

void IdBinding::finish(bool recorded)
{
    if (recorded && countIsForCellOnProbes())
        m_counted = true;
    m_waiting.reset();
}

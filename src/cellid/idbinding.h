#pragma once

#include <QString>

#include <optional>

// Which cell a scanned ID names, fed the probes' changes, the scans and the
// counts in the order they happen. The rule:
//
// - An ID scanned while a cell is on the probes that has not been counted
//   names that cell; a later scan for it replaces it.
// - An ID scanned while the probes are open names the next cell placed. So
//   does one scanned while a count waits for its reading or for the
//   operator's confirmation, or while the cell on the probes has been counted
//   already: that cell has its record, the scan is for the one after it.
// - With "scan before placing" on, a scan while a cell is on the probes is
//   refused: the scanner sits before the fixture, and a scan then is late.
// - A count copies the ID in force for the cell on the probes when it is
//   decided (a press, Enter, auto record); nothing scanned afterwards changes
//   the copy. The copy belongs to that cell: a count whose cell has been
//   lifted before its reading came is not made.
// - A cell lifted without being counted takes its ID with it: the ID is
//   dropped, never carried to the next cell, and a later scan never reaches
//   a reading of a cell that was lifted before it.
//
// Cells are numbered as they are placed; the number tells a reading's cell.
class IdBinding
{
public:
    enum class ScanTarget {
        CellOnProbes, // the cell on the probes, not counted yet
        NextCell,     // the next cell placed
        Refused,      // scan before placing: a cell is on the probes
    };

    // What became of the cell that was lifted.
    struct Lift
    {
        bool counted = false; // it was counted (at least once)
        QString droppedId;    // it was not counted: the ID it had, dropped
    };

    // A count decided: the ID copied (empty for none) and its cell's number.
    struct Count
    {
        QString id;
        int cell = 0;
    };

    void setScanBeforePlacing(bool on) { m_scanBeforePlacing = on; }
    bool scanBeforePlacing() const { return m_scanBeforePlacing; }

    // A new session: the probes' state is unknown (taken as open) and no
    // count waits. An ID scanned for the next cell stays: it names the first
    // cell the session sees.
    void reset();

    ScanTarget scan(const QString &id);
    void placed();
    Lift lifted();

    // A count is decided now: copies the ID in force for the cell on the
    // probes (empty when there is none, or the probes are open) and waits for
    // the count to be made or given up (finish()).
    Count decide();
    // The count decided has been made (recorded) or given up.
    void finish(bool recorded);

    bool onCell() const { return m_onCell; }
    int cell() const { return m_cell; }
    bool cellCounted() const { return m_counted; }
    bool countWaiting() const { return m_waiting.has_value(); }
    const std::optional<Count> &waitingCount() const { return m_waiting; }
    // Whether the count waiting is for the cell on the probes now.
    bool countIsForCellOnProbes() const { return m_waiting && m_onCell && m_waiting->cell == m_cell; }
    // The ID for the cell on the probes; empty when none.
    const QString &current() const { return m_current; }
    // The ID for the next cell placed; empty when none.
    const QString &next() const { return m_next; }
    // The ID a count decided now would copy.
    QString inForce() const { return m_onCell && !m_counted ? m_current : QString(); }

private:
    bool m_scanBeforePlacing = false;
    bool m_onCell = false;
    bool m_counted = false;
    int m_cell = 0;
    QString m_current;
    QString m_next;
    std::optional<Count> m_waiting;
};

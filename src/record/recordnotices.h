#pragma once

#include "common/result.h"

#include <QString>

#include <optional>

struct RecordWritten;

// What the operator is told about the records of a session. A counted cell
// whose record could not be written is always reported, naming the file and
// the system's reason; a run of identical failures is told as one notice whose
// count grows ("3 counted cells in a row were not saved ..."), meant to replace
// the previous one on screen rather than stack up. A data file found deleted or
// replaced is told once, with the path the records now go to.
class RecordNotices
{
public:
    // A new session: nothing failed yet.
    void reset();

    // The notice to show after a record written to (or not written to) the data
    // file at path (native separators), or nothing when all went as it should.
    std::optional<QString> after(const Result<RecordWritten> &outcome, const QString &path);

    // The run of identical failures that the last notice counted (0 after a
    // record that was written).
    int failuresInRow() const { return m_failuresInRow; }

private:
    QString m_lastPath;
    QString m_lastReason;
    int m_failuresInRow = 0;
};

// "The counted cell was not saved: the data file <path> could not be written
// (<reason>)." or, for cells > 1, "<cells> counted cells in a row were not saved:
// ...".
QString recordNotSavedText(const QString &path, const QString &reason, int cells);

// The data file was found deleted or replaced and was opened afresh.
QString dataFileReplacedText(const QString &path);

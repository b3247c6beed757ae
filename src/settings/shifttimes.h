#pragma once

#include "common/result.h"

#include <QString>

#include <optional>
#include <vector>

// The line's shifts: the times of day at which one shift ends and the next
// begins, kept in Shifts.ini beside Settings.ini:
//
//   [Shifts]
//   Starts=06:00, 14:00, 22:00
//
// The times are separated by "," or ";" ("Starts=6:00;14:00;22:00").
// The last shift of a day runs into the next day up to the first start (with
// the defaults, 22:00 to 06:00).
inline constexpr const char *kShiftsFileName = "Shifts.ini";

struct ShiftTimes
{
    // Seconds after midnight, ascending, at least one hour apart.
    std::vector<int> starts{6 * 3600, 14 * 3600, 22 * 3600};

    // "06:00, 14:00, 22:00"
    QString text() const;
};

// <folder>/Shifts.ini
QString shiftTimesPath(const QString &folder);

// The stored shift times; a missing file gives the defaults without a word.
// A file that cannot be read, has no start times, or has a start time that is
// no time of day, twice the same or less than an hour after the one before,
// fails with a text that says what was wrong and that the defaults are used;
// the caller then goes on with ShiftTimes' defaults.
Result<ShiftTimes> loadShiftTimes(const QString &folder);

// One shift as wall-clock seconds (RecordReading::stamp): from included, to
// excluded.
struct ShiftSpan
{
    qint64 from = 0;
    qint64 to = 0;
};

// The shift that contains the wall-clock time `stamp`, or with `back` > 0 the
// shift that many before it.
ShiftSpan shiftSpan(const ShiftTimes &times, qint64 stamp, int back = 0);

// "current" -> 0, "previous" -> 1, anything else nullopt.
std::optional<int> shiftsBack(const QString &word);

#pragma once

#include "common/result.h"
#include "platform/regularfile.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

// One counted cell as the program judges it: the resistance in milliohms (the
// record's ohm text x 1000) and the voltage in volts, both rounded to 32-bit
// floats exactly as the measurement cycle rounds them.
struct RecordReading
{
    float resistance = 0; // mOhm
    float voltage = 0;    // V
    // The record's date and time as written (the bench's wall clock, no time
    // zone), in seconds since 1970-01-01 00:00 of that clock.
    qint64 stamp = 0;
    int channel = 1; // the bench's test head; a data file holds one channel's cells
};

// Seconds since 1970-01-01 00:00 of a wall-clock date and time, by the
// proleptic Gregorian calendar; the inverse of nothing else in the program,
// only a way to order and group record times.
qint64 wallClockSeconds(int year, int month, int day, int hour, int minute, int second);

// The reading of one data-file line (without its line end; a trailing CR is
// allowed), or nullopt when the line is not a record. A record has four
// fields, and may have a fifth and a sixth: the cell's ID and then the
// tester's word, either one alone as the fifth (see recordLine). A fifth field
// must be 1 to 64 printable ASCII characters without a double quote (every ID
// and every word is), a sixth the tester's word. Not a record: fewer than four
// fields or more than six, a further field that is not so, a date or time
// that is not "dddd?dd?dd" / "dd?dd?dd" (year, month, day; hour, minute,
// second), a date or time that does not exist (month 13, 31 April, 29 February
// of a common year, hour 24, minute or second 60), a reading text that is not
// wholly a number (testerNumber), or a reading the tester marks as overflow
// (isOverflowMark, shown as "OF" in the window).
std::optional<RecordReading> parseRecordLine(std::string_view line);

// The cell ID a record line (see parseRecordLine) carries, empty for none:
// with six fields the fifth; with five the fifth unless it is one of
// testerWords (the pass and fail words of the tester's profile, which a line
// without an ID carries there), and never a line that is no record.
QString recordCellId(std::string_view line, const QStringList &testerWords);

// What one pass over a data file found.
struct RecordTail
{
    std::vector<RecordReading> readings;
    qint64 linesNotRead = 0;   // complete lines that are not records
    qint64 startOffset = 0;    // where this pass began (0 after a restart)
    qint64 endOffset = 0;      // just after the last complete line read
    qint64 fileSize = 0;       // size seen when the pass began
    bool restarted = false;    // the file was shorter than the offset asked for, or another one
    std::optional<regularfile::Identity> file; // the file read, for the next pass
    bool cancelled = false;    // progress asked to stop; the rest is unread
};

// Called after every chunk with the bytes read so far and the bytes the pass
// will read; returning false stops the pass.
using ReadProgress = std::function<bool(qint64 done, qint64 total)>;

// Reads the complete lines of the file from byte `fromOffset` on, never
// changing the file. A last line without its line end is left for the next
// pass (it may still be being written). A file now shorter than `fromOffset`
// was cut or replaced: the pass reads it from the start and says so; so is a
// file that is not `readBefore` (the RecordTail::file of the pass before),
// such as a file moved over the path. A file that shrinks or grows while it
// is read ends the pass at what was read. Only a regular file is read: a named
// pipe, a device or a folder is refused at once. A file that cannot be opened
// or read fails (ErrorKind::FileIo) with the reason.
Result<RecordTail> readRecordFile(const QString &path, qint64 fromOffset, const ReadProgress &progress = {},
                                  const std::optional<regularfile::Identity> &readBefore = std::nullopt);

// The same pass, handing each record to `take` in file order instead of
// keeping it: the returned tail's readings stay empty. A read that fails part
// of the way has handed the records before the failure to `take`.
Result<RecordTail> forEachRecord(const QString &path, qint64 fromOffset,
                                 const std::function<void(const RecordReading &)> &take,
                                 const ReadProgress &progress = {},
                                 const std::optional<regularfile::Identity> &readBefore = std::nullopt);

// The same again, handing each record with its line's text (without the line
// end), which is valid only during the call.
using RecordLineTaker = std::function<void(const RecordReading &reading, std::string_view line)>;
Result<RecordTail> forEachRecordLine(const QString &path, qint64 fromOffset, const RecordLineTaker &take,
                                     const ReadProgress &progress = {},
                                     const std::optional<regularfile::Identity> &readBefore = std::nullopt);

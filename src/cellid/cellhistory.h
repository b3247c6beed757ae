#pragma once

#include "cellid/kvalue.h"
#include "record/cellrecord.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

// A cell's history: its records from the bench's journal and, when the shared
// database is on, from the database, which holds the other benches' records
// too. Both keep a record under the same UUID, so a record already sent is
// listed once.

// records and more together, each record once (by its UUID), oldest first.
std::vector<CellRecord> mergedHistory(std::vector<CellRecord> records, const std::vector<CellRecord> &more);

// A record dated later than this after now is a clock problem (this bench's or
// the bench that made it): benches' clocks differ by seconds, which says nothing.
inline constexpr qint64 kClockSlackSecs = 60;

// Whether the record is dated after now (beyond kClockSlackSecs).
bool datedInFuture(const CellRecord &record, const QDateTime &now);

// The records of the history dated after now, oldest first.
std::vector<const CellRecord *> futureRecords(const std::vector<CellRecord> &history, const QDateTime &now);

// What a reading on the probes is compared with: its value and how the tester
// wrote its voltage, and the profile's stated voltage resolution, if any.
struct ReadingNow
{
    double ohms = 0;
    double volts = 0;
    QString resistanceText;
    QString voltageText;
    std::optional<double> statedVoltageResolution; // volts
    QDateTime at;
};

// The voltage step of a reading written as text: the coarser of the text's
// last digit and the stated resolution; nothing when neither is known.
std::optional<double> readingResolution(const QString &voltageText, std::optional<double> stated);

// The K-value of the reading against the oldest record of the history that is
// not dated after now; nothing before the minimum rest, or without such a record.
std::optional<KEstimate> kAgainstHistory(const std::vector<CellRecord> &history, const ReadingNow &now,
                                         qint64 minimumRestSecs, double limitMvPerDay);

// Marks a cell about to be recorded against the ID's history (oldest first):
// a re-test when there is any earlier record, and the K-value with its
// uncertainty and verdict (kAgainstHistory). historyKnown: the look-up was
// complete; a cell of which nothing was found while it was not is marked
// "history not known" rather than passed off as new.
void markAgainstHistory(CellRecord &record, const std::vector<CellRecord> &history, bool historyKnown,
                        const ReadingNow &now, qint64 minimumRestSecs, double limitMvPerDay);

// The warning shown when a scanned ID already has records: how many, and the
// latest one's date, bench, readings and BINs. Empty without records.
QString repeatWarning(const QString &cellId, const std::vector<CellRecord> &records);

// The notice for records dated after now: the latest such date and this
// computer's time, and that they are not used for the K-value. Empty without.
QString clockWarning(const QString &cellId, const std::vector<CellRecord> &history, const QDateTime &now);

// "yyyy-MM-dd hh:mm:ss" in this computer's time, as the history shows a record's time.
QString historyTimeText(const QDateTime &time);

// How far a new reading may stray from the cell's last record before the
// operator is asked whether it is that cell at all.
struct PlausibilityLimits
{
    // The resistance may differ from the last record's by this share of it.
    double resistanceShare = 0.20;
    // The voltage may be higher than the last record's by the tester's
    // voltage resolution and this (volts): a resting cell only loses voltage.
    double voltageMarginV = 0.005;
};

// Why the reading does not look like the cell of this history; nothing when
// it does, or when there is no record to compare with. The reading is
// compared with the latest record not dated after now; the question names
// both readings, the earlier one with its date and bench.
std::optional<QString> implausibility(const QString &cellId, const std::vector<CellRecord> &history,
                                      const ReadingNow &now, const PlausibilityLimits &limits);

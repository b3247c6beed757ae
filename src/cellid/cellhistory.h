#pragma once

#include "link/testernumber.h"
#include "record/cellrecord.h"

#include <QDateTime>
#include <QString>

#include <vector>

// A cell's history: its records from the bench's journal and, when the shared
// database is on, from the database, which holds the other benches' records
// too. Both keep a record under the same UUID, so a record already sent is
// listed once.

// records and more together, each record once (by its UUID), oldest first.
std::vector<CellRecord> mergedHistory(std::vector<CellRecord> records, const std::vector<CellRecord> &more);

// Marks a cell about to be recorded against the ID's history (oldest first):
// a re-test when there is any earlier record, and the K-value against the
// first one once that is at least minimumRestSecs old, judged against limit.
void markAgainstHistory(CellRecord &record, const std::vector<CellRecord> &history, qint64 minimumRestSecs,
                        double limitMvPerDay);

// The warning shown when a scanned ID already has records: how many, and the
// latest one's date, bench, readings and BINs. Empty without records.
QString repeatWarning(const QString &cellId, const std::vector<CellRecord> &records);

// A record's reading in the main window's units: "37.352 mOhm", "3.6500 V"
// (an overflow or a text that is no number as the main window shows it).
QString recordedValueText(const CellRecord &record, Quantity quantity);

// "yyyy-MM-dd hh:mm:ss" in this computer's time, as the history shows a record's time.
QString historyTimeText(const QDateTime &time);

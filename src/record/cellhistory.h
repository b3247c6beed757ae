#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// One record of a cell, as a history source gives it.
struct CellHistoryEntry
{
    QDateTime measuredAt;
    QString bench;
    QString resistanceText; // exactly as the tester sent them
    QString voltageText;
    double resistanceOhm = 0;
    double voltageV = 0;
    QString resistanceBin;  // "1".."9", "+Out", "-Out"; empty when unknown
    QString voltageBin;
    QString cellId;
    bool retest = false;
    std::optional<double> kValue; // mV/day against the cell's first record
    bool kTooHigh = false;
};

// Where the records of a cell are looked up.
class CellHistorySource
{
public:
    virtual ~CellHistorySource() = default;
    // Every record of the ID, oldest first.
    virtual std::vector<CellHistoryEntry> recordsOf(const QString &cellId) const = 0;
};

// Records kept in memory by their cell ID: the records of the data files, and
// every cell counted since.
class CellRecordIndex : public CellHistorySource
{
public:
    // A record without an ID is not kept.
    void add(CellHistoryEntry record);
    std::vector<CellHistoryEntry> recordsOf(const QString &cellId) const override;
    qsizetype cells() const { return m_records.size(); }

private:
    QHash<QString, std::vector<CellHistoryEntry>> m_records;
};

// The records with a cell ID (five-field lines) in the given data files, read
// without changing them; every record gets the bench name given. A file that
// cannot be read is named in *problems and passed over.
CellRecordIndex readCellRecords(const QStringList &paths, const QString &bench, QStringList *problems = nullptr);

// The data files beside a data file: every "*.csv" in its folder.
QStringList dataFilesBeside(const QString &dataFilePath);

// The history as shown: sorted by time, every record after the first marked a
// re-test, and each later record's K-value against the first once it is at
// least minimumRestSecs old. Marks a source stored itself are kept.
std::vector<CellHistoryEntry> withDerivedMarks(std::vector<CellHistoryEntry> records, qint64 minimumRestSecs,
                                         double limitMvPerDay);

// The warning shown when a scanned ID already has records: how many, and the
// latest one's date, bench, readings and BINs.
QString repeatWarning(const QString &cellId, const std::vector<CellHistoryEntry> &records);

// "yyyy-MM-dd hh:mm:ss" as the history shows a record's time.
QString historyTimeText(const QDateTime &time);

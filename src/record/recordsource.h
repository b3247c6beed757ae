#pragma once

#include "common/result.h"
#include "record/recordfilereader.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>
#include <vector>

// Which records a view or report takes: one bench or all, and a span of
// wall-clock time, from included, to excluded.
struct RecordFilter
{
    QString bench; // empty: every bench
    std::optional<qint64> from; // RecordReading::stamp
    std::optional<qint64> to;

    bool takesTime(qint64 stamp) const { return (!from || stamp >= *from) && (!to || stamp < *to); }
};

// A wall-clock time as the user types it: "2026-12-07 14:05[:09]" (or with a
// "T"), "2026-12-07" (its midnight) or "14:05[:09]" (on `today`), as
// RecordReading::stamp; nullopt for anything else.
std::optional<qint64> parseWallClock(const QString &text, const QDate &today);
// The wall-clock time of a QDateTime (its date and time of day), as a stamp.
qint64 wallClockOf(const QDateTime &time);

// A BIN set-up that judged some of the records a filter takes: its hash, its
// canonical text (BinSetup::text; empty when the source does not hold it) and
// how many of the records it judged, the last of them at lastStamp.
struct SetupInForce
{
    QString hash;
    QString text;
    qint64 cells = 0;
    qint64 lastStamp = 0;
};

// Called for every record taken, in record order, with the index of its bench
// in RecordSource::benches() and its place in the source, by which
// RecordSource::details() finds it again (a data file's record number from 0,
// the journal's seq, the central database's arrival; -1 when the source
// cannot find its records again); returning false stops the pass.
using RecordVisitor = std::function<bool(int bench, const RecordReading &reading, qint64 place)>;

// What a marked cell needs to be found at the bench: its time and its cell ID
// (empty when it has none).
struct RecordDetail
{
    qint64 stamp = 0; // RecordReading::stamp
    QString cellId;
};

// Asked often during long work, from the thread doing it; returning false
// stops the work (a window that no longer wants it has cancelled it).
using KeepGoing = std::function<bool()>;

// Where counted cells come from for the quality views: a data file today; the
// bench's journal or the line's central database are further kinds. A source
// is read in whole passes, each handing every record the filter takes to the
// visitor without keeping them, so a pass over any number of cells needs the
// same memory; an analysis that needs two looks (limits first, then the
// points against them) makes two passes. Passes may run on any one thread
// at a time, never the user-interface thread for a file or a database.
class RecordSource
{
public:
    virtual ~RecordSource() = default;

    // For titles and reports: "Data file /path/2026-12-07.csv".
    virtual QString description() const = 0;
    // The benches a pass may name; the filter's bench picks one of them.
    virtual QStringList benches() const = 0;
    // One pass. Fails with a plain reason when the source cannot be read; a
    // pass the visitor stopped is no failure.
    virtual Status read(const RecordFilter &filter, const RecordVisitor &visit) = 0;
    // A pass for the values, bench and place alone: a source may hand every
    // record over with stamp 0 when that is quicker to read.
    virtual Status readValues(const RecordFilter &filter, const RecordVisitor &visit) { return read(filter, visit); }
    // Records passed over as damaged in the last pass.
    virtual qint64 recordsNotRead() const { return 0; }
    // The time and cell ID of the records at these places (from a pass of
    // this source), for the few cells a view lists; a place no longer found
    // is left out. Fails with the reason when the source cannot be read.
    virtual Result<std::map<qint64, RecordDetail>> details(const std::vector<qint64> &places)
    {
        Q_UNUSED(places)
        return std::map<qint64, RecordDetail>();
    }
    // The set-ups that judged the records the filter takes, the one of the
    // latest record last. A data file keeps no set-up: none.
    virtual Result<std::vector<SetupInForce>> setups(const RecordFilter &filter)
    {
        Q_UNUSED(filter)
        return std::vector<SetupInForce>();
    }

    // Asked between records and blocks, whether the filter takes them or
    // not; once it returns false a pass stops as when its visitor does.
    void setKeepGoing(KeepGoing keepGoing) { m_keepGoing = std::move(keepGoing); }

protected:
    bool keepGoing() const { return !m_keepGoing || m_keepGoing(); }

private:
    KeepGoing m_keepGoing;
};

// The details of the records with these numbers (from 0, damaged lines not
// counted) in the data file at path; testerWords as for recordCellId().
Result<std::map<qint64, RecordDetail>> dataFileDetails(const QString &path, const std::vector<qint64> &places,
                                                       const QStringList &testerWords);

// A data file: one bench's records, named after the file. A record's place
// is its number in the file from 0; its cell ID is read as recordCellId()
// reads it, with the tester's words of the profile in use.
class DataFileSource : public RecordSource
{
public:
    explicit DataFileSource(QString path, QString bench = {}, QStringList testerWords = {});

    QString description() const override;
    QStringList benches() const override { return {m_bench}; }
    Status read(const RecordFilter &filter, const RecordVisitor &visit) override;
    qint64 recordsNotRead() const override { return m_linesNotRead; }
    Result<std::map<qint64, RecordDetail>> details(const std::vector<qint64> &places) override;

private:
    QString m_path;
    QString m_bench;
    QStringList m_testerWords;
    qint64 m_linesNotRead = 0;
};

// Records already in memory (the batch window keeps its file's readings, the
// file's records in order): a record's place is its index. With the path of
// the file they were read from, details() reads the cells' IDs there.
class ReadingsSource : public RecordSource
{
public:
    ReadingsSource(const std::vector<RecordReading> &readings, QString description, QString bench,
                   QString path = {}, QStringList testerWords = {});

    QString description() const override { return m_description; }
    QStringList benches() const override { return {m_bench}; }
    Status read(const RecordFilter &filter, const RecordVisitor &visit) override;
    Result<std::map<qint64, RecordDetail>> details(const std::vector<qint64> &places) override;

private:
    const std::vector<RecordReading> &m_readings;
    QString m_description;
    QString m_bench;
    QString m_path;
    QStringList m_testerWords;
};

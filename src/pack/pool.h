#pragma once

#include "record/cellrecord.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>
#include <set>
#include <vector>

// One cell that may go into a pack, as its cell ID's latest record has it.
struct PoolCell
{
    QUuid recordId;          // the latest record's UUID, as the journal and the shared database keep it
    QString cellId;
    QString bench;
    QDateTime measuredAt;
    double resistanceOhm = 0;
    double voltageV = 0;
    QString resistanceText;  // exactly as the tester sent them
    QString voltageText;
    QString resistanceBin;
    QString voltageBin;
    QString kVerdict;        // "OK" or "too high"; empty while the K-value is not known
    bool retest = false;     // the ID has earlier records
    bool failedRetest = false;
    bool inPack = false;
    std::optional<double> capacityMah;
    QString capacityText;    // as the capacity file gave it
};

enum class KVerdictFilter {
    Any,
    NotTooHigh, // a cell whose K-value is not known yet stays in
    OkOnly,     // only cells with a K-value judged OK
};

// Which cells a pool takes. Every filter applies to the latest record of a
// cell ID: a cell is what it was last measured to be.
struct PoolFilter
{
    std::optional<QDateTime> from; // latest record at or after this
    std::optional<QDateTime> to;   // latest record before this
    QStringList benches;           // empty: every bench
    QStringList resistanceBins;    // "1".."9", "+Out", "-Out"; empty: every BIN
    QStringList voltageBins;
    KVerdictFilter kVerdict = KVerdictFilter::NotTooHigh;
    bool withoutFailedRetest = true;
    bool withoutPacked = true;
    // The tester profile's fail words: a latest record with one of them as
    // its tester word has failed (compared without regard to case).
    QStringList failWords;
};

// What became of the records given to buildPool(). Every record is counted
// once: taken, superseded by a later record of its ID, without an ID, or left
// out by the first filter it fails, in the order of the members below.
struct PoolReport
{
    int records = 0;
    int withoutId = 0;       // no cell ID, or one that is no valid ID
    int superseded = 0;      // an earlier record of an ID that has a later one
    int noReading = 0;       // latest record without a usable resistance or voltage
    int outsideTime = 0;
    int otherBench = 0;
    int resistanceBin = 0;
    int voltageBin = 0;
    int kVerdict = 0;
    int failedRetest = 0;
    int inPack = 0;
    int taken = 0;

    // One line per count that is not zero, for the person choosing the pool.
    QStringList lines() const;
};

struct Pool
{
    std::vector<PoolCell> cells; // in cell-ID order
    // Every valid cell ID among the records, taken or not: a capacity file's
    // row for one of these is no unknown ID.
    std::set<QString> knownIds;
    PoolReport report;
};

// The pool of the records given (from the journal, the shared database or
// both; a record held by both counts once, by its UUID). A cell ID's latest
// record (by time, then by UUID: isLaterRecord()) decides every filter. Its
// record failed when a BIN is "+Out" or "-Out", its K-value is "too high" or
// its tester word is a fail word; a failed re-test is such a record of an ID
// that has earlier records. packedIds: the cell IDs already in a pack.
Pool buildPool(const std::vector<CellRecord> &records, const PoolFilter &filter,
               const std::set<QString> &packedIds = {});

// Whether record a is later than b: by time, then by UUID, so that the choice
// never depends on the order the records came in.
bool isLaterRecord(const CellRecord &a, const CellRecord &b);

// buildPool() one cell ID at a time, for a reader that hands over each ID's
// latest record as it meets it and keeps no more: the pool is the same as
// buildPool() makes of the same records.
class PoolBuilder
{
public:
    PoolBuilder(PoolFilter filter, std::set<QString> packedIds);

    // Records without a cell ID, or with one that is no valid ID.
    void addWithoutId(int records = 1);
    // The latest record of a cell ID (normalised and valid) and how many
    // records the ID has; each ID once.
    void addCell(const QString &id, const CellRecord &latest, int records);
    Pool take();

private:
    PoolFilter m_filter;
    std::set<QString> m_packedIds;
    Pool m_pool;
};

// A reading fit to plan with: a resistance above 0 and a voltage, both finite
// and below the tester's overflow marks.
bool hasUsableReading(double resistanceOhm, double voltageV);

#pragma once

#include "common/result.h"
#include "pack/pool.h"
#include "record/centralconnection.h"

#include <QString>

#include <atomic>
#include <set>

// Where the records of a pool come from: the bench's journal, the line's
// shared database, or a data file whose fifth field is the cell's ID.
struct PoolSource
{
    enum class Kind { Journal, Central, DataFile };
    Kind kind = Kind::Journal;
    QString path;            // journal.sqlite, or the data file
    CentralSettings central; // the shared database
    QString bench;           // a data file's bench; its base name when empty

    // "Record journal /path/journal.sqlite", "Central database ...", "Data file ...".
    QString description() const;
    // The journal and the shared database keep pack plans; a data file does not.
    bool keepsPlans() const { return kind != Kind::DataFile; }
    // The bench name a data file's records carry.
    QString dataFileBench() const;
};

// Reads the records of every cell ID in the source and builds their pool as
// buildPool() does (PoolBuilder). The records come in cell-ID order, and only
// the latest record of the ID at hand is kept while reading, so memory grows
// with the pool and the number of IDs, not with the records: the journal and
// the shared database stream them (the server through a cursor, 10,000 rows
// at a time). A data file's records are its lines with a fifth field, taken
// as the cell's ID (a sixth is the tester's word); its times are this
// computer's wall clock, and it keeps no BINs, K-values or re-test marks.
//
// With filter.withoutPacked the cells the source's pack tables hold reserved
// (packtables.h) are left out; a data file keeps none. Records without a cell
// ID are not read: the report counts the records that have one.
//
// Never writes. Fails with a plain reason when the source cannot be read, and
// when *cancel is set (checked between records).
Result<Pool> readPool(const PoolSource &source, const PoolFilter &filter, const std::atomic<bool> *cancel = nullptr);

// The cell IDs the source's pack tables hold reserved; none when the source
// has no such tables yet or keeps no plans.
Result<std::set<QString>> readReservedIds(const PoolSource &source);

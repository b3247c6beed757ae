#pragma once

#include "common/result.h"
#include "pack/capacitycsv.h"
#include "pack/packplan.h"
#include "pack/poolreader.h"
#include "pack/replacement.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <memory>
#include <optional>
#include <set>
#include <vector>

// What a saved plan was made from, kept with it: a replacement for a cell
// that fails is chosen from a pool read the same way.
struct PlanOrigin
{
    PoolFilter filter;
    QString capacityFile; // empty: none
    CapacityColumns capacityColumns;
};

// Who saves a plan.
struct PackLabel
{
    QString name;   // empty: "<shape> <yyyy-MM-dd HH:mm> <bench>"
    QString bench;
    QString madeBy; // the user's name
};

enum class PackCellState { Planned, Placed, Failed };

// One cell of a saved pack at its place.
struct PackCell
{
    int group = 0;    // from 1
    int position = 0; // from 1
    PoolCell cell;    // as planned: ID, record, readings, capacity
    PackCellState state = PackCellState::Planned;
    QDateTime placedAt;
    QString placedBench;
    QString replaces; // the failed cell this one stands in for
};

struct PackSummary
{
    QUuid id;
    QString name;
    QString shape;
    QString bench;
    QString madeBy;
    QDateTime created;
    QDateTime released; // invalid while the pack holds its cells
    int places = 0;     // S x P
    int placed = 0;

    bool isReleased() const { return released.isValid(); }
};

struct StoredPack
{
    PackSummary summary;
    PlanSettings settings;
    QString algorithm;
    QString inputHash;
    PlanOrigin origin;
    std::vector<PackCell> cells; // by group and position; a failed cell before the one that took its place

    // The cell standing at each place: S groups, each in position order;
    // a place whose cell failed without a replacement is left out.
    PackGroups groups() const;
    // The cell at the place, or nothing when it is open.
    const PackCell *at(int group, int position) const;
    const PackCell *find(const QString &cellId) const;
};

// What saving a plan gave: the pack's ID, or the plan's cells another pack
// holds already (then nothing was saved).
struct SavedPlan
{
    QUuid pack;
    QStringList taken;

    bool saved() const { return taken.isEmpty(); }
    // "Not saved: another pack holds 3 cells of the plan already: ..."
    QString refusalText() const;
};

// What a scan at placement says.
struct ScanAnswer
{
    enum class Verdict {
        Place,         // the cell goes to group, position (now marked placed)
        PlacedAlready, // at group, position since placedAt
        Failed,        // marked failed; standIn takes its place (empty: none yet)
        OtherPack,     // reserved for the pack otherPack
        NotInPack,
        Released,      // the pack was released
        NoId,          // the scan is no valid cell ID
    };
    Verdict verdict = Verdict::NotInPack;
    QString cellId;
    int group = 0;
    int position = 0;
    QDateTime placedAt;
    QString standIn;
    QString otherPack;
    int placed = 0; // of the pack after the scan
    int places = 0;

    bool accepted() const { return verdict == Verdict::Place; }
    // "Group 7, position 12", or why not in one sentence.
    QString text() const;
};

// What marking a cell failed gave.
struct FailedCell
{
    QString cellId;
    int group = 0;
    int position = 0;
    std::optional<PoolCell> replacement; // nothing: no free cell keeps the windows
    GroupFigures before; // the group with the failed cell
    GroupFigures after;  // with the replacement, or without the failed cell
    PackFigures packBefore;
    PackFigures packAfter;
    QStringList passedOver; // better cells another pack took meanwhile

    QStringList lines() const;
};

// The pack tables of the bench's journal or of the line's shared database, on
// a connection of the calling thread. Saving a plan reserves its cells:
// under one lock per store (BEGIN IMMEDIATE on the journal, an advisory
// transaction lock on the server) the plan's cells are looked up among the
// cells reserved, and the plan is refused, naming them, when another pack
// holds any; a unique index on the reserved cells backs the rule. So two
// benches saving plans at the same moment never share a cell.
class PackStore
{
public:
    // A journal or central source (PoolSource::keepsPlans()).
    explicit PackStore(PoolSource source);
    ~PackStore();
    PackStore(const PackStore &) = delete;
    PackStore &operator=(const PackStore &) = delete;

    // Connects; the tables are made or brought up to date first (the
    // journal's format, the server's additions). Fails with the reason.
    Status open();
    const PoolSource &source() const { return m_source; }

    Result<SavedPlan> save(const Plan &plan, const PlanOrigin &origin, const PackLabel &label);
    // Frees the pack's cells (but failed ones) for other packs; a released
    // pack takes no more scans.
    Status release(const QUuid &pack);
    // Every pack, the newest first; released ones only when asked.
    Result<std::vector<PackSummary>> packs(bool withReleased);
    Result<StoredPack> load(const QUuid &pack);
    // A scanned cell: marks it placed when it is one of the pack's cells not
    // yet placed, and says where it goes; otherwise says why not.
    Result<ScanAnswer> place(const QUuid &pack, const QString &scanned, const QString &bench);
    // Marks the cell failed (it stays out of every pack) and gives its place
    // to the first of `ranked` that no pack holds, reserved like the plan's
    // cells. The cell may be one marked failed already whose place is still
    // open. Fails when it is not one of the pack's cells.
    Result<FailedCell> fail(const QUuid &pack, const QString &cellId, const std::vector<ReplacementChoice> &ranked);

private:
    struct Connection;
    Failure failure() const;

    PoolSource m_source;
    std::unique_ptr<Connection> m_connection;
};

// Reads the pool the pack was planned from (its source, filter and capacity
// file) without the cells of any pack, and marks the cell failed with the
// best of them in its place (PackStore::fail()). Fails when the pool or the
// capacity file cannot be read, or when *cancel is set.
Result<FailedCell> failAndReplace(PackStore &store, const QUuid &pack, const QString &cellId,
                                  const std::atomic<bool> *cancel = nullptr);

#include "record/packtables.h"

namespace packtables {

QStringList create(CellStore store)
{
    const bool journal = store == CellStore::Journal;
    // The journal keeps UUIDs and times as text (times with their UTC offset),
    // truth values as 0 and 1.
    const QString uuid = journal ? QStringLiteral("TEXT") : QStringLiteral("uuid");
    const QString text = journal ? QStringLiteral("TEXT") : QStringLiteral("text");
    const QString integer = journal ? QStringLiteral("INTEGER") : QStringLiteral("integer");
    const QString real = journal ? QStringLiteral("REAL") : QStringLiteral("double precision");
    const QString time = journal ? QStringLiteral("TEXT") : QStringLiteral("timestamptz");
    const QString flag = journal ? QStringLiteral("INTEGER NOT NULL DEFAULT 1") : QStringLiteral("boolean NOT NULL DEFAULT true");
    const QString reserved = journal ? QStringLiteral("reserved = 1") : QStringLiteral("reserved");
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS packs (id %1 PRIMARY KEY, name %2 NOT NULL, shape %2 NOT NULL,"
                       " series %3 NOT NULL, parallel %3 NOT NULL, seed %2 NOT NULL, algorithm %2 NOT NULL,"
                       " input_hash %2 NOT NULL, settings %2 NOT NULL, figures %2 NOT NULL, bench %2 NOT NULL,"
                       " made_by %2 NOT NULL, created_at %4 NOT NULL, released_at %4)")
                .arg(uuid, text, integer, time),
        QStringLiteral("CREATE TABLE IF NOT EXISTS pack_cells (pack_id %1 NOT NULL REFERENCES packs(id),"
                       " group_no %3 NOT NULL, position %3 NOT NULL, cell_id %2 NOT NULL, record_id %1,"
                       " resistance_text %2, voltage_text %2, capacity_text %2, resistance_ohm %4, voltage_v %4,"
                       " capacity_mah %4, state %2 NOT NULL DEFAULT 'planned', reserved %5, placed_at %6,"
                       " placed_bench %2, replaces %2)")
                .arg(uuid, text, integer, real, flag, time),
        QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS pack_cells_reserved ON pack_cells (cell_id) WHERE %1")
                .arg(reserved),
        QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS pack_cells_slot ON pack_cells (pack_id, group_no, position)"
                       " WHERE state <> 'failed'"),
    };
}

} // namespace packtables

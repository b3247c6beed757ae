#pragma once

#include "record/cellcolumns.h"

#include <QStringList>

// The tables that keep pack plans beside the cells: the same two in the
// bench's journal (format 3) and in the line's central database (additions
// level 2), so that the rule "one cell, one pack" holds on one bench with the
// journal alone and across the benches of a line with the shared database.
//
//   packs(id              -- UUID, made by the bench that saves the plan
//         name, shape     -- "14s40p 2026-12-08 10:31 bench-1", "14s40p"
//         series, parallel
//         seed, algorithm, input_hash   -- what gives the same plan again
//         settings        -- JSON: windows, capacity file, the pool's filter and source
//         figures         -- JSON: the plan's figures when it was saved
//         bench, made_by, created_at
//         released_at)    -- NULL while the pack holds its cells
//   pack_cells(pack_id REFERENCES packs(id), group_no, position,  -- from 1
//              cell_id, record_id,                               -- the record planned with
//              resistance_text, voltage_text, capacity_text,     -- as read
//              resistance_ohm, voltage_v, capacity_mah,
//              state,          -- 'planned', 'placed' or 'failed'
//              reserved,       -- true while the cell is kept for this pack
//              placed_at, placed_bench,
//              replaces)       -- the failed cell this one stands in for
//   pack_cells_reserved: unique on cell_id among the reserved rows: no cell
//                        is kept for two packs, whichever bench saves them
//   pack_cells_slot:     unique on (pack_id, group_no, position) among the
//                        cells not failed: one cell per place
//
// A cell marked failed stays reserved, also once its pack is released, so
// that it never goes into another pack. Older programs never read or write
// these tables.
namespace packtables {

// The journal format and the central additions level that bring the tables.
inline constexpr int kJournalFormat = 3;
inline constexpr int kCentralAdditions = 2;

inline constexpr const char *kPlanned = "planned";
inline constexpr const char *kPlaced = "placed";
inline constexpr const char *kFailed = "failed";

// The statements that make the tables and their indexes in the store; each
// does nothing when its table or index is there already.
QStringList create(CellStore store);

} // namespace packtables

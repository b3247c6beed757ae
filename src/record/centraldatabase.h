#pragma once

#include "record/journal.h"

#include <QSqlDatabase>
#include <QString>

#include <map>
#include <vector>

struct CentralSettings;

// The shared PostgreSQL database of a line of benches, reached through Qt
// SQL's QPSQL driver. Every function works on a connection of the calling
// thread, named by the caller.
//
// Schema 1 with its first additions. The version is kept in bin4870_schema; a
// database whose version is newer than kSchemaVersion is refused and never
// altered. Additions are columns and indexes that programs knowing only the
// version leave alone (their statements name their columns), so they do not
// change the version and benches of an older program keep sending.
//
//   bin4870_schema(version integer NOT NULL,
//                  additions integer NOT NULL DEFAULT 0)
//   bin_setups(hash text PRIMARY KEY,          -- SHA-256 hex of setup
//              setup text NOT NULL)            -- both BIN tables as canonical JSON
//   cells(id uuid PRIMARY KEY,
//         bench text NOT NULL,
//         measured_at timestamptz NOT NULL,
//         resistance_text text NOT NULL,       -- as the tester sent it
//         voltage_text text NOT NULL,
//         resistance_ohm double precision, voltage_v double precision,
//         resistance_bin text, voltage_bin text,  -- "1".."9", "+Out", "-Out"
//         setup_hash text REFERENCES bin_setups(hash),
//         cell_id text,                        -- the scanned ID; NULL for a cell without one
//         program_version text,
//         arrival bigint GENERATED ALWAYS AS IDENTITY,  -- the server's order of arrival
//         retest boolean NOT NULL DEFAULT false,       -- the ID had records already
//         k_value double precision,            -- mV/day since the ID's first record
//         k_limit double precision,            -- the limit it was judged against
//         k_verdict text,                      -- "OK" or "too high"; NULL without a K-value
//         tester_word text)                    -- the tester's own pass/fail word, when read
//   cells_bench_arrival: index on cells(bench, arrival)
//   cells_measured_at:   index on cells(measured_at)
//   cells_cell_id:       index on cells(cell_id) WHERE cell_id IS NOT NULL
//
// The first addition brought the last five columns and cells_cell_id;
// prepareSchema() adds them in place, rows kept.
namespace central {

inline constexpr int kSchemaVersion = 1;
inline constexpr int kSchemaAdditions = 1;

struct Outcome
{
    bool ok = false;
    // Short, for the status bar: "password refused", "server not reachable", ...
    QString reason;
    // Whole sentences for the dialog.
    QString message;
};

// Opens the connection with the settings (no password: libpq finds it in
// ~/.pgpass or PGPASSFILE). Gives up after a few seconds when nothing answers.
Outcome connect(const QString &connectionName, const CentralSettings &settings);

// Makes the tables at first contact and upgrades older ones, under a lock so
// that benches starting together do it once. A newer schema is refused.
Outcome prepareSchema(const QString &connectionName, const CentralSettings &settings);

// "Test connection": connects and reads the schema version, changing nothing.
// Closes and removes the connection.
Outcome probe(const QString &connectionName, const CentralSettings &settings);

// Sends the records, and the set-ups they refer to, in one transaction:
// INSERT ... ON CONFLICT (id) DO NOTHING, so a record sent twice is kept once.
// setups: hash -> text of every set-up the records name.
Outcome send(const QString &connectionName, const CentralSettings &settings,
             const std::vector<Journal::Pending> &records, const std::map<QString, QString> &setups);

// Every record of the cell ID, oldest first, on a connection of its own
// (connected here, left open; disconnect() closes it). A database without
// tables yet holds none. Never changes the database.
Outcome recordsOfCell(const QString &connectionName, const CentralSettings &settings, const QString &cellId,
                      std::vector<CellRecord> *records);

// Closes and removes the connection.
void disconnect(const QString &connectionName);

// What an error of the driver means for the operator.
Outcome describe(const QString &driverText, const CentralSettings &settings);

} // namespace central

#pragma once

#include "common/result.h"
#include "record/centralconnection.h"
#include "record/journal.h"
#include "record/sqlsupport.h"

#include <QSqlDatabase>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class QSqlError;

// The shared PostgreSQL database of a line of benches, reached through Qt
// SQL's QPSQL driver.
//
// Schema 1 with its additions. The version is kept in bin4870_schema; a
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
//         k_verdict text,                      -- "OK", "too high", "not yet", "voltage rose"
//                                              -- beside a K-value; "history not known" or NULL without
//         tester_word text,                    -- the tester's own pass/fail word, when read
//         k_uncertainty double precision,      -- mV/day, beside a K-value
//         channel smallint NOT NULL DEFAULT 1) -- the bench's test head, 1 to 4
//   cells_bench_arrival: index on cells(bench, arrival)
//   cells_measured_at:   index on cells(measured_at)
//   cells_cell_id:       index on cells(cell_id) WHERE cell_id IS NOT NULL
//   packs, pack_cells:   the pack plans of the line's benches (packtables.h)
//   benches(bench text, machine uuid,          -- a bench name and the machine that claimed it
//           named boolean,                     -- false: the name is the host name, none was set
//           current boolean,                   -- false once the machine claims another name
//           first_seen, last_seen timestamptz,
//           PRIMARY KEY (bench, machine))
//
// The first addition brought the columns from retest to tester_word and
// cells_cell_id, the second k_uncertainty, the channel column, the pack
// tables and benches; prepareSchema() adds them in place, rows kept. The columns of cells are
// described once, for the server and the journal alike, in cellcolumns.h.
namespace central {

inline constexpr int kSchemaVersion = 1;
inline constexpr int kSchemaAdditions = 2;

// A connection of the calling thread to the central database. It prepares
// each statement once, when first used, and keeps it until it closes.
class Connection
{
public:
    // name must be unique in the process.
    explicit Connection(CentralSettings settings, QString name = uniqueConnectionName(QStringLiteral("central")));
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Connects with the settings (no password: libpq finds it in ~/.pgpass or
    // PGPASSFILE). Gives up after a few seconds when nothing answers.
    Status open();
    void close();
    bool isOpen() const;
    QSqlDatabase database() const;
    const CentralSettings &settings() const { return m_settings; }

    // Makes the tables at first contact and upgrades older ones, under a lock
    // so that benches starting together do it once. A newer schema is refused.
    Status prepareSchema();

    // Sends the records, and the set-ups they refer to, in one transaction:
    // INSERT ... ON CONFLICT (id) DO NOTHING, so a record sent twice is kept
    // once. setups: hash -> text of every set-up the records name.
    Status send(const std::vector<Journal::Pending> &records, const std::map<QString, QString> &setups);

    // Claims the settings' bench name for the machine (a journal's
    // Journal::machineIdentity()), or notes that it is still in use, and
    // gives how many other machines hold the same name now: their cells
    // and this one's fall into one series. Needs prepareSchema() first.
    Result<int> claimBench(const QString &machine);

    // Every record of the cell ID, oldest first; connects first when not
    // connected, and stays connected. A database without tables yet holds
    // none. Never changes the database.
    Result<std::vector<CellRecord>> recordsOfCell(const QString &cellId);

    // The additions level of the tables, to read them with; nothing while the
    // database has no tables. Connects first when not connected. Fails for
    // tables of a newer version. Never changes the database.
    Result<std::optional<int>> readableLevel();

    // Why the last call failed, in a few words for a status line ("server not
    // reachable", "password refused for user bin4870"); the failure it
    // returned says it in whole sentences, for a dialog.
    QString reason() const { return m_reason; }
    // A failed statement of this connection as the operator reads it; sets
    // reason(). A server out of reach fails as ErrorKind::Unreachable.
    Failure failure(const QSqlError &error);

private:
    struct Statements;

    Failure failed(const QString &reason, const QString &message, ErrorKind kind = ErrorKind::Failed);
    Failure rolledBack(const QSqlError &error);

    CentralSettings m_settings;
    QString m_name;
    std::unique_ptr<Statements> m_statements;
    QString m_reason;
};

// "Test connection": connects on a connection of its own and reads the schema
// version, changing nothing; the sentence that tells how it stands, and
// whether machines other than `machine` (empty: not asked) have claimed the
// settings' bench name.
Result<QString> probe(const CentralSettings &settings, const QString &machine = QString());

// "the bench name "B" is used by 2 other machines too, ...": for the status
// and "Test connection".
QString sharedBenchNameText(const QString &bench, int others);

} // namespace central

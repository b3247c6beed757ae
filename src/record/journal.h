#pragma once

#include "record/binsetup.h"
#include "record/cellrecord.h"

#include <QSet>
#include <QSqlDatabase>
#include <QString>

#include <optional>
#include <vector>

// The bench's local journal of counted cells: a SQLite database
// (journal.sqlite) through Qt SQL's QSQLITE driver, in WAL mode with
// synchronous=FULL, so a record is on disk when append() returns. It keeps
// every counted cell and each distinct BIN set-up once, and marks the cells
// the central database has confirmed.
//
// Format 2 (PRAGMA application_id 0x42494E34, PRAGMA user_version 2):
//
//   bin_setups(hash TEXT PRIMARY KEY,      -- BinSetup::hash, SHA-256 hex
//              setup TEXT NOT NULL)        -- BinSetup::text, canonical JSON
//   cells(seq INTEGER PRIMARY KEY,         -- the bench's order of counting
//         id TEXT NOT NULL UNIQUE,         -- UUID, without braces
//         bench TEXT NOT NULL,
//         measured_at TEXT NOT NULL,       -- ISO 8601 with ms and UTC offset
//         resistance_text TEXT NOT NULL,   -- as the tester sent it
//         voltage_text TEXT NOT NULL,
//         resistance_ohm REAL, voltage_v REAL,
//         resistance_bin TEXT, voltage_bin TEXT,   -- "1".."9", "+Out", "-Out"
//         setup_hash TEXT NOT NULL REFERENCES bin_setups(hash),
//         cell_id TEXT,                    -- the scanned ID; NULL for a cell without one
//         program_version TEXT,
//         sent INTEGER NOT NULL DEFAULT 0, -- 1 once the central database committed it
//         retest INTEGER NOT NULL DEFAULT 0,  -- 1: the ID had records already
//         k_value REAL, k_limit REAL,      -- mV/day since the ID's first record, and its limit
//         k_verdict TEXT,                  -- "OK" or "too high"; NULL without a K-value
//         tester_word TEXT)                -- the tester's own pass/fail word, when read
//   cells_unsent: index on cells(seq) WHERE sent = 0
//   cells_cell_id: index on cells(cell_id) WHERE cell_id IS NOT NULL
//
// A journal of format 1 (without the last five columns) is brought to format 2
// in place when it is opened: its rows stay, with no re-test and no K-value.
//
// The columns of cells and bin_setups are those of the central database's
// tables of the same names (see centraldatabase.h), plus seq and sent.
//
// A connection belongs to the thread that opened it: the counting path keeps
// one Journal, the forwarder opens its own on its own thread.
class Journal
{
public:
    static constexpr int kFormat = 2;
    static constexpr int kApplicationId = 0x42494E34;

    // connectionName must be unique in the process.
    explicit Journal(QString connectionName);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    struct Opened
    {
        bool ok = false;
        // A damaged or foreign journal was moved aside and a new one started:
        // the text to tell the operator. Empty otherwise.
        QString notice;
        // Why no journal could be opened at all (ok false).
        QString error;
    };

    // Opens the journal at path, creating it (and its format) when missing.
    // A file that cannot be read as a journal of this program's format (cut
    // short, random bytes, another program's database, a newer format) is
    // moved aside to <path>.damaged-<date>-<time> and a new journal started.
    Opened open(const QString &path);
    // Opens an existing journal for forwarding: no checks, nothing moved, the
    // tables made or brought to this format when older.
    bool openForForwarding(const QString &path);
    void close();
    bool isOpen() const;
    QString path() const { return m_path; }

    struct Appended
    {
        bool written = false;
        QString reason;  // when not written
        QString notice;  // the journal was found damaged, moved aside and started afresh
    };
    // Appends the record, and its set-up when the journal does not hold it
    // yet, in one transaction committed to disk before it returns. A journal
    // found damaged meanwhile is moved aside, a new one started and the record
    // written there.
    Appended append(const CellRecord &record, const BinSetup &setup);
    // Appends many records judged by one set-up in one transaction (a
    // journal filled in bulk, as benchmarks and tests do).
    Appended appendAll(const std::vector<CellRecord> &records, const BinSetup &setup);

    struct Pending
    {
        qint64 seq = 0;
        CellRecord record;
    };
    // The oldest records not yet sent, at most `limit`, oldest first; nullopt
    // when the journal cannot be read.
    std::optional<std::vector<Pending>> pending(int limit);
    // The set-up's text, or nullopt when the journal does not hold it.
    std::optional<QString> setupText(const QString &hash);
    // Every record of the cell ID, in the order they were counted; nullopt
    // when the journal cannot be read.
    std::optional<std::vector<CellRecord>> recordsOfCell(const QString &cellId);
    // Marks every unsent record up to seq as sent; false when the journal
    // cannot be written (the records are then sent again later).
    bool markSent(qint64 lastSeq);
    // Records not yet sent; -1 when the journal cannot be read.
    qint64 waitingCount();

    QString errorString() const { return m_error; }

    // "The record journal <path> could not be read (<reason>). ..."
    static QString movedAsideText(const QString &path, const QString &reason, const QString &movedTo);

private:
    bool connect(const QString &path);
    // The reason the open journal is not a readable journal of this format, or
    // nothing when it is one (empty or fresh files are made one).
    std::optional<QString> checkAndPrepare();
    bool createTables();
    bool exec(const QString &sql);
    // Renames the journal and its -wal and -shm files; the new name or nothing.
    std::optional<QString> moveAside();
    Opened restartAfterDamage(const QString &reason);
    bool prepareStatements();
    // Inserts in one transaction committed to disk; false with m_error set.
    bool insert(const std::vector<CellRecord> &records, const BinSetup &setup);

    QString m_connectionName;
    QString m_path;
    QSqlDatabase m_db;
    QSet<QString> m_knownSetups;
    QString m_error;
    bool m_lastErrorDamage = false;
};

// True when a QSQLITE error code (nativeErrorCode) says the file is damaged or
// not a database.
bool isJournalDamage(const QString &nativeErrorCode);

#pragma once

#include "common/result.h"
#include "record/binsetup.h"
#include "record/cellrecord.h"
#include "record/sqlsupport.h"

#include <QSet>
#include <QSqlDatabase>
#include <QString>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

// The bench's local journal of counted cells: a SQLite database
// (journal.sqlite) through Qt SQL's QSQLITE driver, in WAL mode with
// synchronous=FULL, so a record is on disk when append() returns. It keeps
// every counted cell and each distinct BIN set-up once, and marks the cells
// the central database has confirmed.
//
// Format 3 (PRAGMA application_id 0x42494E34, PRAGMA user_version 3):
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
//         k_verdict TEXT,                  -- "OK", "too high", "not yet", "voltage rose"
//                                          -- beside a K-value; "history not known" or NULL without
//         tester_word TEXT,                -- the tester's own pass/fail word, when read
//         k_uncertainty REAL,              -- mV/day, beside a K-value
//         channel INTEGER NOT NULL DEFAULT 1)  -- the bench's test head, 1 to 4
//   cells_unsent: index on cells(seq) WHERE sent = 0
//   cells_cell_id: index on cells(cell_id) WHERE cell_id IS NOT NULL
//   packs, pack_cells: the pack plans saved on this bench (packtables.h)
//
// A journal of an older format is brought to format 3 in place when it is
// opened: format 1 (without the columns from retest to tester_word) keeps its
// rows, with no re-test and no K-value; format 3 adds k_uncertainty (none on
// the rows before it), the channel column (their cells on channel 1) and the
// pack tables.
//
// The columns of cells are described once, for this journal and the central
// database alike, in cellcolumns.h; bin_setups is the central database's
// table of the same name.
//
// A connection belongs to the thread that opened it: the counting path keeps
// one Journal, the forwarder opens its own on its own thread. Each connection
// prepares its statements once, when it opens, and keeps them.
class Journal
{
public:
    static constexpr int kFormat = 3;
    static constexpr int kApplicationId = 0x42494E34;

    // Whether open() reads every page of an existing journal (PRAGMA
    // quick_check) before it returns, or leaves that to a JournalCheck.
    enum class FullCheck { Now, Later };

    // connectionName must be unique in the process.
    explicit Journal(QString connectionName = uniqueConnectionName(QStringLiteral("journal")));
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // Opens the journal at path, creating it (and its format) when missing,
    // and writes nothing to a journal already of this format. A file that
    // cannot be read as a journal of this program's format (cut short, random
    // bytes, another program's database, a newer format) is moved aside to
    // <path>.damaged-<date>-<time> and a new journal started; takeNotice()
    // then has the text to tell the operator.
    //
    // A journal that cannot be written for any other reason (this user may
    // not write it or its folder, the disk is full or failing) is not
    // damaged and stays where it is: it is opened read-only when it can be
    // read, so that its waiting cells can still be sent (isReadOnly(), and
    // takeNotice() tells it), and left closed otherwise. Each append() then
    // tries to open it for writing again first.
    //
    // Fails, with the text to tell the operator, when no journal could be
    // opened at all.
    //
    // FullCheck::Later reads the file's header and schema only, so that
    // opening takes as long for a million cells as for none. needsCheck() is
    // then true until checked() is given the verdict of a JournalCheck of
    // path(); the records appended meanwhile are kept in memory until then.
    Status open(const QString &path, FullCheck check = FullCheck::Now);
    // Opens an existing journal for forwarding: no checks, nothing moved, the
    // tables made or brought to this format when older. A journal that cannot
    // be written is opened read-only (isReadOnly()): its cells are read and
    // sent, and markSent() fails until it is opened again writable.
    Status openForForwarding(const QString &path);
    void close();
    bool isOpen() const;
    QString path() const { return m_path; }
    // Open for reading alone: the file (or its folder) may not be written.
    bool isReadOnly() const { return m_readOnly; }

    // True from an open() with FullCheck::Later of a journal that held tables
    // until checked().
    bool needsCheck() const { return m_checkPending; }
    // The verdict of the full check of path(): a damaged journal is moved
    // aside and a new one started, as open() does, and the records appended
    // since open() are written to the new one. Fails when no new journal could
    // be started, with the text to tell the operator. A verdict that comes
    // when none is awaited (the journal was started afresh meanwhile) changes
    // nothing.
    Status checked(const Status &verdict);

    // The text for the operator when the last open(), append() or checked()
    // found the journal damaged, moved it aside and started a new one (or
    // could not start one); empty otherwise. Reading it clears it.
    QString takeNotice() { return std::exchange(m_notice, QString()); }

    // Appends the record, and its set-up when the journal does not hold it
    // yet, in one transaction committed to disk before it returns. A journal
    // found damaged meanwhile is moved aside, a new one started and the record
    // written there (see takeNotice()). A record that cannot be written fails
    // with the first error met: ErrorKind::ReadOnly when the journal may not
    // be written, ErrorKind::DiskFull when there is no room, FileIo otherwise.
    Status append(const CellRecord &record, const BinSetup &setup);
    // Appends many records judged by one set-up in one transaction (a
    // journal filled in bulk, as benchmarks and tests do).
    Status appendAll(const std::vector<CellRecord> &records, const BinSetup &setup);

    struct Pending
    {
        qint64 seq = 0;
        CellRecord record;
    };
    // The oldest records not yet sent and counted after afterSeq, at most
    // `limit`, oldest first.
    Result<std::vector<Pending>> pending(int limit, qint64 afterSeq = 0);
    // The set-up's text; a failure when the journal does not hold it.
    Result<QString> setupText(const QString &hash);
    // Every record of the cell ID, in the order they were counted.
    Result<std::vector<CellRecord>> recordsOfCell(const QString &cellId);
    // Marks every unsent record up to seq as sent; a failure leaves them to
    // be sent again later.
    Status markSent(qint64 lastSeq);
    // Records not yet sent.
    Result<qint64> waitingCount();
    // Records not yet sent that were counted under the bench name.
    Result<qint64> waitingCountOf(const QString &bench);
    // The identity of the machine this journal belongs to (a UUID), made
    // the first time it is asked for and kept in the journal from then on:
    // with the bench name, it tells this bench from another machine that
    // was given the same name. Fails when the journal holds none and may
    // not be written.
    Result<QString> machineIdentity();

    // "The record journal <path> could not be read (<reason>). ..."
    static QString movedAsideText(const QString &path, const QString &reason, const QString &movedTo);
    // "The record journal <path> cannot be written (<reason>). It is left as
    // it is, ..." and what to do, by the problem's kind; waiting < 0 when its
    // cells could not be counted.
    static QString leftInPlaceText(const QString &path, const Failure &problem, qint64 waiting);

private:
    struct Statements;

    enum class Access { ReadWrite, ReadOnly };
    bool connect(const QString &path, Access access = Access::ReadWrite);
    // Why the open journal is not a readable journal of this format, or
    // nothing when it is one (empty or fresh files are made one, unless
    // read-only). ErrorKind::Damaged when the file itself is at fault.
    std::optional<Failure> checkAndPrepare(FullCheck check);
    bool createTables();
    // Runs a statement; false with m_error set.
    bool exec(const QString &sql);
    // Ends a failed transaction, keeping m_error: the first error is the one
    // to tell.
    void rollback();
    // Runs a kept statement; false with m_error set.
    bool run(QSqlQuery &query);
    // Keeps the error's text and code; false.
    bool noteError(const QSqlError &error);
    bool lastErrorIsDamage() const;
    // Renames the journal and its -wal and -shm files; the new name or nothing.
    std::optional<QString> moveAside();
    Status restartAfterDamage(const QString &reason);
    // The journal could not be opened for writing for a reason other than
    // damage: opens it read-only where it is, or leaves it closed.
    Status openInPlace(const Failure &problem, FullCheck check);
    // A journal opened read-only or not at all is tried for writing again;
    // true when it is now open for writing.
    bool reopenForWriting();
    bool prepareStatements();
    // Inserts in one transaction committed to disk; false with m_error set.
    bool insert(const std::vector<CellRecord> &records, const BinSetup &setup);
    Failure failure() const;

    QString m_connectionName;
    QString m_path;
    QSqlDatabase m_db;
    std::unique_ptr<Statements> m_statements;
    QSet<QString> m_knownSetups;
    QString m_error;
    int m_errorCode = 0; // SQLite's primary result code of m_error; 0 for none
    QString m_notice;
    bool m_checkPending = false;
    bool m_readOnly = false;
    // Left closed where it is (openInPlace): appends try to open it again.
    bool m_closedInPlace = false;
    int m_format = kFormat; // the open file's format
    // Appended while the full check was pending, to be written again to a new
    // journal should the check find this one damaged.
    std::vector<std::pair<CellRecord, BinSetup>> m_unchecked;
};

// True when a QSQLITE error code (nativeErrorCode) says the file is damaged or
// not a database.
bool isJournalDamage(const QString &nativeErrorCode);

// What a QSQLITE error code means for the journal: ErrorKind::Damaged for a
// file damaged or not a database, ReadOnly for one that may not be written,
// DiskFull for no room, FileIo for anything else.
ErrorKind journalErrorKind(const QString &nativeErrorCode);

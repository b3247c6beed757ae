#include "record/journal.h"

#include "record/cellcolumns.h"
#include "record/journalcheck.h"
#include "record/packtables.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlDriver>
#include <QSqlRecord>
#include <QUrl>
#include <QUuid>
#include <QVariant>

#include <sqlite3.h>

#include <climits>
#include <map>
#include <utility>

namespace {

struct JournalTexts
{
    Q_DECLARE_TR_FUNCTIONS(Journal)
};

// The identity of the machine the journal lives on (machineIdentity()): one
// row, made once.
QString machineTable()
{
    return QStringLiteral("CREATE TABLE IF NOT EXISTS machine (identity TEXT NOT NULL)");
}

// The statements that bring a journal from format n to n + 1; n = 0 is a new
// file. Every step runs once, in the transaction that sets user_version.
const std::vector<QStringList> &formatSteps()
{
    static const std::vector<QStringList> steps = [] {
        // What a format brings besides the columns of cells.
        const std::map<int, QStringList> indexes{
            {1, {QStringLiteral("CREATE INDEX IF NOT EXISTS cells_unsent ON cells(seq) WHERE sent = 0")}},
            {2, {QStringLiteral("CREATE INDEX IF NOT EXISTS cells_cell_id ON cells(cell_id) WHERE cell_id IS NOT NULL")}},
            {packtables::kJournalFormat, packtables::create(CellStore::Journal) << machineTable()},
        };
        std::vector<QStringList> made;
        for (int format = 1; format <= Journal::kFormat; ++format) {
            QStringList step;
            if (format == 1)
                step << QStringLiteral("CREATE TABLE IF NOT EXISTS bin_setups (hash TEXT PRIMARY KEY, setup TEXT NOT NULL)")
                     << cellcolumns::createTable(CellStore::Journal);
            else
                step << cellcolumns::addColumns(CellStore::Journal, format);
            const auto extra = indexes.find(format);
            if (extra != indexes.end())
                step << extra->second;
            made.push_back(step);
        }
        return made;
    }();
    return steps;
}

constexpr int kSqlitePerm = 3;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteFull = 13;
constexpr int kSqliteNotADatabase = 26;

// SQLite's primary result code in a QSQLITE error code (the extended code as
// text); 0 when there is none.
int primaryCode(const QString &nativeErrorCode)
{
    bool ok = false;
    const int code = nativeErrorCode.toInt(&ok);
    return ok ? code & 0xff : 0;
}

ErrorKind kindOfCode(int code)
{
    switch (code) {
    case kSqliteCorrupt:
    case kSqliteNotADatabase:
        return ErrorKind::Damaged;
    case kSqlitePerm:
    case kSqliteReadOnly:
        return ErrorKind::ReadOnly;
    case kSqliteFull:
        return ErrorKind::DiskFull;
    default:
        return ErrorKind::FileIo;
    }
}

// SQLite opens a file this user may not write for reading alone, and says so
// only here.
bool isReadOnlyConnection(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return false;
    sqlite3 *own = *static_cast<sqlite3 *const *>(handle.constData());
    return own && sqlite3_db_readonly(own, "main") == 1;
}

} // namespace

// The statements a connection prepares once and keeps while it is open.
struct Journal::Statements
{
    explicit Statements(const QSqlDatabase &db)
        : begin(db), commit(db), rollback(db), insertSetup(db), insertCell(db), pending(db), setupText(db),
          recordsOfCell(db), markSent(db), waiting(db)
    {
    }

    // Prepares them all for a file of `format`; the first failure's query,
    // or nothing.
    const QSqlQuery *prepare(int format)
    {
        const QString records = cellcolumns::selectList(CellStore::Journal, format);
        const std::pair<QSqlQuery *, QString> statements[] = {
            {&begin, QStringLiteral("BEGIN IMMEDIATE")},
            {&commit, QStringLiteral("COMMIT")},
            {&rollback, QStringLiteral("ROLLBACK")},
            {&insertSetup, QStringLiteral("INSERT OR IGNORE INTO bin_setups (hash, setup) VALUES (?, ?)")},
            {&insertCell, cellcolumns::journalInsert()},
            {&pending, QStringLiteral("SELECT seq, %1 FROM cells WHERE sent = 0 AND seq > ? ORDER BY seq LIMIT ?")
                                  .arg(records)},
            {&setupText, QStringLiteral("SELECT setup FROM bin_setups WHERE hash = ?")},
            {&recordsOfCell, QStringLiteral("SELECT %1 FROM cells WHERE cell_id = ? ORDER BY seq").arg(records)},
            {&markSent, QStringLiteral("UPDATE cells SET sent = 1 WHERE sent = 0 AND seq <= ?")},
            {&waiting, QStringLiteral("SELECT count(*) FROM cells WHERE sent = 0")},
        };
        for (const auto &[query, sql] : statements) {
            // A file of an older format is only read (it is read-only).
            if (query == &insertCell && format < kFormat)
                continue;
            query->setForwardOnly(true);
            if (!query->prepare(sql))
                return query;
        }
        return nullptr;
    }

    QSqlQuery begin;
    QSqlQuery commit;
    QSqlQuery rollback;
    QSqlQuery insertSetup;
    QSqlQuery insertCell;
    QSqlQuery pending;
    QSqlQuery setupText;
    QSqlQuery recordsOfCell;
    QSqlQuery markSent;
    QSqlQuery waiting;
};

bool isJournalDamage(const QString &nativeErrorCode)
{
    return journalErrorKind(nativeErrorCode) == ErrorKind::Damaged;
}

ErrorKind journalErrorKind(const QString &nativeErrorCode)
{
    return kindOfCode(primaryCode(nativeErrorCode));
}

Journal::Journal(QString connectionName) : m_connectionName(std::move(connectionName)) {}

Journal::~Journal()
{
    close();
}

QString Journal::movedAsideText(const QString &path, const QString &reason, const QString &movedTo)
{
    return JournalTexts::tr("The record journal %1 could not be read (%2). It was moved to %3 and a new "
                            "journal was started. Counted cells go to the data file as always; cells "
                            "of the old journal not yet in the central record are not sent.")
            .arg(QDir::toNativeSeparators(path), reason, QDir::toNativeSeparators(movedTo));
}

QString Journal::leftInPlaceText(const QString &path, const Failure &problem, qint64 waiting)
{
    const QString file = QDir::toNativeSeparators(path);
    QStringList parts;
    parts << (problem.kind == ErrorKind::FileIo
                      ? JournalTexts::tr("The record journal %1 cannot be opened (%2).").arg(file, problem.text)
                      : JournalTexts::tr("The record journal %1 cannot be written (%2).").arg(file, problem.text));
    parts << (waiting >= 0 ? JournalTexts::tr("It is left as it is, and the central record, while on, still gets the "
                                              "%n cell(s) in it not yet sent.",
                                              nullptr, int(qMin<qint64>(waiting, INT_MAX)))
                           : JournalTexts::tr("It is left as it is."));
    switch (problem.kind) {
    case ErrorKind::ReadOnly:
        parts << JournalTexts::tr("Counted cells go to the data file only until the journal can be written "
                                  "again: give the program's user write permission on it, on its -wal and -shm "
                                  "files beside it and on its folder.");
        break;
    case ErrorKind::DiskFull:
        parts << JournalTexts::tr("Counted cells are not kept in it until there is room on its disk again.");
        break;
    default:
        parts << JournalTexts::tr("Counted cells go to the data file only until it can be opened again.");
        break;
    }
    return parts.join(QLatin1Char(' '));
}

Failure Journal::failure() const
{
    const ErrorKind kind = kindOfCode(m_errorCode);
    return Failure(kind == ErrorKind::Damaged ? ErrorKind::FileIo : kind, m_error);
}

bool Journal::noteError(const QSqlError &error)
{
    m_error = sqlErrorText(error);
    m_errorCode = primaryCode(error.nativeErrorCode());
    return false;
}

bool Journal::lastErrorIsDamage() const
{
    return kindOfCode(m_errorCode) == ErrorKind::Damaged;
}

bool Journal::isOpen() const
{
    return m_db.isValid() && m_db.isOpen();
}

void Journal::close()
{
    // The kept statements go before their connection.
    m_statements.reset();
    if (m_db.isValid()) {
        m_db = QSqlDatabase();
        removeConnection(m_connectionName);
    }
    m_knownSetups.clear();
    m_checkPending = false;
    m_unchecked.clear();
    m_readOnly = false;
    m_closedInPlace = false;
}

bool Journal::exec(const QString &sql)
{
    QSqlQuery query(m_db);
    if (query.exec(sql))
        return true;
    return noteError(query.lastError());
}

void Journal::rollback()
{
    // SQLite has rolled back already after some failures (a full disk): the
    // ROLLBACK then fails too, and says nothing worth keeping.
    QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
}

bool Journal::run(QSqlQuery &query)
{
    if (query.exec())
        return true;
    return noteError(query.lastError());
}

bool Journal::connect(const QString &path, Access access)
{
    close();
    m_path = path;
    m_error.clear();
    m_errorCode = 0;
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    if (!m_db.isValid()) {
        m_error = JournalTexts::tr("the SQLite driver of Qt SQL is not installed");
        return false;
    }
    // The counting path and the forwarder write the same file from two
    // connections; a short wait for the other's transaction is no failure.
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000");
    if (access == Access::ReadOnly) {
        // Read as it stands, without its -wal and -shm files: SQLite shares
        // one map of the -shm file among a process's connections, and one
        // opened read-only would keep the journal read-only for all of them
        // after it may be written again. A -wal file left by a run that ended
        // without closing the journal is read once the journal is writable.
        QUrl url = QUrl::fromLocalFile(path);
        url.setQuery(QStringLiteral("immutable=1"));
        m_db.setDatabaseName(url.toString(QUrl::FullyEncoded));
        options += QStringLiteral(";QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI");
    } else {
        m_db.setDatabaseName(path);
    }
    m_db.setConnectOptions(options);
    if (!m_db.open())
        return noteError(m_db.lastError());
    m_readOnly = access == Access::ReadOnly;
    if (!m_readOnly && isReadOnlyConnection(m_db)) {
        // SQLite opens a file it may not write for reading, before it reads
        // anything: closed again, to be opened as a read-only journal.
        m_error = JournalTexts::tr("this user may read it but not write it");
        m_errorCode = kSqliteReadOnly;
        const QString error = m_error;
        close();
        m_path = path;
        m_error = error;
        m_errorCode = kSqliteReadOnly;
        return false;
    }
    if (m_readOnly)
        return true;
    return exec(QStringLiteral("PRAGMA journal_mode=WAL")) && exec(QStringLiteral("PRAGMA synchronous=FULL"));
}

bool Journal::createTables()
{
    if (!exec(QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    // Read under the write lock: another connection may have brought the
    // file up to date meanwhile.
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return noteError(query.lastError());
    const int format = query.value(0).toInt();
    query.finish();
    for (int step = format; step < kFormat; ++step) {
        for (const QString &statement : formatSteps()[size_t(step)]) {
            if (!exec(statement))
                return false;
        }
    }
    return exec(QStringLiteral("PRAGMA application_id=%1").arg(kApplicationId))
        && exec(QStringLiteral("PRAGMA user_version=%1").arg(kFormat))
        && exec(QStringLiteral("COMMIT"));
}

std::optional<Failure> Journal::checkAndPrepare(FullCheck check)
{
    const auto failed = [this](const QSqlQuery &query) {
        noteError(query.lastError());
        return std::optional<Failure>(Failure(kindOfCode(m_errorCode), m_error));
    };
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("PRAGMA application_id")) || !query.next())
        return failed(query);
    const int applicationId = query.value(0).toInt();
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return failed(query);
    const int format = query.value(0).toInt();
    if (!query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !query.next())
        return failed(query);
    const bool empty = query.value(0).toInt() == 0;
    query.finish();

    if (!empty && applicationId != kApplicationId)
        return Failure(ErrorKind::Damaged, JournalTexts::tr("it is not a journal of this program"));
    if (format > kFormat)
        return Failure(ErrorKind::Damaged,
                       JournalTexts::tr("it was written by a newer version of the program, format %1").arg(format));
    if (!empty && check == FullCheck::Now) {
        const Status verdict = checkEveryPage(m_db);
        if (!verdict)
            return verdict.failure();
    }
    m_format = empty ? kFormat : format;
    if (m_readOnly) {
        // Read as it is; a file without tables has nothing to read.
        if (empty) {
            m_error = JournalTexts::tr("it is empty and may not be written");
            m_errorCode = kSqliteReadOnly;
            return Failure(ErrorKind::ReadOnly, m_error);
        }
    } else if (empty || format < kFormat) {
        if (!createTables()) {
            rollback();
            return Failure(kindOfCode(m_errorCode), m_error);
        }
        m_format = kFormat;
    }
    // A journal read as it stands is never written: damage matters once it is
    // opened for writing, where records that meet it start a new journal.
    m_checkPending = !empty && check == FullCheck::Later && !m_readOnly;
    return std::nullopt;
}

std::optional<QString> Journal::moveAside()
{
    const QString path = m_path;
    close();
    m_path = path;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = QStringLiteral("%1.damaged-%2").arg(path, stamp);
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = QStringLiteral("%1.damaged-%2-%3").arg(path, stamp).arg(n);
    if (!QFile::rename(path, target)) {
        m_error = JournalTexts::tr("it could not be moved aside to %1").arg(QDir::toNativeSeparators(target));
        return std::nullopt;
    }
    // The write-ahead log and its index belong to the file moved; left in
    // place they would be taken for the new journal's.
    for (const char *suffix : {"-wal", "-shm"}) {
        const QString companion = path + QLatin1String(suffix);
        if (QFileInfo::exists(companion) && !QFile::rename(companion, target + QLatin1String(suffix)))
            QFile::remove(companion);
    }
    return target;
}

Status Journal::restartAfterDamage(const QString &reason)
{
    // Closing forgets them; the new journal takes them.
    std::vector<std::pair<CellRecord, BinSetup>> unchecked = std::move(m_unchecked);
    const std::optional<QString> movedTo = moveAside();
    if (!movedTo) {
        return Failure(ErrorKind::FileIo, JournalTexts::tr("The record journal %1 could not be read (%2), and %3.")
                                                  .arg(QDir::toNativeSeparators(m_path), reason, m_error));
    }
    const QString notice = movedAsideText(m_path, reason, *movedTo);
    if (!connect(m_path) || checkAndPrepare(FullCheck::Now) || !prepareStatements()) {
        const QString error = JournalTexts::tr("%1 A new journal could not be started either (%2).").arg(notice, m_error);
        close();
        return Failure(ErrorKind::FileIo, error);
    }
    m_notice = notice;
    // In the order they were counted; one that cannot be written is in the
    // data file as every cell is.
    for (const auto &[record, setup] : unchecked) {
        if (!insert({record}, setup))
            break;
    }
    return {};
}

bool Journal::prepareStatements()
{
    m_knownSetups.clear();
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT hash FROM bin_setups")))
        return noteError(query.lastError());
    while (query.next())
        m_knownSetups.insert(query.value(0).toString());
    auto statements = std::make_unique<Statements>(m_db);
    if (const QSqlQuery *failed = statements->prepare(m_format))
        return noteError(failed->lastError());
    m_statements = std::move(statements);
    return true;
}

Status Journal::open(const QString &path, FullCheck check)
{
    m_notice.clear();
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        return Failure(ErrorKind::FileIo, JournalTexts::tr("The record journal %1 is not a regular file; counted "
                                                           "cells go to the data file only.")
                                                  .arg(QDir::toNativeSeparators(path)));
    }
    std::optional<Failure> problem;
    if (!connect(path))
        problem = Failure(kindOfCode(m_errorCode), m_error);
    else if (problem = checkAndPrepare(check); !problem && !prepareStatements())
        problem = Failure(kindOfCode(m_errorCode), m_error);
    if (!problem)
        return {};
    if (!info.exists()) {
        // Not made (a missing folder, a full disk): tried again with the next record.
        const Failure failed(problem->kind == ErrorKind::Damaged ? ErrorKind::FileIo : problem->kind,
                             JournalTexts::tr("The record journal %1 could not be opened (%2); counted cells go "
                                              "to the data file only.")
                                     .arg(QDir::toNativeSeparators(path), problem->text));
        close();
        m_path = path;
        m_error = problem->text;
        m_closedInPlace = true;
        return failed;
    }
    if (problem->kind == ErrorKind::Damaged)
        return restartAfterDamage(problem->text);
    return openInPlace(*problem, check);
}

Status Journal::openInPlace(const Failure &problem, FullCheck check)
{
    const QString path = m_path;
    if (connect(path, Access::ReadOnly) && !checkAndPrepare(check) && prepareStatements()) {
        m_notice = leftInPlaceText(path, problem, waitingCount().valueOr(-1));
        return {};
    }
    // Not even readable: left closed, and tried again with the next record.
    close();
    m_path = path;
    m_error = problem.text;
    m_closedInPlace = true;
    return Failure(problem.kind, leftInPlaceText(path, problem, -1));
}

bool Journal::reopenForWriting()
{
    const QString path = m_path;
    // A check under way keeps the connection it was started for.
    const QFileInfo info(path);
    if (m_checkPending || path.isEmpty() || (info.exists() ? !info.isFile() : !info.dir().exists()))
        return false;
    const Status opened = open(path, FullCheck::Later);
    // Checked when it was first opened, or never readable until now: a
    // damage shows as the records are written, as in any journal.
    m_checkPending = false;
    m_unchecked.clear();
    if (!opened)
        m_closedInPlace = true;
    // Told when it was first found; a damage found meanwhile is news.
    if (!opened || m_readOnly)
        m_notice.clear();
    return opened && !m_readOnly;
}

Status Journal::openForForwarding(const QString &path)
{
    if (!connect(path)) {
        if (lastErrorIsDamage() || !connect(path, Access::ReadOnly))
            return failure();
    }
    if (!m_readOnly) {
        // A mark of "sent" lost to a power cut only sends those cells again,
        // and the server keeps each once: this connection need not wait for
        // the disk.
        if (!exec(QStringLiteral("PRAGMA synchronous=NORMAL")))
            return failure();
    }
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        noteError(query.lastError());
        return failure();
    }
    m_format = qMin(query.value(0).toInt(), kFormat);
    query.finish();
    if (m_format < kFormat && !m_readOnly) {
        if (!createTables()) {
            rollback();
            return failure();
        }
        m_format = kFormat;
    }
    if (!prepareStatements())
        return failure();
    return {};
}

Status Journal::checked(const Status &verdict)
{
    if (!m_checkPending)
        return {};
    m_checkPending = false;
    // Only a file found damaged is moved aside; a check that could not read
    // it (its folder, a full disk) leaves it as it is.
    if (verdict || verdict.kind() != ErrorKind::Damaged) {
        m_unchecked.clear();
        return {};
    }
    return restartAfterDamage(verdict.errorString());
}

bool Journal::insert(const std::vector<CellRecord> &records, const BinSetup &setup)
{
    Statements &s = *m_statements;
    const auto failed = [this, &s](QSqlQuery &query) {
        noteError(query.lastError());
        query.finish();
        s.rollback.exec();
        return false;
    };
    if (!run(s.begin))
        return false;
    if (!m_knownSetups.contains(setup.hash)) {
        s.insertSetup.addBindValue(setup.hash);
        s.insertSetup.addBindValue(setup.text);
        if (!s.insertSetup.exec())
            return failed(s.insertSetup);
    }
    for (const CellRecord &record : records) {
        cellcolumns::bindJournal(s.insertCell, record);
        if (!s.insertCell.exec())
            return failed(s.insertCell);
    }
    if (!s.commit.exec())
        return failed(s.commit);
    m_knownSetups.insert(setup.hash);
    return true;
}

Status Journal::append(const CellRecord &record, const BinSetup &setup)
{
    return appendAll({record}, setup);
}

Status Journal::appendAll(const std::vector<CellRecord> &records, const BinSetup &setup)
{
    m_notice.clear();
    if (m_readOnly || m_closedInPlace) {
        // Written again as soon as it may be; until then the record fails
        // with the reason the journal gives.
        reopenForWriting();
    }
    if (!isOpen()) {
        if (m_error.isEmpty())
            m_error = JournalTexts::tr("the journal is not open");
        return failure();
    }
    if (insert(records, setup)) {
        if (m_checkPending) {
            for (const CellRecord &record : records)
                m_unchecked.emplace_back(record, setup);
        }
        return {};
    }
    if (!lastErrorIsDamage())
        return failure();
    // Damaged under the running program: a new journal takes the records.
    const Status restarted = restartAfterDamage(m_error);
    if (!restarted) {
        m_notice = restarted.errorString();
        return failure();
    }
    if (!insert(records, setup))
        return failure();
    return {};
}

Result<std::vector<Journal::Pending>> Journal::pending(int limit, qint64 afterSeq)
{
    if (!isOpen())
        return Failure(ErrorKind::FileIo, JournalTexts::tr("the journal is not open"));
    QSqlQuery &query = m_statements->pending;
    query.addBindValue(afterSeq);
    query.addBindValue(limit);
    if (!run(query))
        return failure();
    const cellcolumns::CellReader reader(query.record());
    const int seq = query.record().indexOf(QStringLiteral("seq"));
    std::vector<Pending> rows;
    rows.reserve(size_t(limit));
    while (query.next())
        rows.push_back(Pending{query.value(seq).toLongLong(), reader.read(query)});
    const QSqlError error = query.lastError();
    query.finish();
    if (error.isValid()) {
        noteError(error);
        return failure();
    }
    return rows;
}

Result<std::vector<CellRecord>> Journal::recordsOfCell(const QString &cellId)
{
    if (!isOpen()) {
        if (m_error.isEmpty())
            m_error = JournalTexts::tr("the journal is not open");
        return failure();
    }
    QSqlQuery &query = m_statements->recordsOfCell;
    query.addBindValue(cellId);
    if (!run(query))
        return failure();
    const cellcolumns::CellReader reader(query.record());
    std::vector<CellRecord> records;
    while (query.next())
        records.push_back(reader.read(query));
    const QSqlError error = query.lastError();
    query.finish();
    if (error.isValid()) {
        noteError(error);
        return failure();
    }
    return records;
}

Result<QString> Journal::setupText(const QString &hash)
{
    if (!isOpen())
        return Failure(ErrorKind::FileIo, JournalTexts::tr("the journal is not open"));
    QSqlQuery &query = m_statements->setupText;
    query.addBindValue(hash);
    if (!run(query))
        return failure();
    if (!query.next()) {
        if (query.lastError().isValid())
            noteError(query.lastError());
        else
            m_error = JournalTexts::tr("set-up %1 is not in the journal").arg(hash);
        query.finish();
        return failure();
    }
    const QString text = query.value(0).toString();
    query.finish();
    return text;
}

Status Journal::markSent(qint64 lastSeq)
{
    if (!isOpen())
        return Failure(ErrorKind::FileIo, JournalTexts::tr("the journal is not open"));
    QSqlQuery &query = m_statements->markSent;
    query.addBindValue(lastSeq);
    if (!run(query))
        return failure();
    return {};
}

Result<qint64> Journal::waitingCount()
{
    if (!isOpen())
        return Failure(ErrorKind::FileIo, JournalTexts::tr("the journal is not open"));
    QSqlQuery &query = m_statements->waiting;
    if (!run(query) || !query.next()) {
        if (query.lastError().isValid())
            noteError(query.lastError());
        query.finish();
        return failure();
    }
    const qint64 waiting = query.value(0).toLongLong();
    query.finish();
    return waiting;
}

Result<qint64> Journal::waitingCountOf(const QString &bench)
{
    if (!isOpen())
        return Failure(ErrorKind::FileIo, JournalTexts::tr("the journal is not open"));
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT count(*) FROM cells WHERE sent = 0 AND bench = ?"));
    query.addBindValue(bench);
    if (!run(query) || !query.next())
        return failure();
    return query.value(0).toLongLong();
}

Result<QString> Journal::machineIdentity()
{
    if (!isOpen())
        return Failure(ErrorKind::FileIo, JournalTexts::tr("the journal is not open"));
    const auto stored = [this]() -> std::optional<QString> {
        QSqlQuery query(m_db);
        // A journal of this format made before the table has none yet.
        if (query.exec(QStringLiteral("SELECT identity FROM machine LIMIT 1")) && query.next())
            return query.value(0).toString();
        return std::nullopt;
    };
    if (const std::optional<QString> known = stored())
        return *known;
    if (m_readOnly)
        return Failure(ErrorKind::ReadOnly, JournalTexts::tr("the journal holds no machine identity yet and may "
                                                             "not be written"));
    if (!exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failure();
    // Read again under the write lock: another connection to the journal
    // may have made it meanwhile.
    std::optional<QString> identity = stored();
    if (!identity) {
        identity = QUuid::createUuid().toString(QUuid::WithoutBraces);
        if (!exec(machineTable())
            || !exec(QStringLiteral("INSERT INTO machine (identity) VALUES ('%1')").arg(*identity))) {
            rollback();
            return failure();
        }
    }
    if (!exec(QStringLiteral("COMMIT"))) {
        rollback();
        return failure();
    }
    return *identity;
}

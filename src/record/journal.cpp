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
#include <QSqlRecord>
#include <QVariant>

#include <map>
#include <utility>

namespace {

struct JournalTexts
{
    Q_DECLARE_TR_FUNCTIONS(Journal)
};

// The statements that bring a journal from format n to n + 1; n = 0 is a new
// file. Every step runs once, in the transaction that sets user_version.
const std::vector<QStringList> &formatSteps()
{
    static const std::vector<QStringList> steps = [] {
        // What a format brings besides the columns of cells.
        const std::map<int, QStringList> indexes{
            {1, {QStringLiteral("CREATE INDEX IF NOT EXISTS cells_unsent ON cells(seq) WHERE sent = 0")}},
            {2, {QStringLiteral("CREATE INDEX IF NOT EXISTS cells_cell_id ON cells(cell_id) WHERE cell_id IS NOT NULL")}},
            {packtables::kJournalFormat, packtables::create(CellStore::Journal)},
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

constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;

} // namespace

// The statements a connection prepares once and keeps while it is open.
struct Journal::Statements
{
    explicit Statements(const QSqlDatabase &db)
        : begin(db), commit(db), rollback(db), insertSetup(db), insertCell(db), pending(db), setupText(db),
          recordsOfCell(db), markSent(db), waiting(db)
    {
    }

    // Prepares them all; false with the first failure's query.
    const QSqlQuery *prepare()
    {
        const QString records = cellcolumns::selectList(CellStore::Journal, kFormat);
        const std::pair<QSqlQuery *, QString> statements[] = {
            {&begin, QStringLiteral("BEGIN IMMEDIATE")},
            {&commit, QStringLiteral("COMMIT")},
            {&rollback, QStringLiteral("ROLLBACK")},
            {&insertSetup, QStringLiteral("INSERT OR IGNORE INTO bin_setups (hash, setup) VALUES (?, ?)")},
            {&insertCell, cellcolumns::journalInsert()},
            {&pending, QStringLiteral("SELECT seq, %1 FROM cells WHERE sent = 0 ORDER BY seq LIMIT ?").arg(records)},
            {&setupText, QStringLiteral("SELECT setup FROM bin_setups WHERE hash = ?")},
            {&recordsOfCell, QStringLiteral("SELECT %1 FROM cells WHERE cell_id = ? ORDER BY seq").arg(records)},
            {&markSent, QStringLiteral("UPDATE cells SET sent = 1 WHERE sent = 0 AND seq <= ?")},
            {&waiting, QStringLiteral("SELECT count(*) FROM cells WHERE sent = 0")},
        };
        for (const auto &[query, sql] : statements) {
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
    bool ok = false;
    const int code = nativeErrorCode.toInt(&ok) & 0xff;
    return ok && (code == kSqliteCorrupt || code == kSqliteNotADatabase);
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
}

bool Journal::exec(const QString &sql)
{
    QSqlQuery query(m_db);
    if (query.exec(sql))
        return true;
    m_error = sqlErrorText(query.lastError());
    m_lastErrorDamage = isJournalDamage(query.lastError().nativeErrorCode());
    return false;
}

bool Journal::run(QSqlQuery &query)
{
    if (query.exec())
        return true;
    m_error = sqlErrorText(query.lastError());
    m_lastErrorDamage = isJournalDamage(query.lastError().nativeErrorCode());
    return false;
}

bool Journal::connect(const QString &path)
{
    close();
    m_path = path;
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    if (!m_db.isValid()) {
        m_error = JournalTexts::tr("the SQLite driver of Qt SQL is not installed");
        return false;
    }
    m_db.setDatabaseName(path);
    // The counting path and the forwarder write the same file from two
    // connections; a short wait for the other's transaction is no failure.
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!m_db.open()) {
        m_error = sqlErrorText(m_db.lastError());
        m_lastErrorDamage = isJournalDamage(m_db.lastError().nativeErrorCode());
        return false;
    }
    return exec(QStringLiteral("PRAGMA journal_mode=WAL")) && exec(QStringLiteral("PRAGMA synchronous=FULL"));
}

bool Journal::createTables()
{
    if (!exec(QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    // Read under the write lock: another connection may have brought the
    // file up to date meanwhile.
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        m_error = sqlErrorText(query.lastError());
        return false;
    }
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

std::optional<QString> Journal::checkAndPrepare(FullCheck check)
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("PRAGMA application_id")) || !query.next())
        return sqlErrorText(query.lastError());
    const int applicationId = query.value(0).toInt();
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return sqlErrorText(query.lastError());
    const int format = query.value(0).toInt();
    if (!query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !query.next())
        return sqlErrorText(query.lastError());
    const bool empty = query.value(0).toInt() == 0;
    query.finish();

    if (!empty && applicationId != kApplicationId)
        return JournalTexts::tr("it is not a journal of this program");
    if (format > kFormat)
        return JournalTexts::tr("it was written by a newer version of the program, format %1").arg(format);
    if (!empty && check == FullCheck::Now) {
        const Status verdict = checkEveryPage(m_db);
        if (!verdict)
            return verdict.errorString();
    }
    if (empty || format < kFormat) {
        if (!createTables()) {
            exec(QStringLiteral("ROLLBACK"));
            return m_error;
        }
    }
    m_checkPending = !empty && check == FullCheck::Later;
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
    if (!query.exec(QStringLiteral("SELECT hash FROM bin_setups"))) {
        m_error = sqlErrorText(query.lastError());
        return false;
    }
    while (query.next())
        m_knownSetups.insert(query.value(0).toString());
    auto statements = std::make_unique<Statements>(m_db);
    if (const QSqlQuery *failed = statements->prepare()) {
        m_error = sqlErrorText(failed->lastError());
        m_lastErrorDamage = isJournalDamage(failed->lastError().nativeErrorCode());
        return false;
    }
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
    m_lastErrorDamage = false;
    if (!connect(path)) {
        if (info.exists())
            return restartAfterDamage(m_error);
        const QString error = JournalTexts::tr("The record journal %1 could not be opened (%2); counted cells go to "
                                               "the data file only.").arg(QDir::toNativeSeparators(path), m_error);
        close();
        return Failure(ErrorKind::FileIo, error);
    }
    if (const std::optional<QString> problem = checkAndPrepare(check))
        return restartAfterDamage(*problem);
    if (!prepareStatements())
        return restartAfterDamage(m_error);
    return {};
}

Status Journal::openForForwarding(const QString &path)
{
    if (!connect(path))
        return failure();
    // A mark of "sent" lost to a power cut only sends those cells again, and
    // the server keeps each once: this connection need not wait for the disk.
    if (!exec(QStringLiteral("PRAGMA synchronous=NORMAL")))
        return failure();
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        m_error = sqlErrorText(query.lastError());
        return failure();
    }
    if (query.value(0).toInt() < kFormat) {
        query.finish();
        if (!createTables()) {
            exec(QStringLiteral("ROLLBACK"));
            return failure();
        }
    }
    query.finish();
    if (!prepareStatements())
        return failure();
    return {};
}

Status Journal::checked(const Status &verdict)
{
    if (!m_checkPending)
        return {};
    m_checkPending = false;
    if (verdict) {
        m_unchecked.clear();
        return {};
    }
    return restartAfterDamage(verdict.errorString());
}

bool Journal::insert(const std::vector<CellRecord> &records, const BinSetup &setup)
{
    Statements &s = *m_statements;
    const auto failed = [this, &s](QSqlQuery &query) {
        m_error = sqlErrorText(query.lastError());
        m_lastErrorDamage = isJournalDamage(query.lastError().nativeErrorCode());
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
    if (!isOpen()) {
        if (m_error.isEmpty())
            m_error = JournalTexts::tr("the journal is not open");
        return failure();
    }
    m_lastErrorDamage = false;
    if (insert(records, setup)) {
        if (m_checkPending) {
            for (const CellRecord &record : records)
                m_unchecked.emplace_back(record, setup);
        }
        return {};
    }
    if (!m_lastErrorDamage)
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

Result<std::vector<Journal::Pending>> Journal::pending(int limit)
{
    if (!isOpen())
        return Failure(ErrorKind::FileIo, JournalTexts::tr("the journal is not open"));
    QSqlQuery &query = m_statements->pending;
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
        m_error = sqlErrorText(error);
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
        m_error = sqlErrorText(error);
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
        m_error = query.lastError().isValid() ? sqlErrorText(query.lastError())
                                              : JournalTexts::tr("set-up %1 is not in the journal").arg(hash);
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
            m_error = sqlErrorText(query.lastError());
        query.finish();
        return failure();
    }
    const qint64 waiting = query.value(0).toLongLong();
    query.finish();
    return waiting;
}

#include "record/journal.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {
// The translation context of the texts this file shows.
struct JournalTexts
{
    Q_DECLARE_TR_FUNCTIONS(Journal)
};

const QString kInsertCell = QStringLiteral(
        "INSERT INTO cells (id, bench, measured_at, resistance_text, voltage_text, resistance_ohm,"
        " voltage_v, resistance_bin, voltage_bin, setup_hash, cell_id, program_version, retest, k_value,"
        " k_limit, k_verdict, tester_word)"
        " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");

// The columns a record is read back from, in the order recordAt() takes them.
const QString kRecordColumns = QStringLiteral(
        "id, bench, measured_at, resistance_text, voltage_text, resistance_ohm, voltage_v, resistance_bin,"
        " voltage_bin, setup_hash, cell_id, program_version, retest, k_value, k_limit, tester_word, k_verdict");

// The statements that bring a journal from format n to n + 1; n = 0 is a new
// file. Every step runs once, in the transaction that sets user_version.
const std::vector<QStringList> &formatSteps()
{
    static const std::vector<QStringList> steps{
        {
            QStringLiteral("CREATE TABLE IF NOT EXISTS bin_setups (hash TEXT PRIMARY KEY, setup TEXT NOT NULL)"),
            QStringLiteral(
                    "CREATE TABLE IF NOT EXISTS cells (seq INTEGER PRIMARY KEY, id TEXT NOT NULL UNIQUE,"
                    " bench TEXT NOT NULL, measured_at TEXT NOT NULL, resistance_text TEXT NOT NULL,"
                    " voltage_text TEXT NOT NULL, resistance_ohm REAL, voltage_v REAL, resistance_bin TEXT,"
                    " voltage_bin TEXT, setup_hash TEXT NOT NULL REFERENCES bin_setups(hash), cell_id TEXT,"
                    " program_version TEXT, sent INTEGER NOT NULL DEFAULT 0)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS cells_unsent ON cells(seq) WHERE sent = 0"),
        },
        {
            QStringLiteral("ALTER TABLE cells ADD COLUMN retest INTEGER NOT NULL DEFAULT 0"),
            QStringLiteral("ALTER TABLE cells ADD COLUMN k_value REAL"),
            QStringLiteral("ALTER TABLE cells ADD COLUMN k_limit REAL"),
            QStringLiteral("ALTER TABLE cells ADD COLUMN k_verdict TEXT"),
            QStringLiteral("ALTER TABLE cells ADD COLUMN tester_word TEXT"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS cells_cell_id ON cells(cell_id) WHERE cell_id IS NOT NULL"),
        },
    };
    return steps;
}

constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;

QString errorText(const QSqlError &error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.trimmed();
}

QVariant textOrNull(const QString &text)
{
    return text.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(text);
}

QVariant numberOrNull(const std::optional<double> &number)
{
    return number ? QVariant(*number) : QVariant(QMetaType(QMetaType::Double));
}

// A record from the query's row, its columns those of kRecordColumns from `at` on.
CellRecord recordAt(const QSqlQuery &query, int at)
{
    CellRecord r;
    r.id = QUuid::fromString(query.value(at).toString());
    r.bench = query.value(at + 1).toString();
    r.measuredAt = QDateTime::fromString(query.value(at + 2).toString(), Qt::ISODateWithMs);
    r.resistanceText = query.value(at + 3).toString();
    r.voltageText = query.value(at + 4).toString();
    r.resistanceOhm = query.value(at + 5).toDouble();
    r.voltageV = query.value(at + 6).toDouble();
    r.resistanceBin = query.value(at + 7).toString();
    r.voltageBin = query.value(at + 8).toString();
    r.setupHash = query.value(at + 9).toString();
    r.cellId = query.value(at + 10).toString();
    r.programVersion = query.value(at + 11).toString();
    r.retest = query.value(at + 12).toInt() != 0;
    if (!query.value(at + 13).isNull())
        r.kValue = query.value(at + 13).toDouble();
    r.kLimit = query.value(at + 14).toDouble();
    r.testerWord = query.value(at + 15).toString();
    r.kVerdict = query.value(at + 16).toString();
    return r;
}

} // namespace

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
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
    m_knownSetups.clear();
}

bool Journal::exec(const QString &sql)
{
    QSqlQuery query(m_db);
    if (query.exec(sql))
        return true;
    m_error = errorText(query.lastError());
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
        m_error = errorText(m_db.lastError());
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
        m_error = errorText(query.lastError());
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

std::optional<QString> Journal::checkAndPrepare()
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("PRAGMA application_id")) || !query.next())
        return errorText(query.lastError());
    const int applicationId = query.value(0).toInt();
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return errorText(query.lastError());
    const int format = query.value(0).toInt();
    if (!query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !query.next())
        return errorText(query.lastError());
    const bool empty = query.value(0).toInt() == 0;

    if (!empty && applicationId != kApplicationId)
        return JournalTexts::tr("it is not a journal of this program");
    if (format > kFormat)
        return JournalTexts::tr("it was written by a newer version of the program, format %1").arg(format);
    if (!empty) {
        // Reads every page: a file cut short or overwritten shows here rather
        // than when a counted cell is to be written.
        if (!query.exec(QStringLiteral("PRAGMA quick_check(1)")) || !query.next())
            return errorText(query.lastError());
        const QString verdict = query.value(0).toString();
        if (verdict != QLatin1String("ok"))
            return JournalTexts::tr("it is damaged: %1").arg(verdict);
    }
    query.finish();
    if (!createTables()) {
        exec(QStringLiteral("ROLLBACK"));
        return m_error;
    }
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

Journal::Opened Journal::restartAfterDamage(const QString &reason)
{
    Opened opened;
    const std::optional<QString> movedTo = moveAside();
    if (!movedTo) {
        opened.error = JournalTexts::tr("The record journal %1 could not be read (%2), and %3.")
                               .arg(QDir::toNativeSeparators(m_path), reason, m_error);
        return opened;
    }
    opened.notice = movedAsideText(m_path, reason, *movedTo);
    if (!connect(m_path) || checkAndPrepare() || !prepareStatements()) {
        opened.error = JournalTexts::tr("%1 A new journal could not be started either (%2).").arg(opened.notice, m_error);
        close();
        return opened;
    }
    opened.ok = true;
    return opened;
}

bool Journal::prepareStatements()
{
    m_knownSetups.clear();
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT hash FROM bin_setups"))) {
        m_error = errorText(query.lastError());
        return false;
    }
    while (query.next())
        m_knownSetups.insert(query.value(0).toString());
    return true;
}

Journal::Opened Journal::open(const QString &path)
{
    Opened opened;
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        opened.error = JournalTexts::tr("The record journal %1 is not a regular file; counted cells go to the "
                                        "data file only.").arg(QDir::toNativeSeparators(path));
        return opened;
    }
    m_lastErrorDamage = false;
    if (!connect(path)) {
        if (info.exists())
            return restartAfterDamage(m_error);
        opened.error = JournalTexts::tr("The record journal %1 could not be opened (%2); counted cells go to the "
                                        "data file only.").arg(QDir::toNativeSeparators(path), m_error);
        close();
        return opened;
    }
    if (const std::optional<QString> problem = checkAndPrepare())
        return restartAfterDamage(*problem);
    if (!prepareStatements())
        return restartAfterDamage(m_error);
    opened.ok = true;
    return opened;
}

bool Journal::openForForwarding(const QString &path)
{
    if (!connect(path))
        return false;
    // A mark of "sent" lost to a power cut only sends those cells again, and
    // the server keeps each once: this connection need not wait for the disk.
    if (!exec(QStringLiteral("PRAGMA synchronous=NORMAL")))
        return false;
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        m_error = errorText(query.lastError());
        return false;
    }
    if (query.value(0).toInt() < kFormat) {
        query.finish();
        if (!createTables()) {
            exec(QStringLiteral("ROLLBACK"));
            return false;
        }
    }
    return true;
}

bool Journal::insert(const std::vector<CellRecord> &records, const BinSetup &setup)
{
    const auto failed = [this](const QSqlQuery &query) {
        m_error = errorText(query.lastError());
        m_lastErrorDamage = isJournalDamage(query.lastError().nativeErrorCode());
        const bool damage = m_lastErrorDamage;
        exec(QStringLiteral("ROLLBACK"));
        m_lastErrorDamage = damage;
        return false;
    };
    if (!exec(QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    QSqlQuery query(m_db);
    if (!m_knownSetups.contains(setup.hash)) {
        query.prepare(QStringLiteral("INSERT OR IGNORE INTO bin_setups (hash, setup) VALUES (?, ?)"));
        query.addBindValue(setup.hash);
        query.addBindValue(setup.text);
        if (!query.exec())
            return failed(query);
    }
    query.prepare(kInsertCell);
    for (const CellRecord &record : records) {
        query.addBindValue(record.id.toString(QUuid::WithoutBraces));
        query.addBindValue(record.bench);
        query.addBindValue(record.measuredAtText());
        query.addBindValue(record.resistanceText);
        query.addBindValue(record.voltageText);
        query.addBindValue(record.resistanceOhm);
        query.addBindValue(record.voltageV);
        query.addBindValue(record.resistanceBin);
        query.addBindValue(record.voltageBin);
        query.addBindValue(record.setupHash);
        query.addBindValue(textOrNull(record.cellId));
        query.addBindValue(record.programVersion);
        query.addBindValue(record.retest ? 1 : 0);
        query.addBindValue(numberOrNull(record.kValue));
        query.addBindValue(record.kValue ? QVariant(record.kLimit) : QVariant(QMetaType(QMetaType::Double)));
        query.addBindValue(textOrNull(record.kVerdict));
        query.addBindValue(textOrNull(record.testerWord));
        if (!query.exec())
            return failed(query);
    }
    query.finish();
    if (!exec(QStringLiteral("COMMIT"))) {
        const bool damage = m_lastErrorDamage;
        exec(QStringLiteral("ROLLBACK"));
        m_lastErrorDamage = damage;
        return false;
    }
    m_knownSetups.insert(setup.hash);
    return true;
}

Journal::Appended Journal::append(const CellRecord &record, const BinSetup &setup)
{
    return appendAll({record}, setup);
}

Journal::Appended Journal::appendAll(const std::vector<CellRecord> &records, const BinSetup &setup)
{
    Appended result;
    if (!isOpen()) {
        result.reason = m_error.isEmpty() ? JournalTexts::tr("the journal is not open") : m_error;
        return result;
    }
    m_lastErrorDamage = false;
    if (insert(records, setup)) {
        result.written = true;
        return result;
    }
    if (!m_lastErrorDamage) {
        result.reason = m_error;
        return result;
    }
    // Damaged under the running program: a new journal takes the records.
    const Opened restarted = restartAfterDamage(m_error);
    result.notice = restarted.ok ? restarted.notice : restarted.error;
    if (!restarted.ok) {
        result.reason = m_error;
        return result;
    }
    result.written = insert(records, setup);
    if (!result.written)
        result.reason = m_error;
    return result;
}

std::optional<std::vector<Journal::Pending>> Journal::pending(int limit)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT seq, %1 FROM cells WHERE sent = 0 ORDER BY seq LIMIT ?").arg(kRecordColumns));
    query.addBindValue(limit);
    if (!query.exec()) {
        m_error = errorText(query.lastError());
        return std::nullopt;
    }
    std::vector<Pending> rows;
    rows.reserve(size_t(limit));
    while (query.next())
        rows.push_back(Pending{query.value(0).toLongLong(), recordAt(query, 1)});
    if (query.lastError().isValid()) {
        m_error = errorText(query.lastError());
        return std::nullopt;
    }
    return rows;
}

std::optional<std::vector<CellRecord>> Journal::recordsOfCell(const QString &cellId)
{
    if (!isOpen()) {
        m_error = m_error.isEmpty() ? JournalTexts::tr("the journal is not open") : m_error;
        return std::nullopt;
    }
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM cells WHERE cell_id = ? ORDER BY seq").arg(kRecordColumns));
    query.addBindValue(cellId);
    if (!query.exec()) {
        m_error = errorText(query.lastError());
        return std::nullopt;
    }
    std::vector<CellRecord> records;
    while (query.next())
        records.push_back(recordAt(query, 0));
    if (query.lastError().isValid()) {
        m_error = errorText(query.lastError());
        return std::nullopt;
    }
    return records;
}

std::optional<QString> Journal::setupText(const QString &hash)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT setup FROM bin_setups WHERE hash = ?"));
    query.addBindValue(hash);
    if (!query.exec() || !query.next()) {
        m_error = query.lastError().isValid() ? errorText(query.lastError())
                                              : JournalTexts::tr("set-up %1 is not in the journal").arg(hash);
        return std::nullopt;
    }
    return query.value(0).toString();
}

bool Journal::markSent(qint64 lastSeq)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("UPDATE cells SET sent = 1 WHERE sent = 0 AND seq <= ?"));
    query.addBindValue(lastSeq);
    if (!query.exec()) {
        m_error = errorText(query.lastError());
        return false;
    }
    return true;
}

qint64 Journal::waitingCount()
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM cells WHERE sent = 0")) || !query.next()) {
        m_error = errorText(query.lastError());
        return -1;
    }
    return query.value(0).toLongLong();
}

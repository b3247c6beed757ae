#include "record/centraldatabase.h"

#include "record/cellcolumns.h"
#include "record/packtables.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

#include <map>
#include <optional>
#include <utility>

namespace {
struct CentralTexts
{
    Q_DECLARE_TR_FUNCTIONS(CentralDatabase)
};
} // namespace

namespace central {

namespace {

// Held while the tables are made or upgraded.
constexpr qint64 kSchemaLock = 48704870;

// The statements that bring the schema from version n to n + 1. A new
// version is one that benches of an older program cannot work with; they
// refuse it and leave it alone.
const std::vector<QStringList> &upgrades()
{
    static const std::vector<QStringList> steps{
        {
            QStringLiteral("CREATE TABLE bin4870_schema (version integer NOT NULL)"),
            QStringLiteral("CREATE TABLE bin_setups (hash text PRIMARY KEY, setup text NOT NULL)"),
            cellcolumns::createTable(CellStore::Central),
            QStringLiteral("CREATE INDEX cells_bench_arrival ON cells (bench, arrival)"),
            QStringLiteral("CREATE INDEX cells_measured_at ON cells (measured_at)"),
        },
    };
    return steps;
}

// The benches that have sent cells, each a bench name with the identity of
// the machine that claimed it (Journal::machineIdentity()); named is false
// while the name is the machine's host name because none was set, current
// false once the machine has claimed another name.
QString benchesTable()
{
    return QStringLiteral("CREATE TABLE IF NOT EXISTS benches (bench text NOT NULL, machine uuid NOT NULL,"
                          " named boolean NOT NULL DEFAULT true, current boolean NOT NULL DEFAULT true,"
                          " first_seen timestamptz NOT NULL DEFAULT now(),"
                          " last_seen timestamptz NOT NULL DEFAULT now(), PRIMARY KEY (bench, machine))");
}

// The statements that bring the additions from n to n + 1: columns with a
// default and indexes that an older program's inserts and queries, which
// name their columns, never notice. The version stays, so benches not yet
// updated keep sending to the same tables.
const std::vector<QStringList> &additions()
{
    static const std::vector<QStringList> steps = [] {
        // What an addition brings before and after the columns of cells.
        const std::map<int, std::pair<QStringList, QStringList>> around{
            {1,
             {{QStringLiteral("ALTER TABLE bin4870_schema ADD COLUMN IF NOT EXISTS additions integer NOT NULL DEFAULT 0")},
              {QStringLiteral("CREATE INDEX IF NOT EXISTS cells_cell_id ON cells (cell_id) WHERE cell_id IS NOT NULL")}}},
            {packtables::kCentralAdditions, {packtables::create(CellStore::Central) << benchesTable(), {}}},
        };
        std::vector<QStringList> made;
        for (int level = 1; level <= kSchemaAdditions; ++level) {
            const auto extra = around.find(level);
            QStringList step;
            if (extra != around.end())
                step << extra->second.first;
            step << cellcolumns::addColumns(CellStore::Central, level);
            if (extra != around.end())
                step << extra->second.second;
            made.push_back(step);
        }
        return made;
    }();
    return steps;
}

QString where(const CentralSettings &settings)
{
    const QString host = settings.host.isEmpty() ? CentralTexts::tr("the local socket") : settings.host;
    return CentralTexts::tr("%1, port %2").arg(QDir::toNativeSeparators(host)).arg(settings.port);
}

// What an error of the driver means for the operator: a few words for the
// status bar, and whole sentences for a dialog.
struct Described
{
    QString reason;
    QString message;
    ErrorKind kind = ErrorKind::Failed;
};

Described describe(const QString &text, const CentralSettings &settings)
{
    QString reason;
    QString message;
    ErrorKind kind = ErrorKind::Failed;
    const QString firstLine = text.section(QLatin1Char('\n'), 0, 0).remove(QStringLiteral("FATAL:")).trimmed();
    const auto has = [&text](const char *part) { return text.contains(QLatin1String(part), Qt::CaseInsensitive); };
    if (has("password authentication failed") || has("authentication failed")) {
        reason = CentralTexts::tr("password refused for user %1").arg(settings.user);
        message = CentralTexts::tr("The server refused the password of user \"%1\". The program keeps no "
                                   "password: put the right one in ~/.pgpass (or the file PGPASSFILE "
                                   "names).").arg(settings.user);
    } else if (has("no password supplied")) {
        reason = CentralTexts::tr("no password for user %1").arg(settings.user);
        message = CentralTexts::tr("The server asks for a password of user \"%1\" and none was found. "
                                   "The program keeps no password: put it in ~/.pgpass (or the file "
                                   "PGPASSFILE names), mode 0600.").arg(settings.user);
    } else if (has("database \"") && has("does not exist")) {
        reason = CentralTexts::tr("database %1 does not exist").arg(settings.database);
        message = CentralTexts::tr("The server at %1 has no database \"%2\". Check the database name, or "
                                   "ask for the database to be created.")
                          .arg(where(settings), settings.database);
    } else if (has("role \"") && has("does not exist")) {
        reason = CentralTexts::tr("user %1 unknown").arg(settings.user);
        message = CentralTexts::tr("The server at %1 knows no user \"%2\".").arg(where(settings), settings.user);
    } else if (has("could not connect") || has("connection refused") || has("no such file")
               || has("timeout expired") || has("could not translate host name") || has("network is unreachable")
               || has("no route to host") || has("connection to server") || has("server closed the connection")
               || has("terminating connection") || has("no connection to the server")) {
        reason = CentralTexts::tr("server not reachable");
        kind = ErrorKind::Unreachable;
        message = CentralTexts::tr("The server at %1 cannot be reached (%2). Cells wait in the journal and "
                                   "are sent once it answers.").arg(where(settings), firstLine);
    } else if (has("driver not loaded")) {
        reason = CentralTexts::tr("PostgreSQL driver missing");
        message = CentralTexts::tr("Qt's PostgreSQL driver is not installed (Debian package "
                                   "libqt6sql6-psql).");
    } else {
        reason = firstLine.isEmpty() ? CentralTexts::tr("database error") : firstLine;
        message = CentralTexts::tr("The central database at %1 reported: %2").arg(where(settings), firstLine);
    }
    return {reason, message, kind};
}

struct SchemaLevel
{
    int version = 0;   // 0 before the first contact
    int additions = 0; // compatible additions made to that version
};

// The schema level in the database; nullopt (and *error) when it cannot be
// read.
std::optional<SchemaLevel> schemaLevel(QSqlDatabase &db, QSqlError *error)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT to_regclass('bin4870_schema') IS NOT NULL,"
                                   " EXISTS (SELECT 1 FROM pg_attribute WHERE attrelid = to_regclass('bin4870_schema')"
                                   " AND attname = 'additions' AND NOT attisdropped)"))
        || !query.next()) {
        *error = query.lastError();
        return std::nullopt;
    }
    SchemaLevel level;
    if (!query.value(0).toBool())
        return level;
    const bool hasAdditions = query.value(1).toBool();
    if (!query.exec(hasAdditions
                            ? QStringLiteral("SELECT coalesce(max(version), 0), coalesce(max(additions), 0)"
                                             " FROM bin4870_schema")
                            : QStringLiteral("SELECT coalesce(max(version), 0), 0 FROM bin4870_schema"))
        || !query.next()) {
        *error = query.lastError();
        return std::nullopt;
    }
    level.version = query.value(0).toInt();
    level.additions = query.value(1).toInt();
    return level;
}

std::pair<QString, QString> newerSchema(int version)
{
    return {CentralTexts::tr("database tables of a newer version %1").arg(version),
            CentralTexts::tr("The central database's tables are of version %1, newer than this program "
                             "knows (%2). They are left as they are and nothing is sent; update the "
                             "program on this bench. Counted cells wait in the journal.")
                    .arg(version)
                    .arg(kSchemaVersion)};
}

QString withoutNul(QString text)
{
    // The server's text type holds no NUL character.
    text.remove(QChar(0));
    return text;
}

// Runs the statements of steps[from] up to steps[to - 1] in order; false at
// the first that fails.
bool runSteps(QSqlQuery &query, const std::vector<QStringList> &steps, int from, int to)
{
    for (int step = from; step < to; ++step) {
        for (const QString &statement : steps[size_t(step)]) {
            if (!query.exec(statement))
                return false;
        }
    }
    return true;
}

} // namespace

// The statements a connection prepared, kept while it is open.
struct Connection::Statements
{
    std::optional<QSqlQuery> insertSetup;
    std::optional<QSqlQuery> insertCells;
    std::optional<QSqlQuery> lookUp;
    int lookUpAdditions = -1; // the additions level lookUp reads
};

Connection::Connection(CentralSettings settings, QString name)
    : m_settings(std::move(settings)), m_name(std::move(name))
{
}

Connection::~Connection()
{
    close();
}

Failure Connection::failed(const QString &reason, const QString &message, ErrorKind kind)
{
    m_reason = reason;
    return Failure(kind, message);
}

Failure Connection::failure(const QSqlError &error)
{
    const auto [reason, message, kind] = describe(sqlErrorText(error), m_settings);
    return failed(reason, message, kind);
}

// The failure told, after the transaction is rolled back.
Failure Connection::rolledBack(const QSqlError &error)
{
    const Failure told = failure(error);
    database().rollback();
    return told;
}

Status Connection::open()
{
    close();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
    if (!db.isValid()) {
        const auto [reason, message, kind] = describe(QStringLiteral("Driver not loaded"), m_settings);
        return failed(reason, message, kind);
    }
    const CentralSettings &settings = m_settings;
    if (!settings.host.isEmpty())
        db.setHostName(settings.host);
    db.setPort(settings.port);
    db.setDatabaseName(settings.database);
    db.setUserName(settings.user);
    db.setConnectOptions(connectOptions(settings));
    if (!db.open())
        return failure(db.lastError());
    m_statements = std::make_unique<Statements>();
    return {};
}

void Connection::close()
{
    // The kept statements go before their connection.
    m_statements.reset();
    removeConnection(m_name);
}

bool Connection::isOpen() const
{
    return m_statements != nullptr;
}

QSqlDatabase Connection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

Status Connection::prepareSchema()
{
    QSqlDatabase db = database();
    if (!db.transaction())
        return failure(db.lastError());
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLock)))
        return rolledBack(query.lastError());
    QSqlError error;
    const std::optional<SchemaLevel> level = schemaLevel(db, &error);
    if (!level)
        return rolledBack(error);
    const int version = level->version;
    if (version > kSchemaVersion) {
        db.rollback();
        const auto [reason, message] = newerSchema(version);
        return failed(reason, message);
    }
    if (!runSteps(query, upgrades(), version, kSchemaVersion))
        return rolledBack(query.lastError());
    if (version < kSchemaVersion) {
        if (!query.exec(QStringLiteral("DELETE FROM bin4870_schema"))
            || !query.exec(QStringLiteral("INSERT INTO bin4870_schema (version) VALUES (%1)").arg(kSchemaVersion)))
            return rolledBack(query.lastError());
    }
    const int made = version < kSchemaVersion ? 0 : level->additions;
    if (!runSteps(query, additions(), made, kSchemaAdditions))
        return rolledBack(query.lastError());
    if (made < kSchemaAdditions
        && !query.exec(QStringLiteral("UPDATE bin4870_schema SET additions = %1").arg(kSchemaAdditions)))
        return rolledBack(query.lastError());
    // Tables of this additions level made before the benches table was
    // part of it.
    if (!query.exec(QStringLiteral("SELECT to_regclass('benches') IS NULL")) || !query.next())
        return rolledBack(query.lastError());
    if (query.value(0).toBool() && !query.exec(benchesTable()))
        return rolledBack(query.lastError());
    if (!db.commit())
        return rolledBack(db.lastError());
    return {};
}

namespace {

// How many machines other than `machine` have claimed the bench name; 0
// while the database has no benches table.
Result<int> otherMachines(QSqlDatabase db, const QString &bench, const QString &machine, QSqlError *error)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT to_regclass('benches') IS NOT NULL")) || !query.next()) {
        *error = query.lastError();
        return Failure(QString());
    }
    if (!query.value(0).toBool())
        return 0;
    query.prepare(QStringLiteral("SELECT count(*) FROM benches WHERE bench = ? AND machine <> CAST(? AS uuid)"
                                 " AND current"));
    query.addBindValue(withoutNul(bench));
    query.addBindValue(machine);
    if (!query.exec() || !query.next()) {
        *error = query.lastError();
        return Failure(QString());
    }
    return query.value(0).toInt();
}

} // namespace

QString sharedBenchNameText(const QString &bench, int others)
{
    return CentralTexts::tr("the bench name \"%1\" is used by %n other machine(s) too, and their cells are mixed "
                            "with this bench's: give this bench a name of its own (Settings > Central record...)",
                            nullptr, others)
            .arg(bench);
}

Result<int> Connection::claimBench(const QString &machine)
{
    QSqlDatabase db = database();
    QSqlQuery query(db);
    // A machine that was renamed no longer holds its old name.
    query.prepare(QStringLiteral("UPDATE benches SET current = false WHERE machine = CAST(? AS uuid) AND bench <> ?"
                                 " AND current"));
    query.addBindValue(machine);
    query.addBindValue(withoutNul(m_settings.benchName()));
    if (!query.exec())
        return failure(query.lastError());
    query.prepare(QStringLiteral("INSERT INTO benches (bench, machine, named) VALUES (?, CAST(? AS uuid), ?)"
                                 " ON CONFLICT (bench, machine) DO UPDATE SET last_seen = now(), named = EXCLUDED.named,"
                                 " current = true"));
    query.addBindValue(withoutNul(m_settings.benchName()));
    query.addBindValue(machine);
    query.addBindValue(!m_settings.bench.trimmed().isEmpty());
    if (!query.exec())
        return failure(query.lastError());
    QSqlError error;
    const Result<int> others = otherMachines(db, m_settings.benchName(), machine, &error);
    if (!others)
        return failure(error);
    return *others;
}

Result<QString> probe(const CentralSettings &settings, const QString &machine)
{
    Connection connection(settings, uniqueConnectionName(QStringLiteral("probe")));
    if (const Status opened = connection.open(); !opened)
        return opened.failure();
    QSqlDatabase db = connection.database();
    QSqlError error;
    const std::optional<SchemaLevel> level = schemaLevel(db, &error);
    if (!level)
        return connection.failure(error);
    const int version = level->version;
    if (version > kSchemaVersion)
        return Failure(newerSchema(version).second);
    const QString tables = version == 0 ? CentralTexts::tr("the tables are made when the first cell is sent")
                                        : CentralTexts::tr("its tables are ready (version %1)").arg(version);
    QString text = CentralTexts::tr("Connected to database \"%1\" at %2 as %3; %4.")
                           .arg(settings.database, where(settings), settings.user, tables);
    if (machine.isEmpty())
        return text;
    const Result<int> others = otherMachines(db, settings.benchName(), machine, &error);
    if (!others)
        return connection.failure(error);
    if (*others > 0) {
        QString shared = sharedBenchNameText(settings.benchName(), *others);
        shared[0] = shared[0].toUpper();
        text += QLatin1Char(' ') + shared + QLatin1Char('.');
    }
    return text;
}

Status Connection::send(const std::vector<Journal::Pending> &records, const std::map<QString, QString> &setups)
{
    if (records.empty())
        return {};
    QSqlDatabase db = database();
    if (!db.transaction())
        return failure(db.lastError());
    Statements &s = *m_statements;
    const auto prepared = [&db](std::optional<QSqlQuery> &query, const QString &sql) {
        if (!query) {
            query.emplace(db);
            if (!query->prepare(sql)) {
                const QSqlError error = query->lastError();
                query.reset();
                return std::optional<QSqlError>(error);
            }
        }
        return std::optional<QSqlError>();
    };
    if (const auto error = prepared(s.insertSetup, QStringLiteral("INSERT INTO bin_setups (hash, setup) VALUES (?, ?) "
                                                                  "ON CONFLICT (hash) DO NOTHING")))
        return rolledBack(*error);
    if (const auto error = prepared(s.insertCells, cellcolumns::centralInsert()))
        return rolledBack(*error);

    for (const auto &[hash, text] : setups) {
        s.insertSetup->addBindValue(hash);
        s.insertSetup->addBindValue(withoutNul(text));
        if (!s.insertSetup->exec())
            return rolledBack(s.insertSetup->lastError());
    }
    // One statement for the whole batch, the same for every batch whatever
    // its size: the server's arrival order follows the journal's.
    std::vector<const CellRecord *> batch;
    batch.reserve(records.size());
    for (const Journal::Pending &pending : records)
        batch.push_back(&pending.record);
    for (const QVariant &array : cellcolumns::centralArrays(batch))
        s.insertCells->addBindValue(array);
    if (!s.insertCells->exec())
        return rolledBack(s.insertCells->lastError());
    s.insertCells->finish();
    if (!db.commit())
        return rolledBack(db.lastError());
    return {};
}

Result<std::optional<int>> Connection::readableLevel()
{
    if (!isOpen()) {
        if (const Status opened = open(); !opened)
            return opened.failure();
    }
    QSqlDatabase db = database();
    QSqlError error;
    const std::optional<SchemaLevel> level = schemaLevel(db, &error);
    if (!level)
        return failure(error);
    if (level->version > kSchemaVersion) {
        const auto [reason, message] = newerSchema(level->version);
        return failed(reason, message);
    }
    if (level->version == 0)
        return std::optional<int>();
    return std::optional<int>(level->additions);
}

Result<std::vector<CellRecord>> Connection::recordsOfCell(const QString &cellId)
{
    const Result<std::optional<int>> level = readableLevel();
    if (!level)
        return level.failure();
    if (!*level)
        return std::vector<CellRecord>(); // nothing sent yet
    const int additions = **level;
    QSqlDatabase db = database();
    // Tables not yet given the additions (no bench of this program has sent
    // to them): their cells read as having none of the added columns.
    Statements &s = *m_statements;
    if (!s.lookUp || s.lookUpAdditions != additions) {
        s.lookUp.emplace(db);
        s.lookUp->setForwardOnly(true);
        s.lookUpAdditions = additions;
        if (!s.lookUp->prepare(QStringLiteral("SELECT %1 FROM cells WHERE cell_id = ? ORDER BY measured_at, arrival")
                                       .arg(cellcolumns::selectList(CellStore::Central, additions)))) {
            const QSqlError failed = s.lookUp->lastError();
            s.lookUp.reset();
            return failure(failed);
        }
    }
    QSqlQuery &query = *s.lookUp;
    query.addBindValue(cellId);
    if (!query.exec())
        return failure(query.lastError());
    const cellcolumns::CellReader reader(query.record());
    std::vector<CellRecord> records;
    while (query.next())
        records.push_back(reader.read(query));
    const QSqlError failedRow = query.lastError();
    query.finish();
    if (failedRow.isValid())
        return failure(failedRow);
    return records;
}

} // namespace central

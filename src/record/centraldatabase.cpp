#include "record/centraldatabase.h"

#include "record/centralconnection.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <array>
#include <optional>

namespace {
// The translation context of the texts this file shows.
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
            QStringLiteral(
                    "CREATE TABLE cells (id uuid PRIMARY KEY, bench text NOT NULL,"
                    " measured_at timestamptz NOT NULL, resistance_text text NOT NULL,"
                    " voltage_text text NOT NULL, resistance_ohm double precision, voltage_v double precision,"
                    " resistance_bin text, voltage_bin text, setup_hash text REFERENCES bin_setups(hash),"
                    " cell_id text, program_version text, arrival bigint GENERATED ALWAYS AS IDENTITY)"),
            QStringLiteral("CREATE INDEX cells_bench_arrival ON cells (bench, arrival)"),
            QStringLiteral("CREATE INDEX cells_measured_at ON cells (measured_at)"),
        },
    };
    return steps;
}

// The statements that bring the additions from n to n + 1: columns with a
// default and indexes that an older program's inserts and queries, which
// name their columns, never notice. The version stays, so benches not yet
// updated keep sending to the same tables.
const std::vector<QStringList> &additions()
{
    static const std::vector<QStringList> steps{
        {
            QStringLiteral("ALTER TABLE bin4870_schema ADD COLUMN IF NOT EXISTS additions integer NOT NULL DEFAULT 0"),
            QStringLiteral("ALTER TABLE cells ADD COLUMN IF NOT EXISTS retest boolean NOT NULL DEFAULT false,"
                           " ADD COLUMN IF NOT EXISTS k_value double precision,"
                           " ADD COLUMN IF NOT EXISTS k_limit double precision,"
                           " ADD COLUMN IF NOT EXISTS k_verdict text, ADD COLUMN IF NOT EXISTS tester_word text"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS cells_cell_id ON cells (cell_id) WHERE cell_id IS NOT NULL"),
        },
    };
    return steps;
}

QString where(const CentralSettings &settings)
{
    const QString host = settings.host.isEmpty() ? CentralTexts::tr("the local socket") : settings.host;
    return CentralTexts::tr("%1, port %2").arg(QDir::toNativeSeparators(host)).arg(settings.port);
}

QString driverText(const QSqlError &error)
{
    return (error.databaseText().isEmpty() ? error.text() : error.databaseText()).trimmed();
}

Outcome failed(const QSqlError &error, const CentralSettings &settings)
{
    return describe(driverText(error), settings);
}

Outcome succeeded(const QString &message = QString())
{
    Outcome outcome;
    outcome.ok = true;
    outcome.message = message;
    return outcome;
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

Outcome newerSchema(int version)
{
    Outcome outcome;
    outcome.reason = CentralTexts::tr("database tables of a newer version %1").arg(version);
    outcome.message = CentralTexts::tr("The central database's tables are of version %1, newer than this program "
                                       "knows (%2). They are left as they are and nothing is sent; update the "
                                       "program on this bench. Counted cells wait in the journal.")
                              .arg(version)
                              .arg(kSchemaVersion);
    return outcome;
}

QString withoutNul(QString text)
{
    // The server's text type holds no NUL character.
    text.remove(QChar(0));
    return text;
}

// One element of an array literal: quoted, with backslash and quote escaped.
QString arrayElement(const QString &text)
{
    QString element = withoutNul(text);
    element.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    element.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + element + QLatin1Char('"');
}

} // namespace

Outcome describe(const QString &text, const CentralSettings &settings)
{
    Outcome outcome;
    const QString firstLine = text.section(QLatin1Char('\n'), 0, 0).remove(QStringLiteral("FATAL:")).trimmed();
    const auto has = [&text](const char *part) { return text.contains(QLatin1String(part), Qt::CaseInsensitive); };
    if (has("password authentication failed") || has("authentication failed")) {
        outcome.reason = CentralTexts::tr("password refused for user %1").arg(settings.user);
        outcome.message = CentralTexts::tr("The server refused the password of user \"%1\". The program keeps no "
                                           "password: put the right one in ~/.pgpass (or the file PGPASSFILE "
                                           "names).").arg(settings.user);
    } else if (has("no password supplied")) {
        outcome.reason = CentralTexts::tr("no password for user %1").arg(settings.user);
        outcome.message = CentralTexts::tr("The server asks for a password of user \"%1\" and none was found. "
                                           "The program keeps no password: put it in ~/.pgpass (or the file "
                                           "PGPASSFILE names), mode 0600.").arg(settings.user);
    } else if (has("database \"") && has("does not exist")) {
        outcome.reason = CentralTexts::tr("database %1 does not exist").arg(settings.database);
        outcome.message = CentralTexts::tr("The server at %1 has no database \"%2\". Check the database name, or "
                                           "ask for the database to be created.")
                                  .arg(where(settings), settings.database);
    } else if (has("role \"") && has("does not exist")) {
        outcome.reason = CentralTexts::tr("user %1 unknown").arg(settings.user);
        outcome.message = CentralTexts::tr("The server at %1 knows no user \"%2\".").arg(where(settings), settings.user);
    } else if (has("could not connect") || has("connection refused") || has("no such file")
               || has("timeout expired") || has("could not translate host name") || has("network is unreachable")
               || has("no route to host") || has("connection to server") || has("server closed the connection")
               || has("terminating connection") || has("no connection to the server")) {
        outcome.reason = CentralTexts::tr("server not reachable");
        outcome.message = CentralTexts::tr("The server at %1 cannot be reached (%2). Cells wait in the journal and "
                                           "are sent once it answers.").arg(where(settings), firstLine);
    } else if (has("driver not loaded")) {
        outcome.reason = CentralTexts::tr("PostgreSQL driver missing");
        outcome.message = CentralTexts::tr("Qt's PostgreSQL driver is not installed (Debian package "
                                           "libqt6sql6-psql).");
    } else {
        outcome.reason = firstLine.isEmpty() ? CentralTexts::tr("database error") : firstLine;
        outcome.message = CentralTexts::tr("The central database at %1 reported: %2").arg(where(settings), firstLine);
    }
    return outcome;
}

Outcome connect(const QString &connectionName, const CentralSettings &settings)
{
    disconnect(connectionName);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    if (!db.isValid())
        return describe(QStringLiteral("Driver not loaded"), settings);
    if (!settings.host.isEmpty())
        db.setHostName(settings.host);
    db.setPort(settings.port);
    db.setDatabaseName(settings.database);
    db.setUserName(settings.user);
    db.setConnectOptions(connectOptions(settings));
    if (!db.open())
        return failed(db.lastError(), settings);
    return succeeded();
}

void disconnect(const QString &connectionName)
{
    if (!QSqlDatabase::contains(connectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
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

// The failure told, after the transaction is rolled back.
Outcome rolledBack(QSqlDatabase &db, const QSqlError &error, const CentralSettings &settings)
{
    const Outcome outcome = failed(error, settings);
    db.rollback();
    return outcome;
}

Outcome prepareSchema(const QString &connectionName, const CentralSettings &settings)
{
    QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    if (!db.transaction())
        return failed(db.lastError(), settings);
    const auto rollback = [&db, &settings](const QSqlError &error) { return rolledBack(db, error, settings); };
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLock)))
        return rollback(query.lastError());
    QSqlError error;
    const std::optional<SchemaLevel> level = schemaLevel(db, &error);
    if (!level)
        return rollback(error);
    const int version = level->version;
    if (version > kSchemaVersion) {
        db.rollback();
        return newerSchema(version);
    }
    if (!runSteps(query, upgrades(), version, kSchemaVersion))
        return rollback(query.lastError());
    if (version < kSchemaVersion) {
        if (!query.exec(QStringLiteral("DELETE FROM bin4870_schema"))
            || !query.exec(QStringLiteral("INSERT INTO bin4870_schema (version) VALUES (%1)").arg(kSchemaVersion)))
            return rollback(query.lastError());
    }
    const int made = version < kSchemaVersion ? 0 : level->additions;
    if (!runSteps(query, additions(), made, kSchemaAdditions))
        return rollback(query.lastError());
    if (made < kSchemaAdditions
        && !query.exec(QStringLiteral("UPDATE bin4870_schema SET additions = %1").arg(kSchemaAdditions)))
        return rollback(query.lastError());
    if (!db.commit())
        return rollback(db.lastError());
    return succeeded();
}

Outcome probe(const QString &connectionName, const CentralSettings &settings)
{
    Outcome outcome = connect(connectionName, settings);
    if (outcome.ok) {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        QSqlError error;
        const std::optional<SchemaLevel> level = schemaLevel(db, &error);
        const int version = level ? level->version : -1;
        if (!level) {
            outcome = failed(error, settings);
        } else if (version > kSchemaVersion) {
            outcome = newerSchema(version);
        } else {
            const QString tables = version == 0
                    ? CentralTexts::tr("the tables are made when the first cell is sent")
                    : CentralTexts::tr("its tables are ready (version %1)").arg(version);
            outcome.message = CentralTexts::tr("Connected to database \"%1\" at %2 as %3; %4.")
                                      .arg(settings.database, where(settings), settings.user, tables);
        }
    }
    disconnect(connectionName);
    return outcome;
}

Outcome send(const QString &connectionName, const CentralSettings &settings,
             const std::vector<Journal::Pending> &records, const std::map<QString, QString> &setups)
{
    QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    if (records.empty())
        return succeeded();
    if (!db.transaction())
        return failed(db.lastError(), settings);
    const auto rollback = [&db, &settings](const QSqlError &error) { return rolledBack(db, error, settings); };

    QSqlQuery query(db);
    for (const auto &[hash, text] : setups) {
        query.prepare(QStringLiteral("INSERT INTO bin_setups (hash, setup) VALUES (?, ?) "
                                     "ON CONFLICT (hash) DO NOTHING"));
        query.addBindValue(hash);
        query.addBindValue(withoutNul(text));
        if (!query.exec())
            return rollback(query.lastError());
    }

    // One statement for the whole batch: each column an array, unnested in
    // the journal's order, so the server's arrival order follows the bench's.
    // The statement is the same for every batch, whatever its size.
    std::array<QStringList, 17> columns;
    const auto textOrNull = [](const QString &text) {
        return text.isEmpty() ? QStringLiteral("NULL") : arrayElement(text);
    };
    for (QStringList &column : columns)
        column.reserve(int(records.size()));
    for (const Journal::Pending &pending : records) {
        const CellRecord &r = pending.record;
        columns[0] << arrayElement(r.id.toString(QUuid::WithoutBraces));
        columns[1] << arrayElement(r.bench);
        columns[2] << arrayElement(r.measuredAtText());
        columns[3] << arrayElement(r.resistanceText);
        columns[4] << arrayElement(r.voltageText);
        columns[5] << arrayElement(QString::number(r.resistanceOhm, 'g', 17));
        columns[6] << arrayElement(QString::number(r.voltageV, 'g', 17));
        columns[7] << arrayElement(r.resistanceBin);
        columns[8] << arrayElement(r.voltageBin);
        columns[9] << arrayElement(r.setupHash);
        columns[10] << textOrNull(r.cellId);
        columns[11] << arrayElement(r.programVersion);
        columns[12] << (r.retest ? QStringLiteral("true") : QStringLiteral("false"));
        columns[13] << (r.kValue ? arrayElement(QString::number(*r.kValue, 'g', 17)) : QStringLiteral("NULL"));
        columns[14] << (r.kValue ? arrayElement(QString::number(r.kLimit, 'g', 17)) : QStringLiteral("NULL"));
        columns[15] << textOrNull(r.kVerdict);
        columns[16] << textOrNull(r.testerWord);
    }
    if (!query.prepare(QStringLiteral(
                "INSERT INTO cells (id, bench, measured_at, resistance_text, voltage_text, resistance_ohm, voltage_v,"
                " resistance_bin, voltage_bin, setup_hash, cell_id, program_version, retest, k_value, k_limit,"
                " k_verdict, tester_word)"
                " SELECT * FROM unnest(?::uuid[], ?::text[], ?::timestamptz[], ?::text[], ?::text[],"
                " ?::float8[], ?::float8[], ?::text[], ?::text[], ?::text[], ?::text[], ?::text[],"
                " ?::boolean[], ?::float8[], ?::float8[], ?::text[], ?::text[])"
                " ON CONFLICT (id) DO NOTHING")))
        return rollback(query.lastError());
    for (const QStringList &column : columns)
        query.addBindValue(QString(QLatin1Char('{') + column.join(QLatin1Char(',')) + QLatin1Char('}')));
    if (!query.exec())
        return rollback(query.lastError());
    query.finish();
    if (!db.commit())
        return rollback(db.lastError());
    return succeeded();
}

Outcome recordsOfCell(const QString &connectionName, const CentralSettings &settings, const QString &cellId,
                      std::vector<CellRecord> *records)
{
    records->clear();
    Outcome outcome = connect(connectionName, settings);
    if (!outcome.ok)
        return outcome;
    QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    QSqlError error;
    const std::optional<SchemaLevel> level = schemaLevel(db, &error);
    if (!level)
        return failed(error, settings);
    if (level->version > kSchemaVersion)
        return newerSchema(level->version);
    if (level->version == 0)
        return succeeded(); // nothing sent yet
    // Tables not yet given the marks (no bench of this program has sent to
    // them): their cells read as having none.
    const QString marks = level->additions >= 1 ? QStringLiteral("retest, k_value, k_limit, tester_word, k_verdict")
                                                : QStringLiteral("false, NULL::float8, NULL::float8, NULL::text, NULL::text");
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
            "SELECT id, bench, (extract(epoch FROM measured_at) * 1000)::bigint, resistance_text, voltage_text,"
            " resistance_ohm, voltage_v, resistance_bin, voltage_bin, setup_hash, cell_id, program_version, %1"
            " FROM cells WHERE cell_id = ? ORDER BY measured_at, arrival").arg(marks));
    query.addBindValue(cellId);
    if (!query.exec())
        return failed(query.lastError(), settings);
    while (query.next()) {
        CellRecord r;
        r.id = QUuid::fromString(query.value(0).toString());
        r.bench = query.value(1).toString();
        r.measuredAt = QDateTime::fromMSecsSinceEpoch(query.value(2).toLongLong()).toLocalTime();
        r.resistanceText = query.value(3).toString();
        r.voltageText = query.value(4).toString();
        r.resistanceOhm = query.value(5).toDouble();
        r.voltageV = query.value(6).toDouble();
        r.resistanceBin = query.value(7).toString();
        r.voltageBin = query.value(8).toString();
        r.setupHash = query.value(9).toString();
        r.cellId = query.value(10).toString();
        r.programVersion = query.value(11).toString();
        r.retest = query.value(12).toBool();
        if (!query.value(13).isNull())
            r.kValue = query.value(13).toDouble();
        r.kLimit = query.value(14).toDouble();
        r.testerWord = query.value(15).toString();
        r.kVerdict = query.value(16).toString();
        records->push_back(std::move(r));
    }
    if (query.lastError().isValid())
        return failed(query.lastError(), settings);
    return succeeded();
}

} // namespace central

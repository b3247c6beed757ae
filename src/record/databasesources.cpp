#include "record/databasesources.h"

#include "link/testernumber.h"
#include "record/centraldatabase.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QThread>
#include <QTimeZone>
#include <QVariant>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <limits>

namespace {
// The translation context of the texts this file shows.
struct SourceTexts
{
    Q_DECLARE_TR_FUNCTIONS(RecordSources)
};

QString driverText(const QSqlError &error)
{
    return (error.databaseText().isEmpty() ? error.text() : error.databaseText()).trimmed();
}

// "Central database bin4870 at db1, port 5432"
QString centralDescription(const CentralSettings &settings)
{
    const QString host = settings.host.isEmpty() ? SourceTexts::tr("local socket") : settings.host;
    return SourceTexts::tr("Central database %1 at %2, port %3")
            .arg(settings.database, QDir::toNativeSeparators(host))
            .arg(settings.port);
}

// A connection name of this pass's own: the source, the thread and a serial
// number, so that passes on two threads never share one.
QString passConnectionName(const char *kind)
{
    static std::atomic<int> serial{0};
    return QStringLiteral("%1-source-%2-%3")
            .arg(QLatin1String(kind))
            .arg(quintptr(QThread::currentThreadId()))
            .arg(++serial);
}

// The wall-clock text of a stamp: "2026-12-07T14:05:09".
QString wallClockText(qint64 stamp, QChar separator)
{
    const QDateTime t = QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC).addSecs(stamp);
    return t.toString(QStringLiteral("yyyy-MM-dd")) + separator + t.toString(QStringLiteral("HH:mm:ss"));
}

int digits(const QString &text, int from, int count)
{
    int value = 0;
    for (int i = from; i < from + count; ++i)
        value = value * 10 + text.at(i).digitValue();
    return value;
}

// The stamp of a journal time "2026-12-07T14:05:09.123+01:00": its wall-clock part.
std::optional<qint64> journalStamp(const QString &text)
{
    if (text.size() < 19)
        return std::nullopt;
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18}) {
        if (!text.at(i).isDigit())
            return std::nullopt;
    }
    return wallClockSeconds(digits(text, 0, 4), digits(text, 5, 2), digits(text, 8, 2), digits(text, 11, 2),
                            digits(text, 14, 2), digits(text, 17, 2));
}

RecordReading readingOf(double ohms, double volts, qint64 stamp)
{
    // A counted cell's values always fit a float; one beyond its range reads as infinite.
    const float beyond = std::numeric_limits<float>::infinity();
    return RecordReading{judgedValue(ohms, Quantity::Resistance).valueOr(ohms < 0 ? -beyond : beyond),
                         judgedValue(volts, Quantity::Voltage).valueOr(volts < 0 ? -beyond : beyond), stamp};
}

// The WHERE clause of a filter and its values in order; `time` is the column
// expression compared with the filter's wall-clock texts.
struct Condition
{
    QString sql;
    QVariantList values;
};

Condition condition(const RecordFilter &filter, const QString &time, const QString &timeValue, QChar separator)
{
    Condition c;
    QStringList parts;
    if (!filter.bench.isEmpty()) {
        parts << QStringLiteral("bench = ?");
        c.values << filter.bench;
    }
    if (filter.from) {
        parts << QStringLiteral("%1 >= %2").arg(time, timeValue);
        c.values << wallClockText(*filter.from, separator);
    }
    if (filter.to) {
        parts << QStringLiteral("%1 < %2").arg(time, timeValue);
        c.values << wallClockText(*filter.to, separator);
    }
    if (!parts.isEmpty())
        c.sql = QStringLiteral(" WHERE ") + parts.join(QStringLiteral(" AND "));
    return c;
}

bool run(QSqlQuery &query, const QString &sql, const QVariantList &values, QString *error)
{
    query.setForwardOnly(true);
    if (!query.prepare(sql)) {
        *error = driverText(query.lastError());
        return false;
    }
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        *error = driverText(query.lastError());
        return false;
    }
    return true;
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// --- Journal ------------------------------------------------------------------------

// Journal times compared by their wall-clock part, which sorts as text.
const QString kJournalTime = QStringLiteral("substr(measured_at, 1, 19)");

// A read-only connection to the journal for one pass.
class JournalConnection
{
public:
    explicit JournalConnection(const QString &path) : m_name(passConnectionName("journal"))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!QFileInfo(path).isFile())
            m_error = SourceTexts::tr("%1: no such journal").arg(QDir::toNativeSeparators(path));
        else if (!db.open())
            m_error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), driverText(db.lastError()));
    }
    ~JournalConnection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    JournalConnection(const JournalConnection &) = delete;
    JournalConnection &operator=(const JournalConnection &) = delete;

    bool ok(QString *error) const
    {
        if (!m_error.isEmpty())
            setError(error, m_error);
        return m_error.isEmpty();
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

private:
    QString m_name;
    QString m_error;
};

// --- Central database ---------------------------------------------------------------

// Central times: the instant as this computer's wall clock (the session's time
// zone is set to this computer's), compared with wall-clock texts.
const QString kCentralTime = QStringLiteral("measured_at");
const QString kCentralTimeValue = QStringLiteral("?::timestamp::timestamptz");
const QString kCentralStamp = QStringLiteral("floor(extract(epoch FROM measured_at::timestamp))::bigint");
// Rows a pass takes from the server at a time.
constexpr int kFetchRows = 10000;

class CentralConnection
{
public:
    explicit CentralConnection(const CentralSettings &settings)
        : m_name(passConnectionName("central")), m_settings(settings)
    {
        const central::Outcome outcome = central::connect(m_name, settings);
        if (!outcome.ok) {
            m_error = readingFailure(outcome, driverText(db().lastError()));
            return;
        }
        // Wall-clock times in and out are this computer's.
        QSqlQuery query(db());
        const QString zone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
        if (zone.isEmpty() || !query.exec(QStringLiteral("SET TIME ZONE '%1'").arg(QString(zone).remove(QLatin1Char('\''))))) {
            const int offset = QDateTime::currentDateTime().offsetFromUtc();
            query.exec(QStringLiteral("SET TIME ZONE INTERVAL '%1%2:%3' HOUR TO MINUTE")
                               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                               .arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'))
                               .arg(std::abs(offset) % 3600 / 60, 2, 10, QLatin1Char('0')));
        }
    }
    ~CentralConnection() { central::disconnect(m_name); }
    CentralConnection(const CentralConnection &) = delete;
    CentralConnection &operator=(const CentralConnection &) = delete;

    bool ok(QString *error) const
    {
        if (!m_error.isEmpty())
            setError(error, m_error);
        return m_error.isEmpty();
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }
    // A failed statement as the operator reads it.
    QString describe(const QString &driverError) const
    {
        return readingFailure(central::describe(driverError, m_settings), driverError);
    }

private:
    // The central database's account of a failure, as a pass that only reads
    // tells it. For a server out of reach that account speaks for the
    // forwarder (cells wait in the journal and are sent once it answers); a
    // pass sends nothing, so it names the server and the driver's reason.
    QString readingFailure(const central::Outcome &outcome, const QString &driverError) const
    {
        if (outcome.reason != central::describe(QStringLiteral("could not connect"), m_settings).reason)
            return outcome.message;
        return SourceTexts::tr("%1 cannot be reached (%2).")
                .arg(centralDescription(m_settings), driverError.section(QLatin1Char('\n'), 0, 0).trimmed());
    }

    QString m_name;
    CentralSettings m_settings;
    QString m_error;
};

// The bench names of a journal, which holds few cells and benches.
const QString kJournalBenches = QStringLiteral("SELECT DISTINCT bench FROM cells ORDER BY bench");
// The central database's, from its index on (bench, arrival) one bench after
// the other: a few milliseconds, where DISTINCT reads every cell (1.8 s for
// 10,000,000 cells).
const QString kCentralBenches = QStringLiteral(
        "WITH RECURSIVE b AS (SELECT min(bench) AS bench FROM cells UNION ALL"
        " SELECT (SELECT min(bench) FROM cells WHERE bench > b.bench) FROM b WHERE b.bench IS NOT NULL)"
        " SELECT bench FROM b WHERE bench IS NOT NULL");

// Benches, records and set-ups the same way for both kinds of database.
template<typename Connection>
bool readBenches(const Connection &connection, const QString &sql, QStringList *benches, QString *error)
{
    QSqlQuery query(connection.db());
    QString failure;
    if (!run(query, sql, {}, &failure)) {
        setError(error, failure);
        return false;
    }
    benches->clear();
    while (query.next())
        *benches << query.value(0).toString();
    return true;
}

bool readSetups(QSqlQuery &query, const QString &sql, const QVariantList &values,
                const std::function<std::optional<qint64>(const QVariant &)> &stampOf, std::vector<SetupInForce> *found,
                QString *error)
{
    found->clear();
    if (!run(query, sql, values, error))
        return false;
    while (query.next()) {
        SetupInForce setup;
        setup.hash = query.value(0).toString();
        setup.text = query.value(1).toString();
        setup.cells = query.value(2).toLongLong();
        setup.lastStamp = stampOf(query.value(3)).value_or(0);
        found->push_back(std::move(setup));
    }
    return true;
}

} // namespace

// --- JournalSource ------------------------------------------------------------------

JournalSource::JournalSource(QString path) : m_path(std::move(path)) {}

QString JournalSource::description() const
{
    return SourceTexts::tr("Record journal %1").arg(QDir::toNativeSeparators(m_path));
}

bool JournalSource::load(QString *error)
{
    JournalConnection connection(m_path);
    return connection.ok(error) && readBenches(connection, kJournalBenches, &m_benches, error);
}

Status JournalSource::read(const RecordFilter &filter, const RecordVisitor &visit)
{
    QString failure;
    QString *const error = &failure;
    JournalConnection connection(m_path);
    if (!connection.ok(error))
        return Failure(failure);
    const Condition c = condition(filter, kJournalTime, QStringLiteral("?"), QLatin1Char('T'));
    QSqlQuery query(connection.db());
    if (!run(query,
             QStringLiteral("SELECT bench, measured_at, resistance_ohm, voltage_v FROM cells%1 ORDER BY seq").arg(c.sql),
             c.values, error))
        return Failure(failure);
    QString lastBench;
    int benchIndex = -1;
    while (keepGoing() && query.next()) {
        const QString bench = query.value(0).toString();
        if (bench != lastBench) {
            lastBench = bench;
            benchIndex = int(m_benches.indexOf(bench));
        }
        const std::optional<qint64> stamp = journalStamp(query.value(1).toString());
        if (!stamp)
            continue;
        if (!visit(benchIndex, readingOf(query.value(2).toDouble(), query.value(3).toDouble(), *stamp)))
            return {};
    }
    if (query.lastError().isValid())
        return Failure(driverText(query.lastError()));
    return {};
}

Result<std::vector<SetupInForce>> JournalSource::setups(const RecordFilter &filter)
{
    QString failure;
    std::vector<SetupInForce> found;
    JournalConnection connection(m_path);
    if (!connection.ok(&failure))
        return Failure(failure);
    const Condition c = condition(filter, kJournalTime, QStringLiteral("?"), QLatin1Char('T'));
    QSqlQuery query(connection.db());
    if (!readSetups(query,
                      QStringLiteral("SELECT c.setup_hash, coalesce(s.setup, ''), c.n, c.last FROM"
                                     " (SELECT setup_hash, count(*) AS n, max(seq) AS latest,"
                                     " max(measured_at) AS last FROM cells%1 GROUP BY setup_hash) c"
                                     " LEFT JOIN bin_setups s ON s.hash = c.setup_hash ORDER BY c.latest")
                              .arg(c.sql),
                      c.values, [](const QVariant &v) { return journalStamp(v.toString()); }, &found, &failure))
        return Failure(failure);
    return found;
}

// --- CentralSource ------------------------------------------------------------------

CentralSource::CentralSource(CentralSettings settings) : m_settings(std::move(settings)) {}

QString CentralSource::description() const
{
    return centralDescription(m_settings);
}

bool CentralSource::load(QString *error)
{
    CentralConnection connection(m_settings);
    QString failure;
    if (!connection.ok(error))
        return false;
    if (!readBenches(connection, kCentralBenches, &m_benches, &failure)) {
        setError(error, connection.describe(failure));
        return false;
    }
    return true;
}

Status CentralSource::read(const RecordFilter &filter, const RecordVisitor &visit)
{
    QString failure;
    if (!pass(filter, false, visit, &failure))
        return Failure(failure);
    return {};
}

Status CentralSource::readValues(const RecordFilter &filter, const RecordVisitor &visit)
{
    // The bench's name and the time cost the server and the driver about as
    // much as the values.
    QString failure;
    if (!pass(filter, true, visit, &failure))
        return Failure(failure);
    return {};
}

bool CentralSource::pass(const RecordFilter &filter, bool valuesOnly, const RecordVisitor &visit, QString *error)
{
    CentralConnection connection(m_settings);
    if (!connection.ok(error))
        return false;
    QSqlDatabase db = connection.db();
    const Condition c = condition(filter, kCentralTime, kCentralTimeValue, QLatin1Char(' '));
    // A cursor on the server hands the rows over a block at a time: one round
    // trip per block instead of one per row, and never more than a block in
    // memory. DECLARE takes no bound values, so the driver quotes them.
    QString sql = QStringLiteral("DECLARE pass NO SCROLL CURSOR FOR SELECT resistance_ohm, voltage_v%1"
                                 " FROM cells%2 ORDER BY measured_at, arrival")
                          .arg(valuesOnly ? QString() : QStringLiteral(", bench, ") + kCentralStamp, c.sql);
    // Left to right, past each value put in: a bench's name may hold a "?".
    qsizetype at = 0;
    for (const QVariant &value : c.values) {
        QSqlField field(QString(), value.metaType());
        field.setValue(value);
        const QString quoted = db.driver()->formatValue(field);
        at = sql.indexOf(QLatin1Char('?'), at);
        sql.replace(at, 1, quoted);
        at += quoted.size();
    }
    auto failed = [&](const QSqlError &failure) {
        setError(error, connection.describe(driverText(failure)));
        return false;
    };
    if (!db.transaction())
        return failed(db.lastError());
    QSqlQuery query(db);
    if (!query.exec(sql))
        return failed(query.lastError());
    QString lastBench;
    int benchIndex = -1;
    for (bool more = true; more;) {
        if (!keepGoing())
            return true; // the connection's end closes the cursor and the transaction
        if (!query.exec(QStringLiteral("FETCH FORWARD %1 FROM pass").arg(kFetchRows)))
            return failed(query.lastError());
        more = query.size() == kFetchRows;
        while (keepGoing() && query.next()) {
            qint64 stamp = 0;
            if (!valuesOnly) {
                const QString bench = query.value(2).toString();
                if (bench != lastBench) {
                    lastBench = bench;
                    benchIndex = int(m_benches.indexOf(bench));
                }
                stamp = query.value(3).toLongLong();
            }
            if (!visit(benchIndex, readingOf(query.value(0).toDouble(), query.value(1).toDouble(), stamp)))
                return true; // the connection's end closes the cursor and the transaction
        }
    }
    db.commit();
    return true;
}

Result<std::vector<SetupInForce>> CentralSource::setups(const RecordFilter &filter)
{
    std::vector<SetupInForce> found;
    QString error;
    CentralConnection connection(m_settings);
    if (!connection.ok(&error))
        return Failure(error);
    const Condition c = condition(filter, kCentralTime, kCentralTimeValue, QLatin1Char(' '));
    QSqlQuery query(connection.db());
    QString failure;
    if (!readSetups(query,
                    QStringLiteral("SELECT c.setup_hash, coalesce(s.setup, ''), c.n, c.last FROM"
                                   " (SELECT setup_hash, count(*) AS n,"
                                   " floor(extract(epoch FROM max(measured_at)::timestamp))::bigint AS last"
                                   " FROM cells%1 GROUP BY setup_hash) c"
                                   " LEFT JOIN bin_setups s ON s.hash = c.setup_hash ORDER BY c.last")
                            .arg(c.sql),
                    c.values, [](const QVariant &v) { return std::optional<qint64>(v.toLongLong()); }, &found,
                    &failure))
        return Failure(connection.describe(failure));
    return found;
}

// --- Line view ----------------------------------------------------------------------

bool readLineView(const CentralSettings &settings, const RecordFilter &filter, std::vector<LineRow> *rows,
                  QString *error)
{
    CentralConnection connection(settings);
    if (!connection.ok(error))
        return false;
    const Condition c = condition(filter, kCentralTime, kCentralTimeValue, QLatin1Char(' '));
    // The moving ranges in each bench's order come from a window function;
    // everything else is summed per bench. Only one row per bench leaves the
    // server.
    const QString sql = QStringLiteral(
            "SELECT bench, count(*), count(*) FILTER (WHERE resistance_bin NOT LIKE '%Out'"
            " AND voltage_bin NOT LIKE '%Out'),"
            " floor(extract(epoch FROM max(measured_at)::timestamp))::bigint,"
            " avg(r), coalesce(sum(mr_r), 0), avg(v), coalesce(sum(mr_v), 0)"
            " FROM (SELECT bench, measured_at, resistance_bin, voltage_bin,"
            " resistance_ohm * 1000 AS r, voltage_v AS v,"
            " abs(resistance_ohm - lag(resistance_ohm) OVER w) * 1000 AS mr_r,"
            " abs(voltage_v - lag(voltage_v) OVER w) AS mr_v"
            " FROM cells%1 WINDOW w AS (PARTITION BY bench ORDER BY measured_at, arrival)) AS c"
            " GROUP BY bench ORDER BY bench").arg(c.sql);
    QSqlQuery query(connection.db());
    QString failure;
    if (!run(query, sql, c.values, &failure)) {
        setError(error, connection.describe(failure));
        return false;
    }
    rows->clear();
    while (query.next()) {
        LineRow row;
        row.bench = query.value(0).toString();
        row.cells = query.value(1).toLongLong();
        row.inBins = query.value(2).toLongLong();
        row.lastStamp = query.value(3).toLongLong();
        row.mean = {query.value(4).toDouble(), query.value(6).toDouble()};
        row.movingRangeSum = {query.value(5).toDouble(), query.value(7).toDouble()};
        rows->push_back(std::move(row));
    }
    return true;
}

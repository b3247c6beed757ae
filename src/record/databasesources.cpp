#include "record/databasesources.h"

#include "link/testernumber.h"
#include "record/centraldatabase.h"
#include "record/sqlsupport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimeZone>
#include <QVariant>

#include <array>
#include <cstdlib>
#include <functional>
#include <limits>
#include <optional>

namespace {
struct SourceTexts
{
    Q_DECLARE_TR_FUNCTIONS(RecordSources)
};

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

RecordReading readingOf(double ohms, double volts, qint64 stamp, int channel)
{
    // A counted cell's values always fit a float; one beyond its range reads as infinite.
    const float beyond = std::numeric_limits<float>::infinity();
    return RecordReading{judgedValue(ohms, Quantity::Resistance).valueOr(ohms < 0 ? -beyond : beyond),
                         judgedValue(volts, Quantity::Voltage).valueOr(volts < 0 ? -beyond : beyond), stamp,
                         channel};
}

// "Central database bin4870 at db1, port 5432"
QString centralDescription(const CentralSettings &settings)
{
    const QString host = settings.host.isEmpty() ? SourceTexts::tr("local socket") : settings.host;
    return SourceTexts::tr("Central database %1 at %2, port %3")
            .arg(settings.database, QDir::toNativeSeparators(host))
            .arg(settings.port);
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

// Prepares and runs the query; the driver's error when it fails.
std::optional<QSqlError> run(QSqlQuery &query, const QString &sql, const QVariantList &values)
{
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return query.lastError();
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        return query.lastError();
    return std::nullopt;
}

// The positions of the named columns in the query's rows, looked up once.
template <std::size_t n>
std::array<int, n> columnsOf(const QSqlQuery &query, const std::array<const char *, n> &names)
{
    const QSqlRecord record = query.record();
    std::array<int, n> at{};
    for (std::size_t i = 0; i < n; ++i)
        at[i] = record.indexOf(QLatin1String(names[i]));
    return at;
}

// --- Journal ------------------------------------------------------------------------

// Journal times compared by their wall-clock part, which sorts as text.
const QString kJournalTime = QStringLiteral("substr(measured_at, 1, 19)");

// A read-only connection to the journal for one pass.
class JournalConnection
{
public:
    explicit JournalConnection(const QString &path) : m_name(uniqueConnectionName(QStringLiteral("journal-source")))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!QFileInfo(path).isFile())
            m_error = SourceTexts::tr("%1: no such journal").arg(QDir::toNativeSeparators(path));
        else if (!db.open())
            m_error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), sqlErrorText(db.lastError()));
    }
    ~JournalConnection() { removeConnection(m_name); }
    JournalConnection(const JournalConnection &) = delete;
    JournalConnection &operator=(const JournalConnection &) = delete;

    Status opened() const
    {
        if (!m_error.isEmpty())
            return Failure(ErrorKind::FileIo, m_error);
        return {};
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }
    // A failed statement as the operator reads it.
    Failure failure(const QSqlError &error) const { return Failure(ErrorKind::FileIo, sqlErrorText(error)); }

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

// A connection to the central database for one pass, its times in this
// computer's time zone.
class CentralConnection
{
public:
    explicit CentralConnection(const CentralSettings &settings)
        : m_connection(settings, uniqueConnectionName(QStringLiteral("central-source")))
    {
        if (const Status opened = m_connection.open(); !opened) {
            m_opened = readingFailure(opened.failure(), db().lastError());
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

    Status opened() const { return m_opened; }
    QSqlDatabase db() const { return m_connection.database(); }
    // A failed statement as the operator reads it.
    Failure failure(const QSqlError &error) { return readingFailure(m_connection.failure(error), error); }

private:
    // The central database's account of a failure, as a pass that only reads
    // tells it. For a server out of reach that account speaks for the
    // forwarder (cells wait in the journal and are sent once it answers); a
    // pass sends nothing, so it names the server and the driver's reason.
    Failure readingFailure(const Failure &told, const QSqlError &error) const
    {
        if (told.kind != ErrorKind::Unreachable)
            return told;
        return Failure(ErrorKind::Unreachable,
                       SourceTexts::tr("%1 cannot be reached (%2).")
                               .arg(centralDescription(m_connection.settings()),
                                    sqlErrorText(error).section(QLatin1Char('\n'), 0, 0).trimmed()));
    }

    central::Connection m_connection;
    Status m_opened;
};

// What names a cell's channel on the server: its column, or 1 on tables no
// bench with channels has sent to yet (their cells are all a bench's only
// channel).
Result<QString> channelColumn(CentralConnection &connection)
{
    QSqlQuery probe(connection.db());
    if (const std::optional<QSqlError> failed =
                run(probe, QStringLiteral("SELECT count(*) FROM information_schema.columns"
                                          " WHERE table_name = 'cells' AND column_name = 'channel'"), {}))
        return connection.failure(*failed);
    return probe.next() && probe.value(0).toInt() > 0 ? QStringLiteral("channel") : QStringLiteral("1");
}

// The bench names of a journal, which holds few cells and benches.
const QString kJournalBenches = QStringLiteral("SELECT DISTINCT bench FROM cells ORDER BY bench");
// The central database's, from its index on (bench, arrival) one bench after
// the other: a few milliseconds, where DISTINCT reads every cell (1.8 s for
// 10,000,000 cells).
const QString kCentralBenches = QStringLiteral(
        "WITH RECURSIVE b AS (SELECT min(bench) AS bench FROM cells UNION ALL"
        " SELECT (SELECT min(bench) FROM cells WHERE bench > b.bench) FROM b WHERE b.bench IS NOT NULL)"
        " SELECT bench FROM b WHERE bench IS NOT NULL");

// Benches and set-ups the same way for both kinds of database.
template<typename Connection>
Result<QStringList> readBenches(Connection &connection, const QString &sql)
{
    if (const Status opened = connection.opened(); !opened)
        return opened.failure();
    QSqlQuery query(connection.db());
    if (const std::optional<QSqlError> error = run(query, sql, {}))
        return connection.failure(*error);
    QStringList benches;
    while (query.next())
        benches << query.value(0).toString();
    return benches;
}

// The set-ups the query finds: columns setup_hash, setup, cells and last.
template<typename Connection>
Result<std::vector<SetupInForce>> readSetups(Connection &connection, const QString &sql, const QVariantList &values,
                                             const std::function<std::optional<qint64>(const QVariant &)> &stampOf)
{
    if (const Status opened = connection.opened(); !opened)
        return opened.failure();
    QSqlQuery query(connection.db());
    if (const std::optional<QSqlError> failed = run(query, sql, values))
        return connection.failure(*failed);
    std::vector<SetupInForce> found;
    const auto [hash, text, cells, last] =
            columnsOf(query, std::array<const char *, 4>{"setup_hash", "setup", "cells", "last"});
    while (query.next()) {
        SetupInForce setup;
        setup.hash = query.value(hash).toString();
        setup.text = query.value(text).toString();
        setup.cells = query.value(cells).toLongLong();
        setup.lastStamp = stampOf(query.value(last)).value_or(0);
        found.push_back(std::move(setup));
    }
    return found;
}

// The time and cell ID of the records at the places, asked in blocks of a few
// hundred: `sql` has columns place, at and cell_id and "%1" for the list of
// placeholders.
template<typename Connection>
Result<std::map<qint64, RecordDetail>> readDetails(Connection &connection, const QString &sql,
                                                   const std::vector<qint64> &places,
                                                   const std::function<std::optional<qint64>(const QVariant &)> &stampOf)
{
    std::map<qint64, RecordDetail> found;
    if (places.empty())
        return found;
    if (const Status opened = connection.opened(); !opened)
        return opened.failure();
    constexpr std::size_t kBlock = 500;
    for (std::size_t from = 0; from < places.size(); from += kBlock) {
        const std::size_t to = std::min(places.size(), from + kBlock);
        QVariantList values;
        QStringList marks;
        for (std::size_t i = from; i < to; ++i) {
            values << QVariant(places[i]);
            marks << QStringLiteral("?");
        }
        QSqlQuery query(connection.db());
        if (const std::optional<QSqlError> failed = run(query, sql.arg(marks.join(QLatin1Char(','))), values))
            return connection.failure(*failed);
        const auto [placeAt, timeAt, idAt] = columnsOf(query, std::array<const char *, 3>{"place", "at", "cell_id"});
        while (query.next()) {
            RecordDetail detail;
            detail.stamp = stampOf(query.value(timeAt)).value_or(0);
            detail.cellId = query.value(idAt).toString();
            found[query.value(placeAt).toLongLong()] = std::move(detail);
        }
    }
    return found;
}

} // namespace

// --- JournalSource ------------------------------------------------------------------

JournalSource::JournalSource(QString path) : m_path(std::move(path)) {}

QString JournalSource::description() const
{
    return SourceTexts::tr("Record journal %1").arg(QDir::toNativeSeparators(m_path));
}

Status JournalSource::load()
{
    JournalConnection connection(m_path);
    Result<QStringList> benches = readBenches(connection, kJournalBenches);
    if (!benches)
        return benches.failure();
    m_benches = std::move(*benches);
    return {};
}

Status JournalSource::read(const RecordFilter &filter, const RecordVisitor &visit)
{
    JournalConnection connection(m_path);
    if (const Status opened = connection.opened(); !opened)
        return opened;
    const Condition c = condition(filter, kJournalTime, QStringLiteral("?"), QLatin1Char('T'));
    QSqlQuery query(connection.db());
    if (const std::optional<QSqlError> failed = run(
                query,
                QStringLiteral("SELECT seq, bench, channel, measured_at, resistance_ohm, voltage_v FROM cells%1"
                               " ORDER BY seq")
                        .arg(c.sql),
                c.values))
        return connection.failure(*failed);
    const auto [seqAt, benchAt, channelAt, timeAt, ohmsAt, voltsAt] = columnsOf(
            query,
            std::array<const char *, 6>{"seq", "bench", "channel", "measured_at", "resistance_ohm", "voltage_v"});
    QString lastBench;
    int benchIndex = -1;
    while (keepGoing() && query.next()) {
        const QString bench = query.value(benchAt).toString();
        if (bench != lastBench) {
            lastBench = bench;
            benchIndex = int(m_benches.indexOf(bench));
        }
        const std::optional<qint64> stamp = journalStamp(query.value(timeAt).toString());
        if (!stamp)
            continue;
        if (!visit(benchIndex,
                   readingOf(query.value(ohmsAt).toDouble(), query.value(voltsAt).toDouble(), *stamp,
                             query.value(channelAt).toInt()),
                   query.value(seqAt).toLongLong()))
            return {};
    }
    if (query.lastError().isValid())
        return connection.failure(query.lastError());
    return {};
}

Result<std::map<qint64, RecordDetail>> JournalSource::details(const std::vector<qint64> &places)
{
    JournalConnection connection(m_path);
    return readDetails(connection, QStringLiteral("SELECT seq AS place, measured_at AS at, cell_id FROM cells WHERE seq IN (%1)"),
                       places, [](const QVariant &v) { return journalStamp(v.toString()); });
}

Result<std::vector<SetupInForce>> JournalSource::setups(const RecordFilter &filter)
{
    JournalConnection connection(m_path);
    const Condition c = condition(filter, kJournalTime, QStringLiteral("?"), QLatin1Char('T'));
    return readSetups(connection,
                      QStringLiteral("SELECT c.setup_hash, coalesce(s.setup, '') AS setup, c.n AS cells, c.last FROM"
                                     " (SELECT setup_hash, count(*) AS n, max(seq) AS latest,"
                                     " max(measured_at) AS last FROM cells%1 GROUP BY setup_hash) c"
                                     " LEFT JOIN bin_setups s ON s.hash = c.setup_hash ORDER BY c.latest")
                              .arg(c.sql),
                      c.values, [](const QVariant &v) { return journalStamp(v.toString()); });
}

// --- CentralSource ------------------------------------------------------------------

CentralSource::CentralSource(CentralSettings settings) : m_settings(std::move(settings)) {}

QString CentralSource::description() const
{
    return centralDescription(m_settings);
}

Status CentralSource::load()
{
    CentralConnection connection(m_settings);
    Result<QStringList> benches = readBenches(connection, kCentralBenches);
    if (!benches)
        return benches.failure();
    m_benches = std::move(*benches);
    return {};
}

Status CentralSource::read(const RecordFilter &filter, const RecordVisitor &visit)
{
    return pass(filter, false, visit);
}

Status CentralSource::readValues(const RecordFilter &filter, const RecordVisitor &visit)
{
    // The time costs the server and the driver about as much as the values;
    // the few cells that are listed have theirs read by details().
    return pass(filter, true, visit);
}

Result<std::map<qint64, RecordDetail>> CentralSource::details(const std::vector<qint64> &places)
{
    CentralConnection connection(m_settings);
    return readDetails(connection,
                       QStringLiteral("SELECT arrival AS place, %1 AS at, cell_id FROM cells WHERE arrival IN (%2)")
                               .arg(kCentralStamp, QStringLiteral("%1")),
                       places, [](const QVariant &v) { return std::optional<qint64>(v.toLongLong()); });
}

Status CentralSource::pass(const RecordFilter &filter, bool valuesOnly, const RecordVisitor &visit)
{
    CentralConnection connection(m_settings);
    if (const Status opened = connection.opened(); !opened)
        return opened;
    QSqlDatabase db = connection.db();
    const Condition c = condition(filter, kCentralTime, kCentralTimeValue, QLatin1Char(' '));
    // A cursor on the server hands the rows over a block at a time: one round
    // trip per block instead of one per row, and never more than a block in
    // memory. DECLARE takes no bound values, so the driver quotes them.
    const Result<QString> channel = channelColumn(connection);
    if (!channel)
        return channel.failure();
    QString sql = QStringLiteral("DECLARE pass NO SCROLL CURSOR FOR SELECT resistance_ohm, voltage_v, bench, arrival,"
                                 " %3 AS channel%1 FROM cells%2 ORDER BY measured_at, arrival")
                          .arg(valuesOnly ? QString() : QStringLiteral(", %1 AS stamp").arg(kCentralStamp), c.sql,
                               *channel);
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
    auto failed = [&](const QSqlError &failure) { return Status(connection.failure(failure)); };
    if (!db.transaction())
        return failed(db.lastError());
    QSqlQuery query(db);
    if (!query.exec(sql))
        return failed(query.lastError());
    QString lastBench;
    int benchIndex = -1;
    for (bool more = true; more;) {
        if (!keepGoing())
            return {}; // the connection's end closes the cursor and the transaction
        if (!query.exec(QStringLiteral("FETCH FORWARD %1 FROM pass").arg(kFetchRows)))
            return failed(query.lastError());
        more = query.size() == kFetchRows;
        const auto [ohmsAt, voltsAt, benchAt, arrivalAt, channelAt, stampAt] = columnsOf(
                query,
                std::array<const char *, 6>{"resistance_ohm", "voltage_v", "bench", "arrival", "channel", "stamp"});
        while (keepGoing() && query.next()) {
            const QString bench = query.value(benchAt).toString();
            if (bench != lastBench) {
                lastBench = bench;
                benchIndex = int(m_benches.indexOf(bench));
            }
            const qint64 stamp = valuesOnly ? 0 : query.value(stampAt).toLongLong();
            if (!visit(benchIndex,
                       readingOf(query.value(ohmsAt).toDouble(), query.value(voltsAt).toDouble(), stamp,
                                 query.value(channelAt).toInt()),
                       query.value(arrivalAt).toLongLong()))
                return {}; // the connection's end closes the cursor and the transaction
        }
    }
    db.commit();
    return {};
}

Result<std::vector<SetupInForce>> CentralSource::setups(const RecordFilter &filter)
{
    CentralConnection connection(m_settings);
    const Condition c = condition(filter, kCentralTime, kCentralTimeValue, QLatin1Char(' '));
    return readSetups(connection,
                      QStringLiteral("SELECT c.setup_hash, coalesce(s.setup, '') AS setup, c.n AS cells, c.last FROM"
                                     " (SELECT setup_hash, count(*) AS n,"
                                     " floor(extract(epoch FROM max(measured_at)::timestamp))::bigint AS last"
                                     " FROM cells%1 GROUP BY setup_hash) c"
                                     " LEFT JOIN bin_setups s ON s.hash = c.setup_hash ORDER BY c.last")
                              .arg(c.sql),
                      c.values, [](const QVariant &v) { return std::optional<qint64>(v.toLongLong()); });
}

// --- Line view ----------------------------------------------------------------------

Result<std::vector<LineRow>> readLineView(const CentralSettings &settings, const RecordFilter &filter)
{
    CentralConnection connection(settings);
    if (const Status opened = connection.opened(); !opened)
        return opened.failure();
    const Result<QString> channelOrNone = channelColumn(connection);
    if (!channelOrNone)
        return channelOrNone.failure();
    const QString channel = *channelOrNone;
    const Condition c = condition(filter, kCentralTime, kCentralTimeValue, QLatin1Char(' '));
    // The moving ranges in each stream's order (a bench's channel) come from a
    // window function; everything else is summed per stream. Only one row per
    // bench and channel leaves the server.
    const QString sql = QStringLiteral(
            "SELECT bench, channel, count(*) AS cells, count(*) FILTER (WHERE resistance_bin NOT LIKE '%Out'"
            " AND voltage_bin NOT LIKE '%Out') AS in_bins,"
            " floor(extract(epoch FROM min(measured_at)::timestamp))::bigint AS first_stamp,"
            " floor(extract(epoch FROM max(measured_at)::timestamp))::bigint AS last_stamp,"
            " avg(r) AS mean_r, coalesce(sum(mr_r), 0) AS mr_sum_r, avg(v) AS mean_v, coalesce(sum(mr_v), 0) AS mr_sum_v"
            " FROM (SELECT bench, %2 AS channel, measured_at, resistance_bin, voltage_bin,"
            " resistance_ohm * 1000 AS r, voltage_v AS v,"
            " abs(resistance_ohm - lag(resistance_ohm) OVER w) * 1000 AS mr_r,"
            " abs(voltage_v - lag(voltage_v) OVER w) AS mr_v"
            " FROM cells%1 WINDOW w AS (PARTITION BY bench, %2 ORDER BY measured_at, arrival)) AS c"
            " GROUP BY bench, channel ORDER BY bench, channel").arg(c.sql, channel);
    QSqlQuery query(connection.db());
    if (const std::optional<QSqlError> failed = run(query, sql, c.values))
        return connection.failure(*failed);
    const auto [bench, channelAt, cells, inBins, firstStamp, lastStamp, meanR, rangesR, meanV, rangesV] = columnsOf(
            query, std::array<const char *, 10>{"bench", "channel", "cells", "in_bins", "first_stamp", "last_stamp",
                                                "mean_r", "mr_sum_r", "mean_v", "mr_sum_v"});
    std::vector<LineRow> rows;
    while (query.next()) {
        LineRow row;
        row.bench = query.value(bench).toString();
        row.channel = query.value(channelAt).toInt();
        row.cells = query.value(cells).toLongLong();
        row.inBins = query.value(inBins).toLongLong();
        row.firstStamp = query.value(firstStamp).toLongLong();
        row.lastStamp = query.value(lastStamp).toLongLong();
        row.mean = {query.value(meanR).toDouble(), query.value(meanV).toDouble()};
        row.movingRangeSum = {query.value(rangesR).toDouble(), query.value(rangesV).toDouble()};
        rows.push_back(std::move(row));
    }
    // A server without the benches table knows of no bench without a name.
    QSqlQuery unnamed(connection.db());
    if (const std::optional<QSqlError> failed =
                run(unnamed, QStringLiteral("SELECT to_regclass('benches') IS NOT NULL"), {}))
        return connection.failure(*failed);
    if (!unnamed.next() || !unnamed.value(0).toBool())
        return rows;
    if (const std::optional<QSqlError> failed =
                run(unnamed, QStringLiteral("SELECT DISTINCT bench FROM benches WHERE NOT named"), {}))
        return connection.failure(*failed);
    while (unnamed.next()) {
        for (LineRow &row : rows)
            row.unnamed = row.unnamed || row.bench == unnamed.value(0).toString();
    }
    return rows;
}

#include "pack/poolreader.h"

#include "cellid/cellid.h"
#include "link/testernumber.h"
#include "platform/regularfile.h"
#include "record/cellcolumns.h"
#include "record/centraldatabase.h"
#include "record/journal.h"
#include "record/packtables.h"
#include "record/recordfilereader.h"
#include "record/sqlsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <fcntl.h>
#include <unistd.h>

#include <map>
#include <optional>

namespace {
struct ReaderTexts
{
    Q_DECLARE_TR_FUNCTIONS(PoolReader)
};

// Rows the server hands over at a time.
constexpr int kFetchRows = 10000;
// A data-file line longer than this is no record.
constexpr qint64 kLongestLine = 4096;

Failure cancelled()
{
    return Failure(ReaderTexts::tr("Reading the cells was cancelled."));
}

bool isCancelled(const std::atomic<bool> *cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

// Hands the records of one cell ID after the other to the builder: the
// records must come in the order of their stored IDs, which the program
// stores normalised, so that an ID's records come together.
class IdGrouper
{
public:
    explicit IdGrouper(PoolBuilder &builder) : m_builder(builder) {}

    void add(const CellRecord &record)
    {
        const QString id = normalisedCellId(record.cellId);
        if (id.isEmpty() || cellIdProblem(id)) {
            m_builder.addWithoutId();
            return;
        }
        if (id != m_id) {
            flush();
            m_id = id;
            m_latest = record;
            m_records = 1;
            return;
        }
        ++m_records;
        if (isLaterRecord(record, m_latest))
            m_latest = record;
    }

    void flush()
    {
        if (m_records > 0)
            m_builder.addCell(m_id, m_latest, m_records);
        m_records = 0;
        m_id.clear();
    }

private:
    PoolBuilder &m_builder;
    QString m_id;
    CellRecord m_latest;
    int m_records = 0;
};

// --- Journal ------------------------------------------------------------------------

// A read-only connection to a journal, closed when it goes.
class JournalReader
{
public:
    explicit JournalReader(const QString &path) : m_name(uniqueConnectionName(QStringLiteral("pool-journal")))
    {
        if (!QFileInfo(path).isFile()) {
            m_error = ReaderTexts::tr("%1: no such journal").arg(QDir::toNativeSeparators(path));
            return;
        }
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            m_error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), sqlErrorText(db.lastError()));
            return;
        }
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
            m_error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), sqlErrorText(query.lastError()));
            return;
        }
        m_format = query.value(0).toInt();
        if (m_format < 1)
            m_error = ReaderTexts::tr("%1 is no record journal").arg(QDir::toNativeSeparators(path));
    }
    ~JournalReader() { removeConnection(m_name); }
    JournalReader(const JournalReader &) = delete;
    JournalReader &operator=(const JournalReader &) = delete;

    Status opened() const
    {
        if (!m_error.isEmpty())
            return Failure(ErrorKind::FileIo, m_error);
        return {};
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }
    // The format the journal's tables are of, at most this program's.
    int format() const { return std::min(m_format, Journal::kFormat); }
    Failure failure(const QSqlError &error) const { return Failure(ErrorKind::FileIo, sqlErrorText(error)); }

private:
    QString m_name;
    QString m_error;
    int m_format = 0;
};

Result<std::set<QString>> journalReservedIds(JournalReader &reader)
{
    std::set<QString> ids;
    if (reader.format() < packtables::kJournalFormat)
        return ids; // no plan was ever saved to it
    QSqlQuery query(reader.db());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT cell_id FROM pack_cells WHERE reserved = 1")))
        return reader.failure(query.lastError());
    while (query.next())
        ids.insert(query.value(0).toString());
    return ids;
}

Result<Pool> journalPool(const QString &path, const PoolFilter &filter, const std::atomic<bool> *cancel)
{
    JournalReader reader(path);
    if (const Status opened = reader.opened(); !opened)
        return opened.failure();
    std::set<QString> packed;
    if (filter.withoutPacked) {
        Result<std::set<QString>> reserved = journalReservedIds(reader);
        if (!reserved)
            return reserved.failure();
        packed = std::move(*reserved);
    }
    PoolBuilder builder(filter, std::move(packed));
    IdGrouper grouper(builder);
    QSqlQuery query(reader.db());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT %1 FROM cells WHERE cell_id IS NOT NULL ORDER BY cell_id")
                            .arg(cellcolumns::selectList(CellStore::Journal, reader.format()))))
        return reader.failure(query.lastError());
    const cellcolumns::CellReader cells(query.record());
    while (query.next()) {
        if (isCancelled(cancel))
            return cancelled();
        grouper.add(cells.read(query));
    }
    if (query.lastError().isValid())
        return reader.failure(query.lastError());
    grouper.flush();
    return builder.take();
}

// --- Central database ---------------------------------------------------------------

Result<std::set<QString>> centralReservedIds(central::Connection &connection, int additions)
{
    std::set<QString> ids;
    if (additions < packtables::kCentralAdditions)
        return ids; // no plan was ever saved to it
    QSqlQuery query(connection.database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT cell_id FROM pack_cells WHERE reserved")))
        return connection.failure(query.lastError());
    while (query.next())
        ids.insert(query.value(0).toString());
    return ids;
}

Result<Pool> centralPool(const CentralSettings &settings, const PoolFilter &filter, const std::atomic<bool> *cancel)
{
    central::Connection connection(settings, uniqueConnectionName(QStringLiteral("pool-central")));
    const Result<std::optional<int>> level = connection.readableLevel();
    if (!level)
        return level.failure();
    if (!*level)
        return PoolBuilder(filter, {}).take(); // nothing sent yet
    const int additions = **level;
    std::set<QString> packed;
    if (filter.withoutPacked) {
        Result<std::set<QString>> reserved = centralReservedIds(connection, additions);
        if (!reserved)
            return reserved.failure();
        packed = std::move(*reserved);
    }
    PoolBuilder builder(filter, std::move(packed));
    IdGrouper grouper(builder);
    QSqlDatabase db = connection.database();
    // A cursor hands the rows over a block at a time: one round trip per
    // block, and never more than a block in memory.
    if (!db.transaction())
        return connection.failure(db.lastError());
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("DECLARE pool NO SCROLL CURSOR FOR SELECT %1 FROM cells"
                                   " WHERE cell_id IS NOT NULL ORDER BY cell_id")
                            .arg(cellcolumns::selectList(CellStore::Central, additions))))
        return connection.failure(query.lastError());
    for (bool more = true; more;) {
        if (isCancelled(cancel))
            return cancelled(); // the connection's end closes the cursor and the transaction
        if (!query.exec(QStringLiteral("FETCH FORWARD %1 FROM pool").arg(kFetchRows)))
            return connection.failure(query.lastError());
        more = query.size() == kFetchRows;
        const cellcolumns::CellReader cells(query.record());
        while (query.next())
            grouper.add(cells.read(query));
    }
    db.commit();
    grouper.flush();
    return builder.take();
}

// --- Data file ----------------------------------------------------------------------

Result<Pool> dataFilePool(const QString &path, const QString &bench, const PoolFilter &filter,
                          const std::atomic<bool> *cancel)
{
    // A regular file only, and opening never waits (see regularfile.h).
    const Result<int> fd = regularfile::open(path, O_RDONLY);
    if (!fd)
        return Failure(ErrorKind::FileIo, fd.errorString());
    QFile file;
    if (!file.open(*fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(*fd);
        return Failure(ErrorKind::FileIo, file.errorString());
    }
    // A data file is in time order, not in ID order: each ID's latest record
    // so far and its count.
    struct Latest
    {
        CellRecord record;
        int records = 0;
    };
    std::map<QString, Latest> byId;
    PoolBuilder builder(filter, {});
    qint64 line = 0;
    while (!file.atEnd()) {
        if (isCancelled(cancel))
            return cancelled();
        const QByteArray raw = file.readLine(kLongestLine + 2);
        ++line;
        if (!raw.endsWith('\n') && !file.atEnd()) {
            // Too long to be a record: passed over to its end.
            while (!file.atEnd() && !file.readLine(kLongestLine).endsWith('\n')) {
            }
            continue;
        }
        const QByteArray text = raw.endsWith('\n') ? raw.chopped(1) : raw;
        if (!parseRecordLine(std::string_view(text.constData(), std::size_t(text.size()))))
            continue;
        const QList<QByteArray> fields = (text.endsWith('\r') ? text.chopped(1) : text).split(',');
        if (fields.size() < 5) {
            builder.addWithoutId();
            continue;
        }
        CellRecord record;
        record.bench = bench;
        const QByteArray &date = fields[0];
        const QByteArray &time = fields[1];
        record.measuredAt = QDateTime(QDate(date.left(4).toInt(), date.mid(5, 2).toInt(), date.mid(8, 2).toInt()),
                                      QTime(time.left(2).toInt(), time.mid(3, 2).toInt(), time.mid(6, 2).toInt()));
        record.resistanceText = QString::fromLatin1(fields[2]);
        record.voltageText = QString::fromLatin1(fields[3]);
        record.resistanceOhm = testerNumber(record.resistanceText).value_or(0);
        record.voltageV = testerNumber(record.voltageText).value_or(0);
        record.cellId = QString::fromLatin1(fields[4]);
        if (fields.size() > 5)
            record.testerWord = QString::fromLatin1(fields[5]);
        // A line's own UUID (the file and the line), so that the choice
        // between two lines of one time is the same on every read.
        record.id = QUuid::createUuidV5(QUuid(), QStringLiteral("%1:%2").arg(path).arg(line, 12, 10, QLatin1Char('0')));
        const QString id = normalisedCellId(record.cellId);
        if (id.isEmpty() || cellIdProblem(id)) {
            builder.addWithoutId();
            continue;
        }
        Latest &latest = byId[id];
        if (latest.records == 0 || isLaterRecord(record, latest.record))
            latest.record = std::move(record);
        ++latest.records;
    }
    if (file.error() != QFileDevice::NoError)
        return Failure(ErrorKind::FileIo, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    for (const auto &[id, latest] : byId)
        builder.addCell(id, latest.record, latest.records);
    return builder.take();
}

} // namespace

QString PoolSource::description() const
{
    switch (kind) {
    case Kind::Journal:
        return ReaderTexts::tr("Record journal %1").arg(QDir::toNativeSeparators(path));
    case Kind::Central: {
        const QString host = central.host.isEmpty() ? ReaderTexts::tr("local socket") : central.host;
        return ReaderTexts::tr("Central database %1 at %2, port %3")
                .arg(central.database, QDir::toNativeSeparators(host))
                .arg(central.port);
    }
    case Kind::DataFile:
        return ReaderTexts::tr("Data file %1").arg(QDir::toNativeSeparators(path));
    }
    return QString();
}

QString PoolSource::dataFileBench() const
{
    return bench.isEmpty() ? QFileInfo(path).completeBaseName() : bench;
}

Result<Pool> readPool(const PoolSource &source, const PoolFilter &filter, const std::atomic<bool> *cancel)
{
    switch (source.kind) {
    case PoolSource::Kind::Journal:
        return journalPool(source.path, filter, cancel);
    case PoolSource::Kind::Central:
        return centralPool(source.central, filter, cancel);
    case PoolSource::Kind::DataFile:
        return dataFilePool(source.path, source.dataFileBench(), filter, cancel);
    }
    return Failure(ReaderTexts::tr("Unknown source of cells."));
}

Result<std::set<QString>> readReservedIds(const PoolSource &source)
{
    switch (source.kind) {
    case PoolSource::Kind::Journal: {
        JournalReader reader(source.path);
        if (const Status opened = reader.opened(); !opened)
            return opened.failure();
        return journalReservedIds(reader);
    }
    case PoolSource::Kind::Central: {
        central::Connection connection(source.central, uniqueConnectionName(QStringLiteral("pool-central")));
        const Result<std::optional<int>> level = connection.readableLevel();
        if (!level)
            return level.failure();
        if (!*level)
            return std::set<QString>();
        return centralReservedIds(connection, **level);
    }
    case PoolSource::Kind::DataFile:
        break;
    }
    return std::set<QString>();
}

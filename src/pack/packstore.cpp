#include "pack/packstore.h"

#include "cellid/cellid.h"
#include "record/centraldatabase.h"
#include "record/journal.h"
#include "record/packtables.h"
#include "record/sqlsupport.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <algorithm>
#include <utility>

namespace {
struct StoreTexts
{
    Q_DECLARE_TR_FUNCTIONS(PackStore)
};

// Held on the server while a pack's cells are reserved, placed or freed: every
// bench of the line takes it, so two saves never interleave.
constexpr qint64 kPackLock = 48704871;
// Replacements looked at: the best of them that no pack holds is taken.
constexpr int kReplacementCandidates = 50;
// Cells a refusal names before "and n more".
constexpr int kNamedCells = 20;

QString isoText(const QDateTime &time)
{
    const QDateTime local = time.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

PackCellState stateOf(const QString &text)
{
    if (text == QLatin1String(packtables::kPlaced))
        return PackCellState::Placed;
    if (text == QLatin1String(packtables::kFailed))
        return PackCellState::Failed;
    return PackCellState::Planned;
}

QString kVerdictText(KVerdictFilter filter)
{
    switch (filter) {
    case KVerdictFilter::Any:
        return QStringLiteral("any");
    case KVerdictFilter::NotTooHigh:
        return QStringLiteral("not-too-high");
    case KVerdictFilter::OkOnly:
        return QStringLiteral("ok");
    }
    return QString();
}

KVerdictFilter kVerdictOf(const QString &text)
{
    if (text == QLatin1String("any"))
        return KVerdictFilter::Any;
    if (text == QLatin1String("ok"))
        return KVerdictFilter::OkOnly;
    return KVerdictFilter::NotTooHigh;
}

QJsonArray arrayOf(const QStringList &list)
{
    return QJsonArray::fromStringList(list);
}

QStringList listOf(const QJsonValue &value)
{
    QStringList list;
    for (const QJsonValue &item : value.toArray())
        list << item.toString();
    return list;
}

QString settingsJson(const PlanSettings &s, const PlanOrigin &origin, const PoolSource &source)
{
    QJsonObject filter{
        {QStringLiteral("benches"), arrayOf(origin.filter.benches)},
        {QStringLiteral("resistanceBins"), arrayOf(origin.filter.resistanceBins)},
        {QStringLiteral("voltageBins"), arrayOf(origin.filter.voltageBins)},
        {QStringLiteral("kVerdict"), kVerdictText(origin.filter.kVerdict)},
        {QStringLiteral("withoutFailedRetest"), origin.filter.withoutFailedRetest},
        {QStringLiteral("failWords"), arrayOf(origin.filter.failWords)},
    };
    if (origin.filter.from)
        filter.insert(QStringLiteral("from"), isoText(*origin.filter.from));
    if (origin.filter.to)
        filter.insert(QStringLiteral("to"), isoText(*origin.filter.to));
    const CapacityColumns &c = origin.capacityColumns;
    const QJsonObject object{
        {QStringLiteral("groupWindow"), s.groupWindow},
        {QStringLiteral("groupWindowUnit"),
         s.groupWindowUnit == SpreadUnit::Percent ? QStringLiteral("percent") : QStringLiteral("ohm")},
        {QStringLiteral("voltageWindowV"), s.voltageWindowV},
        {QStringLiteral("balanceCapacity"), s.balanceCapacity},
        {QStringLiteral("swapBudget"), double(s.swapBudget)},
        {QStringLiteral("stallRounds"), s.stallRounds},
        {QStringLiteral("source"), source.description()},
        {QStringLiteral("filter"), filter},
        {QStringLiteral("capacityFile"), origin.capacityFile},
        {QStringLiteral("capacityColumns"),
         QJsonObject{{QStringLiteral("cellId"), c.idColumn},
                     {QStringLiteral("capacity"), c.capacityColumn},
                     {QStringLiteral("headerRow"), c.headerRow},
                     {QStringLiteral("separator"), QString(c.separator)},
                     {QStringLiteral("decimalComma"), c.decimalComma}}},
    };
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void readSettingsJson(const QString &text, PlanSettings &s, PlanOrigin &origin)
{
    const QJsonObject object = QJsonDocument::fromJson(text.toUtf8()).object();
    s.groupWindow = object.value(QStringLiteral("groupWindow")).toDouble(s.groupWindow);
    s.groupWindowUnit = object.value(QStringLiteral("groupWindowUnit")).toString() == QLatin1String("ohm")
            ? SpreadUnit::Ohm
            : SpreadUnit::Percent;
    s.voltageWindowV = object.value(QStringLiteral("voltageWindowV")).toDouble(s.voltageWindowV);
    s.balanceCapacity = object.value(QStringLiteral("balanceCapacity")).toBool();
    s.swapBudget = std::int64_t(object.value(QStringLiteral("swapBudget")).toDouble(double(s.swapBudget)));
    s.stallRounds = object.value(QStringLiteral("stallRounds")).toInt(s.stallRounds);
    const QJsonObject filter = object.value(QStringLiteral("filter")).toObject();
    origin.filter.benches = listOf(filter.value(QStringLiteral("benches")));
    origin.filter.resistanceBins = listOf(filter.value(QStringLiteral("resistanceBins")));
    origin.filter.voltageBins = listOf(filter.value(QStringLiteral("voltageBins")));
    origin.filter.kVerdict = kVerdictOf(filter.value(QStringLiteral("kVerdict")).toString());
    origin.filter.withoutFailedRetest = filter.value(QStringLiteral("withoutFailedRetest")).toBool(true);
    origin.filter.failWords = listOf(filter.value(QStringLiteral("failWords")));
    for (const auto &[key, field] : {std::pair{QStringLiteral("from"), &origin.filter.from},
                                     std::pair{QStringLiteral("to"), &origin.filter.to}}) {
        const QDateTime time = QDateTime::fromString(filter.value(key).toString(), Qt::ISODateWithMs);
        if (time.isValid())
            *field = time;
    }
    origin.capacityFile = object.value(QStringLiteral("capacityFile")).toString();
    const QJsonObject c = object.value(QStringLiteral("capacityColumns")).toObject();
    CapacityColumns columns;
    columns.idColumn = c.value(QStringLiteral("cellId")).toInt(columns.idColumn);
    columns.capacityColumn = c.value(QStringLiteral("capacity")).toInt(columns.capacityColumn);
    columns.headerRow = c.value(QStringLiteral("headerRow")).toBool(columns.headerRow);
    const QString separator = c.value(QStringLiteral("separator")).toString();
    if (separator.size() == 1)
        columns.separator = separator.front();
    columns.decimalComma = c.value(QStringLiteral("decimalComma")).toBool(columns.decimalComma);
    if (!capacityColumnsProblem(columns))
        origin.capacityColumns = columns;
}

QString figuresJson(const PackFigures &f)
{
    QJsonObject object{
        {QStringLiteral("groupResistanceRangeOhm"), f.groupResistanceRangeOhm},
        {QStringLiteral("groupResistanceRangePercent"), f.groupResistanceRangePercent},
        {QStringLiteral("worstGroupSpreadOhm"), f.worstGroupSpreadOhm},
        {QStringLiteral("worstGroupSpreadPercent"), f.worstGroupSpreadPercent},
        {QStringLiteral("worstGroup"), f.worstGroup + 1},
        {QStringLiteral("voltageSpreadV"), f.voltageSpreadV},
        {QStringLiteral("packResistanceOhm"), f.packResistanceOhm},
    };
    if (f.hasCapacity) {
        object.insert(QStringLiteral("capacityRangeMah"), f.capacityRangeMah);
        object.insert(QStringLiteral("capacityRangePercent"), f.capacityRangePercent);
        object.insert(QStringLiteral("packCapacityMah"), f.packCapacityMah);
    }
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// A text for a NOT NULL column: Qt SQL binds a null QString as NULL.
QString notNull(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

QString namedCells(const QStringList &cells)
{
    QStringList named = cells.mid(0, kNamedCells);
    QString text = named.join(QStringLiteral(", "));
    if (cells.size() > kNamedCells)
        text += StoreTexts::tr(" and %n more", nullptr, int(cells.size() - kNamedCells));
    return text;
}

QString jsonList(const QStringList &list)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(list)).toJson(QJsonDocument::Compact));
}

QString placeText(int group, int position)
{
    return StoreTexts::tr("group %1, position %2").arg(group).arg(position);
}

QString figuresLine(const GroupFigures &g)
{
    QString line = StoreTexts::tr("%n cell(s), %1 mOhm, spread %2 mOhm", nullptr, g.cells)
                           .arg(QLocale::c().toString(g.resistanceOhm * 1000, 'f', 4),
                                QLocale::c().toString(g.spreadOhm * 1000, 'f', 3));
    if (g.hasCapacity)
        line += StoreTexts::tr(", %1 mAh").arg(QLocale::c().toString(g.capacityMah, 'f', 0));
    return line;
}

} // namespace

// --- StoredPack ---------------------------------------------------------------------

PackGroups StoredPack::groups() const
{
    PackGroups groups(std::size_t(std::max(settings.series, 0)));
    for (const PackCell &cell : cells) {
        if (cell.state != PackCellState::Failed && cell.group >= 1 && cell.group <= int(groups.size()))
            groups[std::size_t(cell.group - 1)].push_back(cell.cell);
    }
    return groups;
}

const PackCell *StoredPack::at(int group, int position) const
{
    for (const PackCell &cell : cells) {
        if (cell.group == group && cell.position == position && cell.state != PackCellState::Failed)
            return &cell;
    }
    return nullptr;
}

const PackCell *StoredPack::find(const QString &cellId) const
{
    for (const PackCell &cell : cells) {
        if (cell.cell.cellId == cellId)
            return &cell;
    }
    return nullptr;
}

QString SavedPlan::refusalText() const
{
    return StoreTexts::tr("Not saved: another pack holds %n cell(s) of the plan already: %1. Plan again; the pool "
                          "leaves them out.", nullptr, int(taken.size()))
            .arg(namedCells(taken));
}

QString ScanAnswer::text() const
{
    switch (verdict) {
    case Verdict::Place:
        return StoreTexts::tr("Group %1, position %2").arg(group).arg(position);
    case Verdict::PlacedAlready:
        return StoreTexts::tr("%1 is placed already: %2 (%3)")
                .arg(cellId, placeText(group, position),
                     placedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    case Verdict::Failed:
        return standIn.isEmpty() ? StoreTexts::tr("%1 was marked failed; its place (%2) is still open")
                                           .arg(cellId, placeText(group, position))
                                 : StoreTexts::tr("%1 was marked failed; %2 takes its place (%3)")
                                           .arg(cellId, standIn, placeText(group, position));
    case Verdict::OtherPack:
        return StoreTexts::tr("%1 is not in this pack: it belongs to pack %2").arg(cellId, otherPack);
    case Verdict::NotInPack:
        return StoreTexts::tr("%1 is not in this pack").arg(cellId);
    case Verdict::Released:
        return StoreTexts::tr("The pack was released; it takes no more cells");
    case Verdict::NoId:
        return StoreTexts::tr("\"%1\" is no cell ID").arg(cellId);
    }
    return QString();
}

QStringList FailedCell::lines() const
{
    QStringList lines;
    lines << StoreTexts::tr("%1 marked failed (%2)").arg(cellId, placeText(group, position));
    if (replacement)
        lines << StoreTexts::tr("Replacement: %1, %2 mOhm, %3 V")
                         .arg(replacement->cellId, QLocale::c().toString(replacement->resistanceOhm * 1000, 'f', 3),
                              QLocale::c().toString(replacement->voltageV, 'f', 4));
    else
        lines << StoreTexts::tr("No free cell keeps the group and voltage windows: the place stays open");
    lines << StoreTexts::tr("Group %1 before: %2").arg(group).arg(figuresLine(before));
    lines << StoreTexts::tr("Group %1 after: %2").arg(group).arg(figuresLine(after));
    lines << StoreTexts::tr("Group resistance range before / after: %1 / %2 mOhm")
                     .arg(QLocale::c().toString(packBefore.groupResistanceRangeOhm * 1000, 'f', 4),
                          QLocale::c().toString(packAfter.groupResistanceRangeOhm * 1000, 'f', 4));
    if (packBefore.hasCapacity && packAfter.hasCapacity)
        lines << StoreTexts::tr("Capacity range before / after: %1 / %2 mAh")
                         .arg(QLocale::c().toString(packBefore.capacityRangeMah, 'f', 1),
                              QLocale::c().toString(packAfter.capacityRangeMah, 'f', 1));
    if (!passedOver.isEmpty())
        lines << StoreTexts::tr("Taken by other packs meanwhile: %1").arg(namedCells(passedOver));
    return lines;
}

// --- PackStore ----------------------------------------------------------------------

// The connection and what differs between SQLite and PostgreSQL.
struct PackStore::Connection
{
    QString name;
    bool server = false;
    std::unique_ptr<central::Connection> central;
    QString error; // the last failure's text

    QSqlDatabase db() const { return server ? central->database() : QSqlDatabase::database(name, false); }

    // SQL of the store: %U a UUID, %T a time and %J a JSON list of texts, each
    // one bound value; %R "reserved", %F "not reserved".
    QString sql(QString text) const
    {
        text.replace(QLatin1String("%U"), server ? QLatin1String("?::uuid") : QLatin1String("?"));
        text.replace(QLatin1String("%T"), server ? QLatin1String("?::timestamptz") : QLatin1String("?"));
        text.replace(QLatin1String("%J"), server ? QLatin1String("(SELECT jsonb_array_elements_text(?::jsonb))")
                                                : QLatin1String("(SELECT value FROM json_each(?))"));
        text.replace(QLatin1String("%R"), server ? QLatin1String("reserved") : QLatin1String("reserved = 1"));
        text.replace(QLatin1String("%F"), server ? QLatin1String("false") : QLatin1String("0"));
        return text;
    }
    // A time column as it reads: text on the journal, milliseconds since the
    // epoch from the server.
    QString time(const QString &column) const
    {
        return server ? QStringLiteral("(extract(epoch FROM %1) * 1000)::bigint AS %1").arg(column) : column;
    }
    static QDateTime timeOf(const QVariant &value)
    {
        if (value.isNull())
            return QDateTime();
        if (value.typeId() == QMetaType::QString)
            return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
        return QDateTime::fromMSecsSinceEpoch(value.toLongLong());
    }
    QString uuid(const QUuid &id) const { return id.toString(QUuid::WithoutBraces); }

    // A prepared statement run with the values; false with error set.
    bool run(QSqlQuery &query, const QString &text, const QVariantList &values = {})
    {
        query.setForwardOnly(true);
        if (!query.prepare(sql(text))) {
            error = describe(query.lastError());
            return false;
        }
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec()) {
            error = describe(query.lastError());
            return false;
        }
        return true;
    }
    bool exec(const QString &text)
    {
        QSqlQuery query(db());
        if (query.exec(text))
            return true;
        error = describe(query.lastError());
        return false;
    }
    QString describe(const QSqlError &sqlError) const
    {
        return server ? central->failure(sqlError).text : sqlErrorText(sqlError);
    }

    // A transaction that no other bench's pack work interleaves with.
    bool begin()
    {
        if (server)
            return exec(QStringLiteral("BEGIN")) && exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kPackLock));
        return exec(QStringLiteral("BEGIN IMMEDIATE"));
    }
    bool commit() { return exec(QStringLiteral("COMMIT")); }
    void rollback()
    {
        QSqlQuery query(db());
        query.exec(QStringLiteral("ROLLBACK"));
    }
};

PackStore::PackStore(PoolSource source) : m_source(std::move(source)) {}

PackStore::~PackStore()
{
    if (m_connection && !m_connection->server) {
        const QString name = m_connection->name;
        m_connection.reset();
        removeConnection(name);
    }
}

Failure PackStore::failure() const
{
    const ErrorKind kind = m_source.kind == PoolSource::Kind::Central ? ErrorKind::Failed : ErrorKind::FileIo;
    return Failure(kind, m_connection ? m_connection->error : StoreTexts::tr("The pack store is not open."));
}

Status PackStore::open()
{
    auto connection = std::make_unique<Connection>();
    if (m_source.kind == PoolSource::Kind::Central) {
        connection->server = true;
        connection->central = std::make_unique<central::Connection>(m_source.central,
                                                                    uniqueConnectionName(QStringLiteral("packs")));
        if (Status opened = connection->central->open(); !opened)
            return opened;
        if (Status prepared = connection->central->prepareSchema(); !prepared)
            return prepared;
    } else if (m_source.kind == PoolSource::Kind::Journal) {
        {
            // Brings the journal's tables to this program's format.
            Journal journal(uniqueConnectionName(QStringLiteral("packs-format")));
            if (Status opened = journal.openForForwarding(m_source.path); !opened)
                return opened;
        }
        connection->name = uniqueConnectionName(QStringLiteral("packs"));
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection->name);
        db.setDatabaseName(m_source.path);
        // Another bench program or the counting path may hold the write lock
        // for a moment.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        if (!db.open()) {
            const QString error = sqlErrorText(db.lastError());
            db = QSqlDatabase();
            removeConnection(connection->name);
            return Failure(ErrorKind::FileIo, error);
        }
        // A reservation is on disk before the plan is called saved.
        if (!connection->exec(QStringLiteral("PRAGMA synchronous=FULL"))) {
            const QString error = connection->error;
            db = QSqlDatabase();
            removeConnection(connection->name);
            return Failure(ErrorKind::FileIo, error);
        }
    } else {
        return Failure(StoreTexts::tr("A data file keeps no pack plans; plan from the journal or the shared "
                                      "database to save a plan."));
    }
    m_connection = std::move(connection);
    return {};
}

Result<SavedPlan> PackStore::save(const Plan &plan, const PlanOrigin &origin, const PackLabel &label)
{
    if (!m_connection)
        return failure();
    Connection &c = *m_connection;
    QStringList ids;
    for (const auto &group : plan.groups) {
        for (const PoolCell &cell : group)
            ids << cell.cellId;
    }
    if (ids.isEmpty())
        return Failure(StoreTexts::tr("The plan holds no cells."));
    if (!c.begin())
        return failure();
    QSqlQuery query(c.db());
    if (!c.run(query, QStringLiteral("SELECT cell_id FROM pack_cells WHERE %R AND cell_id IN %J ORDER BY cell_id"),
               {jsonList(ids)})) {
        c.rollback();
        return failure();
    }
    SavedPlan saved;
    while (query.next())
        saved.taken << query.value(0).toString();
    query.finish();
    if (!saved.saved()) {
        c.rollback();
        return saved;
    }

    saved.pack = QUuid::createUuid();
    const QDateTime now = QDateTime::currentDateTime();
    const QString shape = QStringLiteral("%1s%2p").arg(plan.settings.series).arg(plan.settings.parallel);
    const QString name = label.name.isEmpty()
            ? QStringLiteral("%1 %2 %3").arg(shape, now.toString(QStringLiteral("yyyy-MM-dd HH:mm")), label.bench).trimmed()
            : label.name;
    if (!c.run(query,
               QStringLiteral("INSERT INTO packs (id, name, shape, series, parallel, seed, algorithm, input_hash,"
                              " settings, figures, bench, made_by, created_at) VALUES (%U, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
                              " ?, ?, %T)"),
               {c.uuid(saved.pack), notNull(name), shape, plan.settings.series, plan.settings.parallel,
                QString::number(plan.settings.seed), notNull(plan.algorithm), notNull(plan.inputHash),
                settingsJson(plan.settings, origin, m_source), figuresJson(plan.figures), notNull(label.bench),
                notNull(label.madeBy),
                isoText(now)})) {
        c.rollback();
        return failure();
    }
    QSqlQuery insert(c.db());
    insert.prepare(c.sql(QStringLiteral("INSERT INTO pack_cells (pack_id, group_no, position, cell_id, record_id,"
                                        " resistance_text, voltage_text, capacity_text, resistance_ohm, voltage_v,"
                                        " capacity_mah) VALUES (%U, ?, ?, ?, %U, ?, ?, ?, ?, ?, ?)")));
    for (std::size_t g = 0; g < plan.groups.size(); ++g) {
        for (std::size_t p = 0; p < plan.groups[g].size(); ++p) {
            const PoolCell &cell = plan.groups[g][p];
            for (const QVariant &value :
                 {QVariant(c.uuid(saved.pack)), QVariant(int(g + 1)), QVariant(int(p + 1)), QVariant(cell.cellId),
                  cell.recordId.isNull() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(c.uuid(cell.recordId)),
                  QVariant(cell.resistanceText), QVariant(cell.voltageText), QVariant(cell.capacityText),
                  QVariant(cell.resistanceOhm), QVariant(cell.voltageV),
                  cell.capacityMah ? QVariant(*cell.capacityMah) : QVariant(QMetaType(QMetaType::Double))})
                insert.addBindValue(value);
            if (!insert.exec()) {
                c.error = c.describe(insert.lastError());
                insert.finish();
                c.rollback();
                return failure();
            }
        }
    }
    insert.finish();
    if (!c.commit()) {
        c.rollback();
        return failure();
    }
    return saved;
}

Status PackStore::release(const QUuid &pack)
{
    if (!m_connection)
        return failure();
    Connection &c = *m_connection;
    if (!c.begin())
        return failure();
    QSqlQuery query(c.db());
    if (!c.run(query, QStringLiteral("UPDATE packs SET released_at = %T WHERE id = %U AND released_at IS NULL"),
               {isoText(QDateTime::currentDateTime()), c.uuid(pack)})
        || !c.run(query, QStringLiteral("UPDATE pack_cells SET reserved = %F WHERE pack_id = %U AND state <> 'failed'"),
                  {c.uuid(pack)})
        || !c.commit()) {
        c.rollback();
        return failure();
    }
    return {};
}

Result<std::vector<PackSummary>> PackStore::packs(bool withReleased)
{
    if (!m_connection)
        return failure();
    Connection &c = *m_connection;
    QSqlQuery query(c.db());
    if (!c.run(query, QStringLiteral("SELECT p.id, p.name, p.shape, p.bench, p.made_by, %1, %2, p.series * p.parallel"
                                     " AS places, (SELECT count(*) FROM pack_cells c WHERE c.pack_id = p.id AND"
                                     " c.state = 'placed') AS placed FROM packs p%3 ORDER BY p.created_at DESC, p.name")
                              .arg(c.time(QStringLiteral("created_at")), c.time(QStringLiteral("released_at")),
                                   withReleased ? QString() : QStringLiteral(" WHERE p.released_at IS NULL"))))
        return failure();
    std::vector<PackSummary> packs;
    while (query.next()) {
        PackSummary summary;
        summary.id = QUuid::fromString(query.value(0).toString());
        summary.name = query.value(1).toString();
        summary.shape = query.value(2).toString();
        summary.bench = query.value(3).toString();
        summary.madeBy = query.value(4).toString();
        summary.created = Connection::timeOf(query.value(5));
        summary.released = Connection::timeOf(query.value(6));
        summary.places = query.value(7).toInt();
        summary.placed = query.value(8).toInt();
        packs.push_back(std::move(summary));
    }
    return packs;
}

Result<StoredPack> PackStore::load(const QUuid &pack)
{
    if (!m_connection)
        return failure();
    Connection &c = *m_connection;
    QSqlQuery query(c.db());
    if (!c.run(query, QStringLiteral("SELECT name, shape, bench, made_by, %1, %2, series, parallel, seed, algorithm,"
                                     " input_hash, settings, (SELECT count(*) FROM pack_cells c WHERE c.pack_id = p.id"
                                     " AND c.state = 'placed') AS placed FROM packs p WHERE id = %U")
                              .arg(c.time(QStringLiteral("created_at")), c.time(QStringLiteral("released_at"))),
               {c.uuid(pack)}))
        return failure();
    if (!query.next())
        return Failure(StoreTexts::tr("There is no pack %1 in %2.").arg(c.uuid(pack), m_source.description()));
    StoredPack stored;
    PackSummary &s = stored.summary;
    s.id = pack;
    s.name = query.value(0).toString();
    s.shape = query.value(1).toString();
    s.bench = query.value(2).toString();
    s.madeBy = query.value(3).toString();
    s.created = Connection::timeOf(query.value(4));
    s.released = Connection::timeOf(query.value(5));
    stored.settings.series = query.value(6).toInt();
    stored.settings.parallel = query.value(7).toInt();
    stored.settings.seed = query.value(8).toString().toULongLong();
    stored.algorithm = query.value(9).toString();
    stored.inputHash = query.value(10).toString();
    readSettingsJson(query.value(11).toString(), stored.settings, stored.origin);
    s.placed = query.value(12).toInt();
    s.places = stored.settings.cellCount();
    query.finish();

    if (!c.run(query, QStringLiteral("SELECT group_no, position, cell_id, record_id, resistance_text, voltage_text,"
                                     " capacity_text, resistance_ohm, voltage_v, capacity_mah, state, %1, placed_bench,"
                                     " replaces FROM pack_cells WHERE pack_id = %U ORDER BY group_no, position,"
                                     " CASE WHEN state = 'failed' THEN 0 ELSE 1 END, cell_id")
                              .arg(c.time(QStringLiteral("placed_at"))),
               {c.uuid(pack)}))
        return failure();
    while (query.next()) {
        PackCell cell;
        cell.group = query.value(0).toInt();
        cell.position = query.value(1).toInt();
        cell.cell.cellId = query.value(2).toString();
        cell.cell.recordId = QUuid::fromString(query.value(3).toString());
        cell.cell.resistanceText = query.value(4).toString();
        cell.cell.voltageText = query.value(5).toString();
        cell.cell.capacityText = query.value(6).toString();
        cell.cell.resistanceOhm = query.value(7).toDouble();
        cell.cell.voltageV = query.value(8).toDouble();
        if (!query.value(9).isNull())
            cell.cell.capacityMah = query.value(9).toDouble();
        cell.state = stateOf(query.value(10).toString());
        cell.placedAt = Connection::timeOf(query.value(11));
        cell.placedBench = query.value(12).toString();
        cell.replaces = query.value(13).toString();
        stored.cells.push_back(std::move(cell));
    }
    return stored;
}

Result<ScanAnswer> PackStore::place(const QUuid &pack, const QString &scanned, const QString &bench)
{
    ScanAnswer answer;
    answer.cellId = normalisedCellId(scanned);
    if (answer.cellId.isEmpty() || cellIdProblem(answer.cellId)) {
        answer.cellId = scanned;
        answer.verdict = ScanAnswer::Verdict::NoId;
        return answer;
    }
    if (!m_connection)
        return failure();
    Connection &c = *m_connection;
    const auto failed = [this, &c]() -> Result<ScanAnswer> {
        c.rollback();
        return failure();
    };
    if (!c.begin())
        return failure();
    QSqlQuery query(c.db());
    if (!c.run(query, QStringLiteral("SELECT released_at IS NOT NULL, series * parallel FROM packs WHERE id = %U"),
               {c.uuid(pack)}))
        return failed();
    if (!query.next()) {
        c.rollback();
        return Failure(StoreTexts::tr("There is no pack %1 in %2.").arg(c.uuid(pack), m_source.description()));
    }
    const bool released = query.value(0).toBool();
    answer.places = query.value(1).toInt();
    query.finish();
    const auto progress = [&]() {
        QSqlQuery count(c.db());
        if (!c.run(count, QStringLiteral("SELECT count(*) FROM pack_cells WHERE pack_id = %U AND state = 'placed'"),
                   {c.uuid(pack)})
            || !count.next())
            return false;
        answer.placed = count.value(0).toInt();
        return true;
    };
    if (released) {
        answer.verdict = ScanAnswer::Verdict::Released;
        if (!progress())
            return failed();
        c.rollback();
        return answer;
    }
    if (!c.run(query, QStringLiteral("SELECT group_no, position, state, %1 FROM pack_cells WHERE pack_id = %U AND"
                                     " cell_id = ?")
                              .arg(c.time(QStringLiteral("placed_at"))),
               {c.uuid(pack), answer.cellId}))
        return failed();
    if (!query.next()) {
        query.finish();
        if (!c.run(query, QStringLiteral("SELECT p.name FROM pack_cells c JOIN packs p ON p.id = c.pack_id WHERE"
                                         " c.cell_id = ? AND c.%R"),
                   {answer.cellId}))
            return failed();
        if (query.next()) {
            answer.verdict = ScanAnswer::Verdict::OtherPack;
            answer.otherPack = query.value(0).toString();
        } else {
            answer.verdict = ScanAnswer::Verdict::NotInPack;
        }
        query.finish();
        if (!progress())
            return failed();
        c.rollback();
        return answer;
    }
    answer.group = query.value(0).toInt();
    answer.position = query.value(1).toInt();
    const PackCellState state = stateOf(query.value(2).toString());
    answer.placedAt = Connection::timeOf(query.value(3));
    query.finish();
    switch (state) {
    case PackCellState::Placed:
        answer.verdict = ScanAnswer::Verdict::PlacedAlready;
        break;
    case PackCellState::Failed:
        answer.verdict = ScanAnswer::Verdict::Failed;
        if (!c.run(query, QStringLiteral("SELECT cell_id FROM pack_cells WHERE pack_id = %U AND group_no = ? AND"
                                         " position = ? AND state <> 'failed'"),
                   {c.uuid(pack), answer.group, answer.position}))
            return failed();
        if (query.next())
            answer.standIn = query.value(0).toString();
        query.finish();
        break;
    case PackCellState::Planned: {
        const QDateTime now = QDateTime::currentDateTime();
        if (!c.run(query, QStringLiteral("UPDATE pack_cells SET state = 'placed', placed_at = %T, placed_bench = ?"
                                         " WHERE pack_id = %U AND cell_id = ? AND state = 'planned'"),
                   {isoText(now), notNull(bench), c.uuid(pack), answer.cellId}))
            return failed();
        answer.verdict = ScanAnswer::Verdict::Place;
        answer.placedAt = now;
        break;
    }
    }
    if (!progress())
        return failed();
    if (!c.commit())
        return failed();
    return answer;
}

Result<FailedCell> PackStore::fail(const QUuid &pack, const QString &cellId, const std::vector<ReplacementChoice> &ranked)
{
    if (!m_connection)
        return failure();
    Result<StoredPack> stored = load(pack);
    if (!stored)
        return stored.failure();
    if (stored->summary.isReleased())
        return Failure(StoreTexts::tr("Pack %1 was released; its cells are no longer kept.").arg(stored->summary.name));
    const PackCell *cell = stored->find(cellId);
    if (!cell)
        return Failure(StoreTexts::tr("%1 is not one of the cells of pack %2.").arg(cellId, stored->summary.name));
    FailedCell outcome;
    outcome.cellId = cellId;
    outcome.group = cell->group;
    outcome.position = cell->position;
    if (cell->state == PackCellState::Failed) {
        if (const PackCell *standIn = stored->at(cell->group, cell->position))
            return Failure(StoreTexts::tr("%1 was marked failed already; %2 takes its place.")
                                   .arg(cellId, standIn->cell.cellId));
    }
    const PackGroups before = stored->groups();
    PackGroups after = before;
    std::vector<PoolCell> &group = after[std::size_t(cell->group - 1)];
    group.erase(std::remove_if(group.begin(), group.end(), [&](const PoolCell &c) { return c.cellId == cellId; }),
                group.end());

    Connection &c = *m_connection;
    const auto failed = [this, &c]() -> Result<FailedCell> {
        c.rollback();
        return failure();
    };
    if (!c.begin())
        return failure();
    QSqlQuery query(c.db());
    // Looked at again under the lock: another bench may have got here first.
    if (!c.run(query, QStringLiteral("SELECT state FROM pack_cells WHERE pack_id = %U AND cell_id = ?"),
               {c.uuid(pack), cellId})
        || !query.next())
        return failed();
    const PackCellState state = stateOf(query.value(0).toString());
    query.finish();
    if (state != PackCellState::Failed
        && !c.run(query, QStringLiteral("UPDATE pack_cells SET state = 'failed' WHERE pack_id = %U AND cell_id = ?"),
                  {c.uuid(pack), cellId}))
        return failed();
    for (const ReplacementChoice &choice : ranked) {
        if (!c.run(query, QStringLiteral("SELECT count(*) FROM pack_cells WHERE cell_id = ? AND %R"),
                   {choice.cell.cellId})
            || !query.next())
            return failed();
        const bool taken = query.value(0).toInt() > 0;
        query.finish();
        if (taken) {
            outcome.passedOver << choice.cell.cellId;
            continue;
        }
        const PoolCell &r = choice.cell;
        if (!c.run(query,
                   QStringLiteral("INSERT INTO pack_cells (pack_id, group_no, position, cell_id, record_id,"
                                  " resistance_text, voltage_text, capacity_text, resistance_ohm, voltage_v,"
                                  " capacity_mah, replaces) VALUES (%U, ?, ?, ?, %U, ?, ?, ?, ?, ?, ?, ?)"),
                   {c.uuid(pack), outcome.group, outcome.position, r.cellId,
                    r.recordId.isNull() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(c.uuid(r.recordId)),
                    r.resistanceText, r.voltageText, r.capacityText, r.resistanceOhm, r.voltageV,
                    r.capacityMah ? QVariant(*r.capacityMah) : QVariant(QMetaType(QMetaType::Double)), cellId}))
            return failed();
        outcome.replacement = r;
        group.push_back(r);
        break;
    }
    if (!c.commit())
        return failed();
    outcome.before = groupFiguresOf(before[std::size_t(outcome.group - 1)]);
    outcome.after = groupFiguresOf(group);
    outcome.packBefore = figuresOf(before);
    outcome.packAfter = figuresOf(after);
    return outcome;
}

Result<FailedCell> failAndReplace(PackStore &store, const QUuid &pack, const QString &cellId,
                                  const std::atomic<bool> *cancel)
{
    Result<StoredPack> stored = store.load(pack);
    if (!stored)
        return stored.failure();
    const PackCell *cell = stored->find(cellId);
    if (!cell)
        return Failure(StoreTexts::tr("%1 is not one of the cells of pack %2.").arg(cellId, stored->summary.name));
    PackGroups groups = stored->groups();
    std::vector<PoolCell> &group = groups[std::size_t(cell->group - 1)];
    group.erase(std::remove_if(group.begin(), group.end(), [&](const PoolCell &c) { return c.cellId == cellId; }),
                group.end());

    PoolFilter filter = stored->origin.filter;
    filter.withoutPacked = true;
    Result<Pool> pool = readPool(store.source(), filter, cancel);
    if (!pool)
        return pool.failure();
    if (!stored->origin.capacityFile.isEmpty()) {
        const Result<CapacityImport> capacities =
                readCapacityFile(stored->origin.capacityFile, stored->origin.capacityColumns, pool->knownIds);
        if (!capacities && stored->settings.balanceCapacity)
            return Failure(StoreTexts::tr("The pack was balanced on capacity, and its capacity file cannot be read "
                                          "now: %1").arg(capacities.errorString()));
        if (capacities)
            applyCapacities(pool->cells, *capacities);
    }
    const std::vector<ReplacementChoice> ranked =
            rankReplacements(groups, cell->group - 1, pool->cells, stored->settings, kReplacementCandidates);
    return store.fail(pack, cellId, ranked);
}

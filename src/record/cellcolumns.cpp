#include "record/cellcolumns.h"

#include <QSqlQuery>
#include <QSqlRecord>

namespace {

QVariant text(const QString &value)
{
    return value;
}

QVariant textOrNull(const QString &value)
{
    return value.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(value);
}

QVariant numberOrNull(const std::optional<double> &value)
{
    return value ? QVariant(*value) : QVariant(QMetaType(QMetaType::Double));
}

// The time stamp: the journal keeps the ISO text with its offset, the server
// reads out milliseconds since the epoch (centralRead), an instant shown in
// this computer's time.
void fillTime(CellRecord &r, const QVariant &v)
{
    if (v.typeId() == QMetaType::QString)
        r.measuredAt = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    else
        r.measuredAt = QDateTime::fromMSecsSinceEpoch(v.toLongLong()).toLocalTime();
}

// Journal columns first come in format 1, the server's in schema 1 (additions 0).
const std::vector<CellColumn> &columnList()
{
    static const std::vector<CellColumn> list{
        {"seq", "INTEGER PRIMARY KEY", 1, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr},
        {"id", "TEXT NOT NULL UNIQUE", 1, "uuid PRIMARY KEY", 0, "uuid", nullptr, nullptr,
         [](const CellRecord &r) { return QVariant(r.id.toString(QUuid::WithoutBraces)); },
         [](CellRecord &r, const QVariant &v) { r.id = QUuid::fromString(v.toString()); }},
        {"bench", "TEXT NOT NULL", 1, "text NOT NULL", 0, "text", nullptr, nullptr,
         [](const CellRecord &r) { return text(r.bench); },
         [](CellRecord &r, const QVariant &v) { r.bench = v.toString(); }},
        {"measured_at", "TEXT NOT NULL", 1, "timestamptz NOT NULL", 0, "timestamptz",
         "(extract(epoch FROM measured_at) * 1000)::bigint", nullptr,
         [](const CellRecord &r) { return text(r.measuredAtText()); }, fillTime},
        {"resistance_text", "TEXT NOT NULL", 1, "text NOT NULL", 0, "text", nullptr, nullptr,
         [](const CellRecord &r) { return text(r.resistanceText); },
         [](CellRecord &r, const QVariant &v) { r.resistanceText = v.toString(); }},
        {"voltage_text", "TEXT NOT NULL", 1, "text NOT NULL", 0, "text", nullptr, nullptr,
         [](const CellRecord &r) { return text(r.voltageText); },
         [](CellRecord &r, const QVariant &v) { r.voltageText = v.toString(); }},
        {"resistance_ohm", "REAL", 1, "double precision", 0, "float8", nullptr, nullptr,
         [](const CellRecord &r) { return QVariant(r.resistanceOhm); },
         [](CellRecord &r, const QVariant &v) { r.resistanceOhm = v.toDouble(); }},
        {"voltage_v", "REAL", 1, "double precision", 0, "float8", nullptr, nullptr,
         [](const CellRecord &r) { return QVariant(r.voltageV); },
         [](CellRecord &r, const QVariant &v) { r.voltageV = v.toDouble(); }},
        {"resistance_bin", "TEXT", 1, "text", 0, "text", nullptr, nullptr,
         [](const CellRecord &r) { return text(r.resistanceBin); },
         [](CellRecord &r, const QVariant &v) { r.resistanceBin = v.toString(); }},
        {"voltage_bin", "TEXT", 1, "text", 0, "text", nullptr, nullptr,
         [](const CellRecord &r) { return text(r.voltageBin); },
         [](CellRecord &r, const QVariant &v) { r.voltageBin = v.toString(); }},
        {"setup_hash", "TEXT NOT NULL REFERENCES bin_setups(hash)", 1, "text REFERENCES bin_setups(hash)", 0, "text",
         nullptr, nullptr, [](const CellRecord &r) { return text(r.setupHash); },
         [](CellRecord &r, const QVariant &v) { r.setupHash = v.toString(); }},
        {"cell_id", "TEXT", 1, "text", 0, "text", nullptr, nullptr,
         [](const CellRecord &r) { return textOrNull(r.cellId); },
         [](CellRecord &r, const QVariant &v) { r.cellId = v.toString(); }},
        {"program_version", "TEXT", 1, "text", 0, "text", nullptr, nullptr,
         [](const CellRecord &r) { return text(r.programVersion); },
         [](CellRecord &r, const QVariant &v) { r.programVersion = v.toString(); }},
        // 1 once the central database committed the record.
        {"sent", "INTEGER NOT NULL DEFAULT 0", 1, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr},
        // The server's order of arrival.
        {"arrival", nullptr, 1, "bigint GENERATED ALWAYS AS IDENTITY", 0, nullptr, nullptr, nullptr, nullptr, nullptr},
        {"retest", "INTEGER NOT NULL DEFAULT 0", 2, "boolean NOT NULL DEFAULT false", 1, "boolean", nullptr, "false",
         [](const CellRecord &r) { return QVariant(r.retest); },
         [](CellRecord &r, const QVariant &v) { r.retest = v.toBool(); }},
        {"k_value", "REAL", 2, "double precision", 1, "float8", nullptr, nullptr,
         [](const CellRecord &r) { return numberOrNull(r.kValue); },
         [](CellRecord &r, const QVariant &v) {
             if (!v.isNull())
                 r.kValue = v.toDouble();
         }},
        // Kept only beside a K-value.
        {"k_limit", "REAL", 2, "double precision", 1, "float8", nullptr, nullptr,
         [](const CellRecord &r) { return r.kValue ? QVariant(r.kLimit) : QVariant(QMetaType(QMetaType::Double)); },
         [](CellRecord &r, const QVariant &v) { r.kLimit = v.toDouble(); }},
        {"k_verdict", "TEXT", 2, "text", 1, "text", nullptr, nullptr,
         [](const CellRecord &r) { return textOrNull(r.kVerdict); },
         [](CellRecord &r, const QVariant &v) { r.kVerdict = v.toString(); }},
        {"tester_word", "TEXT", 2, "text", 1, "text", nullptr, nullptr,
         [](const CellRecord &r) { return textOrNull(r.testerWord); },
         [](CellRecord &r, const QVariant &v) { r.testerWord = v.toString(); }},
        // Beside a K-value: its uncertainty from the tester's voltage resolution (mV/day).
        {"k_uncertainty", "REAL", 3, "double precision", 2, "float8", nullptr, nullptr,
         [](const CellRecord &r) { return numberOrNull(r.kValue ? r.kUncertainty : std::nullopt); },
         [](CellRecord &r, const QVariant &v) {
             if (!v.isNull())
                 r.kUncertainty = v.toDouble();
         }},
        // The test head that measured the cell; cells from before the column
        // come from a bench's only one.
        {"channel", "INTEGER NOT NULL DEFAULT 1", 3, "smallint NOT NULL DEFAULT 1", 2, "int2", nullptr, "1::int2",
         [](const CellRecord &r) { return QVariant(r.channel); },
         [](CellRecord &r, const QVariant &v) { r.channel = v.isNull() ? 1 : v.toInt(); }},
    };
    return list;
}

// The server's text type holds no NUL character.
QString withoutNul(QString text)
{
    text.remove(QChar(0));
    return text;
}

// One element of an array literal: NULL, a truth value, or quoted with
// backslash and quote escaped.
QString arrayElement(const QVariant &value)
{
    if (value.isNull())
        return QStringLiteral("NULL");
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    QString element = value.typeId() == QMetaType::Double ? QString::number(value.toDouble(), 'g', 17)
                                                          : withoutNul(value.toString());
    element.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    element.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + element + QLatin1Char('"');
}

// The columns a record gives values to, in table order.
std::vector<const CellColumn *> recordColumns(CellStore store, int level)
{
    std::vector<const CellColumn *> columns;
    for (const CellColumn *column : cellcolumns::of(store, level)) {
        if (column->value)
            columns.push_back(column);
    }
    return columns;
}

constexpr int kAnyLevel = 1 << 30;

QStringList namesOf(const std::vector<const CellColumn *> &columns)
{
    QStringList names;
    for (const CellColumn *column : columns)
        names << QLatin1String(column->name);
    return names;
}

} // namespace

namespace cellcolumns {

const std::vector<CellColumn> &all()
{
    return columnList();
}

std::vector<const CellColumn *> of(CellStore store, int level)
{
    std::vector<const CellColumn *> columns;
    for (const CellColumn &column : columnList()) {
        if (column.in(store) && column.level(store) <= level)
            columns.push_back(&column);
    }
    return columns;
}

int firstLevel(CellStore store)
{
    return store == CellStore::Journal ? 1 : 0;
}

QString createTable(CellStore store)
{
    const bool journal = store == CellStore::Journal;
    QStringList columns;
    for (const CellColumn *column : of(store, firstLevel(store)))
        columns << QStringLiteral("%1 %2").arg(QLatin1String(column->name),
                                               QLatin1String(journal ? column->journalType : column->centralType));
    return QStringLiteral("CREATE TABLE %1cells (%2)")
            .arg(journal ? QStringLiteral("IF NOT EXISTS ") : QString(), columns.join(QStringLiteral(", ")));
}

QStringList addColumns(CellStore store, int level)
{
    QStringList added;
    for (const CellColumn &column : columnList()) {
        if (!column.in(store) || column.level(store) != level || level == firstLevel(store))
            continue;
        if (store == CellStore::Journal)
            added << QStringLiteral("ALTER TABLE cells ADD COLUMN %1 %2")
                             .arg(QLatin1String(column.name), QLatin1String(column.journalType));
        else
            added << QStringLiteral("ADD COLUMN IF NOT EXISTS %1 %2")
                             .arg(QLatin1String(column.name), QLatin1String(column.centralType));
    }
    // The server takes them in one statement, which older programs' inserts
    // and queries never notice.
    if (store == CellStore::Central && !added.isEmpty())
        return {QStringLiteral("ALTER TABLE cells ") + added.join(QStringLiteral(", "))};
    return added;
}

QString journalInsert()
{
    const QStringList names = namesOf(recordColumns(CellStore::Journal, kAnyLevel));
    return QStringLiteral("INSERT INTO cells (%1) VALUES (%2)")
            .arg(names.join(QStringLiteral(", ")), QStringList(names.size(), QStringLiteral("?")).join(QStringLiteral(", ")));
}

void bindJournal(QSqlQuery &query, const CellRecord &record)
{
    for (const CellColumn *column : recordColumns(CellStore::Journal, kAnyLevel)) {
        const QVariant value = column->value(record);
        // SQLite keeps a truth value as the integer 0 or 1.
        query.addBindValue(value.typeId() == QMetaType::Bool ? QVariant(value.toInt()) : value);
    }
}

QString centralInsert()
{
    const std::vector<const CellColumn *> columns = recordColumns(CellStore::Central, kAnyLevel);
    QStringList arrays;
    for (const CellColumn *column : columns)
        arrays << QStringLiteral("?::%1[]").arg(QLatin1String(column->centralElement));
    return QStringLiteral("INSERT INTO cells (%1) SELECT * FROM unnest(%2) ON CONFLICT (id) DO NOTHING")
            .arg(namesOf(columns).join(QStringLiteral(", ")), arrays.join(QStringLiteral(", ")));
}

QVariantList centralArrays(const std::vector<const CellRecord *> &records)
{
    QVariantList arrays;
    for (const CellColumn *column : recordColumns(CellStore::Central, kAnyLevel)) {
        QString array;
        array.reserve(qsizetype(records.size()) * 16);
        array += QLatin1Char('{');
        for (const CellRecord *record : records) {
            if (array.size() > 1)
                array += QLatin1Char(',');
            array += arrayElement(column->value(*record));
        }
        array += QLatin1Char('}');
        arrays << array;
    }
    return arrays;
}

QString selectList(CellStore store, int level)
{
    QStringList list;
    for (const CellColumn *column : recordColumns(store, kAnyLevel)) {
        const QString name = QLatin1String(column->name);
        if (store == CellStore::Journal)
            list << (column->journalFormat > level ? QStringLiteral("NULL AS %1").arg(name) : name);
        else if (column->centralAdditions > level)
            list << QStringLiteral("%1 AS %2")
                            .arg(column->centralBefore ? QLatin1String(column->centralBefore)
                                                       : QStringLiteral("NULL::%1").arg(QLatin1String(column->centralElement)),
                                 name);
        else if (column->centralRead)
            list << QStringLiteral("%1 AS %2").arg(QLatin1String(column->centralRead), name);
        else
            list << name;
    }
    return list.join(QStringLiteral(", "));
}

CellReader::CellReader(const QSqlRecord &columns)
{
    for (const CellColumn &column : columnList()) {
        const int at = column.fill ? columns.indexOf(QLatin1String(column.name)) : -1;
        if (at >= 0)
            m_columns.emplace_back(&column, at);
    }
}

CellRecord CellReader::read(const QSqlQuery &row) const
{
    CellRecord record;
    for (const auto &[column, at] : m_columns)
        column->fill(record, row.value(at));
    return record;
}

} // namespace cellcolumns

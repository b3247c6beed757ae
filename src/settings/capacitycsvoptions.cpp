#include "settings/capacitycsvoptions.h"

#include "settings/optionsfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <optional>
#include <utility>

namespace {

const QString kIdKey = QStringLiteral("Columns/cellId");
const QString kCapacityKey = QStringLiteral("Columns/capacity");
const QString kHeaderKey = QStringLiteral("Columns/headerRow");
const QString kSeparatorKey = QStringLiteral("Columns/separator");
const QString kDecimalCommaKey = QStringLiteral("Columns/decimalComma");

// The separators by name, as the file keeps them: a comma or a semicolon
// would be taken apart or quoted by the INI format, and a tab is invisible.
constexpr std::pair<const char *, char> kSeparatorNames[] = {
    {"comma", ','}, {"semicolon", ';'}, {"tab", '\t'}, {"bar", '|'}};

QString separatorText(QChar separator)
{
    for (const auto &[name, character] : kSeparatorNames) {
        if (separator == QLatin1Char(character))
            return QString::fromLatin1(name);
    }
    return QString(separator);
}

std::optional<QChar> separatorOf(const QString &text)
{
    for (const auto &[name, character] : kSeparatorNames) {
        if (text.trimmed().compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return QLatin1Char(character);
    }
    return std::nullopt;
}

} // namespace

QString capacityCsvOptionsPath(const QString &folder)
{
    return QDir(folder).filePath(QString::fromLatin1(kCapacityCsvFileName));
}

Result<CapacityColumns> loadCapacityColumns(const QString &folder)
{
    const CapacityColumns defaults;
    const QString path = capacityCsvOptionsPath(folder);
    const QFileInfo info(path);
    if (!info.exists())
        return defaults;
    if (const QString refused = optionsFileRefusal(info); !refused.isEmpty())
        return Failure(ErrorKind::FileIo, refused);
    const QSettings stored(path, QSettings::IniFormat);
    CapacityColumns columns;
    bool ok = false;
    columns.idColumn = stored.value(kIdKey, defaults.idColumn).toString().toInt(&ok);
    if (!ok)
        return defaults;
    columns.capacityColumn = stored.value(kCapacityKey, defaults.capacityColumn).toString().toInt(&ok);
    if (!ok)
        return defaults;
    columns.headerRow = optionsFlag(stored, kHeaderKey, defaults.headerRow);
    columns.decimalComma = optionsFlag(stored, kDecimalCommaKey, defaults.decimalComma);
    const auto separator = separatorOf(stored.value(kSeparatorKey, separatorText(defaults.separator)).toString());
    if (!separator)
        return defaults;
    columns.separator = *separator;
    return capacityColumnsProblem(columns) ? defaults : columns;
}

Status saveCapacityColumns(const QString &folder, const CapacityColumns &columns)
{
    if (const auto problem = capacityColumnsProblem(columns))
        return Failure(*problem);
    return saveOptionsFile(capacityCsvOptionsPath(folder), [&columns](QSettings &stored) {
        stored.setValue(kIdKey, columns.idColumn);
        stored.setValue(kCapacityKey, columns.capacityColumn);
        stored.setValue(kHeaderKey, columns.headerRow);
        stored.setValue(kSeparatorKey, separatorText(columns.separator));
        stored.setValue(kDecimalCommaKey, columns.decimalComma);
    });
}

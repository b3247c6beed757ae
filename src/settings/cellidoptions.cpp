#include "settings/cellidoptions.h"

#include "cellid/cellid.h"
#include "settings/optionsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSettings>

#include <cmath>
#include <optional>

namespace {
struct OptionTexts
{
    Q_DECLARE_TR_FUNCTIONS(CellIdOptions)
};

const QString kEnabledKey = QStringLiteral("CellId/enabled");
const QString kAllowKey = QStringLiteral("CellId/allowWithoutId");
const QString kPatternKey = QStringLiteral("CellId/pattern");
const QString kPrefixKey = QStringLiteral("Scanner/prefix");
const QString kSuffixKey = QStringLiteral("Scanner/suffix");
const QString kRestKey = QStringLiteral("KValue/minimumRest");
const QString kLimitKey = QStringLiteral("KValue/limit");
const QString kWriteKey = QStringLiteral("DataFile/writeCellIds");
const QString kScanBeforePlacingKey = QStringLiteral("CellId/scanBeforePlacing");
const QString kResistancePercentKey = QStringLiteral("Plausibility/resistancePercent");
const QString kVoltageMarginKey = QStringLiteral("Plausibility/voltageMarginMv");

constexpr double kMaxKLimit = 1000;

// A number typed with "." as decimal point, within [minimum, maximum].
std::optional<double> boundedNumber(const QString &text, double minimum, double maximum)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value) || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

} // namespace

bool CellIdOptions::operator==(const CellIdOptions &other) const
{
    return enabled == other.enabled && allowWithoutId == other.allowWithoutId && pattern == other.pattern
        && prefix == other.prefix && suffix == other.suffix && minimumRestMinutes == other.minimumRestMinutes
        && kLimitMvPerDay == other.kLimitMvPerDay && writeToDataFile == other.writeToDataFile
        && scanBeforePlacing == other.scanBeforePlacing && resistancePercent == other.resistancePercent
        && voltageMarginMv == other.voltageMarginMv;
}

QString cellIdOptionsPath(const QString &folder)
{
    return QDir(folder).filePath(QString::fromLatin1(kCellIdFileName));
}

Result<qint64> parseRestText(const QString &text)
{
    static const QRegularExpression shape(
            QStringLiteral("^\\s*(\\d+(?:\\.\\d+)?)\\s*(d|h|min)?\\s*$"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = shape.match(text);
    const auto refuse = [&text](const QString &why) {
        return Failure(OptionTexts::tr("Minimum rest: \"%1\" %2").arg(text.trimmed(), why));
    };
    if (!match.hasMatch())
        return refuse(OptionTexts::tr("is not a time. Write a number and d, h or min, for example 7 d or 30 min."));
    const QString unit = match.captured(2).toLower();
    const double perUnit = unit == QLatin1String("min") ? 1 : unit == QLatin1String("h") ? 60 : 24 * 60;
    const double minutes = match.captured(1).toDouble() * perUnit;
    if (!std::isfinite(minutes) || minutes < 1 || minutes > double(CellIdOptions::kMaxRestMinutes)
        || minutes != std::floor(minutes))
        return refuse(OptionTexts::tr("must be whole minutes from 1 min to 366 d."));
    return qint64(minutes);
}

QString restText(qint64 minutes)
{
    if (minutes % (24 * 60) == 0)
        return QStringLiteral("%1 d").arg(minutes / (24 * 60));
    if (minutes % 60 == 0)
        return QStringLiteral("%1 h").arg(minutes / 60);
    return QStringLiteral("%1 min").arg(minutes);
}

Result<double> parseKLimitText(const QString &text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value) || value < 0 || value > kMaxKLimit)
        return Failure(OptionTexts::tr("K limit: \"%1\" must be a number from 0 to 1000 (mV/day), with \".\" as "
                                       "the decimal point.").arg(text.trimmed()));
    return value;
}

QString kLimitText(double mvPerDay)
{
    return QLocale::c().toString(mvPerDay, 'g', 6);
}

Result<double> parseResistancePercentText(const QString &text)
{
    if (const std::optional<double> value = boundedNumber(text, 1, 1000))
        return *value;
    return Failure(OptionTexts::tr("Resistance difference: \"%1\" must be a number from 1 to 1000 (%), with \".\" "
                                   "as the decimal point.").arg(text.trimmed()));
}

Result<double> parseVoltageMarginText(const QString &text)
{
    if (const std::optional<double> value = boundedNumber(text, 0, 1000))
        return *value;
    return Failure(OptionTexts::tr("Voltage margin: \"%1\" must be a number from 0 to 1000 (mV), with \".\" as "
                                   "the decimal point.").arg(text.trimmed()));
}

QString thresholdText(double value)
{
    return QLocale::c().toString(value, 'g', 6);
}

Status checkPattern(const QString &pattern)
{
    if (pattern.isEmpty())
        return {};
    const QRegularExpression expression(pattern);
    if (!expression.isValid())
        return Failure(OptionTexts::tr("ID pattern: \"%1\" is not a valid regular expression (%2 at character %3).")
                               .arg(pattern, expression.errorString())
                               .arg(expression.patternErrorOffset() + 1));
    return {};
}

Status checkFrame(const QString &label, const QString &frame)
{
    if (frame.size() > CellIdOptions::kMaxFrameLength)
        return Failure(OptionTexts::tr("%1: at most %2 characters.").arg(label).arg(CellIdOptions::kMaxFrameLength));
    for (const QChar c : frame) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7E)
            return Failure(OptionTexts::tr("%1: use printable ASCII characters without blanks.").arg(label));
    }
    return {};
}

Result<CellIdOptions> loadCellIdOptions(const QString &folder)
{
    CellIdOptions options;
    const QString path = cellIdOptionsPath(folder);
    // Only a regular file of sane size is read: a pipe or device at that name
    // is left alone.
    const QFileInfo info(path);
    if (!info.exists())
        return options;
    if (const QString refused = optionsFileRefusal(info); !refused.isEmpty())
        return Failure(ErrorKind::FileIo, refused);
    const QSettings stored(path, QSettings::IniFormat);
    const auto flag = [&stored](const QString &key, bool fallback) { return optionsFlag(stored, key, fallback); };
    options.enabled = flag(kEnabledKey, options.enabled);
    options.allowWithoutId = flag(kAllowKey, options.allowWithoutId);
    options.writeToDataFile = flag(kWriteKey, options.writeToDataFile);
    const QString pattern = stored.value(kPatternKey).toString();
    if (checkPattern(pattern))
        options.pattern = pattern;
    for (auto [key, target] : {std::pair{kPrefixKey, &options.prefix}, std::pair{kSuffixKey, &options.suffix}}) {
        const QString frame = stored.value(key).toString();
        if (checkFrame(QString(), frame))
            *target = frame;
    }
    if (stored.contains(kRestKey))
        options.minimumRestMinutes = parseRestText(stored.value(kRestKey).toString()).valueOr(options.minimumRestMinutes);
    if (stored.contains(kLimitKey))
        options.kLimitMvPerDay = parseKLimitText(stored.value(kLimitKey).toString()).valueOr(options.kLimitMvPerDay);
    options.scanBeforePlacing = flag(kScanBeforePlacingKey, options.scanBeforePlacing);
    if (stored.contains(kResistancePercentKey))
        options.resistancePercent = parseResistancePercentText(stored.value(kResistancePercentKey).toString())
                                            .valueOr(options.resistancePercent);
    if (stored.contains(kVoltageMarginKey))
        options.voltageMarginMv = parseVoltageMarginText(stored.value(kVoltageMarginKey).toString())
                                          .valueOr(options.voltageMarginMv);
    return options;
}

Status saveCellIdOptions(const QString &folder, const CellIdOptions &options)
{
    return saveOptionsFile(cellIdOptionsPath(folder), [&options](QSettings &stored) {
        stored.setValue(kEnabledKey, options.enabled);
        stored.setValue(kAllowKey, options.allowWithoutId);
        stored.setValue(kPatternKey, options.pattern);
        stored.setValue(kPrefixKey, options.prefix);
        stored.setValue(kSuffixKey, options.suffix);
        stored.setValue(kRestKey, restText(options.minimumRestMinutes));
        stored.setValue(kLimitKey, kLimitText(options.kLimitMvPerDay));
        stored.setValue(kWriteKey, options.writeToDataFile);
        stored.setValue(kScanBeforePlacingKey, options.scanBeforePlacing);
        stored.setValue(kResistancePercentKey, thresholdText(options.resistancePercent));
        stored.setValue(kVoltageMarginKey, thresholdText(options.voltageMarginMv));
    });
}

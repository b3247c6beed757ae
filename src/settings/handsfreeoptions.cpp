#include "settings/handsfreeoptions.h"

#include "settings/settingsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>

#include <cmath>

namespace {
// The translation context of the texts this file shows.
struct OptionTexts
{
    Q_DECLARE_TR_FUNCTIONS(HandsFreeOptions)
};

const QString kAutoRecordKey = QStringLiteral("AutoRecord/enabled");
const QString kSoundKey = QStringLiteral("Sound/enabled");

QString boundText(double value)
{
    return QLocale::c().toString(value, 'g', 6);
}

// Refuses a file far larger than any options file: reading or rewriting it
// whole would hold up the window for seconds.
QString sizeRefusal(const QFileInfo &info)
{
    if (info.size() <= kMaxSetupFileBytes)
        return QString();
    return OptionTexts::tr("%1 is larger than %2 MB")
        .arg(QDir::toNativeSeparators(info.filePath()))
        .arg(kMaxSetupFileBytes / (1024 * 1024));
}

bool inBounds(const SettleParameterInfo &info, double value)
{
    return std::isfinite(value) && value >= info.minimum && value <= info.maximum
        && (!info.whole || value == std::floor(value));
}

} // namespace

bool HandsFreeOptions::operator==(const HandsFreeOptions &other) const
{
    return autoRecord == other.autoRecord && sound == other.sound && rule == other.rule;
}

const std::array<SettleParameterInfo, 6> &settleParameterInfos()
{
    static const std::array<SettleParameterInfo, 6> infos{{
        {SettleParameter::SettleCount, "settleReadings", OptionTexts::tr("Readings to settle"), QString(), 2, 10, true},
        {SettleParameter::ResistancePercent, "resistanceTolerance", OptionTexts::tr("Resistance tolerance"), QStringLiteral("%"), 0.01, 20, false},
        {SettleParameter::ResistanceFloor, "resistanceFloor", OptionTexts::tr("Resistance tolerance at least"), QStringLiteral("mOhm"), 0, 100, false},
        {SettleParameter::VoltagePercent, "voltageTolerance", OptionTexts::tr("Voltage tolerance"), QStringLiteral("%"), 0.01, 10, false},
        {SettleParameter::VoltageFloor, "voltageFloor", OptionTexts::tr("Voltage tolerance at least"), QStringLiteral("mV"), 0, 1000, false},
        {SettleParameter::LiftVolts, "liftVoltage", OptionTexts::tr("Lifted below"), QStringLiteral("V"), 0.01, 5, false},
    }};
    return infos;
}

double parameterValue(const SettleRule &rule, SettleParameter parameter)
{
    switch (parameter) {
    case SettleParameter::SettleCount: return rule.settleCount;
    case SettleParameter::ResistancePercent: return rule.resistancePercent;
    case SettleParameter::ResistanceFloor: return rule.resistanceFloorOhms * 1000.0;
    case SettleParameter::VoltagePercent: return rule.voltagePercent;
    case SettleParameter::VoltageFloor: return rule.voltageFloorVolts * 1000.0;
    case SettleParameter::LiftVolts: return rule.liftVolts;
    }
    return 0;
}

void setParameterValue(SettleRule &rule, SettleParameter parameter, double value)
{
    switch (parameter) {
    case SettleParameter::SettleCount: rule.settleCount = int(value); break;
    case SettleParameter::ResistancePercent: rule.resistancePercent = value; break;
    case SettleParameter::ResistanceFloor: rule.resistanceFloorOhms = value / 1000.0; break;
    case SettleParameter::VoltagePercent: rule.voltagePercent = value; break;
    case SettleParameter::VoltageFloor: rule.voltageFloorVolts = value / 1000.0; break;
    case SettleParameter::LiftVolts: rule.liftVolts = value; break;
    }
}

static const SettleParameterInfo &infoOf(SettleParameter parameter)
{
    for (const SettleParameterInfo &info : settleParameterInfos()) {
        if (info.parameter == parameter)
            return info;
    }
    return settleParameterInfos().front();
}

std::optional<QString> parseParameter(const QString &text, SettleParameter parameter, SettleRule &rule)
{
    const SettleParameterInfo &info = infoOf(parameter);
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value)) {
        return OptionTexts::tr("%1: \"%2\" is not a number. Use digits and \".\" as the decimal point.")
            .arg(info.label, text.trimmed());
    }
    if (!inBounds(info, value)) {
        const QString unit = info.unit.isEmpty() ? QString() : QLatin1Char(' ') + info.unit;
        return OptionTexts::tr("%1 must be %2 from %3 to %4%5.")
            .arg(info.label, info.whole ? OptionTexts::tr("a whole number") : OptionTexts::tr("a number"),
                 boundText(info.minimum), boundText(info.maximum), unit);
    }
    setParameterValue(rule, parameter, value);
    return std::nullopt;
}

QString parameterText(const SettleRule &rule, SettleParameter parameter)
{
    return boundText(parameterValue(rule, parameter));
}

QString handsFreeOptionsPath(const QString &folder)
{
    return QDir(folder).filePath(QString::fromLatin1(kHandsFreeFileName));
}

HandsFreeOptions loadHandsFreeOptions(const QString &folder, QString *refusal)
{
    HandsFreeOptions options;
    const QString path = handsFreeOptionsPath(folder);
    if (refusal)
        refusal->clear();
    // Only a regular file is read: a pipe or device at that name is left alone.
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return options;
    if (const QString tooLarge = sizeRefusal(info); !tooLarge.isEmpty()) {
        if (refusal)
            *refusal = tooLarge;
        return options;
    }
    const QSettings stored(path, QSettings::IniFormat);
    const auto flag = [&stored](const QString &key, bool fallback) {
        const QString text = stored.value(key).toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("1"))
            return true;
        if (text == QLatin1String("false") || text == QLatin1String("0"))
            return false;
        return fallback;
    };
    options.autoRecord = flag(kAutoRecordKey, options.autoRecord);
    options.sound = flag(kSoundKey, options.sound);
    for (const SettleParameterInfo &info : settleParameterInfos()) {
        const QVariant value = stored.value(QStringLiteral("AutoRecord/%1").arg(QLatin1String(info.key)));
        if (!value.isValid())
            continue;
        SettleRule candidate = options.rule;
        if (!parseParameter(value.toString(), info.parameter, candidate))
            options.rule = candidate;
    }
    return options;
}

bool saveHandsFreeOptions(const QString &folder, const HandsFreeOptions &options, QString *reason)
{
    const QString path = handsFreeOptionsPath(folder);
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        if (reason)
            *reason = OptionTexts::tr("%1 is not a regular file").arg(QDir::toNativeSeparators(path));
        return false;
    }
    // Saving reads the file first to keep what it does not know.
    if (const QString tooLarge = sizeRefusal(info); !tooLarge.isEmpty()) {
        if (reason)
            *reason = tooLarge;
        return false;
    }
    QSettings stored(path, QSettings::IniFormat);
    stored.setValue(kAutoRecordKey, options.autoRecord);
    for (const SettleParameterInfo &info : settleParameterInfos()) {
        stored.setValue(QStringLiteral("AutoRecord/%1").arg(QLatin1String(info.key)),
                        parameterText(options.rule, info.parameter));
    }
    stored.setValue(kSoundKey, options.sound);
    stored.sync();
    if (stored.status() != QSettings::NoError) {
        if (reason)
            *reason = OptionTexts::tr("Cannot write %1").arg(QDir::toNativeSeparators(path));
        return false;
    }
    return true;
}

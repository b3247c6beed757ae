#include "settings/handsfreeoptions.h"

#include "settings/optionsfile.h"
#include "settings/settingsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>

#include <cmath>

namespace {
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

Status setParameterFromText(const QString &text, SettleParameter parameter, SettleRule &rule)
{
    const SettleParameterInfo &info = infoOf(parameter);
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value)) {
        return Failure(OptionTexts::tr("%1: \"%2\" is not a number. Use digits and \".\" as the decimal point.")
                               .arg(info.label, text.trimmed()));
    }
    if (!inBounds(info, value)) {
        const QString unit = info.unit.isEmpty() ? QString() : QLatin1Char(' ') + info.unit;
        return Failure(OptionTexts::tr("%1 must be %2 from %3 to %4%5.")
                               .arg(info.label, info.whole ? OptionTexts::tr("a whole number") : OptionTexts::tr("a number"),
                                    boundText(info.minimum), boundText(info.maximum), unit));
    }
    setParameterValue(rule, parameter, value);
    return {};
}

QString parameterText(const SettleRule &rule, SettleParameter parameter)
{
    return boundText(parameterValue(rule, parameter));
}

QString handsFreeOptionsPath(const QString &folder)
{
    return QDir(folder).filePath(QString::fromLatin1(kHandsFreeFileName));
}

Result<HandsFreeOptions> loadHandsFreeOptions(const QString &folder)
{
    HandsFreeOptions options;
    const QString path = handsFreeOptionsPath(folder);
    // Only a regular file is read: a pipe or device at that name is left alone.
    const QFileInfo info(path);
    if (!info.isFile())
        return options;
    if (const QString refused = optionsFileRefusal(info); !refused.isEmpty())
        return Failure(ErrorKind::FileIo, refused);
    const QSettings stored(path, QSettings::IniFormat);
    options.autoRecord = optionsFlag(stored, kAutoRecordKey, options.autoRecord);
    options.sound = optionsFlag(stored, kSoundKey, options.sound);
    for (const SettleParameterInfo &info : settleParameterInfos()) {
        const QVariant value = stored.value(QStringLiteral("AutoRecord/%1").arg(QLatin1String(info.key)));
        if (!value.isValid())
            continue;
        SettleRule candidate = options.rule;
        if (setParameterFromText(value.toString(), info.parameter, candidate))
            options.rule = candidate;
    }
    return options;
}

Status saveHandsFreeOptions(const QString &folder, const HandsFreeOptions &options)
{
    return saveOptionsFile(handsFreeOptionsPath(folder), [&options](QSettings &stored) {
        stored.setValue(kAutoRecordKey, options.autoRecord);
        for (const SettleParameterInfo &info : settleParameterInfos()) {
            stored.setValue(QStringLiteral("AutoRecord/%1").arg(QLatin1String(info.key)),
                            parameterText(options.rule, info.parameter));
        }
        stored.setValue(kSoundKey, options.sound);
    });
}

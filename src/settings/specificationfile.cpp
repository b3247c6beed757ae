#include "settings/specificationfile.h"

#include "settings/optionsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>

#include <cmath>

namespace {
struct SpecificationTexts
{
    Q_DECLARE_TR_FUNCTIONS(Specification)
};

const char *const kGroups[2] = {"Resistance", "Voltage"};

} // namespace

QString specificationPath(const QString &folder)
{
    return QDir(folder).filePath(QString::fromLatin1(kSpecificationFileName));
}

Result<std::optional<double>> parseSpecLimit(const QString &text, const QString &label)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::optional<double>();
    bool ok = false;
    const double value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return Failure(SpecificationTexts::tr("%1: \"%2\" is no number (use \".\" as the decimal point)")
                               .arg(label, trimmed));
    return std::optional<double>(value);
}

QString specLimitText(const std::optional<double> &value)
{
    return value ? QLocale::c().toString(*value, 'g', 12) : QString();
}

Result<spc::Specification> loadSpecification(const QString &folder)
{
    spc::Specification specification;
    const QString path = specificationPath(folder);
    const QFileInfo info(path);
    if (!info.exists())
        return specification;
    const QString shown = QDir::toNativeSeparators(path);
    if (const QString refusal = optionsFileRefusal(info); !refusal.isEmpty())
        return Failure(ErrorKind::FileIo, refusal);
    const QSettings stored(path, QSettings::IniFormat);
    if (stored.status() != QSettings::NoError)
        return Failure(ErrorKind::FileIo, SpecificationTexts::tr("%1: cannot be read").arg(shown));
    for (std::size_t t = 0; t < 2; ++t) {
        spc::SpecLimits &limits = specification.quantities[t];
        const QString group = QLatin1String(kGroups[t]);
        for (auto [key, field] : {std::pair{"LSL", &limits.lower}, std::pair{"USL", &limits.upper},
                                  std::pair{"Target", &limits.target}}) {
            const QString name = QStringLiteral("%1/%2").arg(group, QLatin1String(key));
            // QSettings reads "3.5, 3.6" as a list: its text whole is the value.
            const QVariant raw = stored.value(name);
            const QString text = raw.typeId() == QMetaType::QStringList ? raw.toStringList().join(QLatin1Char(','))
                                                                        : raw.toString();
            const Result<std::optional<double>> value = parseSpecLimit(text, name);
            if (!value)
                return Failure(SpecificationTexts::tr("%1: %2").arg(shown, value.errorString()));
            *field = *value;
        }
        if (const QString problem = spc::specificationProblem(limits); !problem.isEmpty())
            return Failure(SpecificationTexts::tr("%1: [%2] %3").arg(shown, group, problem));
    }
    return specification;
}

Status saveSpecification(const QString &folder, const spc::Specification &specification)
{
    return saveOptionsFile(specificationPath(folder), [&specification](QSettings &stored) {
        for (std::size_t t = 0; t < 2; ++t) {
            const spc::SpecLimits &limits = specification.quantities[t];
            const QString group = QLatin1String(kGroups[t]);
            stored.setValue(group + QStringLiteral("/LSL"), specLimitText(limits.lower));
            stored.setValue(group + QStringLiteral("/USL"), specLimitText(limits.upper));
            stored.setValue(group + QStringLiteral("/Target"), specLimitText(limits.target));
        }
    });
}

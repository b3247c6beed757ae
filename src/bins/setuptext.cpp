#include "bins/setuptext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

std::optional<BinTable> tableOf(const QJsonObject &object)
{
    const QString mode = object.value(QStringLiteral("mode")).toString();
    BinTable table;
    if (mode == QLatin1String("Max - Min"))
        table.mode = BinMode::MaxMin;
    else if (mode == QLatin1String("Min - Step"))
        table.mode = BinMode::MinStep;
    else if (mode == QLatin1String("Ref - %"))
        table.mode = BinMode::RefPercent;
    else
        return std::nullopt;
    const int bins = object.value(QStringLiteral("bins")).toInt(-1);
    const QJsonArray lower = object.value(QStringLiteral("lower")).toArray();
    const QJsonArray upper = object.value(QStringLiteral("upper")).toArray();
    if (bins < 0 || bins > 9 || lower.size() != upper.size() || lower.size() > bins)
        return std::nullopt;
    table.numBins = qint16(bins);
    table.maxValue = float(object.value(QStringLiteral("max")).toDouble());
    table.minValue = float(object.value(QStringLiteral("min")).toDouble());
    table.stepValue = float(object.value(QStringLiteral("step")).toDouble());
    table.refValue = float(object.value(QStringLiteral("ref")).toDouble());
    table.percentValue = float(object.value(QStringLiteral("percent")).toDouble());
    for (qsizetype i = 0; i < lower.size(); ++i) {
        if (!lower.at(i).isDouble() || !upper.at(i).isDouble())
            return std::nullopt;
        table.lowerLimit[std::size_t(i)] = float(lower.at(i).toDouble());
        table.upperLimit[std::size_t(i)] = float(upper.at(i).toDouble());
    }
    return table;
}

} // namespace

std::optional<std::array<BinTable, 2>> tablesOfSetupText(const QString &text)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const std::optional<BinTable> resistance = tableOf(document.object().value(QStringLiteral("resistance")).toObject());
    const std::optional<BinTable> voltage = tableOf(document.object().value(QStringLiteral("voltage")).toObject());
    if (!resistance || !voltage)
        return std::nullopt;
    return std::array<BinTable, 2>{*resistance, *voltage};
}

#include "bins/setuphash.h"

#include "bins/bintable.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <charconv>
#include <cstdlib>

namespace {

// The shortest decimal that reads back as the float, as a double: 0.1f is
// written 0.1, not 0.10000000149011612.
double shortest(float value)
{
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size() - 1, value);
    *result.ptr = '\0';
    return std::strtod(buffer.data(), nullptr);
}

QString modeName(BinMode mode)
{
    switch (mode) {
    case BinMode::MinStep:
        return QStringLiteral("Min - Step");
    case BinMode::RefPercent:
        return QStringLiteral("Ref - %");
    case BinMode::MaxMin:
        break;
    }
    return QStringLiteral("Max - Min");
}

QJsonObject tableObject(const BinTable &table, const char *unit)
{
    QJsonArray lower;
    QJsonArray upper;
    const int used = qBound(0, int(table.numBins), int(table.upperLimit.size()));
    for (int i = 0; i < used; ++i) {
        lower.append(shortest(table.lowerLimit[size_t(i)]));
        upper.append(shortest(table.upperLimit[size_t(i)]));
    }
    return QJsonObject{
        {QStringLiteral("unit"), QLatin1String(unit)},
        {QStringLiteral("mode"), modeName(table.mode)},
        {QStringLiteral("bins"), int(table.numBins)},
        {QStringLiteral("max"), shortest(table.maxValue)},
        {QStringLiteral("min"), shortest(table.minValue)},
        {QStringLiteral("step"), shortest(table.stepValue)},
        {QStringLiteral("ref"), shortest(table.refValue)},
        {QStringLiteral("percent"), shortest(table.percentValue)},
        {QStringLiteral("lower"), lower},
        {QStringLiteral("upper"), upper},
    };
}

} // namespace

BinSetup binSetupOf(const BinTable &resistance, const BinTable &voltage)
{
    const QJsonObject setup{
        {QStringLiteral("resistance"), tableObject(resistance, "mOhm")},
        {QStringLiteral("voltage"), tableObject(voltage, "V")},
    };
    // QJsonObject keeps its keys sorted, so the compact text is canonical.
    const QByteArray text = QJsonDocument(setup).toJson(QJsonDocument::Compact);
    BinSetup result;
    result.text = QString::fromUtf8(text);
    result.hash = QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex());
    return result;
}

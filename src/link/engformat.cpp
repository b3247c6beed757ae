#include "link/engformat.h"

#include "common/numericvalue.h"
#include "link/testernumber.h"

Units initUnits()
{
    return Units{QStringLiteral("Ohm"), QStringLiteral("V")};
}

namespace {

// fmtEngValue's text in its two parts: a marker is all mantissa; isUnit is
// false when an exponent stands where the unit would.
struct EngParts
{
    QString mantissa;
    QString unit;
    bool isUnit = false;
};

EngParts engParts(const QString &text, Quantity quantity, const Units &units)
{
    const double v = numericValue(text);
    if (isNoReadingMark(v))
        return {QStringLiteral("------"), QString(), false};
    if (isOverflowMark(v))
        return {v < 0 ? QStringLiteral("-OF") : QStringLiteral("OF"), QString(), false};

    // Only a capital "E" starts the exponent part; "1.2e-3" stays whole.
    const qsizetype e = text.indexOf(QLatin1Char('E'), 0, Qt::CaseSensitive);
    const QString mantissa = e < 0 ? text : text.left(e);
    const QString exponent = e < 0 ? QString() : text.mid(e);

    if (quantity == Quantity::Voltage)
        return {mantissa, units.unitV, true};
    if (exponent == QLatin1String("E-3"))
        return {mantissa, QLatin1String("m") + units.unitR, true};
    if (exponent.isEmpty() || exponent == QLatin1String("E+0"))
        return {mantissa, units.unitR, true};
    if (exponent == QLatin1String("E+3"))
        return {mantissa, QLatin1String("k") + units.unitR, true};
    return {mantissa, exponent, false};
}

} // namespace

QString fmtEngValue(const QString &text, Quantity quantity, const Units &units)
{
    const EngParts parts = engParts(text, quantity, units);
    return parts.mantissa + parts.unit;
}

QString displayEngValue(const QString &text, Quantity quantity, const Units &units)
{
    const EngParts parts = engParts(text, quantity, units);
    const bool spaced = parts.isUnit && !parts.mantissa.trimmed().isEmpty();
    return spaced ? parts.mantissa + QLatin1Char(' ') + parts.unit : parts.mantissa + parts.unit;
}

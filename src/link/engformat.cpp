#include "link/engformat.h"

#include "common/numericvalue.h"
#include "link/testernumber.h"

Units initUnits()
{
    return Units{QStringLiteral("Ohm"), QStringLiteral("V")};
}

QString fmtEngValue(const QString &text, Quantity quantity, const Units &units)
{
    const double v = numericValue(text);
    if (isNoReadingMark(v))
        return QStringLiteral("------");
    if (isOverflowMark(v))
        return v < 0 ? QStringLiteral("-OF") : QStringLiteral("OF");

    // Only a capital "E" starts the exponent part; "1.2e-3" stays whole.
    const qsizetype e = text.indexOf(QLatin1Char('E'), 0, Qt::CaseSensitive);
    const QString mantissa = e < 0 ? text : text.left(e);
    const QString exponent = e < 0 ? QString() : text.mid(e);

    QString unit;
    if (quantity == Quantity::Voltage)
        unit = units.unitV;
    else if (exponent == QLatin1String("E-3"))
        unit = QLatin1String("m") + units.unitR;
    else if (exponent.isEmpty() || exponent == QLatin1String("E+0"))
        unit = units.unitR;
    else if (exponent == QLatin1String("E+3"))
        unit = QLatin1String("k") + units.unitR;
    else
        unit = exponent;
    return mantissa + unit;
}

#include "bins/bintable.h"

#include "common/apperror.h"
#include "common/numericvalue.h"
#include "common/patterns.h"

#include <cstddef>

bool BinTable::operator==(const BinTable &other) const
{
    return mode == other.mode && numBins == other.numBins && maxValue == other.maxValue
        && minValue == other.minValue && stepValue == other.stepValue && refValue == other.refValue
        && percentValue == other.percentValue && upperLimit == other.upperLimit
        && lowerLimit == other.lowerLimit && binCount == other.binCount
        && totalCount == other.totalCount;
}

void calcBinLimits(BinTable &table)
{
    const int n = table.numBins;
    if (n > int(table.upperLimit.size()))
        throw AppError(errors::kSubscriptOutOfRange,
                       QStringLiteral("Subscript out of range: %1 BINs").arg(n));

    const double minValue = table.minValue;
    switch (table.mode) {
    case 0: {
        // The width is used as the float it would be stored as, so that every
        // row's lower limit repeats the previous row's upper limit exactly.
        const double width = n > 0 ? double(toSingle((double(table.maxValue) - minValue) / n)) : 0.0;
        for (int i = 0; i < n; ++i) {
            table.lowerLimit[std::size_t(i)] = toSingle(minValue + i * width);
            table.upperLimit[std::size_t(i)] = toSingle(minValue + (i + 1) * width);
        }
        break;
    }
    case 1: {
        const double step = table.stepValue;
        for (int i = 0; i < n; ++i) {
            table.lowerLimit[std::size_t(i)] = toSingle(minValue + i * step);
            table.upperLimit[std::size_t(i)] = toSingle(minValue + (i + 1) * step);
        }
        break;
    }
    case 2: {
        const double ref = table.refValue;
        for (int i = 0; i < n; ++i) {
            const double p = double(table.percentValue) * 0.01 * (i + 1);
            table.lowerLimit[std::size_t(i)] = toSingle((1.0 - p) * ref);
            table.upperLimit[std::size_t(i)] = toSingle((1.0 + p) * ref);
        }
        break;
    }
    default:
        return;
    }

    // Row 9 is never in use and keeps what it holds.
    for (int i = n > 0 ? n : 0; i < 9; ++i) {
        table.lowerLimit[std::size_t(i)] = 0.0f;
        table.upperLimit[std::size_t(i)] = 0.0f;
    }
}

void clrBinCount(BinTable &table)
{
    table.binCount.fill(0);
    table.totalCount = 0;
}

qint16 binModeFromButtons(bool selected0, bool selected1, bool selected2)
{
    if (selected0)
        return 0;
    if (selected1)
        return 1;
    if (selected2)
        return 2;
    return 0;
}

QString getFormatR(float value)
{
    const char *pattern = "0.0###";
    if (value > 100000)
        pattern = "0";
    else if (value > 10000)
        pattern = "0.0";
    else if (value > 1000)
        pattern = "0.0#";
    else if (value > 100)
        pattern = "0.0##";
    return formatNumber(value, QLatin1String(pattern));
}

QString getFormatV(float value)
{
    const char *pattern = "0.0####";
    if (value > 100)
        pattern = "0.0##";
    else if (value > 10)
        pattern = "0.0###";
    return formatNumber(value, QLatin1String(pattern));
}

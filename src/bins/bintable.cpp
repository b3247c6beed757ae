#include "bins/bintable.h"

#include "common/numericvalue.h"
#include "common/patterns.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <cstddef>

namespace {
struct ErrorTexts
{
    Q_DECLARE_TR_FUNCTIONS(Errors)
};
} // namespace

bool BinTable::operator==(const BinTable &other) const
{
    return mode == other.mode && numBins == other.numBins && maxValue == other.maxValue
        && minValue == other.minValue && stepValue == other.stepValue && refValue == other.refValue
        && percentValue == other.percentValue && upperLimit == other.upperLimit
        && lowerLimit == other.lowerLimit && binCount == other.binCount
        && totalCount == other.totalCount;
}

Status calcBinLimits(BinTable &table)
{
    const int n = table.numBins;
    if (n > int(table.upperLimit.size()))
        return Failure(ErrorKind::SubscriptOutOfRange, ErrorTexts::tr("Subscript out of range: %1 BINs").arg(n));

    // Row i's limits, the lower one first: a limit that leaves the float range
    // stops the computation there.
    const auto setRow = [&table](int i, double lower, double upper) -> Status {
        const Result<float> lowerLimit = toSingle(lower);
        if (!lowerLimit)
            return lowerLimit.failure();
        table.lowerLimit[std::size_t(i)] = *lowerLimit;
        const Result<float> upperLimit = toSingle(upper);
        if (!upperLimit)
            return upperLimit.failure();
        table.upperLimit[std::size_t(i)] = *upperLimit;
        return {};
    };

    const double minValue = table.minValue;
    switch (table.mode) {
    case BinMode::MaxMin: {
        // The width is used as the float it would be stored as, so that every
        // row's lower limit repeats the previous row's upper limit exactly.
        double width = 0.0;
        if (n > 0) {
            const Result<float> storedWidth = toSingle((double(table.maxValue) - minValue) / n);
            if (!storedWidth)
                return storedWidth.failure();
            width = double(*storedWidth);
        }
        for (int i = 0; i < n; ++i) {
            if (Status row = setRow(i, minValue + i * width, minValue + (i + 1) * width); !row)
                return row;
        }
        break;
    }
    case BinMode::MinStep: {
        const double step = table.stepValue;
        for (int i = 0; i < n; ++i) {
            if (Status row = setRow(i, minValue + i * step, minValue + (i + 1) * step); !row)
                return row;
        }
        break;
    }
    case BinMode::RefPercent: {
        const double ref = table.refValue;
        for (int i = 0; i < n; ++i) {
            const double p = double(table.percentValue) * 0.01 * (i + 1);
            if (Status row = setRow(i, (1.0 - p) * ref, (1.0 + p) * ref); !row)
                return row;
        }
        break;
    }
    default:
        return {};
    }

    // Row 9 is never in use and keeps what it holds.
    for (int i = n > 0 ? n : 0; i < 9; ++i) {
        table.lowerLimit[std::size_t(i)] = 0.0f;
        table.upperLimit[std::size_t(i)] = 0.0f;
    }
    return {};
}

void clrBinCount(BinTable &table)
{
    table.binCount.fill(0);
    table.totalCount = 0;
}

BinMode binModeFromButtons(bool selected0, bool selected1, bool selected2)
{
    if (selected0)
        return BinMode::MaxMin;
    if (selected1)
        return BinMode::MinStep;
    if (selected2)
        return BinMode::RefPercent;
    return BinMode::MaxMin;
}

BinMode binModeFromNumber(int number)
{
    switch (number) {
    case int(BinMode::MinStep):
        return BinMode::MinStep;
    case int(BinMode::RefPercent):
        return BinMode::RefPercent;
    default:
        return BinMode::MaxMin;
    }
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

QString describeLimits(const BinTable &table, QString (*format)(float))
{
    QStringList bins;
    for (int r = 0; r < std::clamp<int>(table.numBins, 0, 9); ++r) {
        bins << QStringLiteral("%1: %2-%3")
                    .arg(r + 1)
                    .arg(format(table.lowerLimit[std::size_t(r)]), format(table.upperLimit[std::size_t(r)]));
    }
    return bins.join(QStringLiteral(", "));
}

QString describeCounts(const BinTable &table)
{
    QStringList counts;
    for (int r = 0; r < 9; ++r)
        counts << QStringLiteral("%1: %2").arg(r + 1).arg(table.binCount[std::size_t(r)]);
    counts << QStringLiteral("out: %1").arg(table.binCount[9]);
    return counts.join(QStringLiteral(", "));
}

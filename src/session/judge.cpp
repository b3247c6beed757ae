#include "session/judge.h"

#include "common/apperror.h"
#include "common/numericvalue.h"

#include <QRegularExpression>

#include <cstddef>
#include <limits>
#include <utility>

namespace {

constexpr int kBinsPerTable = 9;
constexpr float kStartMax = -1e10f;
constexpr float kStartMin = 1e10f;

// Counters are 16-bit: one more past the largest count is an overflow, never a wrap.
void countOne(qint16 &counter)
{
    if (counter == std::numeric_limits<qint16>::max())
        throw AppError(ErrorKind::Overflow, QStringLiteral("Overflow"));
    ++counter;
}

} // namespace

Judgement judgeTable(const BinTable &table, float judgedValue, bool armed)
{
    Judgement result;
    // Every BIN needs its own cell in the grid row, and binCount entry 9 is the
    // OUT counter, so a tenth BIN could be neither shown nor counted.
    if (table.numBins > kBinsPerTable)
        throw AppError(ErrorKind::SubscriptOutOfRange,
                       QStringLiteral("Subscript out of range: %1 BINs").arg(table.numBins));

    result.table = table;
    BinTable &work = result.table;
    float overallMax = kStartMax;
    float overallMin = kStartMin;
    const std::size_t rowsInUse = table.numBins > 0 ? std::size_t(table.numBins) : 0;
    result.binsInUse = int(rowsInUse);

    for (std::size_t r = 0; r < rowsInUse; ++r) {
        float hi = work.upperLimit[r];
        float lo = work.lowerLimit[r];
        if (hi < lo)
            std::swap(hi, lo);
        if (hi > overallMax)
            overallMax = hi;
        if (lo < overallMin)
            overallMin = lo;

        const bool inBin = lo <= judgedValue && judgedValue < hi;
        // "Ref - %" BINs are nested bands: the first (narrowest) match is the result.
        if (inBin && !(work.mode == BinMode::RefPercent && result.matched())) {
            result.lit.set(r);
            if (armed)
                countOne(work.binCount[r]);
        }
    }

    if (result.matched()) {
        result.out = OutSide::None;
    } else {
        // Both tests run; with no BINs both hold and "-Out" is what stays.
        result.out = OutSide::Between;
        if (judgedValue >= overallMax)
            result.out = OutSide::Above;
        if (judgedValue <= overallMin)
            result.out = OutSide::Below;
    }

    if (armed) {
        if (!result.matched())
            countOne(work.binCount[9]);
        countOne(work.totalCount);
    }
    return result;
}

float judgedValueOf(const QString &field, int t)
{
    switch (t) {
    case 0:
        return toSingle(numericValue(field) * 1000.0);
    case 1:
        return toSingle(numericValue(field));
    default:
        throw AppError(ErrorKind::SubscriptOutOfRange,
                       QStringLiteral("Subscript out of range: table %1").arg(t));
    }
}

std::optional<float> readingValueOf(const QString &field, int t)
{
    // Sign, digits with an optional decimal point, optional exponent: the
    // notations the tester writes its numbers in.
    static const QRegularExpression number(
        QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([EeDd][+-]?\\d+)?\\s*$"));
    if (!number.match(field).hasMatch())
        return std::nullopt;
    try {
        return judgedValueOf(field, t);
    } catch (const AppError &) {
        return std::nullopt;
    }
}

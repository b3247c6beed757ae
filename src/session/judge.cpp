#include "session/judge.h"

#include "common/apperror.h"
#include "common/colours.h"
#include "common/numericvalue.h"

#include <QRegularExpression>

#include <cstddef>
#include <limits>
#include <utility>

namespace {

constexpr float kStartMax = -1e10f;
constexpr float kStartMin = 1e10f;

// Counters are 16-bit: one more past the largest count is an overflow, never a wrap.
void countOne(qint16 &counter)
{
    if (counter == std::numeric_limits<qint16>::max())
        throw AppError(errors::kOverflow, QStringLiteral("Overflow"));
    ++counter;
}

} // namespace

Judgement judgeTable(const BinTable &table, float judgedValue, bool armed)
{
    Judgement result;
    // Every BIN needs its own cell in the grid row, and binCount entry 9 is the
    // OUT counter, so a tenth BIN could be neither shown nor counted.
    if (table.numBins > int(result.cellColours.size()))
        throw AppError(errors::kSubscriptOutOfRange,
                       QStringLiteral("Subscript out of range: %1 BINs").arg(table.numBins));

    result.table = table;
    BinTable &work = result.table;
    float overallMax = kStartMax;
    float overallMin = kStartMin;
    const std::size_t rowsInUse = table.numBins > 0 ? std::size_t(table.numBins) : 0;

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
        if (inBin && !(work.mode == 2 && result.matched)) {
            result.cellColours[r] = colours::kLit;
            if (armed)
                countOne(work.binCount[r]);
            result.matched = true;
        } else {
            result.cellColours[r] = colours::kUnlit;
        }
    }
    for (std::size_t r = rowsInUse; r < result.cellColours.size(); ++r)
        result.cellColours[r] = colours::kUnused;

    if (result.matched) {
        result.outCaption = QString();
        result.outColour = colours::kUnused;
    } else {
        // Both tests run; with no BINs both hold and "-Out" is what stays.
        if (judgedValue >= overallMax)
            result.outCaption = QStringLiteral("+Out");
        if (judgedValue <= overallMin)
            result.outCaption = QStringLiteral("-Out");
        result.outColour = colours::kLit;
    }

    if (armed) {
        if (!result.matched)
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
        throw AppError(errors::kSubscriptOutOfRange,
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

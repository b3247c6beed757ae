#include "bins/judge.h"

#include <cstddef>
#include <limits>
#include <utility>
#include <QCoreApplication>

namespace {
struct ErrorTexts
{
    Q_DECLARE_TR_FUNCTIONS(Errors)
};

constexpr int kBinsPerTable = 9;
constexpr float kStartMax = -1e10f;
constexpr float kStartMin = 1e10f;

// Counters are 16-bit: a full one stops the count, it never wraps.
bool isFull(qint16 counter)
{
    return counter == std::numeric_limits<qint16>::max();
}

} // namespace

Result<Judgement> judgeTable(const BinTable &table, float judgedValue, bool armed)
{
    Judgement result;
    // Every BIN needs its own cell in the grid row, and binCount entry 9 is the
    // OUT counter, so a tenth BIN could be neither shown nor counted.
    if (table.numBins > kBinsPerTable)
        return Failure(ErrorKind::SubscriptOutOfRange,
                       ErrorTexts::tr("Subscript out of range: %1 BINs").arg(table.numBins));

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
        if (inBin && !(work.mode == BinMode::RefPercent && result.matched()))
            result.lit.set(r);
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
        // Every counter this cell adds to must have room, or none counts it.
        bool full = isFull(work.totalCount) || (!result.matched() && isFull(work.binCount[9]));
        for (std::size_t r = 0; r < rowsInUse; ++r)
            full = full || (result.lit[r] && isFull(work.binCount[r]));
        if (full) {
            result.counterFull = true;
            result.table = table;
            return result;
        }
        for (std::size_t r = 0; r < rowsInUse; ++r) {
            if (result.lit[r])
                ++work.binCount[r];
        }
        if (!result.matched())
            ++work.binCount[9];
        ++work.totalCount;
    }
    return result;
}

#pragma once

// Cells for the pack planner's tests and benchmark, as a bench records them:
// the resistance to three decimals of a milliohm, the voltage to four
// decimals of a volt, the capacity in whole mAh. The same arguments give the
// same cells on every build.

#include "pack/pool.h"
#include "pack/seededrandom.h"

#include <QString>
#include <QUuid>

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

// Normal spreads of the generated cells (an 18650 by default).
struct CellSpread
{
    double milliOhmMean = 25;
    double milliOhmSd = 1.5;
    double voltMean = 3.60;
    double voltSd = 0.01;
    double mahMean = 3000;
    double mahSd = 30;
};

// A standard normal draw (Box-Muller), from draws that are the same everywhere.
inline double normalDraw(SeededRandom &random)
{
    constexpr double twoTo53 = 9007199254740992.0;
    const double u1 = (double(random.below(std::uint64_t(twoTo53))) + 0.5) / twoTo53;
    const double u2 = (double(random.below(std::uint64_t(twoTo53))) + 0.5) / twoTo53;
    return std::sqrt(-2 * std::log(u1)) * std::cos(6.283185307179586 * u2);
}

inline PoolCell packCell(const QString &id, double milliOhm, double volt, std::optional<double> mah = std::nullopt)
{
    PoolCell cell;
    cell.cellId = id;
    cell.recordId = QUuid::createUuidV5(QUuid(), id);
    cell.resistanceText = QString::number(milliOhm, 'f', 3) + QStringLiteral("E-3");
    cell.resistanceOhm = cell.resistanceText.toDouble();
    cell.voltageText = QString::number(volt, 'f', 4) + QStringLiteral("E+0");
    cell.voltageV = cell.voltageText.toDouble();
    cell.resistanceBin = QStringLiteral("3");
    cell.voltageBin = QStringLiteral("2");
    if (mah) {
        cell.capacityText = QString::number(std::round(*mah), 'f', 0);
        cell.capacityMah = cell.capacityText.toDouble();
    }
    return cell;
}

inline std::vector<PoolCell> generatedPool(int count, std::uint64_t seed, bool withCapacity,
                                           const CellSpread &spread = {})
{
    SeededRandom random(seed);
    std::vector<PoolCell> cells;
    cells.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        const double milliOhm = spread.milliOhmMean + spread.milliOhmSd * normalDraw(random);
        const double volt = spread.voltMean + spread.voltSd * normalDraw(random);
        const double mah = spread.mahMean + spread.mahSd * normalDraw(random);
        cells.push_back(packCell(QStringLiteral("C%1").arg(i, 5, 10, QLatin1Char('0')), milliOhm, volt,
                                 withCapacity ? std::optional<double>(mah) : std::nullopt));
    }
    return cells;
}

#include "pack/packfigures.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

PackFigures figuresOf(const PackGroups &groups)
{
    PackFigures figures;
    if (groups.empty() || std::any_of(groups.begin(), groups.end(), [](const auto &g) { return g.empty(); }))
        return figures;
    figures.hasCapacity = std::all_of(groups.begin(), groups.end(), [](const std::vector<PoolCell> &group) {
        return std::all_of(group.begin(), group.end(), [](const PoolCell &c) { return c.capacityMah.has_value(); });
    });
    constexpr double inf = std::numeric_limits<double>::infinity();
    double minC = inf, maxC = -inf, sumC = 0;
    double minR = inf, maxR = -inf, sumR = 0;
    double minV = inf, maxV = -inf;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        double capacity = 0, conductance = 0, low = inf, high = -inf, cellSum = 0;
        for (const PoolCell &cell : groups[g]) {
            capacity += cell.capacityMah.value_or(0);
            conductance += 1 / cell.resistanceOhm;
            low = std::min(low, cell.resistanceOhm);
            high = std::max(high, cell.resistanceOhm);
            cellSum += cell.resistanceOhm;
            minV = std::min(minV, cell.voltageV);
            maxV = std::max(maxV, cell.voltageV);
        }
        const double resistance = 1 / conductance;
        minC = std::min(minC, capacity);
        maxC = std::max(maxC, capacity);
        sumC += capacity;
        minR = std::min(minR, resistance);
        maxR = std::max(maxR, resistance);
        sumR += resistance;
        if (g == 0 || high - low > figures.worstGroupSpreadOhm) {
            figures.worstGroupSpreadOhm = high - low;
            figures.worstGroupSpreadPercent = 100 * (high - low) / (cellSum / double(groups[g].size()));
            figures.worstGroup = int(g);
        }
    }
    const double count = double(groups.size());
    if (figures.hasCapacity) {
        figures.capacityRangeMah = maxC - minC;
        figures.capacityRangePercent = 100 * (maxC - minC) / (sumC / count);
        figures.packCapacityMah = minC;
    }
    figures.groupResistanceRangeOhm = maxR - minR;
    figures.groupResistanceRangePercent = 100 * (maxR - minR) / (sumR / count);
    figures.voltageSpreadV = maxV - minV;
    figures.packResistanceOhm = sumR;
    return figures;
}

GroupFigures groupFiguresOf(const std::vector<PoolCell> &group)
{
    GroupFigures figures;
    if (group.empty())
        return figures;
    figures.cells = int(group.size());
    figures.hasCapacity = true;
    double conductance = 0, low = std::numeric_limits<double>::infinity(), high = -low, sum = 0;
    for (const PoolCell &cell : group) {
        conductance += 1 / cell.resistanceOhm;
        low = std::min(low, cell.resistanceOhm);
        high = std::max(high, cell.resistanceOhm);
        sum += cell.resistanceOhm;
        figures.hasCapacity = figures.hasCapacity && cell.capacityMah.has_value();
        figures.capacityMah += cell.capacityMah.value_or(0);
    }
    if (!figures.hasCapacity)
        figures.capacityMah = 0;
    figures.resistanceOhm = 1 / conductance;
    figures.meanOhm = sum / double(group.size());
    figures.spreadOhm = high - low;
    figures.spreadPercent = 100 * figures.spreadOhm / figures.meanOhm;
    return figures;
}

bool spreadWithin(double spanOhm, double meanOhm, double window, SpreadUnit unit)
{
    // A nano-ohm is far below any tester's last digit and far above the
    // rounding of subtracting two resistances.
    constexpr double slack = 1e-9;
    const double limit = unit == SpreadUnit::Percent ? window / 100 * meanOhm : window;
    return spanOhm <= limit + slack;
}

double objectiveOf(const PackFigures &figures, const ObjectiveScale &scale)
{
    double objective = 0;
    if (scale.capacityMah > 0 && figures.hasCapacity)
        objective += figures.capacityRangeMah / scale.capacityMah;
    if (scale.resistanceOhm > 0)
        objective += figures.groupResistanceRangeOhm / scale.resistanceOhm;
    return objective;
}

std::optional<double> lastDigitStep(const QString &text)
{
    static const QRegularExpression shape(
            QStringLiteral("^\\s*[+-]?(\\d*)(?:[.,](\\d*))?(?:[EeDd]([+-]?\\d{1,3}))?\\s*$"));
    const QRegularExpressionMatch match = shape.match(text);
    if (!match.hasMatch() || match.captured(1).size() + match.captured(2).size() == 0)
        return std::nullopt;
    const int exponent = match.captured(3).isEmpty() ? 0 : match.captured(3).toInt();
    return std::pow(10.0, double(exponent - match.captured(2).size()));
}

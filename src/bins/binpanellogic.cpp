#include "bins/binpanellogic.h"

#include "common/apperror.h"
#include "common/numericvalue.h"

#include <cmath>
#include <cstddef>

namespace {

constexpr double kMaxBinsOnPanel = 9;

QString numberForMessage(double value)
{
    return QString::number(value, 'g', 7);
}

qint16 readBinCount(const QString &text)
{
    const double count = roundHalfEven(numericValue(text));
    // The cap to 9 is the panel's own check; a count that still arrives here
    // above 9 would name BINs that have no row on the panel nor a cell in the grid.
    if (std::isnan(count) || count > kMaxBinsOnPanel)
        throw AppError(errors::kSubscriptOutOfRange,
                       QStringLiteral("The BIN count %1 is too large; at most 9 BINs can be set up.")
                           .arg(numberForMessage(count)));
    if (count < -32768)
        throw AppError(errors::kOverflow,
                       QStringLiteral("The BIN count %1 is too small.").arg(numberForMessage(count)));
    return qint16(count);
}

float readParameter(const QString &text, const QString &caption)
{
    const double value = numericValue(text);
    try {
        return toSingle(value);
    } catch (const AppError &) {
        const QString name = caption.chopped(2); // "MIN =" -> "MIN"
        throw AppError(errors::kOverflow,
                       QStringLiteral("The %1 value %2 is too %3 for a BIN table.")
                           .arg(name, numberForMessage(value),
                                value < 0 ? QStringLiteral("small") : QStringLiteral("large")));
    }
}

} // namespace

bool binCountNeedsCap(const QString &binCountText)
{
    return numericValue(binCountText) > kMaxBinsOnPanel;
}

PanelDisplay updateBinTable(BinTable &table, const PanelEntries &entries, QString (*format)(float))
{
    BinTable work = table;
    PanelDisplay display;

    work.mode = binModeFromButtons(entries.modeSelected[0], entries.modeSelected[1],
                                   entries.modeSelected[2]);
    work.numBins = readBinCount(entries.binCountText);

    switch (work.mode) {
    case 0:
        display.firstCaption = QStringLiteral("MIN =");
        display.secondCaption = QStringLiteral("MAX =");
        work.minValue = readParameter(entries.firstText, display.firstCaption);
        work.maxValue = readParameter(entries.secondText, display.secondCaption);
        break;
    case 1:
        display.firstCaption = QStringLiteral("MIN =");
        display.secondCaption = QStringLiteral("STEP =");
        work.minValue = readParameter(entries.firstText, display.firstCaption);
        work.stepValue = readParameter(entries.secondText, display.secondCaption);
        break;
    default: // 2: the read-out of the buttons never gives another mode
        display.firstCaption = QStringLiteral("REF =");
        display.secondCaption = QStringLiteral("% =");
        work.refValue = readParameter(entries.firstText, display.firstCaption);
        work.percentValue = readParameter(entries.secondText, display.secondCaption);
        break;
    }

    try {
        calcBinLimits(work);
    } catch (const AppError &error) {
        throw AppError(error.number(),
                       QStringLiteral("The BIN limits of this set-up lie outside the range of numbers "
                                      "a BIN table can hold."));
    }
    clrBinCount(work);
    table = work;

    for (std::size_t i = 0; i < display.lower.size(); ++i) {
        display.lower[i] = format(table.lowerLimit[i]);
        display.upper[i] = format(table.upperLimit[i]);
    }
    return display;
}

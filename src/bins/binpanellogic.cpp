#include "bins/binpanellogic.h"

#include "common/numericvalue.h"

#include <cmath>
#include <cstddef>
#include <QCoreApplication>

namespace {
struct PanelTexts
{
    Q_DECLARE_TR_FUNCTIONS(BinPanel)
};

constexpr double kMaxBinsOnPanel = 9;

// What the panel's two entry boxes mean in each mode: their captions and the
// table fields they set.
struct ModeEntries
{
    const char *firstCaption;
    const char *secondCaption;
    float BinTable::*firstField;
    float BinTable::*secondField;
};

// Indexed by the mode's number.
constexpr ModeEntries kModeEntries[3] = {
    {QT_TRANSLATE_NOOP("BinPanel", "MIN ="), QT_TRANSLATE_NOOP("BinPanel", "MAX ="), &BinTable::minValue,
     &BinTable::maxValue},
    {QT_TRANSLATE_NOOP("BinPanel", "MIN ="), QT_TRANSLATE_NOOP("BinPanel", "STEP ="), &BinTable::minValue,
     &BinTable::stepValue},
    {QT_TRANSLATE_NOOP("BinPanel", "REF ="), QT_TRANSLATE_NOOP("BinPanel", "% ="), &BinTable::refValue,
     &BinTable::percentValue},
};

QString numberForMessage(double value)
{
    return QString::number(value, 'g', 7);
}

Result<qint16> readBinCount(const QString &text)
{
    const double count = roundHalfEven(numericValue(text));
    // The cap to 9 is the panel's own check; a count that still arrives here
    // above 9 would name BINs that have no row on the panel nor a cell in the grid.
    if (std::isnan(count) || count > kMaxBinsOnPanel)
        return Failure(ErrorKind::SubscriptOutOfRange,
                       PanelTexts::tr("The BIN count %1 is too large; at most 9 BINs can be set up.")
                           .arg(numberForMessage(count)));
    if (count < -32768)
        return Failure(ErrorKind::Overflow,
                       PanelTexts::tr("The BIN count %1 is too small.").arg(numberForMessage(count)));
    return qint16(count);
}

Result<float> readParameter(const QString &text, const QString &caption)
{
    const double value = numericValue(text);
    if (const Result<float> single = toSingle(value))
        return single;
    const QString name = caption.chopped(2); // "MIN =" -> "MIN"
    return Failure(ErrorKind::Overflow,
                   PanelTexts::tr("The %1 value %2 is too %3 for a BIN table.")
                       .arg(name, numberForMessage(value),
                            value < 0 ? PanelTexts::tr("small") : PanelTexts::tr("large")));
}

} // namespace

bool binCountNeedsCap(const QString &binCountText)
{
    return numericValue(binCountText) > kMaxBinsOnPanel;
}

Result<PanelDisplay> updateBinTable(BinTable &table, const PanelEntries &entries, QString (*format)(float))
{
    BinTable work = table;
    PanelDisplay display;

    work.mode = binModeFromButtons(entries.modeSelected[0], entries.modeSelected[1],
                                   entries.modeSelected[2]);
    const Result<qint16> binCount = readBinCount(entries.binCountText);
    if (!binCount)
        return binCount.failure();
    work.numBins = *binCount;

    const ModeEntries &mode = kModeEntries[std::size_t(work.mode)];
    display.firstCaption = PanelTexts::tr(mode.firstCaption);
    display.secondCaption = PanelTexts::tr(mode.secondCaption);
    const Result<float> first = readParameter(entries.firstText, display.firstCaption);
    if (!first)
        return first.failure();
    work.*mode.firstField = *first;
    const Result<float> second = readParameter(entries.secondText, display.secondCaption);
    if (!second)
        return second.failure();
    work.*mode.secondField = *second;

    if (const Status limits = calcBinLimits(work); !limits)
        return Failure(limits.kind(),
                       PanelTexts::tr("The BIN limits of this set-up lie outside the range of numbers "
                                      "a BIN table can hold."));
    clrBinCount(work);
    table = work;

    for (std::size_t i = 0; i < display.lower.size(); ++i) {
        display.lower[i] = format(table.lowerLimit[i]);
        display.upper[i] = format(table.upperLimit[i]);
    }
    return display;
}

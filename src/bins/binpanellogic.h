#pragma once

#include "bins/bintable.h"
#include "common/result.h"

#include <QString>

#include <array>

// What a BIN set-up panel holds: the three mode buttons (index = mode) and the
// texts of its BIN-count box and its two parameter boxes, exactly as typed.
struct PanelEntries
{
    std::array<bool, 3> modeSelected{};
    QString binCountText;
    QString firstText;
    QString secondText;
};

// What the panel shows after an update: the two parameter captions of the mode
// and the nine lower and upper limit texts, BIN 1 first; empty for the rows
// beyond the BIN count.
struct PanelDisplay
{
    QString firstCaption;
    QString secondCaption;
    std::array<QString, 9> lower;
    std::array<QString, 9> upper;
};

// True when the BIN count read from the text is above 9; the panel then
// replaces the box's text by "9" (which raises its own change handling).
bool binCountNeedsCap(const QString &binCountText);

// Rebuilds table from the panel: mode from the buttons, numBins from the count
// (halves to even), the first and second entries into the two fields of that
// mode, the limits recomputed and every counter zeroed. Returns the captions and
// the limit texts made by format (getFormatR or getFormatV).
// A number the table cannot hold (a count outside 16 bits or above 9 BINs, an
// entry outside the float range, limits leaving the float range) leaves table
// exactly as it was and fails (Overflow or SubscriptOutOfRange) with a text
// meant for the operator; the panel then keeps showing the previous limits.
Result<PanelDisplay> updateBinTable(BinTable &table, const PanelEntries &entries, QString (*format)(float));

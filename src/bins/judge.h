#pragma once

#include "bins/bintable.h"
#include "common/result.h"

#include <bitset>

// Where a reading lies when it lights no BIN of a table.
enum class OutSide {
    None,    // a BIN lit
    Above,   // at or above every BIN: "+Out"
    Below,   // at or below every BIN, or the table has no BINs: "-Out"
    Between, // in no BIN, yet neither above nor below them all
};

// What judging one reading against one table gives.
struct Judgement
{
    std::bitset<9> lit; // rows of the lit BINs: one, or in overlapping BINs outside "Ref - %" several
    int binsInUse = 0;  // rows 0..binsInUse-1 are BINs in use
    OutSide out = OutSide::Below;
    BinTable table;     // the updated copy (counters when armed)
    bool counterFull = false; // armed, but a counter to count is at 32767: nothing was counted

    bool matched() const { return lit.any(); }
};

// Judges judgedValue against a copy of table: lower limit included, upper
// excluded, reversed limits exchanged, in "Ref - %" only the first matching row
// lights. When armed, the lit BIN (or OUT) and the total are counted; when one
// of them is already at 32767 nothing is counted and counterFull is set.
// A table of more than nine BINs, which the grid cannot show, fails with
// ErrorKind::SubscriptOutOfRange.
Result<Judgement> judgeTable(const BinTable &table, float judgedValue, bool armed);

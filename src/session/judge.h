#pragma once

#include "bins/bintable.h"

#include <QString>

#include <bitset>
#include <optional>

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

    bool matched() const { return lit.any(); }
};

// Judges judgedValue against a copy of table: lower limit included, upper
// excluded, reversed limits exchanged, in "Ref - %" only the first matching row
// lights. When armed, the lit BIN (or OUT) and the total are counted; a counter
// already at 32767 throws AppError(ErrorKind::Overflow) and nothing is counted.
Judgement judgeTable(const BinTable &table, float judgedValue, bool armed);

// The value field t is judged as: field 0 (ohms) x 1000 as milliohms, field 1
// as volts, rounded to a 32-bit float. Throws AppError(ErrorKind::Overflow) when it
// leaves the float range.
float judgedValueOf(const QString &field, int t);

// The value field t is judged as, or nullopt when the field is no reading: not
// a plain number (an error text such as "ERR" or "OVER", an empty field, a
// number followed by other characters) or a value that leaves the float range.
// Blanks around the number are allowed.
std::optional<float> readingValueOf(const QString &field, int t);

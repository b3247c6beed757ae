#pragma once

#include "bins/bintable.h"

#include <QString>

#include <array>
#include <optional>

// What judging one reading against one table shows and counts.
struct Judgement
{
    std::array<quint32, 9> cellColours{};  // colours:: values, row 0..8
    std::optional<QString> outCaption;     // nullopt: the caption keeps its previous text
    quint32 outColour = 0;
    bool matched = false;                  // a BIN lit
    BinTable table;                        // the updated copy (counters when armed)
};

// Judges judgedValue against a copy of table: lower limit included, upper
// excluded, reversed limits exchanged, in "Ref - %" only the first matching row
// lights. When armed, the lit BIN (or OUT) and the total are counted; a counter
// already at 32767 throws AppError(errors::kOverflow) and nothing is counted.
Judgement judgeTable(const BinTable &table, float judgedValue, bool armed);

// The value field t is judged as: field 0 (ohms) x 1000 as milliohms, field 1
// as volts, rounded to a 32-bit float. Throws AppError(errors::kOverflow) when it
// leaves the float range.
float judgedValueOf(const QString &field, int t);

// The value field t is judged as, or nullopt when the field is no reading: not
// a plain number (an error text such as "ERR" or "OVER", an empty field, a
// number followed by other characters) or a value that leaves the float range.
// Blanks around the number are allowed.
std::optional<float> readingValueOf(const QString &field, int t);

#pragma once

#include "common/result.h"

#include <QString>
#include <QtGlobal>

// The program's one text-to-number rule, used for the operator's entries, the
// tester's replies and the settings file: the leading number of the text.
// Blanks, tabs and line feeds are skipped wherever they stand; an optional sign,
// digits, an optional "." with more digits and an optional exponent (E or D,
// optional sign, digits); "&H" / "&O" introduce a hexadecimal / octal integer.
// Reading stops at the first character that does not fit; no number gives 0.
double numericValue(const QString &text);

// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

// value rounded to a 32-bit float; fails with ErrorKind::Overflow ("Overflow")
// when the result leaves the float range (or value is not a number).
Result<float> toSingle(double value);

// value rounded half-even to a 16-bit signed integer; fails with
// ErrorKind::Overflow ("Overflow") outside -32768..32767.
Result<qint16> toInt16(double value);

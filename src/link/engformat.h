#pragma once

#include "link/testernumber.h"

#include <QString>

struct Units
{
    QString unitR; // resistance
    QString unitV; // voltage
};

// "Ohm" and "V".
Units initUnits();

// Display text of one reply field: "------" from 1e10 up, "OF"/"-OF" from 1e9,
// otherwise the mantissa (before the first capital "E") followed by the unit
// chosen from the exponent part.
QString fmtEngValue(const QString &text, Quantity quantity, const Units &units);

// The same as the windows show it: a blank between the number and its unit
// ("57.053 mOhm", "3.652 V"). An exponent standing where the unit would
// ("4.7E-6"), a field without a number before its unit ("V") and the markers
// stay as fmtEngValue gives them. The data file never takes this text.
QString displayEngValue(const QString &text, Quantity quantity, const Units &units = initUnits());

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

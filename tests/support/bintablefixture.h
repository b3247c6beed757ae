#pragma once

// BIN tables the tests, tools and benchmarks set up with fixed numbers.

#include "bins/bintable.h"

#include <QtGlobal>

// The table with its limits computed. A fixture's numbers always fit a table,
// so a refusal is a fault in the fixture and ends the run.
inline BinTable withLimits(BinTable table)
{
    if (const Status limits = calcBinLimits(table); !limits)
        qFatal("BIN table fixture refused: %s", qPrintable(limits.errorString()));
    return table;
}

// A "Max - Min" table of numBins equal BINs from min to max.
inline BinTable maxMin(qint16 numBins, float min, float max)
{
    BinTable t;
    t.numBins = numBins;
    t.minValue = min;
    t.maxValue = max;
    return withLimits(t);
}

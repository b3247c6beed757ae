#pragma once

#include "bins/batchsummary.h"
#include "record/recordfilereader.h"

#include <QColor>

#include <vector>

class QChart;

// The batch window's three plots, drawn by Qt Charts from the readings and
// the summary's BIN tables.
namespace batchcharts {

// Colour of BIN row r (0..8) of a band or a scatter group.
QColor binColour(int row);
// The colour of readings outside the BINs.
QColor outColour();

// Histogram of quantity t (0 resistance in mOhm, 1 voltage in V) with every
// BIN in use drawn over it as a shaded band labelled with its number. The
// x range holds all readings and all BIN limits.
void fillHistogram(QChart *chart, int t, const std::vector<RecordReading> &readings, const BatchSummary &summary);

// Resistance against voltage, one group per BIN pair present (at most
// maxPoints points, every n-th reading when there are more); a reading that
// is outside the BINs of either table is drawn in the out colour.
void fillScatter(QChart *chart, const std::vector<RecordReading> &readings, const BatchSummary &summary,
                 int maxPoints);

} // namespace batchcharts

#pragma once

#include "bins/shiftanalysis.h"

#include <QString>

class QChart;

// The I-MR charts and the figures beside them, for the batch window and the
// shift report alike.
namespace controlcharts {

// Points per chart the quality window asks an analysis for; more cells are
// drawn as each stretch's extremes.
inline constexpr int kWindowPoints = 4000;

// The individuals chart (movingRange false) or the moving-range chart of
// quantity t (0 resistance, 1 voltage): the points, the centre line, the
// control limits (and 2 sigma on the individuals chart), and the points that
// break a run rule marked.
void fillControlChart(QChart *chart, int t, bool movingRange, const QuantityAnalysis &quantity,
                      qint64 pointStep);

// What a chart of fillControlChart shows, in words for a screen reader: its
// cells, centre line and limits, and how many points are marked.
QString chartSummary(int t, bool movingRange, const QuantityAnalysis &quantity);

// Cp and Cpk with their formula, the sigma used and the limits, as plain text.
QString capabilityText(int t, const QuantityAnalysis &quantity);
// The limits and how many points break each rule, as plain text.
QString limitsText(int t, const QuantityAnalysis &quantity);
// One line per marked point: "cell 17: 13.5 - beyond a control limit", at most
// `lines`, then how many more.
QString marksText(int t, const QuantityAnalysis &quantity, int lines);

// A figure with the quantity's own precision ("12.345" mOhm, "3.6512" V).
QString number(int t, double value);
// "2026-12-07 14:00" for an hour's first second (wall-clock seconds).
QString hourCaption(qint64 stamp);
// "2026-12-07 14:05:09".
QString timeCaption(qint64 stamp);

// An index such as Cpk: two decimals, "-" when not defined.
QString indexText(const std::optional<double> &value);

} // namespace controlcharts

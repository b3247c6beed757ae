#pragma once

#include "bins/shiftanalysis.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class QChart;
class QValueAxis;

// The I-MR charts, the capability histograms and the figures beside them,
// for the quality window and the shift report alike.
namespace controlcharts {

// Points per chart the quality window asks an analysis for; more cells are
// drawn as each stretch's extremes.
inline constexpr int kWindowPoints = 4000;

// The window's charts carry a legend; the report's are smaller, with smaller
// type and without a legend (the report explains the lines once).
enum class Style { Window, Report };

// The individuals chart (movingRange false) or the moving-range chart of
// quantity t (0 resistance, 1 voltage) of one stream: its points in time
// order, the centre line, the control limits (and 2 sigma on the individuals
// chart), and the points that break a run rule marked. A lower limit below
// zero is drawn at 0: neither quantity can be negative.
void fillControlChart(QChart *chart, int t, bool movingRange, const StreamAnalysis &stream,
                      Style style = Style::Window);

// The histogram of quantity t over every stream with the limits capability is
// judged against, the target when given, and the normal curve of the cells'
// mean and overall sigma.
void fillCapabilityHistogram(QChart *chart, int t, const QuantityAnalysis &quantity, Style style = Style::Window);

// What a chart shows, for its accessible description: its main figures.
QString controlChartDescription(int t, bool movingRange, const StreamAnalysis &stream);
QString histogramDescription(int t, const QuantityAnalysis &quantity);

// An axis from `low` to `high` in round steps (1, 2, 2.5 or 5 times a power
// of ten, at most about `ticks` of them), its labels with as many decimals as
// the step needs; `whole` keeps the steps whole numbers (cell numbers).
QValueAxis *roundAxis(QChart *chart, const QString &title, double low, double high, int ticks, bool whole);
// The step roundAxis() takes.
double roundStep(double span, int ticks, bool whole);

// "Resistance" / "Voltage", and their units.
QString quantityName(int t);
QString unit(int t);

// "the outer BIN limits" or "the specification".
QString limitsSourceText(const QuantityAnalysis &quantity);

// The capability of quantity t as plain-text lines: the limits and where
// they come from, n, mean, both sigmas with their formulas, Cp/Cpk and Pp/Ppk
// with the 95 % bounds, and the normality statement; or what is missing.
QStringList capabilityLines(int t, const QuantityAnalysis &quantity, int streams);
// Why there are no indices (too few cells, no limits, no spread); empty when
// there are.
QString capabilityStatusText(int t, const QuantityAnalysis &quantity);
// How the within sigma pools the benches' moving ranges; empty for one bench.
QString pooledSigmaText(const QuantityAnalysis &quantity, int streams);
// The normality statement alone: "the data are not normal (Anderson-Darling
// p = 0.003): Cpk and Ppk assume normal data and may mislead."
QString normalityText(const QuantityAnalysis &quantity);
// The stream's control limits and how many points break each rule.
QString limitsText(int t, const StreamAnalysis &stream);
// The names of the rules a point breaks, joined.
QString ruleNames(unsigned rules);

// A bench's figures as the window's and the report's tables list them:
// yield %, mean and Cpk of resistance, mean and Cpk of voltage, marked points.
QStringList streamFigures(const StreamAnalysis &stream);

// A marked cell as the window and the report list it.
struct MarkRow
{
    QString bench;
    qint64 stamp = 0;
    QString cellId;
    int quantity = 0;
    double value = 0;
    unsigned rules = 0;
    qint64 cell = 0; // the cell's number in its stream from 1
};
// Every kept mark of every stream, by time (then bench and quantity).
std::vector<MarkRow> markRows(const ShiftAnalysis &analysis);

// A figure with the quantity's own precision ("12.345" mOhm, "3.6512" V).
QString number(int t, double value);
// "2026-12-07 14:00" for an hour's first second (wall-clock seconds).
QString hourCaption(qint64 stamp);
// "2026-12-07 14:05:09".
QString timeCaption(qint64 stamp);

// An index such as Cpk: two decimals, "-" when not defined.
QString indexText(const std::optional<double> &value);
// "1.21 (95 %: 1.12 to 1.30)"; the index alone without bounds.
QString indexWithBounds(const std::optional<double> &value, const std::optional<spc::Bounds> &bounds);

} // namespace controlcharts

#pragma once

#include "bins/batchsummary.h"
#include "record/recordfilereader.h"

#include <QColor>
#include <QList>
#include <QPointF>
#include <QScatterSeries>
#include <QString>

#include <array>
#include <utility>
#include <vector>

class QAbstractAxis;
class QChart;
class QChartView;
class QTableWidgetItem;
class QWidget;

// The batch window's three plots, drawn by Qt Charts. What they show is worked
// out first by preparePlots, which touches no widget and so can run on the
// reading thread; the fill functions only hand it to the charts.
namespace batchcharts {

struct Span
{
    double low = 0;
    double high = 1;
};

struct Histogram
{
    Span span;                  // holds every reading and every BIN limit
    std::vector<qint64> counts; // equal bars across the span
};

struct Scatter
{
    Span resistance;
    Span voltage;
    // Key r * 9 + v for BIN pair (r, v); -1 for readings out in either table.
    std::vector<std::pair<int, QList<QPointF>>> groups;
};

struct Plots
{
    std::array<Histogram, 2> histograms;
    Scatter scatter;
    std::size_t scatterStep = 1; // every n-th reading is drawn
};

// At most maxPoints points go to the scatter plot: every n-th reading when
// there are more.
Plots preparePlots(const std::vector<RecordReading> &readings, const BatchSummary &summary, int maxPoints);

// Colour of BIN row r (0..8) of a band or a scatter group.
QColor binColour(int row);
// The colour of readings outside the BINs.
QColor outColour();

// Colour and marker shape of the scatter group of BIN pair (r, v): the hue of
// resistance BIN r, a lightness and a shape per voltage BIN v, so the voltage
// BINs within one resistance BIN are told apart.
QColor pairColour(int r, int v);
QScatterSeries::MarkerShape pairShape(int v);
// "R3 V2" for a group key, "Out" for -1.
QString groupName(int key);
// The scatter plot's legend as rich text: every group with points, each with
// its mark in its colour.
QString scatterLegend(const Scatter &scatter);

// A chart view of the quality window holding a new chart (returned in
// `chart`) with the title, its legend on the right.
QChartView *makeChartView(QWidget *parent, const QString &objectName, const QString &title, QChart *&chart);
// A figure in one of the quality window's tables: right-aligned, read-only.
QTableWidgetItem *figureItem(const QString &text);

// Takes every series and axis off the chart.
void clearChart(QChart *chart);
// Puts x below and y to the left of the chart, on every series it holds.
void attachAxes(QChart *chart, QAbstractAxis *axisX, QAbstractAxis *axisY);

// 1st, 2nd, 3rd, 4th, 11th, 21st, ...
QString ordinal(qint64 n);

// Histogram of quantity t (0 resistance in mOhm, 1 voltage in V) with every
// BIN in use drawn over it as a shaded band labelled with its number.
void fillHistogram(QChart *chart, int t, const Histogram &histogram, const BatchSummary &summary);

// Resistance against voltage, one group per BIN pair present; a reading out
// of either table is drawn in the out colour.
void fillScatter(QChart *chart, const Scatter &scatter);

} // namespace batchcharts

#pragma once

#include "app/quality/batchcharts.h"

#include <QPixmap>
#include <QWidget>

class BatchSummary;
class QChart;
class QChartView;
class QLabel;
class QTableWidget;

// The quality window's first tab, "Distribution": histograms of resistance
// and voltage with the BINs drawn as bands, resistance against voltage
// coloured by BIN pair with its legend, and per quantity a table of count,
// share, mean, spread and range per BIN. Each chart tells a screen reader
// what it shows and its main figures.
class DistributionTab : public QWidget
{
    Q_OBJECT
public:
    explicit DistributionTab(QWidget *parent = nullptr);

    // Shows the summary of `cells` cells and the plots worked out of them.
    void showBatch(const BatchSummary &summary, const batchcharts::Plots &plots, std::size_t cells);
    // The two histograms side by side above the scatter plot, as drawn now.
    QPixmap plotsPicture() const;

private:
    void describeCharts(const BatchSummary &summary, const batchcharts::Plots &plots);
    void fillTable(QTableWidget *table, int t, const BatchSummary &summary);

    QChart *m_histogramR = nullptr;
    QChart *m_histogramV = nullptr;
    QChart *m_scatter = nullptr;
    QChartView *m_histogramRView = nullptr;
    QChartView *m_histogramVView = nullptr;
    QChartView *m_scatterView = nullptr;
    QLabel *m_scatterLegend = nullptr;
    QTableWidget *m_tableR = nullptr;
    QTableWidget *m_tableV = nullptr;
};

#include "app/quality/batchcharts.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
#include <QTableWidgetItem>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <map>

namespace {
struct ChartTexts
{
    Q_DECLARE_TR_FUNCTIONS(BatchCharts)
};
} // namespace

namespace batchcharts {

namespace {

constexpr int kMinBars = 10;
constexpr int kMaxBars = 60;
const char *const kUnits[2] = {QT_TRANSLATE_NOOP("BatchCharts", "Resistance (mOhm)"),
                               QT_TRANSLATE_NOOP("BatchCharts", "Voltage (V)")};

// All readings of t and every limit in use, with a small margin.
Span spanOf(int t, const std::vector<RecordReading> &readings, const BatchSummary &summary)
{
    double low = 1e300;
    double high = -1e300;
    auto include = [&](double value) {
        low = std::min(low, value);
        high = std::max(high, value);
    };
    for (const RecordReading &reading : readings)
        include(t == 0 ? reading.resistance : reading.voltage);
    const BinTable &table = summary.table(t);
    for (int r = 0; r < summary.binsInUse(t); ++r) {
        include(table.lowerLimit[std::size_t(r)]);
        include(table.upperLimit[std::size_t(r)]);
    }
    if (low > high)
        return Span{0, 1};
    const double margin = std::max((high - low) * 0.03, std::max(std::fabs(high), 1.0) * 1e-6);
    return Span{low - margin, high + margin};
}

void hideFromLegend(QChart *chart, QAbstractSeries *series)
{
    for (QLegendMarker *marker : chart->legend()->markers(series))
        marker->setVisible(false);
}

// x and y in nice round steps; the count axis (from 0 to a round top) in
// whole-number steps.
void setAxes(QChart *chart, const QString &xTitle, const QString &yTitle, double xMin, double xMax, double yMin,
             double yMax, bool countAxis)
{
    auto *axisX = new QValueAxis(chart);
    axisX->setTitleText(xTitle);
    axisX->setRange(xMin, xMax);
    axisX->applyNiceNumbers();
    axisX->setLabelFormat(QStringLiteral("%.4g"));
    auto *axisY = new QValueAxis(chart);
    axisY->setTitleText(yTitle);
    axisY->setRange(yMin, yMax);
    if (countAxis) {
        axisY->setTickType(QValueAxis::TicksDynamic);
        axisY->setTickAnchor(0);
        axisY->setTickInterval(yMax / 5);
        axisY->setLabelFormat(QStringLiteral("%.0f"));
    } else {
        axisY->applyNiceNumbers();
        axisY->setLabelFormat(QStringLiteral("%.4g"));
    }
    attachAxes(chart, axisX, axisY);
}

// The smallest of 5, 10, 20, 25, 50, 100, 200, 250, ... at or above value, so
// that a fifth of it is a whole number.
double roundTop(double value)
{
    double decade = 1;
    while (true) {
        for (const double step : {5.0, 10.0, 20.0, 25.0}) {
            if (step * decade >= value)
                return step * decade;
        }
        decade *= 10;
    }
}

} // namespace

QChartView *makeChartView(QWidget *parent, const QString &objectName, const QString &title, QChart *&chart)
{
    chart = new QChart;
    chart->setTitle(title);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setMargins(QMargins(4, 4, 4, 4));
    auto *view = new QChartView(chart, parent);
    view->setObjectName(objectName);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(360, 260);
    return view;
}

QTableWidgetItem *figureItem(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

void clearChart(QChart *chart)
{
    chart->removeAllSeries();
    for (QAbstractAxis *axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
}

void attachAxes(QChart *chart, QAbstractAxis *axisX, QAbstractAxis *axisY)
{
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    for (QAbstractSeries *series : chart->series()) {
        series->attachAxis(axisX);
        series->attachAxis(axisY);
    }
}

QColor binColour(int row)
{
    // Nine hues far enough apart to tell neighbouring BINs apart.
    static const QRgb kColours[9] = {0x1f77b4, 0x2ca02c, 0xff7f0e, 0x9467bd, 0x17becf,
                                     0x8c564b, 0xe377c2, 0xbcbd22, 0x7f7f7f};
    return QColor::fromRgb(kColours[std::clamp(row, 0, 8)]);
}

QColor outColour()
{
    return QColor(0xd6, 0x27, 0x28);
}

QColor pairColour(int r, int v)
{
    // The resistance BIN's hue; the voltage BIN's lightness in even steps
    // from dark to light, so neighbouring shades stay apart.
    const QColor hue = binColour(r);
    const int lightness = 60 + std::clamp(v, 0, 8) * 18;
    return QColor::fromHsl(hue.hslHue(), std::max(hue.hslSaturation(), 90), lightness);
}

QScatterSeries::MarkerShape pairShape(int v)
{
    // The rectangle is the out group's.
    static const QScatterSeries::MarkerShape kShapes[5] = {
        QScatterSeries::MarkerShapeCircle, QScatterSeries::MarkerShapeTriangle,
        QScatterSeries::MarkerShapeRotatedRectangle, QScatterSeries::MarkerShapeStar,
        QScatterSeries::MarkerShapePentagon};
    return kShapes[std::clamp(v, 0, 8) % 5];
}

QString ordinal(qint64 n)
{
    const qint64 lastTwo = n % 100;
    const char *suffix = "th";
    if (lastTwo < 11 || lastTwo > 13) {
        switch (n % 10) {
        case 1:
            suffix = "st";
            break;
        case 2:
            suffix = "nd";
            break;
        case 3:
            suffix = "rd";
            break;
        default:
            break;
        }
    }
    return QString::number(n) + QLatin1String(suffix);
}

QString groupName(int key)
{
    return key < 0 ? ChartTexts::tr("Out") : QStringLiteral("R%1 V%2").arg(key / 9 + 1).arg(key % 9 + 1);
}

QString scatterLegend(const Scatter &scatter)
{
    const auto glyph = [](QScatterSeries::MarkerShape shape) {
        switch (shape) {
        case QScatterSeries::MarkerShapeTriangle:
            return QChar(0x25B2);
        case QScatterSeries::MarkerShapeRotatedRectangle:
            return QChar(0x25C6);
        case QScatterSeries::MarkerShapeStar:
            return QChar(0x2605);
        case QScatterSeries::MarkerShapePentagon:
            return QChar(0x2B1F);
        case QScatterSeries::MarkerShapeRectangle:
            return QChar(0x25A0);
        default:
            return QChar(0x25CF);
        }
    };
    QStringList entries;
    for (const auto &[key, points] : scatter.groups) {
        const QColor colour = key < 0 ? outColour() : pairColour(key / 9, key % 9);
        const QChar mark = glyph(key < 0 ? QScatterSeries::MarkerShapeRectangle : pairShape(key % 9));
        entries << QStringLiteral("<span style=\"white-space:nowrap\"><span style=\"color:%1\">%2</span> %3</span>")
                       .arg(colour.name(), mark, groupName(key));
    }
    return entries.join(QStringLiteral(" &nbsp; "));
}

Plots preparePlots(const std::vector<RecordReading> &readings, const BatchSummary &summary, int maxPoints)
{
    Plots plots;
    for (int t = 0; t < 2; ++t) {
        Histogram &histogram = plots.histograms[std::size_t(t)];
        histogram.span = spanOf(t, readings, summary);
        const int bars = std::clamp(int(std::sqrt(double(readings.size()))), kMinBars, kMaxBars);
        const double width = (histogram.span.high - histogram.span.low) / bars;
        histogram.counts.assign(std::size_t(bars), 0);
        for (const RecordReading &reading : readings) {
            const double value = t == 0 ? reading.resistance : reading.voltage;
            ++histogram.counts[std::size_t(std::clamp(int((value - histogram.span.low) / width), 0, bars - 1))];
        }
    }

    plots.scatterStep = std::max<std::size_t>(1, (readings.size() + std::size_t(maxPoints) - 1) / std::size_t(maxPoints));
    std::map<int, QList<QPointF>> groups;
    for (std::size_t i = 0; i < readings.size(); i += plots.scatterStep) {
        const RecordReading &reading = readings[i];
        const int r = summary.place(0, reading.resistance);
        const int v = summary.place(1, reading.voltage);
        groups[(r < 9 && v < 9) ? r * 9 + v : -1].append(QPointF(reading.resistance, reading.voltage));
    }
    for (auto &[key, points] : groups)
        plots.scatter.groups.emplace_back(key, std::move(points));
    plots.scatter.resistance = plots.histograms[0].span;
    plots.scatter.voltage = plots.histograms[1].span;
    return plots;
}

void fillHistogram(QChart *chart, int t, const Histogram &histogram, const BatchSummary &summary)
{
    clearChart(chart);
    const auto &counts = histogram.counts;
    const int bars = int(counts.size());
    const double width = (histogram.span.high - histogram.span.low) / std::max(bars, 1);
    const qint64 highest = counts.empty() ? 1 : std::max<qint64>(1, *std::max_element(counts.begin(), counts.end()));
    const double top = roundTop(double(highest) * 1.25);

    // BIN bands first, so the histogram is drawn over them.
    const BinTable &table = summary.table(t);
    for (int r = 0; r < summary.binsInUse(t); ++r) {
        const double lo = std::min(table.lowerLimit[std::size_t(r)], table.upperLimit[std::size_t(r)]);
        const double hi = std::max(table.lowerLimit[std::size_t(r)], table.upperLimit[std::size_t(r)]);
        auto *upper = new QLineSeries;
        upper->append(lo, top);
        upper->append(hi, top);
        auto *lower = new QLineSeries;
        lower->append(lo, 0);
        lower->append(hi, 0);
        auto *band = new QAreaSeries(upper, lower);
        // The lines go with the band when a refresh removes it.
        upper->setParent(band);
        lower->setParent(band);
        band->setName(slotCaption(r));
        QColor fill = binColour(r);
        fill.setAlpha(45);
        band->setBrush(fill);
        band->setPen(QPen(binColour(r), 1));
        chart->addSeries(band);

        // The band's number, staggered so nested bands keep their labels apart.
        auto *label = new QScatterSeries(chart);
        label->append(lo, top * (0.96 - 0.07 * (r % 4)));
        label->setMarkerSize(1);
        label->setColor(Qt::transparent);
        label->setBorderColor(Qt::transparent);
        label->setPointLabelsFormat(QString::number(r + 1));
        label->setPointLabelsColor(binColour(r).darker(150));
        label->setPointLabelsVisible(true);
        label->setPointLabelsClipping(false);
        chart->addSeries(label);
        hideFromLegend(chart, label);
    }

    auto *outline = new QLineSeries;
    auto *base = new QLineSeries;
    for (int bar = 0; bar < bars; ++bar) {
        const double x0 = histogram.span.low + bar * width;
        outline->append(x0, double(counts[std::size_t(bar)]));
        outline->append(x0 + width, double(counts[std::size_t(bar)]));
    }
    base->append(histogram.span.low, 0);
    base->append(histogram.span.high, 0);
    auto *area = new QAreaSeries(outline, base);
    outline->setParent(area);
    base->setParent(area);
    area->setName(ChartTexts::tr("cells"));
    area->setBrush(QColor(60, 60, 60, 150));
    area->setPen(QPen(QColor(30, 30, 30), 1));
    chart->addSeries(area);

    setAxes(chart, ChartTexts::tr(kUnits[t]), ChartTexts::tr("cells"), histogram.span.low, histogram.span.high,
            0, top, true);
}

void fillScatter(QChart *chart, const Scatter &scatter)
{
    clearChart(chart);
    for (const auto &[key, points] : scatter.groups) {
        auto *series = new QScatterSeries(chart);
        series->setMarkerSize(7);
        series->setBorderColor(Qt::transparent);
        series->setName(groupName(key));
        if (key < 0) {
            series->setColor(outColour());
            series->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
        } else {
            // The resistance BIN gives the hue, the voltage BIN the shade and the shape.
            series->setColor(pairColour(key / 9, key % 9));
            series->setMarkerShape(pairShape(key % 9));
        }
        series->replace(points);
        chart->addSeries(series);
    }
    // Up to 82 groups do not fit the chart's own legend: the window shows
    // scatterLegend() beside the chart instead.
    chart->legend()->setVisible(false);
    setAxes(chart, ChartTexts::tr(kUnits[0]), ChartTexts::tr(kUnits[1]), scatter.resistance.low,
            scatter.resistance.high, scatter.voltage.low, scatter.voltage.high, false);
}

} // namespace batchcharts

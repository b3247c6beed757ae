#include "app/quality/controlcharts.h"

#include "app/quality/batchcharts.h"
#include "bins/bintable.h"

#include <QAreaSeries>
#include <QChart>
#include <QCoreApplication>
#include <QDateTime>
#include <QFont>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QPen>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <climits>
#include <cmath>
#include <tuple>

namespace {
struct ChartTexts
{
    Q_DECLARE_TR_FUNCTIONS(ControlCharts)
};
} // namespace

namespace controlcharts {

namespace {

const char *const kNames[2] = {QT_TRANSLATE_NOOP("ControlCharts", "Resistance"),
                               QT_TRANSLATE_NOOP("ControlCharts", "Voltage")};
const char *const kUnits[2] = {"mOhm", "V"};

// A straight line from one point to another, named in the legend.
QLineSeries *segment(QChart *chart, const QString &name, QPointF from, QPointF to, const QPen &pen)
{
    auto *series = new QLineSeries(chart);
    series->setName(name);
    series->append(from);
    series->append(to);
    series->setPen(pen);
    chart->addSeries(series);
    return series;
}

QLineSeries *level(QChart *chart, const QString &name, double y, double x0, double x1, const QPen &pen)
{
    return segment(chart, name, QPointF(x0, y), QPointF(x1, y), pen);
}

void hideFromLegend(QChart *chart, QAbstractSeries *series)
{
    for (QLegendMarker *marker : chart->legend()->markers(series))
        marker->setVisible(false);
}

// Type sizes of the report's small charts.
void styleFor(QChart *chart, Style style)
{
    if (style == Style::Window) {
        chart->legend()->setVisible(true);
        return;
    }
    chart->legend()->setVisible(false);
    QFont title = chart->titleFont();
    title.setPointSizeF(8);
    title.setBold(true);
    chart->setTitleFont(title);
    for (QAbstractAxis *axis : chart->axes()) {
        QFont labels = axis->labelsFont();
        labels.setPointSizeF(6.5);
        axis->setLabelsFont(labels);
        QFont titleFont = axis->titleFont();
        titleFont.setPointSizeF(7);
        titleFont.setBold(false);
        axis->setTitleFont(titleFont);
    }
}

QString thousands(qint64 n)
{
    return QLocale::c().toString(n);
}

} // namespace

QString quantityName(int t)
{
    return ChartTexts::tr(kNames[t]);
}

QString unit(int t)
{
    return QLatin1String(kUnits[t]);
}

QString number(int t, double value)
{
    return t == 0 ? getFormatR(float(value)) : getFormatV(float(value));
}

QString hourCaption(qint64 stamp)
{
    return QDateTime::fromSecsSinceEpoch(stamp, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd HH:00"));
}

QString timeCaption(qint64 stamp)
{
    return QDateTime::fromSecsSinceEpoch(stamp, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString indexText(const std::optional<double> &value)
{
    return value ? QString::number(*value, 'f', 2) : QStringLiteral("-");
}

QString indexWithBounds(const std::optional<double> &value, const std::optional<spc::Bounds> &bounds)
{
    if (!value || !bounds)
        return indexText(value);
    return ChartTexts::tr("%1 (95 %: %2 to %3)")
            .arg(indexText(value), QString::number(bounds->low, 'f', 2), QString::number(bounds->high, 'f', 2));
}

double roundStep(double span, int ticks, bool whole)
{
    if (!(span > 0) || !std::isfinite(span))
        return 1;
    const double rough = span / std::max(1, ticks);
    const double decade = std::pow(10.0, std::floor(std::log10(rough)));
    double step = decade * 10;
    for (const double f : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        if (f * decade >= rough) {
            step = f * decade;
            break;
        }
    }
    if (whole)
        step = std::max(1.0, std::round(step));
    return step;
}

QValueAxis *roundAxis(QChart *chart, const QString &title, double low, double high, int ticks, bool whole)
{
    if (!(high > low)) {
        const double half = std::max(std::fabs(low) * 0.01, whole ? 1.0 : 1e-3);
        low -= half;
        high += half;
    }
    const double step = roundStep(high - low, ticks, whole);
    // Snapped outwards to the step, so that the first and the last tick are round too.
    const double from = std::floor(low / step + 1e-9) * step;
    const double to = std::ceil(high / step - 1e-9) * step;
    auto *axis = new QValueAxis(chart);
    axis->setTitleText(title);
    axis->setRange(from, to);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(from);
    axis->setTickInterval(step);
    const int decimals = std::clamp(int(std::ceil(-std::log10(step) - 1e-9)), 0, 6);
    // 2.5 steps need one more decimal than their decade.
    const bool quarter = std::fabs(step / std::pow(10.0, -decimals) - std::round(step / std::pow(10.0, -decimals))) > 1e-6;
    axis->setLabelFormat(QStringLiteral("%.%1f").arg(decimals + (quarter ? 1 : 0)));
    return axis;
}

void fillControlChart(QChart *chart, int t, bool movingRange, const StreamAnalysis &stream, Style style)
{
    batchcharts::clearChart(chart);
    const StreamQuantity &q = stream.quantities[std::size_t(t)];
    const spc::ControlLimits &l = q.limits;
    const std::vector<QPointF> &points = movingRange ? q.movingRanges : q.individuals;
    QString title = QStringLiteral("%1: %2 %3").arg(stream.name, quantityName(t),
                                                    movingRange ? ChartTexts::tr("moving range")
                                                                : ChartTexts::tr("individuals"));
    if (stream.pointStep > 1)
        title += ChartTexts::tr(" (lowest and highest of every %n cell(s))", nullptr, int(stream.pointStep));
    chart->setTitle(title);

    const double x0 = 1;
    const double x1 = std::max<double>(2, double(l.count));
    auto *line = new QLineSeries(chart);
    line->setName(movingRange ? ChartTexts::tr("moving range") : ChartTexts::tr("cells"));
    line->setPen(QPen(QColor(70, 70, 90), 1));
    line->replace(QList<QPointF>(points.begin(), points.end()));
    chart->addSeries(line);

    double low = 0;
    double high = 1;
    if (!points.empty()) {
        const auto [mn, mx] = std::minmax_element(points.begin(), points.end(),
                                                  [](const QPointF &a, const QPointF &b) { return a.y() < b.y(); });
        low = mn->y();
        high = mx->y();
    }
    const QPen limitPen(batchcharts::outColour(), 1.5, Qt::DashLine);
    const QPen centrePen(QColor(30, 140, 60), 1.5);
    if (l.valid()) {
        if (movingRange) {
            level(chart, ChartTexts::tr("mean MR"), l.meanMovingRange, x0, x1, centrePen);
            level(chart, ChartTexts::tr("UCL"), l.movingRangeUpper, x0, x1, limitPen);
            low = 0;
            high = std::max(high, l.movingRangeUpper);
        } else {
            const spc::ShownLimit lower = spc::shownLowerLimit(l.lower);
            level(chart, ChartTexts::tr("mean"), l.centre, x0, x1, centrePen);
            level(chart, ChartTexts::tr("UCL"), l.upper, x0, x1, limitPen);
            level(chart, lower.clipped ? ChartTexts::tr("LCL 0 (below zero)") : ChartTexts::tr("LCL"), lower.value,
                  x0, x1, limitPen);
            const QPen zonePen(QColor(200, 140, 40), 1, Qt::DotLine);
            level(chart, ChartTexts::tr("2 sigma"), l.centre + 2 * l.sigma, x0, x1, zonePen);
            if (l.centre - 2 * l.sigma >= 0)
                hideFromLegend(chart, level(chart, QString(), l.centre - 2 * l.sigma, x0, x1, zonePen));
            low = std::min(low, lower.value);
            high = std::max(high, l.upper);
        }
    }

    // Marked points: beyond a limit in red, any other rule in orange.
    auto *beyond = new QScatterSeries(chart);
    beyond->setName(ChartTexts::tr("beyond a limit"));
    beyond->setColor(batchcharts::outColour());
    auto *rule = new QScatterSeries(chart);
    rule->setName(ChartTexts::tr("run rule"));
    rule->setColor(QColor(240, 150, 20));
    for (QScatterSeries *s : {beyond, rule}) {
        s->setMarkerSize(style == Style::Report ? 5 : 7);
        s->setBorderColor(Qt::transparent);
    }
    for (const MarkedCell &mark : q.marks) {
        const double x = double(mark.index + 1);
        if (movingRange) {
            if (mark.rules & spc::RangeBeyondLimit) {
                // The moving range itself is not kept with the mark; find it among the points drawn.
                const auto it = std::lower_bound(points.begin(), points.end(), x,
                                                 [](const QPointF &p, double v) { return p.x() < v; });
                if (it != points.end() && it->x() == x)
                    beyond->append(*it);
            }
        } else if (mark.rules & spc::BeyondLimits) {
            beyond->append(x, mark.value);
        } else if (mark.rules & (spc::EightOnOneSide | spc::TwoOfThreeBeyond2Sigma)) {
            rule->append(x, mark.value);
        }
    }
    chart->addSeries(beyond);
    if (!movingRange)
        chart->addSeries(rule);
    else
        delete rule;

    const double margin = std::max((high - low) * 0.05, 1e-6);
    // Few ticks: a low chart has no room for more labels, which Qt then cuts to "...".
    const int ticks = 4;
    QValueAxis *axisX = roundAxis(chart, ChartTexts::tr("cell of %1 in time order").arg(stream.name), x0, x1, 6, true);
    // The window's charts may be low: a short title there, which stays whole.
    const QString name = style == Style::Report ? quantityName(t) : quantityName(t).left(1);
    const QString yTitle = movingRange ? ChartTexts::tr("MR (%1)").arg(unit(t)) : QStringLiteral("%1 (%2)").arg(name, unit(t));
    // Neither quantity nor its moving range can be negative.
    QValueAxis *axisY = roundAxis(chart, yTitle, movingRange ? 0.0 : std::max(0.0, low - margin), high + margin,
                                  ticks, false);
    batchcharts::attachAxes(chart, axisX, axisY);
    styleFor(chart, style);
}

void fillCapabilityHistogram(QChart *chart, int t, const QuantityAnalysis &quantity, Style style)
{
    batchcharts::clearChart(chart);
    const spc::Histogram &h = quantity.histogram;
    const spc::Capability &c = quantity.capability;
    chart->setTitle(ChartTexts::tr("%1, n = %2").arg(quantityName(t), thousands(h.total())));
    const auto &counts = h.counts();
    const qint64 highest = counts.empty() ? 1 : std::max<qint64>(1, *std::max_element(counts.begin(), counts.end()));

    auto *outline = new QLineSeries;
    auto *base = new QLineSeries;
    for (std::size_t bar = 0; bar < counts.size(); ++bar) {
        const double from = h.low() + double(bar) * h.width();
        outline->append(from, double(counts[bar]));
        outline->append(from + h.width(), double(counts[bar]));
    }
    base->append(h.low(), 0);
    base->append(h.low() + double(counts.size()) * h.width(), 0);
    auto *area = new QAreaSeries(outline, base);
    outline->setParent(area);
    base->setParent(area);
    area->setName(ChartTexts::tr("cells"));
    area->setBrush(QColor(90, 110, 150, 160));
    area->setPen(QPen(QColor(40, 50, 80), 1));
    chart->addSeries(area);

    double low = h.low();
    double high = h.low() + double(counts.size()) * h.width();
    double top = double(highest);
    const double sigma = quantity.moments.standardDeviation();
    const double mean = quantity.moments.mean();
    if (sigma > 0 && h.total() > 0) {
        // The normal curve of the cells' mean and overall sigma, scaled to the bars.
        auto *curve = new QLineSeries(chart);
        curve->setName(ChartTexts::tr("normal"));
        curve->setPen(QPen(QColor(30, 140, 60), 1.5));
        const double from = std::min(low, mean - 4 * sigma);
        const double to = std::max(high, mean + 4 * sigma);
        const double scale = double(h.total()) * h.width() / (sigma * std::sqrt(2 * M_PI));
        for (int i = 0; i <= 120; ++i) {
            const double x = from + (to - from) * i / 120.0;
            const double z = (x - mean) / sigma;
            curve->append(x, scale * std::exp(-0.5 * z * z));
        }
        chart->addSeries(curve);
        top = std::max(top, scale);
        low = std::min(low, mean - 3 * sigma);
        high = std::max(high, mean + 3 * sigma);
    }
    top *= 1.1;
    const QPen limitPen(batchcharts::outColour(), 1.5, Qt::DashLine);
    for (const auto &[value, name, pen] :
         {std::tuple{c.lower, ChartTexts::tr("LSL"), limitPen}, std::tuple{c.upper, ChartTexts::tr("USL"), limitPen},
          std::tuple{quantity.target, ChartTexts::tr("target"), QPen(QColor(30, 110, 200), 1.5, Qt::DashDotLine)}}) {
        if (!value)
            continue;
        segment(chart, QStringLiteral("%1 %2").arg(name, number(t, *value)), QPointF(*value, 0), QPointF(*value, top), pen);
        low = std::min(low, *value);
        high = std::max(high, *value);
    }
    const double margin = std::max((high - low) * 0.03, 1e-6);
    QValueAxis *axisX = roundAxis(chart, QStringLiteral("%1 (%2)").arg(quantityName(t), unit(t)), low - margin,
                                  high + margin, style == Style::Report ? 6 : 8, false);
    QValueAxis *axisY = roundAxis(chart, ChartTexts::tr("cells"), 0, top, 5, true);
    batchcharts::attachAxes(chart, axisX, axisY);
    styleFor(chart, style);
    if (style == Style::Report) {
        // The limits are named in the legend: a small one below the chart.
        chart->legend()->setVisible(true);
        QFont small = chart->legend()->font();
        small.setPointSizeF(6.5);
        chart->legend()->setFont(small);
        chart->legend()->setMarkerShape(QLegend::MarkerShapeRectangle);
    }
}

QString controlChartDescription(int t, bool movingRange, const StreamAnalysis &stream)
{
    const StreamQuantity &q = stream.quantities[std::size_t(t)];
    const spc::ControlLimits &l = q.limits;
    if (!l.valid())
        return ChartTexts::tr("%1: %n cell(s), too few for control limits.", nullptr, int(stream.cells)).arg(stream.name);
    if (movingRange)
        return ChartTexts::tr("%1, %2 moving range: mean %3, upper limit %4 %5; %n point(s) above the limit.", nullptr,
                              int(q.ruleCounts[3]))
                .arg(stream.name, quantityName(t), number(t, l.meanMovingRange), number(t, l.movingRangeUpper), unit(t));
    return ChartTexts::tr("%1, %2 of %n cell(s): mean %3, control limits %4 to %5 %6; %7 marked.", nullptr,
                          int(std::min<qint64>(stream.cells, INT_MAX)))
            .arg(stream.name, quantityName(t), number(t, l.centre), number(t, spc::shownLowerLimit(l.lower).value),
                 number(t, l.upper), unit(t))
            .arg(q.markedPoints);
}

QString histogramDescription(int t, const QuantityAnalysis &quantity)
{
    const spc::Capability &c = quantity.capability;
    QString text = ChartTexts::tr("Histogram of %1: %n cell(s), mean %2 %3, overall sigma %4.", nullptr,
                                  int(std::min<qint64>(quantity.moments.count(), INT_MAX)))
                           .arg(quantityName(t), number(t, quantity.moments.mean()), unit(t),
                                number(t, quantity.moments.standardDeviation()));
    text += QLatin1Char(' ') + ChartTexts::tr("LSL %1, USL %2 (%3).")
                                       .arg(c.lower ? number(t, *c.lower) : ChartTexts::tr("none"),
                                            c.upper ? number(t, *c.upper) : ChartTexts::tr("none"),
                                            limitsSourceText(quantity));
    if (c.status == spc::Capability::Status::Ok)
        text += QLatin1Char(' ') + ChartTexts::tr("Cpk %1, Ppk %2.").arg(indexText(c.cpk), indexText(c.ppk));
    return text + QLatin1Char(' ') + normalityText(quantity);
}

QString limitsSourceText(const QuantityAnalysis &quantity)
{
    return quantity.limitsSource == LimitsSource::Specification ? ChartTexts::tr("the specification")
                                                                : ChartTexts::tr("the outer BIN limits");
}

QString normalityText(const QuantityAnalysis &quantity)
{
    if (!quantity.normality) {
        if (quantity.moments.count() < spc::kMinNormalityValues)
            return ChartTexts::tr("Normality not tested: fewer than %1 cells.").arg(spc::kMinNormalityValues);
        return ChartTexts::tr("Normality not tested: the cells do not spread (or a value is not finite).");
    }
    const spc::Normality &n = *quantity.normality;
    const QString p = n.p < 0.0001 ? QStringLiteral("< 0.0001") : QStringLiteral("= %1").arg(QString::number(n.p, 'f', n.p < 0.01 ? 4 : 3));
    QString sample;
    if (n.tested < quantity.moments.count())
        sample = QLatin1Char(' ') + ChartTexts::tr("(on %1 cells drawn at random from %2)")
                                            .arg(thousands(n.tested), thousands(quantity.moments.count()));
    if (n.p < 0.05)
        return ChartTexts::tr("The data are not normal (Anderson-Darling p %1, A2* = %2%3): Cpk and Ppk assume "
                              "normal data and may mislead.")
                .arg(p, QString::number(n.a2Adjusted, 'f', 3), sample);
    return ChartTexts::tr("No evidence against normal data (Anderson-Darling p %1, A2* = %2%3).")
            .arg(p, QString::number(n.a2Adjusted, 'f', 3), sample);
}

QString capabilityStatusText(int t, const QuantityAnalysis &quantity)
{
    Q_UNUSED(t)
    const qint64 n = quantity.moments.count();
    switch (quantity.capability.status) {
    case spc::Capability::Status::TooFewValues:
        return ChartTexts::tr("n = %1: too few cells for capability indices (%2 needed).")
                .arg(thousands(n))
                .arg(spc::kMinCapabilityCells);
    case spc::Capability::Status::NoLimits:
        return ChartTexts::tr("No limits: no BINs in use and no specification.");
    case spc::Capability::Status::NoSpread:
        return ChartTexts::tr("Every cell alike (sigma 0): the indices are not defined.");
    case spc::Capability::Status::Ok:
        break;
    }
    return QString();
}

QString pooledSigmaText(const QuantityAnalysis &quantity, int streams)
{
    if (streams < 2 || !quantity.pooled.valid())
        return QString();
    return ChartTexts::tr("The within sigma pools each bench's moving ranges in its own time order (%n moving "
                          "range(s) of %1 benches; none spans two benches).",
                          nullptr, int(std::min<qint64>(quantity.pooled.ranges, INT_MAX)))
            .arg(streams);
}

QStringList capabilityLines(int t, const QuantityAnalysis &quantity, int streams)
{
    const spc::Capability &c = quantity.capability;
    const spc::ControlLimits &l = quantity.pooled;
    const QString u = unit(t);
    QStringList lines;
    lines << ChartTexts::tr("%1 (%2): LSL %3, USL %4%5, from %6")
                     .arg(quantityName(t), u, c.lower ? number(t, *c.lower) : ChartTexts::tr("none"),
                          c.upper ? number(t, *c.upper) : ChartTexts::tr("none"),
                          quantity.target ? ChartTexts::tr(", target %1").arg(number(t, *quantity.target)) : QString(),
                          limitsSourceText(quantity));
    const qint64 n = quantity.moments.count();
    if (n == 0)
        return lines << ChartTexts::tr("  no cells.");
    lines << ChartTexts::tr("  n = %1, mean = %2 %3").arg(thousands(n), number(t, quantity.moments.mean()), u);
    if (l.valid())
        lines << ChartTexts::tr("  within sigma = mean moving range / 1.128 = %1 / 1.128 = %2 %3")
                         .arg(number(t, l.meanMovingRange), number(t, l.sigma), u);
    if (const QString pooled = pooledSigmaText(quantity, streams); !pooled.isEmpty())
        lines << QStringLiteral("  ") + pooled;
    if (n >= 2)
        lines << ChartTexts::tr("  overall sigma = sample standard deviation = %1 %2")
                         .arg(number(t, quantity.moments.standardDeviation()), u);
    if (c.status != spc::Capability::Status::Ok) {
        lines << QStringLiteral("  ") + capabilityStatusText(t, quantity);
    } else {
        lines << ChartTexts::tr("  Cp = %1, Cpk = %2 (within sigma)").arg(indexText(c.cp), indexWithBounds(c.cpk, c.cpkBounds));
        lines << ChartTexts::tr("  Pp = %1, Ppk = %2 (overall sigma)").arg(indexText(c.pp), indexWithBounds(c.ppk, c.ppkBounds));
        if (c.lower && c.upper)
            lines << ChartTexts::tr("  Cp = (USL - LSL) / (6 sigma); Cpk = min(USL - mean, mean - LSL) / (3 sigma)");
        else
            lines << ChartTexts::tr("  one limit only: Cp and Pp are not defined; Cpk = %1 / (3 sigma)")
                             .arg(c.upper ? ChartTexts::tr("(USL - mean)") : ChartTexts::tr("(mean - LSL)"));
        lines << ChartTexts::tr("  95 % bounds by Bissell's normal approximation (1990) with n cells; the within "
                                "sigma rests on moving ranges, so Cpk's bounds are somewhat narrow.");
    }
    lines << QStringLiteral("  ") + normalityText(quantity);
    return lines;
}

QString ruleNames(unsigned rules)
{
    QStringList names;
    for (int r = 0; r < spc::kRuleCount; ++r) {
        if (rules & (1u << r))
            names << QCoreApplication::translate("ProcessStats", spc::ruleText(spc::Rule(1u << r)));
    }
    return names.join(QStringLiteral(", "));
}

QString limitsText(int t, const StreamAnalysis &stream)
{
    const StreamQuantity &q = stream.quantities[std::size_t(t)];
    const spc::ControlLimits &l = q.limits;
    const QString u = unit(t);
    if (!l.valid())
        return ChartTexts::tr("%1, %2: fewer than two cells, no control limits.").arg(stream.name, quantityName(t));
    const spc::ShownLimit lower = spc::shownLowerLimit(l.lower);
    QString lcl = number(t, lower.value);
    if (lower.clipped)
        lcl = ChartTexts::tr("0 (mean - 2.66 x mean MR = %1 is below zero, which no cell can be: shown as 0)")
                      .arg(number(t, l.lower));
    QString text = ChartTexts::tr("%1, %2: mean %3, LCL %4, UCL %5 %6 (mean +/- 2.66 x mean MR %7); MR UCL %8 %6 "
                                  "(3.267 x mean MR)")
                       .arg(stream.name, quantityName(t), number(t, l.centre), lcl, number(t, l.upper), u,
                            number(t, l.meanMovingRange), number(t, l.movingRangeUpper));
    QStringList counts;
    for (int r = 0; r < spc::kRuleCount; ++r)
        counts << QStringLiteral("%1: %2")
                          .arg(QCoreApplication::translate("ProcessStats", spc::ruleText(spc::Rule(1u << r))))
                          .arg(q.ruleCounts[std::size_t(r)]);
    return text + QStringLiteral("\n  ") + counts.join(QStringLiteral("; "));
}

QStringList streamFigures(const StreamAnalysis &stream)
{
    return {QString::number(stream.yieldPercent(), 'f', 2),
            number(0, stream.quantities[0].limits.centre),
            indexText(stream.quantities[0].capability.cpk),
            number(1, stream.quantities[1].limits.centre),
            indexText(stream.quantities[1].capability.cpk),
            QString::number(stream.quantities[0].markedPoints + stream.quantities[1].markedPoints)};
}

std::vector<MarkRow> markRows(const ShiftAnalysis &analysis)
{
    std::vector<MarkRow> rows;
    for (const StreamAnalysis &s : analysis.streams) {
        for (int t = 0; t < 2; ++t) {
            for (const MarkedCell &mark : s.quantities[std::size_t(t)].marks)
                rows.push_back(MarkRow{s.name, mark.stamp, mark.cellId, t, mark.value, mark.rules, mark.index + 1});
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const MarkRow &a, const MarkRow &b) {
        return std::tie(a.stamp, a.bench, a.cell, a.quantity) < std::tie(b.stamp, b.bench, b.cell, b.quantity);
    });
    return rows;
}

} // namespace controlcharts

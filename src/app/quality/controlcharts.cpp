#include "app/quality/controlcharts.h"

#include "app/quality/batchcharts.h"
#include "bins/bintable.h"

#include <QChart>
#include <QCoreApplication>
#include <QDateTime>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPen>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>

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

QLineSeries *level(QChart *chart, const QString &name, double y, double x0, double x1, const QPen &pen)
{
    auto *series = new QLineSeries(chart);
    series->setName(name);
    series->append(x0, y);
    series->append(x1, y);
    series->setPen(pen);
    chart->addSeries(series);
    return series;
}

} // namespace

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

void fillControlChart(QChart *chart, int t, bool movingRange, const QuantityAnalysis &quantity, qint64 pointStep)
{
    batchcharts::clearChart(chart);
    const spc::ControlLimits &l = quantity.limits;
    const std::vector<QPointF> &points = movingRange ? quantity.movingRanges : quantity.individuals;
    QString title = QStringLiteral("%1 %2").arg(ChartTexts::tr(kNames[t]),
                                                movingRange ? ChartTexts::tr("moving range") : ChartTexts::tr("individuals"));
    if (pointStep > 1)
        title += ChartTexts::tr(" (lowest and highest of every %n cell(s))", nullptr, int(pointStep));
    chart->setTitle(title);

    const double x0 = 1;
    const double x1 = std::max<double>(2, double(l.count));
    auto *line = new QLineSeries(chart);
    line->setName(movingRange ? ChartTexts::tr("moving range") : ChartTexts::tr("cells"));
    line->setPen(QPen(QColor(70, 70, 90), 1));
    QList<QPointF> list(points.begin(), points.end());
    line->replace(list);
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
            level(chart, ChartTexts::tr("mean MR"), l.meanMovingRange, x0, x1,
                  centrePen);
            level(chart, ChartTexts::tr("UCL"), l.movingRangeUpper, x0, x1,
                  limitPen);
            low = 0;
            high = std::max(high, l.movingRangeUpper);
        } else {
            level(chart, ChartTexts::tr("mean"), l.centre, x0, x1, centrePen);
            level(chart, ChartTexts::tr("UCL"), l.upper, x0, x1, limitPen);
            level(chart, ChartTexts::tr("LCL"), l.lower, x0, x1, limitPen);
            const QPen zonePen(QColor(200, 140, 40), 1, Qt::DotLine);
            level(chart, ChartTexts::tr("2 sigma"), l.centre + 2 * l.sigma, x0, x1, zonePen);
            QLineSeries *lower2 = level(chart, QString(), l.centre - 2 * l.sigma, x0, x1, zonePen);
            for (QLegendMarker *marker : chart->legend()->markers(lower2))
                marker->setVisible(false);
            low = std::min(low, l.lower);
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
        s->setMarkerSize(7);
        s->setBorderColor(Qt::transparent);
    }
    for (const spc::RuleMark &mark : quantity.marks) {
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
    auto *axisX = new QValueAxis(chart);
    axisX->setTitleText(ChartTexts::tr("cell in record order"));
    axisX->setRange(x0, x1);
    axisX->setLabelFormat(QStringLiteral("%.0f"));
    auto *axisY = new QValueAxis(chart);
    axisY->setTitleText(QStringLiteral("%1 (%2)").arg(movingRange ? ChartTexts::tr("MR") : QString(QLatin1Char(kNames[t][0])),
                                                      QLatin1String(kUnits[t])));
    axisY->setRange(movingRange ? 0.0 : low - margin, high + margin);
    axisY->setLabelFormat(QStringLiteral("%.4g"));
    batchcharts::attachAxes(chart, axisX, axisY);
}

QString capabilityText(int t, const QuantityAnalysis &quantity)
{
    const spc::Capability &c = quantity.capability;
    const QString unit = QLatin1String(kUnits[t]);
    QString text = QStringLiteral("%1: ").arg(ChartTexts::tr(kNames[t]));
    switch (c.status) {
    case spc::Capability::Status::TooFewValues:
        return text + ChartTexts::tr("fewer than two cells: no moving range, so no sigma, Cp or Cpk.");
    case spc::Capability::Status::NoLimits:
        return text + ChartTexts::tr("no BINs in use: no limits to hold the cells against.");
    case spc::Capability::Status::NoSpread:
        return text + ChartTexts::tr("every cell alike (sigma 0): Cp and Cpk are not defined. Mean %1 %2, "
                                     "limits %3 to %4 %2.")
                          .arg(number(t, c.mean), unit, c.lower ? number(t, *c.lower) : QStringLiteral("-"),
                               c.upper ? number(t, *c.upper) : QStringLiteral("-"));
    case spc::Capability::Status::Ok:
        break;
    }
    const QString sigma = number(t, c.sigma);
    text += ChartTexts::tr("Cp = %1, Cpk = %2\n").arg(indexText(c.cp), indexText(c.cpk));
    text += ChartTexts::tr("  sigma (within) = mean moving range / 1.128 = %1 / 1.128 = %2 %3; mean = %4 %3\n")
                .arg(number(t, quantity.limits.meanMovingRange), sigma, unit, number(t, c.mean));
    if (c.lower && c.upper) {
        text += ChartTexts::tr("  Cp = (USL - LSL) / (6 sigma) = (%1 - %2) / (6 x %3) = %4\n")
                    .arg(number(t, *c.upper), number(t, *c.lower), sigma, indexText(c.cp));
        text += ChartTexts::tr("  Cpk = min(USL - mean, mean - LSL) / (3 sigma) = %1").arg(indexText(c.cpk));
    } else if (c.upper) {
        text += ChartTexts::tr("  upper limit only: Cp not defined; Cpk = (USL - mean) / (3 sigma) = %1")
                    .arg(indexText(c.cpk));
    } else {
        text += ChartTexts::tr("  lower limit only: Cp not defined; Cpk = (mean - LSL) / (3 sigma) = %1")
                    .arg(indexText(c.cpk));
    }
    text += ChartTexts::tr("\n  LSL = %1, USL = %2 %3 (the lowest lower and highest upper BIN limit)")
                .arg(c.lower ? number(t, *c.lower) : ChartTexts::tr("none"),
                     c.upper ? number(t, *c.upper) : ChartTexts::tr("none"), unit);
    return text;
}

QString limitsText(int t, const QuantityAnalysis &quantity)
{
    const spc::ControlLimits &l = quantity.limits;
    const QString unit = QLatin1String(kUnits[t]);
    if (!l.valid())
        return ChartTexts::tr("%1: fewer than two cells, no control limits.").arg(ChartTexts::tr(kNames[t]));
    QString text = ChartTexts::tr("%1: mean %2, LCL %3, UCL %4 %5 (mean +/- 2.66 x mean MR %6); MR UCL %7 %5 "
                                  "(3.267 x mean MR)")
                       .arg(ChartTexts::tr(kNames[t]), number(t, l.centre), number(t, l.lower), number(t, l.upper),
                            unit, number(t, l.meanMovingRange), number(t, l.movingRangeUpper));
    QStringList counts;
    for (int r = 0; r < spc::kRuleCount; ++r)
        counts << QStringLiteral("%1: %2").arg(QCoreApplication::translate("ProcessStats", spc::ruleText(spc::Rule(1u << r))))
                      .arg(quantity.ruleCounts[std::size_t(r)]);
    return text + QStringLiteral("\n  ") + counts.join(QStringLiteral("; "));
}

QString marksText(int t, const QuantityAnalysis &quantity, int lines)
{
    QStringList out;
    for (const spc::RuleMark &mark : quantity.marks) {
        if (int(out.size()) == lines)
            break;
        QStringList rules;
        for (int r = 0; r < spc::kRuleCount; ++r) {
            if (mark.rules & (1u << r))
                rules << QCoreApplication::translate("ProcessStats", spc::ruleText(spc::Rule(1u << r)));
        }
        out << ChartTexts::tr("%1 cell %2: %3 %4 - %5")
                   .arg(ChartTexts::tr(kNames[t]))
                   .arg(mark.index + 1)
                   .arg(number(t, mark.value), QLatin1String(kUnits[t]), rules.join(QStringLiteral(", ")));
    }
    const qint64 more = quantity.markedPoints - qint64(out.size());
    if (more > 0)
        out << ChartTexts::tr("%1: %n more marked cell(s)", nullptr, int(more)).arg(ChartTexts::tr(kNames[t]));
    return out.join(QLatin1Char('\n'));
}

} // namespace controlcharts

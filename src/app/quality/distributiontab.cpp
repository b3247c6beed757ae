#include "app/quality/distributiontab.h"

#include "bins/batchsummary.h"
#include "bins/bintable.h"

#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The per-BIN tables' columns, in the quality window's translation context.
const char *const kColumns[] = {QT_TRANSLATE_NOOP("QualityWindow", "Limits"),  QT_TRANSLATE_NOOP("QualityWindow", "Count"),
                                QT_TRANSLATE_NOOP("QualityWindow", "Share %"), QT_TRANSLATE_NOOP("QualityWindow", "Mean"),
                                QT_TRANSLATE_NOOP("QualityWindow", "Std dev"), QT_TRANSLATE_NOOP("QualityWindow", "Min"),
                                QT_TRANSLATE_NOOP("QualityWindow", "Max")};

} // namespace

DistributionTab::DistributionTab(QWidget *parent) : QWidget(parent)
{
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    m_histogramRView = batchcharts::makeChartView(this, QStringLiteral("histogramR"), tr("Resistance"), m_histogramR);
    m_histogramVView = batchcharts::makeChartView(this, QStringLiteral("histogramV"), tr("Voltage"), m_histogramV);
    m_scatterView = batchcharts::makeChartView(this, QStringLiteral("scatterPlot"), tr("Resistance against voltage"),
                                               m_scatter);
    m_histogramRView->setAccessibleName(tr("Resistance histogram"));
    m_histogramVView->setAccessibleName(tr("Voltage histogram"));
    m_scatterView->setAccessibleName(tr("Resistance against voltage"));
    m_scatterLegend = new QLabel(this);
    m_scatterLegend->setObjectName(QStringLiteral("scatterLegend"));
    m_scatterLegend->setTextFormat(Qt::RichText);
    m_scatterLegend->setWordWrap(true);
    m_scatterLegend->setAccessibleName(tr("Legend of the scatter plot"));
    auto *scatterColumn = new QVBoxLayout;
    scatterColumn->addWidget(m_scatterView, 1);
    scatterColumn->addWidget(m_scatterLegend);
    grid->addWidget(m_histogramRView, 0, 0);
    grid->addWidget(m_histogramVView, 0, 1);
    grid->addLayout(scatterColumn, 1, 0);

    auto *tables = new QVBoxLayout;
    auto makeTable = [this, tables](const char *name, const QString &caption, const QString &accessibleName) {
        auto *label = new QLabel(caption, this);
        tables->addWidget(label);
        QStringList columns;
        for (const char *column : kColumns)
            columns << QCoreApplication::translate("QualityWindow", column);
        auto *table = new QTableWidget(0, int(columns.size()), this);
        table->setObjectName(QLatin1String(name));
        label->setBuddy(table);
        table->setAccessibleName(accessibleName);
        table->setAccessibleDescription(tr("Count, share, mean, standard deviation, minimum and maximum per BIN"));
        table->setHorizontalHeaderLabels(columns);
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
        table->verticalHeader()->setDefaultSectionSize(20);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        tables->addWidget(table);
        return table;
    };
    m_tableR = makeTable("resistanceTable", tr("&RESISTANCE (mOhm)"), tr("Resistance per BIN"));
    m_tableV = makeTable("voltageTable", tr("&VOLTAGE (V)"), tr("Voltage per BIN"));
    grid->addLayout(tables, 1, 1);
}

void DistributionTab::showBatch(const BatchSummary &summary, const batchcharts::Plots &plots, std::size_t cells)
{
    batchcharts::fillHistogram(m_histogramR, 0, plots.histograms[0], summary);
    batchcharts::fillHistogram(m_histogramV, 1, plots.histograms[1], summary);
    batchcharts::fillScatter(m_scatter, plots.scatter);
    if (plots.scatterStep > 1)
        m_scatter->setTitle(tr("Resistance against voltage (every %1 of %n cell(s))", nullptr, int(cells))
                                .arg(batchcharts::ordinal(qint64(plots.scatterStep))));
    else
        m_scatter->setTitle(tr("Resistance against voltage"));
    m_scatterLegend->setText(batchcharts::scatterLegend(plots.scatter));
    fillTable(m_tableR, 0, summary);
    fillTable(m_tableV, 1, summary);
    describeCharts(summary, plots);
}

QPixmap DistributionTab::plotsPicture() const
{
    const QPixmap r = m_histogramRView->grab();
    const QPixmap v = m_histogramVView->grab();
    const QPixmap s = m_scatterView->grab();
    QPixmap picture(r.width() + v.width(), std::max(r.height(), v.height()) + s.height());
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.drawPixmap(0, 0, r);
    painter.drawPixmap(r.width(), 0, v);
    painter.drawPixmap(0, std::max(r.height(), v.height()), s);
    painter.end();
    return picture;
}

// What a screen reader says for each chart: what it shows and its main figures.
void DistributionTab::describeCharts(const BatchSummary &summary, const batchcharts::Plots &plots)
{
    for (int t = 0; t < 2; ++t) {
        QString (*const format)(float) = t == 0 ? getFormatR : getFormatV;
        const SpreadStats &total = summary.total(t);
        QStringList parts;
        parts << tr("%n cell(s)", nullptr, int(total.count));
        if (total.count > 0) {
            parts << tr("from %1 to %2, mean %3").arg(format(total.min), format(total.max), format(float(total.mean)));
        }
        for (int r = 0; r < summary.binsInUse(t); ++r)
            parts << tr("%1: %n cell(s)", nullptr, int(summary.row(t, r).count)).arg(slotCaption(r));
        parts << tr("+Out: %n cell(s)", nullptr, int(summary.row(t, slot::kPlusOut).count));
        parts << tr("-Out: %n cell(s)", nullptr, int(summary.row(t, slot::kMinusOut).count));
        (t == 0 ? m_histogramRView : m_histogramVView)
            ->setAccessibleDescription(tr("Histogram of %1 (%2) with the BINs as bands: %3")
                                           .arg(t == 0 ? tr("resistance") : tr("voltage"),
                                                QLatin1String(t == 0 ? "mOhm" : "V"), parts.join(QStringLiteral("; "))));
    }
    QStringList groups;
    for (const auto &[key, points] : plots.scatter.groups)
        groups << tr("%1: %n point(s)", nullptr, int(points.size())).arg(batchcharts::groupName(key));
    m_scatterView->setAccessibleDescription(tr("%1. %2").arg(m_scatter->title(), groups.join(QStringLiteral("; "))));
}

void DistributionTab::fillTable(QTableWidget *table, int t, const BatchSummary &summary)
{
    QString (*const format)(float) = t == 0 ? getFormatR : getFormatV;
    auto number = [format](double value) { return format(float(value)); };
    const QList<int> slots = summary.shownSlots(t);

    table->setRowCount(int(slots.size()) + 1);
    QStringList captions;
    const BinTable &limits = summary.table(t);
    for (int i = 0; i <= int(slots.size()); ++i) {
        const bool total = i == int(slots.size());
        const int s = total ? -1 : slots.at(i);
        const SpreadStats &stats = total ? summary.total(t) : summary.row(t, s);
        captions << (total ? tr("Total") : slotCaption(s));
        QString range;
        if (!total && s < 9) {
            const float lo = std::min(limits.lowerLimit[std::size_t(s)], limits.upperLimit[std::size_t(s)]);
            const float hi = std::max(limits.lowerLimit[std::size_t(s)], limits.upperLimit[std::size_t(s)]);
            range = QStringLiteral("%1 - %2").arg(format(lo), format(hi));
        }
        table->setItem(i, 0, batchcharts::figureItem(range));
        table->setItem(i, 1, batchcharts::figureItem(QString::number(stats.count)));
        table->setItem(i, 2, batchcharts::figureItem(QString::number(
                                 total ? (stats.count > 0 ? 100.0 : 0.0) : summary.share(t, s), 'f', 2)));
        table->setItem(i, 3, batchcharts::figureItem(stats.count > 0 ? number(stats.mean) : QString()));
        table->setItem(i, 4, batchcharts::figureItem(stats.count > 1 ? number(stats.stdDev()) : QString()));
        table->setItem(i, 5, batchcharts::figureItem(stats.count > 0 ? number(stats.min) : QString()));
        table->setItem(i, 6, batchcharts::figureItem(stats.count > 0 ? number(stats.max) : QString()));
        if (!total && s < 9)
            table->item(i, 0)->setForeground(batchcharts::binColour(s).darker(130));
        else if (!total)
            table->item(i, 0)->setForeground(batchcharts::outColour());
    }
    table->setVerticalHeaderLabels(captions);
}

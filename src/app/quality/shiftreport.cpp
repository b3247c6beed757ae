#include "app/quality/shiftreport.h"

#include "app/quality/batchcharts.h"
#include "app/quality/controlcharts.h"
#include "common/version.h"
#include "bins/bintable.h"
#include "bins/setuptext.h"
#include "platform/regularfile.h"

#include <QChart>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>
#include <QUrl>

namespace {
struct ReportTexts
{
    Q_DECLARE_TR_FUNCTIONS(ShiftReport)
};

const char *const kQuantities[2] = {QT_TRANSLATE_NOOP("ShiftReport", "Resistance (mOhm)"),
                                    QT_TRANSLATE_NOOP("ShiftReport", "Voltage (V)")};

// Why the report may not take the place of what stands at path (through
// links): a named pipe, a device, a socket or a folder is never replaced by a
// file. Empty for a regular file or nothing; a path that cannot be looked at
// is left to the save, which then tells why.
QString replaceRefusal(const QString &path)
{
    const Result<regularfile::Kind> kind = regularfile::kindOf(path);
    if (!kind || *kind == regularfile::Kind::Missing || *kind == regularfile::Kind::Regular
        || *kind == regularfile::Kind::Unknown)
        return QString();
    return ReportTexts::tr("it is %1, not a regular file").arg(regularfile::describe(*kind));
}

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString preformatted(const QString &text)
{
    return QStringLiteral("<p style=\"white-space:pre-wrap; font-size:8pt\">%1</p>").arg(escaped(text));
}

// A chart drawn into a picture at twice its size, for a sharp print.
QImage chartPicture(int t, bool movingRange, const ShiftAnalysis &analysis, QSize size)
{
    QGraphicsScene scene;
    auto *chart = new QChart;
    scene.addItem(chart);
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->legend()->setAlignment(Qt::AlignBottom);
    controlcharts::fillControlChart(chart, t, movingRange, analysis.quantities[std::size_t(t)], analysis.pointStep);
    chart->resize(size);
    chart->layout()->activate();
    QImage picture(size * 2, QImage::Format_RGB32);
    picture.setDevicePixelRatio(2);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    scene.render(&painter, QRectF(QPointF(0, 0), size), QRectF(QPointF(0, 0), size));
    return picture;
}

QString row(const QStringList &cells, bool header = false)
{
    QString html = QStringLiteral("<tr>");
    for (const QString &cell : cells)
        html += (header ? QStringLiteral("<th>%1</th>") : QStringLiteral("<td align=\"right\">%1</td>")).arg(escaped(cell));
    return html + QStringLiteral("</tr>");
}

QString htmlTable(const QStringList &header, const QList<QStringList> &rows)
{
    QString html = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\" style=\"font-size:8pt\">");
    html += row(header, true);
    for (const QStringList &cells : rows)
        html += row(cells);
    return html + QStringLiteral("</table>");
}

QString binTableHtml(const BatchSummary &summary, int t)
{
    auto number = [t](double value) { return controlcharts::number(t, value); };
    const QList<int> slots = summary.shownSlots(t);
    QList<QStringList> rows;
    const BinTable &limits = summary.table(t);
    for (int i = 0; i <= int(slots.size()); ++i) {
        const bool total = i == int(slots.size());
        const int s = total ? -1 : slots.at(i);
        const SpreadStats &stats = total ? summary.total(t) : summary.row(t, s);
        QString range;
        if (!total && s < 9) {
            const float a = limits.lowerLimit[std::size_t(s)];
            const float b = limits.upperLimit[std::size_t(s)];
            range = QStringLiteral("%1 - %2").arg(number(std::min(a, b)), number(std::max(a, b)));
        }
        rows << QStringList{total ? ReportTexts::tr("Total") : slotCaption(s), range, QString::number(stats.count),
                            QString::number(total ? (stats.count > 0 ? 100.0 : 0.0) : summary.share(t, s), 'f', 2),
                            stats.count > 0 ? number(stats.mean) : QString(),
                            stats.count > 1 ? number(stats.stdDev()) : QString(),
                            stats.count > 0 ? number(stats.min) : QString(),
                            stats.count > 0 ? number(stats.max) : QString()};
    }
    return htmlTable({ReportTexts::tr("BIN"), ReportTexts::tr("Limits"), ReportTexts::tr("Count"), ReportTexts::tr("Share %"),
                  ReportTexts::tr("Mean"), ReportTexts::tr("Std dev"), ReportTexts::tr("Min"), ReportTexts::tr("Max")},
                 rows);
}

QString setupHtml(const BinTable &table, int t)
{
    auto number = [t](double value) { return controlcharts::number(t, value); };
    QString parameters;
    switch (table.mode) {
    case BinMode::MaxMin:
        parameters = ReportTexts::tr("\"Max - Min\": max %1, min %2").arg(number(table.maxValue), number(table.minValue));
        break;
    case BinMode::MinStep:
        parameters = ReportTexts::tr("\"Min - Step\": min %1, step %2").arg(number(table.minValue), number(table.stepValue));
        break;
    case BinMode::RefPercent:
        parameters = ReportTexts::tr("\"Ref - %\": ref %1, %2 %").arg(number(table.refValue)).arg(table.percentValue);
        break;
    }
    const int bins = std::clamp(int(table.numBins), 0, 9);
    QString html = ReportTexts::tr("<p><b>%1</b>: %n BIN(s), %2</p>", nullptr, bins)
                           .arg(ReportTexts::tr(kQuantities[t]), escaped(parameters));
    QList<QStringList> rows;
    for (int r = 0; r < bins; ++r)
        rows << QStringList{slotCaption(r), number(table.lowerLimit[std::size_t(r)]), number(table.upperLimit[std::size_t(r)])};
    if (!rows.isEmpty())
        html += htmlTable({ReportTexts::tr("BIN"), ReportTexts::tr("Lower limit"), ReportTexts::tr("Upper limit")}, rows);
    return html;
}

QString rangeText(const ShiftAnalysis &a)
{
    const QString from = a.filter.from ? controlcharts::timeCaption(*a.filter.from) : ReportTexts::tr("the first record");
    const QString to = a.filter.to ? controlcharts::timeCaption(*a.filter.to) : ReportTexts::tr("the last record");
    QString text = ReportTexts::tr("From %1 to %2").arg(from, to);
    if (a.summary.count() > 0)
        text += ReportTexts::tr(" (cells from %1 to %2)").arg(controlcharts::timeCaption(a.firstStamp),
                                                            controlcharts::timeCaption(a.lastStamp));
    return text;
}

} // namespace

bool writeShiftReport(const ShiftAnalysis &a, const QString &pdfPath, QString *error)
{
    if (const QString refusal = replaceRefusal(pdfPath); !refusal.isEmpty()) {
        if (error)
            *error = refusal;
        return false;
    }
    QTextDocument document;
    const QSize chartSize(600, 250);
    const QSize rangeSize(600, 200);
    for (int i = 0; i < 4; ++i) {
        document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("chart%1").arg(i)),
                             chartPicture(i / 2, i % 2 == 1, a, i % 2 == 1 ? rangeSize : chartSize));
    }

    QString html = QStringLiteral("<html><body style=\"font-family:'DejaVu Sans'; font-size:9pt\">");
    html += ReportTexts::tr("<h2>BIN4870 shift report</h2>");
    html += ReportTexts::tr("<p>Source: %1<br>Bench: %2<br>%3<br>Cells: %4").arg(
        escaped(a.source), escaped(a.filter.bench.isEmpty() ? ReportTexts::tr("all") : a.filter.bench),
        escaped(rangeText(a)), QString::number(a.summary.count()));
    if (a.recordsNotRead > 0)
        html += ReportTexts::tr("<br>Damaged lines not read: %1").arg(a.recordsNotRead);
    html += ReportTexts::tr("<br>Made %1 by BIN4870 %2</p>")
                .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                     escaped(versionLine(version::kMajor, version::kMinor, version::kRevision)));

    html += ReportTexts::tr("<h3>Capability</h3>");
    for (int t = 0; t < 2; ++t)
        html += preformatted(controlcharts::capabilityText(t, a.quantities[std::size_t(t)]));

    html += ReportTexts::tr("<h3>Stability (I-MR charts)</h3>");
    // One paragraph per chart: the layout then moves a chart that would cross
    // the end of a page to the next one instead of cutting it in two.
    for (int i = 0; i < 4; ++i) {
        const QSize size = i % 2 == 1 ? rangeSize : chartSize;
        html += QStringLiteral("<p style=\"margin:0\"><img src=\"chart%1\" width=\"%2\" height=\"%3\"></p>")
                    .arg(i)
                    .arg(size.width())
                    .arg(size.height());
    }
    for (int t = 0; t < 2; ++t)
        html += preformatted(controlcharts::limitsText(t, a.quantities[std::size_t(t)]));
    html += ReportTexts::tr("<h3>Yield</h3><p>In-BIN share: cells in a BIN of both tables. Whole range: %1 % of %n "
                            "cell(s).</p>", nullptr, int(a.yield.total().cells))
                .arg(QString::number(a.yield.total().percent(), 'f', 2));
    QList<QStringList> benchRows;
    for (const BenchFigures &b : a.benches) {
        benchRows << QStringList{b.bench, QString::number(b.cells), QString::number(b.inBins),
                                 QString::number(b.yieldPercent(), 'f', 2),
                                 controlcharts::indexText(b.capability[0].cpk),
                                 controlcharts::indexText(b.capability[1].cpk), controlcharts::timeCaption(b.lastStamp)};
    }
    html += ReportTexts::tr("<p><b>Per bench</b></p>");
    html += htmlTable({ReportTexts::tr("Bench"), ReportTexts::tr("Cells"), ReportTexts::tr("In BIN"), ReportTexts::tr("Yield %"),
                   ReportTexts::tr("Cpk R"), ReportTexts::tr("Cpk V"), ReportTexts::tr("Last record")},
                  benchRows);
    QList<QStringList> hourRows;
    for (const auto &[start, y] : a.yield.hours()) {
        hourRows << QStringList{controlcharts::hourCaption(start), QString::number(y.cells), QString::number(y.inBins),
                                QString::number(y.percent(), 'f', 2)};
    }
    html += ReportTexts::tr("<p><b>Per hour</b></p>");
    html += htmlTable({ReportTexts::tr("Hour"), ReportTexts::tr("Cells"), ReportTexts::tr("In BIN"), ReportTexts::tr("Yield %")},
                  hourRows);

    html += ReportTexts::tr("<p><b>Marked cells</b> (the first 40 of each quantity)</p>");
    for (int t = 0; t < 2; ++t) {
        const QString marks = controlcharts::marksText(t, a.quantities[std::size_t(t)], 40);
        html += preformatted(marks.isEmpty() ? ReportTexts::tr("none") : marks);
    }

    html += ReportTexts::tr("<h3>Per BIN</h3>");
    for (int t = 0; t < 2; ++t)
        html += QStringLiteral("<p><b>%1</b></p>").arg(ReportTexts::tr(kQuantities[t])) + binTableHtml(a.summary, t);

    html += ReportTexts::tr("<h3>BIN set-up in force</h3>");
    if (a.setups.empty()) {
        for (int t = 0; t < 2; ++t)
            html += setupHtml(a.summary.table(t), t);
    }
    // The set-ups the source recorded with the cells, by hash, the latest last;
    // the figures above judge every cell against the latest.
    for (const SetupInForce &setup : a.setups) {
        html += ReportTexts::tr("<p><b>Set-up %1</b>: %n cell(s), the last at %2</p>", nullptr, int(setup.cells))
                    .arg(escaped(setup.hash.left(16)), controlcharts::timeCaption(setup.lastStamp));
        const std::optional<std::array<BinTable, 2>> tables = tablesOfSetupText(setup.text);
        if (!tables) {
            html += ReportTexts::tr("<p>Its text is not in the source.</p>");
            continue;
        }
        for (int t = 0; t < 2; ++t)
            html += setupHtml((*tables)[std::size_t(t)], t);
    }
    html += QStringLiteral("</body></html>");
    document.setHtml(html);

    QSaveFile file(pdfPath);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                                         QPageLayout::Millimeter));
        writer.setResolution(300);
        writer.setTitle(ReportTexts::tr("BIN4870 shift report"));
        writer.setCreator(QStringLiteral("BIN4870"));
        document.print(&writer);
    }
    // Looked at again: something else may have taken the name while the
    // report was drawn.
    if (const QString refusal = replaceRefusal(pdfPath); !refusal.isEmpty()) {
        file.cancelWriting();
        if (error)
            *error = refusal;
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

#include "app/quality/shiftreport.h"

#include "app/quality/batchcharts.h"
#include "app/quality/controlcharts.h"
#include "bins/bintable.h"
#include "bins/setuptext.h"
#include "common/version.h"
#include "platform/regularfile.h"
#include "settings/testerprofilechoice.h"

#include <QAbstractTextDocumentLayout>
#include <QChart>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QImage>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextObjectInterface>
#include <QTextTable>

#include <algorithm>
#include <climits>
#include <functional>
#include <vector>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace {
struct ReportTexts
{
    Q_DECLARE_TR_FUNCTIONS(ShiftReport)
};

const char *const kQuantities[2] = {QT_TRANSLATE_NOOP("ShiftReport", "Resistance (mOhm)"),
                                    QT_TRANSLATE_NOOP("ShiftReport", "Voltage (V)")};

// The page in the document's own units, 96 to the inch (A4, 15 mm margins),
// and the bands of the running header and the foot.
constexpr double kUnitsPerMm = 96.0 / 25.4;
constexpr double kPageWidth = 210 * kUnitsPerMm;
constexpr double kPageHeight = 297 * kUnitsPerMm;
constexpr double kMargin = 15 * kUnitsPerMm;
constexpr double kBand = 26;
constexpr double kBodyWidth = kPageWidth - 2 * kMargin;
constexpr double kBodyHeight = kPageHeight - 2 * kMargin - 2 * kBand;
// Two charts side by side fill the body's width.
constexpr double kHalfWidth = kBodyWidth / 2 - 10;
// A table of more rows is printed as tables of at most this many, each kept
// on one page with its header, their sizes balanced: no page ends or starts
// with a lone row.
constexpr int kRowsPerTable = 40;

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

QString thousands(qint64 n)
{
    return QLocale::c().toString(n);
}

QString preformatted(const QString &text)
{
    return QStringLiteral("<p style=\"white-space:pre-wrap; font-size:8pt\">%1</p>").arg(escaped(text));
}

// --- Charts drawn into the page as vectors --------------------------------------------

// One chart of the report, drawn when its page is.
struct ChartSpec
{
    enum class Kind { Control, Histogram };
    Kind kind = Kind::Control;
    std::size_t stream = 0;
    int quantity = 0;
    bool movingRange = false;
    QSizeF size;
};

constexpr int kChartObject = QTextFormat::UserObject + 1;
constexpr int kChartIndex = QTextFormat::UserProperty + 1;

// Draws the charts in the text as the document is drawn: one chart at a time,
// so a report of many charts needs no more memory than one of few.
class ChartObjects : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    ChartObjects(const ShiftAnalysis &analysis, std::vector<ChartSpec> specs)
        : m_analysis(analysis), m_specs(std::move(specs))
    {
    }

    QSizeF intrinsicSize(QTextDocument *, int, const QTextFormat &format) override
    {
        const int index = format.intProperty(kChartIndex);
        return index >= 0 && index < int(m_specs.size()) ? m_specs[std::size_t(index)].size : QSizeF(1, 1);
    }

    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *, int, const QTextFormat &format) override
    {
        const int index = format.intProperty(kChartIndex);
        if (index < 0 || index >= int(m_specs.size()))
            return;
        const ChartSpec &spec = m_specs[std::size_t(index)];
        QGraphicsScene scene;
        auto *chart = new QChart;
        scene.addItem(chart);
        chart->setMargins(QMargins(2, 2, 2, 2));
        chart->setBackgroundRoundness(0);
        chart->setBackgroundPen(Qt::NoPen);
        chart->legend()->setAlignment(Qt::AlignBottom);
        if (spec.kind == ChartSpec::Kind::Control)
            controlcharts::fillControlChart(chart, spec.quantity, spec.movingRange, m_analysis.streams[spec.stream],
                                            controlcharts::Style::Report);
        else
            controlcharts::fillCapabilityHistogram(chart, spec.quantity,
                                                   m_analysis.quantities[std::size_t(spec.quantity)],
                                                   controlcharts::Style::Report);
        chart->resize(spec.size);
        chart->layout()->activate();
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        scene.render(painter, rect, QRectF(QPointF(0, 0), spec.size));
        painter->restore();
    }

    // The placeholder the HTML holds for chart `index`, replaced by the
    // object once the HTML is read.
    static QString placeholder(int index) { return QStringLiteral("@@chart%1@@").arg(index); }

private:
    const ShiftAnalysis &m_analysis;
    std::vector<ChartSpec> m_specs;
};

// Puts the charts in place of their placeholders.
void insertCharts(QTextDocument &document, int count)
{
    for (int i = 0; i < count; ++i) {
        QTextCursor found = document.find(ChartObjects::placeholder(i));
        if (found.isNull())
            continue;
        QTextCharFormat format;
        format.setObjectType(kChartObject);
        format.setProperty(kChartIndex, i);
        found.insertText(QString(QChar::ObjectReplacementCharacter), format);
    }
}

// --- Pages --------------------------------------------------------------------------

int pageOf(double y)
{
    return int(std::floor(y / kBodyHeight));
}

// Moves to the next page every heading that would end a page alone and every
// table that fits on a page but would be cut (the heading that leads to it
// with it). One pass in document order: a page break moves only what follows
// it, so every place is asked afresh after the breaks before it. A table
// longer than a page is left to repeat its header row.
void keepTogether(QTextDocument &document)
{
    struct Item
    {
        QTextBlock block; // a top-level paragraph, or
        QTextTable *table = nullptr;
    };
    std::vector<Item> items;
    for (QTextFrame::iterator it = document.rootFrame()->begin(); !it.atEnd(); ++it) {
        if (auto *table = qobject_cast<QTextTable *>(it.currentFrame()))
            items.push_back(Item{QTextBlock(), table});
        else if (it.currentBlock().isValid())
            items.push_back(Item{it.currentBlock(), nullptr});
    }
    QAbstractTextDocumentLayout *layout = document.documentLayout();
    const auto rectOf = [layout](const Item &item) {
        return item.table ? layout->frameBoundingRect(item.table) : layout->blockBoundingRect(item.block);
    };
    const auto atPageTop = [](const QRectF &rect) { return std::fmod(rect.top(), kBodyHeight) < 2; };
    const auto isHeading = [](const Item &item) { return !item.table && item.block.blockFormat().headingLevel() > 0; };
    const auto breakBefore = [](const Item &item) {
        if (item.table) {
            QTextTableFormat format = item.table->format();
            format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            item.table->setFormat(format);
            return;
        }
        QTextBlockFormat format = item.block.blockFormat();
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        QTextCursor(item.block).setBlockFormat(format);
    };
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Item &item = items[i];
        if (isHeading(item)) {
            const QRectF heading = rectOf(item);
            if (i + 1 < items.size() && !atPageTop(heading) && pageOf(rectOf(items[i + 1]).top()) != pageOf(heading.top()))
                breakBefore(item);
            continue;
        }
        if (!item.table)
            continue;
        const QRectF table = rectOf(item);
        if (table.height() > kBodyHeight - 4 || pageOf(table.top()) == pageOf(table.bottom() - 1))
            continue;
        // The heading that leads to the table, with up to two paragraphs
        // between them, moves with it.
        std::size_t lead = i;
        for (std::size_t back = 1; back <= 3 && back <= i && !items[i - back].table; ++back) {
            if (isHeading(items[i - back])) {
                lead = i - back;
                break;
            }
        }
        if (!atPageTop(rectOf(items[lead])))
            breakBefore(items[lead]);
    }
}

// Draws every page: running header, the body's slice of the document, foot.
void drawPages(QTextDocument &document, QPdfWriter &writer, const QString &header, const QString &foot)
{
    QPainter painter(&writer);
    const double scale = double(writer.resolution()) / 96.0;
    const int pages = document.pageCount();
    // In the page's own units, which the painter scales to the writer's.
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(9);
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        painter.save();
        painter.scale(scale, scale);
        painter.setFont(small);
        painter.setPen(QColor(60, 60, 60));
        const QRectF headerRect(kMargin, kMargin, kBodyWidth, kBand - 8);
        painter.drawText(headerRect, Qt::AlignLeft | Qt::AlignBottom,
                         QFontMetricsF(small).elidedText(header, Qt::ElideMiddle, kBodyWidth));
        painter.drawLine(QPointF(kMargin, kMargin + kBand - 4), QPointF(kMargin + kBodyWidth, kMargin + kBand - 4));
        const double footTop = kPageHeight - kMargin - kBand;
        painter.drawLine(QPointF(kMargin, footTop + 4), QPointF(kMargin + kBodyWidth, footTop + 4));
        const QRectF footRect(kMargin, footTop + 8, kBodyWidth, kBand - 8);
        const QString pageText = ReportTexts::tr("Page %1 of %2").arg(page + 1).arg(pages);
        painter.drawText(footRect, Qt::AlignRight | Qt::AlignTop, pageText);
        painter.drawText(footRect.adjusted(0, 0, -QFontMetricsF(small).horizontalAdvance(pageText) - 20, 0),
                         Qt::AlignLeft | Qt::AlignTop, foot);

        painter.translate(kMargin, kMargin + kBand - double(page) * kBodyHeight);
        const QRectF view(0, double(page) * kBodyHeight, kBodyWidth, kBodyHeight);
        painter.setClipRect(view);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = view;
        context.palette.setColor(QPalette::Text, Qt::black);
        document.documentLayout()->draw(&painter, context);
        painter.restore();
    }
}

// --- Content ------------------------------------------------------------------------

// A row of a table: the first cell, which names the row, to the left, the
// figures to the right; a line end in a cell starts a new line there.
QString row(const QStringList &cells, bool header = false)
{
    QString html = QStringLiteral("<tr>");
    for (qsizetype i = 0; i < cells.size(); ++i) {
        const QString text = escaped(cells.at(i)).replace(QLatin1Char('\n'), QStringLiteral("<br>"));
        if (header)
            html += QStringLiteral("<th>%1</th>").arg(text);
        else
            html += QStringLiteral("<td align=\"%1\">%2</td>").arg(i == 0 ? QStringLiteral("left") : QStringLiteral("right"), text);
    }
    return html + QStringLiteral("</tr>");
}

QString htmlTable(const QStringList &header, const QList<QStringList> &rows, double points = 8)
{
    const qsizetype tables = std::max<qsizetype>(1, (rows.size() + kRowsPerTable - 1) / kRowsPerTable);
    const qsizetype perTable = (rows.size() + tables - 1) / tables;
    QString html;
    for (qsizetype t = 0; t < tables; ++t) {
        html += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\" style=\"font-size:%1pt\">")
                        .arg(points);
        html += QStringLiteral("<thead>") + row(header, true) + QStringLiteral("</thead>");
        for (qsizetype r = t * perTable; r < std::min(rows.size(), (t + 1) * perTable); ++r)
            html += row(rows.at(r));
        html += QStringLiteral("</table>");
    }
    return html;
}

// A time that a table never breaks in two.
QString unbroken(const QString &text)
{
    return QString(text).replace(QLatin1Char(' '), QChar(0x00A0));
}

// A table of captions and their texts, left-aligned, without a header.
QString factTable(const QList<QPair<QString, QString>> &facts)
{
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"1\">");
    for (const auto &[caption, text] : facts)
        html += QStringLiteral("<tr><td><b>%1</b>&nbsp;&nbsp;</td><td>%2</td></tr>").arg(escaped(caption), escaped(text));
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
    QString html = ReportTexts::tr("<h4>%1: %n BIN(s), %2</h4>", nullptr, bins)
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

// The range for the running header: the one asked for, else the cells' own.
QString shortRange(const ShiftAnalysis &a)
{
    const auto at = [](qint64 stamp) { return controlcharts::timeCaption(stamp).left(16); };
    if (a.filter.from || a.filter.to)
        return ReportTexts::tr("%1 to %2")
                .arg(a.filter.from ? at(*a.filter.from) : ReportTexts::tr("the first record"),
                     a.filter.to ? at(*a.filter.to) : ReportTexts::tr("the last record"));
    if (a.summary.count() > 0)
        return ReportTexts::tr("%1 to %2").arg(at(a.firstStamp), at(a.lastStamp));
    return ReportTexts::tr("every record");
}

QString benchText(const ShiftAnalysis &a)
{
    if (!a.filter.bench.isEmpty())
        return a.filter.bench;
    QStringList names;
    for (const StreamAnalysis &s : a.streams)
        names << s.name;
    if (names.isEmpty())
        return ReportTexts::tr("all");
    return ReportTexts::tr("all: %1").arg(names.join(QStringLiteral(", ")));
}

// The capability of both quantities side by side.
QString capabilityHtml(const ShiftAnalysis &a)
{
    const auto ok = [](const spc::Capability &c) { return c.status == spc::Capability::Status::Ok; };
    struct Line
    {
        QString caption;
        std::function<QString(int, const QuantityAnalysis &, const spc::Capability &)> cell;
    };
    const std::vector<Line> lines = {
        {ReportTexts::tr("Limits from"), [](int, const QuantityAnalysis &q, const spc::Capability &) {
             return controlcharts::limitsSourceText(q);
         }},
        {ReportTexts::tr("LSL / USL"), [](int t, const QuantityAnalysis &, const spc::Capability &c) {
             return QStringLiteral("%1 / %2").arg(c.lower ? controlcharts::number(t, *c.lower) : ReportTexts::tr("none"),
                                                  c.upper ? controlcharts::number(t, *c.upper) : ReportTexts::tr("none"));
         }},
        {ReportTexts::tr("Target"), [](int t, const QuantityAnalysis &q, const spc::Capability &) {
             return q.target ? controlcharts::number(t, *q.target) : ReportTexts::tr("none");
         }},
        {ReportTexts::tr("n (cells)"), [](int, const QuantityAnalysis &q, const spc::Capability &) {
             return thousands(q.moments.count());
         }},
        {ReportTexts::tr("Mean"), [](int t, const QuantityAnalysis &q, const spc::Capability &) {
             return q.moments.count() > 0 ? controlcharts::number(t, q.moments.mean()) : QStringLiteral("-");
         }},
        {ReportTexts::tr("Within sigma (mean MR / 1.128)"), [](int t, const QuantityAnalysis &q, const spc::Capability &) {
             return q.pooled.valid() ? controlcharts::number(t, q.pooled.sigma) : QStringLiteral("-");
         }},
        {ReportTexts::tr("Overall sigma (sample std dev)"), [](int t, const QuantityAnalysis &q, const spc::Capability &) {
             return q.moments.count() > 1 ? controlcharts::number(t, q.moments.standardDeviation()) : QStringLiteral("-");
         }},
        {ReportTexts::tr("Cp (within)"), [&ok](int, const QuantityAnalysis &, const spc::Capability &c) {
             return ok(c) ? controlcharts::indexText(c.cp) : QStringLiteral("-");
         }},
        {ReportTexts::tr("Cpk (within), 95 % bounds"), [&ok](int, const QuantityAnalysis &, const spc::Capability &c) {
             return ok(c) ? controlcharts::indexWithBounds(c.cpk, c.cpkBounds) : QStringLiteral("-");
         }},
        {ReportTexts::tr("Pp (overall)"), [&ok](int, const QuantityAnalysis &, const spc::Capability &c) {
             return ok(c) ? controlcharts::indexText(c.pp) : QStringLiteral("-");
         }},
        {ReportTexts::tr("Ppk (overall), 95 % bounds"), [&ok](int, const QuantityAnalysis &, const spc::Capability &c) {
             return ok(c) ? controlcharts::indexWithBounds(c.ppk, c.ppkBounds) : QStringLiteral("-");
         }},
        {ReportTexts::tr("Anderson-Darling A2*, p"), [](int, const QuantityAnalysis &q, const spc::Capability &) {
             if (!q.normality)
                 return QStringLiteral("-");
             return QStringLiteral("%1, p %2")
                     .arg(QString::number(q.normality->a2Adjusted, 'f', 3),
                          q.normality->p < 0.0001 ? QStringLiteral("< 0.0001")
                                                  : QStringLiteral("= %1").arg(QString::number(q.normality->p, 'f', q.normality->p < 0.01 ? 4 : 3)));
         }},
    };
    QList<QStringList> rows;
    for (const Line &line : lines) {
        QStringList cells{line.caption};
        for (int t = 0; t < 2; ++t)
            cells << line.cell(t, a.quantities[std::size_t(t)], a.quantities[std::size_t(t)].capability);
        rows << cells;
    }
    QString html = htmlTable({QString(), ReportTexts::tr(kQuantities[0]), ReportTexts::tr(kQuantities[1])}, rows);
    // What the figures may and may not be taken for, in words.
    const int streams = int(a.streams.size());
    for (int t = 0; t < 2; ++t) {
        const QuantityAnalysis &q = a.quantities[std::size_t(t)];
        QStringList words{controlcharts::capabilityStatusText(t, q), controlcharts::pooledSigmaText(q, streams),
                          controlcharts::normalityText(q)};
        words.removeAll(QString());
        html += QStringLiteral("<p style=\"font-size:8pt\"><b>%1:</b> %2</p>")
                        .arg(escaped(controlcharts::quantityName(t)), escaped(words.join(QLatin1Char(' '))));
    }
    html += QStringLiteral("<p style=\"font-size:8pt\">%1</p>")
                    .arg(escaped(ReportTexts::tr("Cp = (USL - LSL) / (6 sigma), Cpk = min(USL - mean, mean - LSL) / "
                                                 "(3 sigma) with the within sigma; Pp and Ppk alike with the overall "
                                                 "sigma. 95 % bounds by Bissell's normal approximation (1990) with n "
                                                 "cells; the within sigma rests on moving ranges, so Cpk's bounds are "
                                                 "somewhat narrow. Indices need at least %1 cells.")
                                         .arg(spc::kMinCapabilityCells)));
    return html;
}

// The chart objects of the report, collected while its HTML is written.
class ChartList
{
public:
    QString add(ChartSpec spec)
    {
        m_specs.push_back(spec);
        return QStringLiteral("<span>%1</span>").arg(ChartObjects::placeholder(int(m_specs.size()) - 1));
    }
    std::vector<ChartSpec> &specs() { return m_specs; }

private:
    std::vector<ChartSpec> m_specs;
};

QString chartPair(const QString &left, const QString &right)
{
    return QStringLiteral("<table cellspacing=\"4\" cellpadding=\"0\"><tr><td>%1</td><td>%2</td></tr></table>").arg(left, right);
}

QString reportHtml(const ShiftAnalysis &a, const QList<QPair<QString, QString>> &facts, ChartList &charts)
{
    QString html = QStringLiteral("<html><body style=\"font-family:'DejaVu Sans'; font-size:9pt\">");
    html += ReportTexts::tr("<h2>BIN4870 shift report</h2>");
    html += factTable(facts);
    if (a.summary.count() == 0) {
        html += QStringLiteral("<h3>%1</h3><p>%2</p>")
                        .arg(escaped(ReportTexts::tr("No cells in this range")),
                             escaped(ReportTexts::tr("The source holds no cell in the range and bench chosen: there is "
                                                     "nothing to chart or judge.")));
        return html + QStringLiteral("</body></html>");
    }

    html += ReportTexts::tr("<h3>Capability</h3>");
    html += capabilityHtml(a);
    html += QStringLiteral("<h4>%1</h4>").arg(escaped(ReportTexts::tr("Histograms against the limits, with the normal curve")));
    html += chartPair(charts.add({ChartSpec::Kind::Histogram, 0, 0, false, QSizeF(kHalfWidth, 230)}),
                      charts.add({ChartSpec::Kind::Histogram, 0, 1, false, QSizeF(kHalfWidth, 230)}));

    html += ReportTexts::tr("<h3>Stability: I-MR charts per bench</h3>");
    html += QStringLiteral("<p style=\"font-size:8pt\">%1</p>")
                    .arg(escaped(ReportTexts::tr("Each bench's cells are charted on their own, in time order, against "
                                                 "that bench's own limits; no moving range spans two benches. Green: "
                                                 "mean; red dashed: control limits (mean +/- 2.66 x mean moving "
                                                 "range; moving range: 3.267 x its mean); orange dotted: 2 sigma; red "
                                                 "points: beyond a limit; orange points: another run rule.")));
    const int charted = std::min<int>(int(a.streams.size()), kReportChartedStreams);
    if (int(a.streams.size()) > charted)
        html += QStringLiteral("<p>%1</p>").arg(escaped(ReportTexts::tr("Charts of the first %1 of %2 benches; every "
                                                                        "bench is in the table that follows.")
                                                                .arg(charted)
                                                                .arg(a.streams.size())));
    for (int s = 0; s < charted; ++s) {
        const StreamAnalysis &stream = a.streams[std::size_t(s)];
        html += QStringLiteral("<h4>%1</h4>")
                        .arg(escaped(ReportTexts::tr("%1: %n cell(s), %2 to %3", nullptr,
                                                     int(std::min<qint64>(stream.cells, INT_MAX)))
                                             .arg(stream.name, controlcharts::timeCaption(stream.firstStamp),
                                                  controlcharts::timeCaption(stream.lastStamp))));
        QString grid = QStringLiteral("<table cellspacing=\"4\" cellpadding=\"0\">");
        for (const bool movingRange : {false, true}) {
            grid += QStringLiteral("<tr>");
            for (int t = 0; t < 2; ++t)
                grid += QStringLiteral("<td>%1</td>")
                                .arg(charts.add({ChartSpec::Kind::Control, std::size_t(s), t, movingRange,
                                                 QSizeF(kHalfWidth, movingRange ? 165 : 200)}));
            grid += QStringLiteral("</tr>");
        }
        // The limits in words stay on the page of their charts.
        grid += QStringLiteral("<tr><td colspan=\"2\">%1</td></tr></table>")
                        .arg(preformatted(controlcharts::limitsText(0, stream) + QLatin1Char('\n')
                                          + controlcharts::limitsText(1, stream)));
        html += grid;
    }

    html += ReportTexts::tr("<h3>Per bench</h3>");
    QList<QStringList> benchRows;
    for (const StreamAnalysis &s : a.streams) {
        benchRows << (QStringList{s.name, QString::number(s.cells), QString::number(s.inBins)}
                      + controlcharts::streamFigures(s) + QStringList{unbroken(controlcharts::timeCaption(s.lastStamp))});
    }
    html += htmlTable({ReportTexts::tr("Bench"), ReportTexts::tr("Cells"), ReportTexts::tr("In BIN"), ReportTexts::tr("Yield %"),
                       ReportTexts::tr("Mean R"), ReportTexts::tr("Cpk R"), ReportTexts::tr("Mean V"),
                       ReportTexts::tr("Cpk V"), ReportTexts::tr("Marked"), ReportTexts::tr("Last record")},
                      benchRows);
    html += QStringLiteral("<p style=\"font-size:8pt\">%1</p>")
                    .arg(escaped(ReportTexts::tr("Cpk per bench with that bench's own within sigma; \"-\" below %1 "
                                                 "cells.")
                                         .arg(spc::kMinCapabilityCells)));

    html += ReportTexts::tr("<h3>Yield per hour</h3>");
    html += QStringLiteral("<p>%1</p>").arg(escaped(ReportTexts::tr("In-BIN share: cells in a BIN of both tables. Whole "
                                                                    "range: %1 % of %n cell(s).",
                                                                    nullptr, int(std::min<qint64>(a.yield.total().cells, INT_MAX)))
                                                            .arg(QString::number(a.yield.total().percent(), 'f', 2))));
    QList<QStringList> hourRows;
    for (const auto &[start, y] : a.yield.hours()) {
        hourRows << QStringList{unbroken(controlcharts::hourCaption(start)), QString::number(y.cells), QString::number(y.inBins),
                                QString::number(y.percent(), 'f', 2)};
    }
    html += htmlTable({ReportTexts::tr("Hour"), ReportTexts::tr("Cells"), ReportTexts::tr("In BIN"), ReportTexts::tr("Yield %")},
                      hourRows);

    html += ReportTexts::tr("<h3>Marked cells</h3>");
    const std::vector<controlcharts::MarkRow> marks = controlcharts::markRows(a);
    qint64 marked = 0;
    for (const QuantityAnalysis &q : a.quantities)
        marked += q.markedPoints;
    if (marks.empty()) {
        html += QStringLiteral("<p>%1</p>").arg(escaped(ReportTexts::tr("No cell breaks a run rule.")));
    } else {
        QList<QStringList> markRows;
        for (std::size_t i = 0; i < marks.size() && i < std::size_t(kReportMarkedCells); ++i) {
            const controlcharts::MarkRow &m = marks[i];
            markRows << QStringList{m.stamp != 0 ? unbroken(controlcharts::timeCaption(m.stamp)) : QString(), m.bench,
                                    m.cellId.isEmpty() ? QStringLiteral("-") : m.cellId, QString::number(m.cell),
                                    QStringLiteral("%1 %2 %3").arg(controlcharts::quantityName(m.quantity),
                                                                   controlcharts::number(m.quantity, m.value),
                                                                   controlcharts::unit(m.quantity)),
                                    controlcharts::ruleNames(m.rules).replace(QStringLiteral(", "), QStringLiteral("\n"))};
        }
        if (marked > qint64(markRows.size()))
            html += QStringLiteral("<p>%1</p>").arg(escaped(ReportTexts::tr("The earliest %1 of %n marked cell(s); the "
                                                                            "quality window lists more.",
                                                                            nullptr, int(std::min<qint64>(marked, INT_MAX)))
                                                                    .arg(markRows.size())));
        html += htmlTable({ReportTexts::tr("Time"), ReportTexts::tr("Bench"), ReportTexts::tr("Cell ID"),
                           ReportTexts::tr("Cell"), ReportTexts::tr("Value"), ReportTexts::tr("Rule broken")},
                          markRows, 7);
    }

    html += ReportTexts::tr("<h3>Per BIN</h3>");
    for (int t = 0; t < 2; ++t)
        html += QStringLiteral("<h4>%1</h4>").arg(ReportTexts::tr(kQuantities[t])) + binTableHtml(a.summary, t);

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
    return html + QStringLiteral("</body></html>");
}

} // namespace

ProfileInUse profileInUse(const QString &settingsFolder)
{
    ProfileInUse inUse;
    const QString choice = loadProfileChoice(settingsFolder);
    const Result<TesterProfile> profile = loadChosenProfile(settingsFolder, choice);
    if (!profile) {
        inUse.text = ReportTexts::tr("%1 (cannot be read: %2)").arg(choice, profile.errorString());
        return inUse;
    }
    inUse.text = profile->displayName();
    inUse.testerWords = profile->judgement.passWords + profile->judgement.failWords;
    return inUse;
}

QString currentUserName()
{
#ifdef Q_OS_UNIX
    if (const passwd *user = ::getpwuid(::geteuid()); user && user->pw_name && *user->pw_name)
        return QString::fromLocal8Bit(user->pw_name);
#endif
    for (const char *name : {"USER", "LOGNAME", "USERNAME"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty())
            return value;
    }
    return ReportTexts::tr("unknown user");
}

bool writeShiftReport(const ShiftAnalysis &a, const QString &pdfPath, QString *error, const ReportMaker &maker)
{
    if (const QString refusal = replaceRefusal(pdfPath); !refusal.isEmpty()) {
        if (error)
            *error = refusal;
        return false;
    }
    const QString version = QStringLiteral("BIN4870 %1.%2.%3").arg(version::kMajor).arg(version::kMinor).arg(version::kRevision);
    const QString user = maker.user.isEmpty() ? currentUserName() : maker.user;
    const QString made = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QList<QPair<QString, QString>> facts = {
        {ReportTexts::tr("Source"), a.source},
        {ReportTexts::tr("Bench"), benchText(a)},
        {ReportTexts::tr("Range"), rangeText(a)},
        {ReportTexts::tr("Cells"), thousands(a.summary.count())},
    };
    if (a.recordsNotRead > 0)
        facts.append({ReportTexts::tr("Damaged lines not read"), thousands(a.recordsNotRead)});
    facts.append({ReportTexts::tr("Tester profile"), maker.profile.isEmpty() ? ReportTexts::tr("not known") : maker.profile});
    facts.append({ReportTexts::tr("Made"), ReportTexts::tr("%1 by %2 with %3").arg(made, user, version)});

    ChartList charts;
    const QString html = reportHtml(a, facts, charts);
    const int chartCount = int(charts.specs().size());
    ChartObjects chartObjects(a, std::move(charts.specs()));
    QTextDocument document;
    // Laid out at 96 units to the inch, whatever the screen: the pages come out alike everywhere.
    QImage measure(1, 1, QImage::Format_RGB32);
    measure.setDotsPerMeterX(qRound(96 / 0.0254));
    measure.setDotsPerMeterY(qRound(96 / 0.0254));
    document.documentLayout()->setPaintDevice(&measure);
    document.documentLayout()->registerHandler(kChartObject, &chartObjects);
    document.setDocumentMargin(0);
    document.setHtml(html);
    insertCharts(document, chartCount);
    // A framed table longer than a page repeats its header row there.
    for (QTextFrame::iterator it = document.rootFrame()->begin(); !it.atEnd(); ++it) {
        if (auto *table = qobject_cast<QTextTable *>(it.currentFrame()); table && table->format().border() > 0) {
            QTextTableFormat format = table->format();
            format.setHeaderRowCount(1);
            table->setFormat(format);
        }
    }
    document.setPageSize(QSizeF(kBodyWidth, kBodyHeight));
    keepTogether(document);

    const QString bench = a.filter.bench.isEmpty() ? ReportTexts::tr("all") : a.filter.bench;
    const QString header = ReportTexts::tr("BIN4870 shift report - %1 - %2 - Bench: %3").arg(a.source, shortRange(a), bench);
    const QString foot = ReportTexts::tr("%1 - made %2 by %3").arg(version, made, user);

    QSaveFile file(pdfPath);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                                         QPageLayout::Millimeter));
        writer.setResolution(300);
        writer.setTitle(ReportTexts::tr("BIN4870 shift report"));
        writer.setCreator(version);
        drawPages(document, writer, header, foot);
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

#include "shiftreport.moc"

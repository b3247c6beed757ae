#include "app/packs/plansheetpdf.h"

#include "common/version.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

namespace {
struct PdfTexts
{
    Q_DECLARE_TR_FUNCTIONS(PlanSheetPdf)
};

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString paragraphs(const QStringList &lines)
{
    QString html;
    for (const QString &line : lines)
        html += QStringLiteral("%1<br>").arg(escaped(line));
    return QStringLiteral("<p>%1</p>").arg(html);
}

QString cellRows(const PlanSheet &sheet)
{
    QString rows;
    const PackGroups &groups = sheet.plan.groups;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const GroupFigures figures = groupFiguresOf(groups[g]);
        QString caption = PdfTexts::tr("Group %1: %2 mOhm, spread %3 mOhm")
                                  .arg(g + 1)
                                  .arg(milliOhmText(figures.resistanceOhm, 4), milliOhmText(figures.spreadOhm));
        if (figures.hasCapacity)
            caption += PdfTexts::tr(", %1 mAh").arg(QLocale::c().toString(figures.capacityMah, 'f', 0));
        rows += QStringLiteral("<tr><td colspan=\"5\" style=\"padding-top:4px\"><b>%1</b></td></tr>").arg(escaped(caption));
        for (std::size_t p = 0; p < groups[g].size(); ++p) {
            const PoolCell &cell = groups[g][p];
            rows += QStringLiteral("<tr><td>%1.%2</td><td>%3</td><td align=\"right\">%4</td><td align=\"right\">%5</td>"
                                   "<td align=\"right\">%6</td></tr>")
                            .arg(g + 1)
                            .arg(p + 1)
                            .arg(escaped(cell.cellId), milliOhmText(cell.resistanceOhm),
                                 QLocale::c().toString(cell.voltageV, 'f', 4),
                                 cell.capacityMah ? escaped(cell.capacityText) : QStringLiteral("-"));
        }
    }
    return rows;
}

} // namespace

Status writePlanPdf(const PlanSheet &sheet, const QString &pdfPath)
{
    if (const QString refusal = replaceRefusal(pdfPath); !refusal.isEmpty())
        return Failure(ErrorKind::FileIo, refusal);
    const Plan &plan = sheet.plan;
    const QString shape = QStringLiteral("%1s%2p").arg(plan.settings.series).arg(plan.settings.parallel);
    QString html = QStringLiteral("<html><body style=\"font-family:'DejaVu Sans'; font-size:9pt\">");
    html += PdfTexts::tr("<h2>BIN4870 build sheet: %1</h2>").arg(escaped(shape));
    QStringList head;
    head << (sheet.packName.isEmpty() ? PdfTexts::tr("Not saved: no cell is reserved for this plan")
                                      : PdfTexts::tr("Pack %1; its cells are reserved").arg(sheet.packName));
    head << PdfTexts::tr("Source: %1").arg(sheet.source);
    head << PdfTexts::tr("Made %1 by BIN4870 %2.%3.%4")
                    .arg(sheet.made.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                    .arg(version::kMajor)
                    .arg(version::kMinor)
                    .arg(version::kRevision);
    head << sheet.identityLine();
    html += paragraphs(head);
    html += PdfTexts::tr("<h3>Figures</h3>") + paragraphs(plan.summaryLines());
    html += PdfTexts::tr("<h3>Pool</h3>") + paragraphs(sheet.poolLines);
    if (!sheet.capacityLines.isEmpty())
        html += PdfTexts::tr("<h3>Capacity file</h3>") + paragraphs(sheet.capacityLines);
    if (!sheet.trade.empty())
        html += PdfTexts::tr("<h3>Group window</h3>") + paragraphs(sheet.tradeLines());
    html += PdfTexts::tr("<h3>Cells by group and position</h3>");
    html += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"3\"><tr><th align=\"left\">%1</th>"
                           "<th align=\"left\">%2</th><th align=\"right\">%3</th><th align=\"right\">%4</th>"
                           "<th align=\"right\">%5</th></tr>")
                    .arg(PdfTexts::tr("Place"), PdfTexts::tr("Cell ID"), PdfTexts::tr("R (mOhm)"),
                         PdfTexts::tr("V (V)"), PdfTexts::tr("Capacity (mAh)"));
    html += cellRows(sheet) + QStringLiteral("</table></body></html>");

    QTextDocument document;
    document.setHtml(html);
    QSaveFile file(pdfPath);
    if (!file.open(QIODevice::WriteOnly))
        return Failure(ErrorKind::FileIo, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(pdfPath), file.errorString()));
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                                         QPageLayout::Millimeter));
        writer.setResolution(300);
        writer.setTitle(PdfTexts::tr("BIN4870 build sheet %1").arg(shape));
        writer.setCreator(QStringLiteral("BIN4870"));
        document.print(&writer);
    }
    if (const QString refusal = replaceRefusal(pdfPath); !refusal.isEmpty()) {
        file.cancelWriting();
        return Failure(ErrorKind::FileIo, refusal);
    }
    if (!file.commit())
        return Failure(ErrorKind::FileIo, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(pdfPath), file.errorString()));
    return {};
}

#include "app/packs/planview.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString fixed(double value, int decimals)
{
    return QLocale::c().toString(value, 'f', decimals);
}

QTableWidgetItem *cell(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

} // namespace

QStringList sheetLines(const PlanSheet &sheet)
{
    QStringList lines;
    lines << (sheet.packName.isEmpty() ? PlanView::tr("Not saved: no cell is reserved for this plan yet")
                                       : PlanView::tr("Saved as pack %1; its cells are reserved").arg(sheet.packName));
    lines << PlanView::tr("Source: %1").arg(sheet.source);
    lines << sheet.plan.summaryLines();
    lines << sheet.identityLine();
    lines << QString() << PlanView::tr("Pool:") << sheet.poolLines;
    if (!sheet.capacityLines.isEmpty())
        lines << QString() << PlanView::tr("Capacity file:") << sheet.capacityLines;
    return lines;
}

PlanView::PlanView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("planView"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto *left = new QVBoxLayout;
    m_summary = new QPlainTextEdit;
    m_summary->setObjectName(QStringLiteral("planSummary"));
    m_summary->setReadOnly(true);
    m_summary->setAccessibleName(tr("Plan figures"));
    left->addWidget(m_summary, 2);
    m_problemsCaption = new QLabel(tr("Capacity file rows that gave no capacity:"));
    m_problems = new QListWidget;
    m_problems->setObjectName(QStringLiteral("capacityProblems"));
    m_problems->setAccessibleName(tr("Capacity file rows that gave no capacity"));
    m_problemsCaption->setBuddy(m_problems);
    left->addWidget(m_problemsCaption);
    left->addWidget(m_problems, 1);
    m_tradeCaption = new QLabel(tr("The group window's trade:"));
    m_trade = new QTableWidget(0, 5);
    m_trade->setObjectName(QStringLiteral("windowTrade"));
    m_trade->setAccessibleName(tr("The group window's trade"));
    m_trade->setHorizontalHeaderLabels({tr("Group window"), tr("Cells within"), tr("Group R range %"),
                                        tr("Capacity range mAh"), tr("Worst in-group mOhm")});
    m_trade->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_trade->verticalHeader()->hide();
    m_tradeCaption->setBuddy(m_trade);
    left->addWidget(m_tradeCaption);
    left->addWidget(m_trade, 1);
    layout->addLayout(left, 1);

    m_groups = new QTreeWidget;
    m_groups->setObjectName(QStringLiteral("planGroups"));
    m_groups->setAccessibleName(tr("Groups and their cells"));
    m_groups->setColumnCount(5);
    m_groups->setHeaderLabels({tr("Place"), tr("Cell ID"), tr("R (mOhm)"), tr("V (V)"), tr("Capacity (mAh)")});
    m_groups->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_groups, 1);

    for (QWidget *w : {static_cast<QWidget *>(m_problemsCaption), static_cast<QWidget *>(m_problems),
                       static_cast<QWidget *>(m_tradeCaption), static_cast<QWidget *>(m_trade)})
        w->hide();
}

void PlanView::showText(const QStringList &lines)
{
    m_summary->setPlainText(lines.join(QLatin1Char('\n')));
}

void PlanView::showProblems(const std::vector<CapacityRowProblem> &problems)
{
    m_problems->clear();
    for (const CapacityRowProblem &problem : problems)
        m_problems->addItem(tr("Row %1: %2").arg(problem.row).arg(problem.reason));
    m_problemsCaption->setVisible(!problems.empty());
    m_problems->setVisible(!problems.empty());
}

void PlanView::showGroups(const PackGroups &groups)
{
    m_groups->clear();
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const GroupFigures f = groupFiguresOf(groups[g]);
        auto *group = new QTreeWidgetItem(m_groups);
        group->setText(0, tr("Group %1").arg(g + 1));
        group->setText(1, tr("spread %1 mOhm").arg(milliOhmText(f.spreadOhm)));
        group->setText(2, milliOhmText(f.resistanceOhm, 4));
        group->setText(4, f.hasCapacity ? fixed(f.capacityMah, 0) : QString());
        for (std::size_t p = 0; p < groups[g].size(); ++p) {
            const PoolCell &c = groups[g][p];
            auto *item = new QTreeWidgetItem(group);
            item->setText(0, QStringLiteral("%1.%2").arg(g + 1).arg(p + 1));
            item->setText(1, c.cellId);
            item->setText(2, milliOhmText(c.resistanceOhm));
            item->setText(3, fixed(c.voltageV, 4));
            item->setText(4, c.capacityMah ? c.capacityText : QStringLiteral("-"));
        }
    }
    if (m_groups->topLevelItemCount() > 0)
        m_groups->topLevelItem(0)->setExpanded(true);
}

void PlanView::showTrade(const std::vector<WindowTradeRow> &rows, SpreadUnit unit)
{
    m_trade->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        const WindowTradeRow &row = rows[std::size_t(r)];
        m_trade->setItem(r, 0, cell(unit == SpreadUnit::Percent ? tr("%1 %").arg(QLocale::c().toString(row.groupWindow, 'g', 4))
                                                                 : tr("%1 mOhm").arg(milliOhmText(row.groupWindow))));
        m_trade->setItem(r, 1, cell(QString::number(row.choosableCells)));
        if (!row.planned) {
            m_trade->setItem(r, 2, cell(row.failure));
            m_trade->setItem(r, 3, cell(QString()));
            m_trade->setItem(r, 4, cell(QString()));
            continue;
        }
        m_trade->setItem(r, 2, cell(QLocale::c().toString(row.figures.groupResistanceRangePercent, 'g', 3)));
        m_trade->setItem(r, 3, cell(row.figures.hasCapacity ? fixed(row.figures.capacityRangeMah, 1) : tr("not known")));
        m_trade->setItem(r, 4, cell(milliOhmText(row.figures.worstGroupSpreadOhm)));
    }
    m_tradeCaption->setVisible(!rows.empty());
    m_trade->setVisible(!rows.empty());
}

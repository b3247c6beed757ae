#include "app/cellids/cellhistorywindow.h"

#include "cellid/cellhistory.h"
#include "cellid/cellid.h"
#include "cellid/kvalue.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

CellHistoryWindow::CellHistoryWindow(LookUpFunction lookUp, QWidget *parent)
    : QDialog(parent), m_lookUp(std::move(lookUp))
{
    setObjectName(QStringLiteral("cellHistoryWindow"));
    setWindowTitle(tr("Cell history"));
    setSizeGripEnabled(true);

    auto *layout = new QVBoxLayout(this);
    auto *row = new QHBoxLayout;
    auto *caption = new QLabel(tr("Cell &ID:"), this);
    m_idField = new QLineEdit(this);
    m_idField->setObjectName(QStringLiteral("historyIdField"));
    m_idField->setMaxLength(256);
    m_idField->setAccessibleName(tr("Cell ID"));
    caption->setBuddy(m_idField);
    auto *showButton = new QPushButton(tr("&Show"), this);
    showButton->setObjectName(QStringLiteral("showHistoryButton"));
    showButton->setAccessibleName(tr("Show the cell's records"));
    showButton->setAutoDefault(false);
    row->addWidget(caption);
    row->addWidget(m_idField, 1);
    row->addWidget(showButton);
    layout->addLayout(row);

    m_table = new QTableWidget(0, 7, this);
    m_table->setObjectName(QStringLiteral("historyTable"));
    m_table->setAccessibleName(tr("Records of the cell"));
    m_table->setHorizontalHeaderLabels({tr("Date"), tr("Bench"), tr("R"),
                                        tr("V"), tr("BINs (R / V)"), tr("Re-test"),
                                        tr("K-value")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table, 1);

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("historySummary"));
    m_summary->setAccessibleName(tr("History summary"));
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);
    resize(720, 360);

    // Enter (a scanner's or the operator's) looks the ID up and stays here.
    connect(m_idField, &QLineEdit::returnPressed, this, [this] { showCell(m_idField->text()); });
    connect(showButton, &QPushButton::clicked, this, [this] { showCell(m_idField->text()); });
}

void CellHistoryWindow::showCell(const QString &cellId)
{
    list(cellId, true);
}

void CellHistoryWindow::refresh()
{
    if (!m_shownId.isEmpty())
        list(m_shownId, false);
}

void CellHistoryWindow::list(const QString &cellId, bool ask)
{
    const LookUp found = m_lookUp(cellId, ask);
    m_table->setRowCount(0);
    if (!found.problem.isEmpty()) {
        m_shownId.clear();
        m_summary->setText(found.problem);
        return;
    }
    const QString id = normalisedCellId(cellId);
    m_shownId = id;
    m_table->setRowCount(int(found.records.size()));
    for (int r = 0; r < int(found.records.size()); ++r) {
        const CellRecord &record = found.records[size_t(r)];
        const auto bin = [](const QString &text) { return text.isEmpty() ? QStringLiteral("?") : text; };
        const QStringList cells{
            historyTimeText(record.measuredAt),
            record.bench,
            record.resistanceText.trimmed(),
            record.voltageText.trimmed(),
            QStringLiteral("%1 / %2").arg(bin(record.resistanceBin), bin(record.voltageBin)),
            record.retest ? tr("re-test") : QString(),
            record.kValue ? kRecordText(*record.kValue, record.kUncertainty, record.kVerdict)
                          : kVerdictTextOfWord(record.kVerdict),
        };
        for (int c = 0; c < cells.size(); ++c)
            m_table->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    m_table->resizeColumnsToContents();
    QString summary = found.records.empty() ? tr("No record of cell %1.").arg(id)
                                            : tr("Cell %1: %n record(s).", nullptr, int(found.records.size())).arg(id);
    if (!found.note.isEmpty())
        summary += QLatin1Char(' ') + found.note;
    if (const QString clock = clockWarning(id, found.records, found.now); !clock.isEmpty())
        summary += QLatin1Char(' ') + clock;
    m_summary->setText(summary);
}

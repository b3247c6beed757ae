#pragma once

#include "pack/capacitycsv.h"
#include "pack/plansheet.h"

#include <QWidget>

#include <vector>

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QTableWidget;
class QTreeWidget;

// The build sheet's results: the figures and what the pool left out (a text
// that can be selected and read by a screen reader line by line), the
// capacity file's rows that gave no capacity, each group's cells (place, ID,
// R, V, capacity) under the group's own figures, and the group window's trade.
class PlanView : public QWidget
{
    Q_OBJECT
public:
    explicit PlanView(QWidget *parent = nullptr);

    // The sheet's text: the pool, the capacity file, the figures, the pack's
    // name and what gives the plan again; an empty sheet shows the lines alone.
    void showText(const QStringList &lines);
    void showProblems(const std::vector<CapacityRowProblem> &problems);
    void showGroups(const PackGroups &groups);
    void showTrade(const std::vector<WindowTradeRow> &rows, SpreadUnit unit);

    QPlainTextEdit *summary() const { return m_summary; }
    QListWidget *problems() const { return m_problems; }
    QTreeWidget *groups() const { return m_groups; }
    QTableWidget *trade() const { return m_trade; }

private:
    QPlainTextEdit *m_summary = nullptr;
    QLabel *m_problemsCaption = nullptr;
    QListWidget *m_problems = nullptr;
    QTreeWidget *m_groups = nullptr;
    QLabel *m_tradeCaption = nullptr;
    QTableWidget *m_trade = nullptr;
};

// The lines a sheet shows above its groups.
QStringList sheetLines(const PlanSheet &sheet);

#pragma once

#include "record/cellhistory.h"

#include <QDialog>

#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QTableWidget;

// "Cell history": an ID typed or scanned into the field (Enter ends it) lists
// every record of that cell, oldest first: date, bench, R, V, BINs, re-test
// and K-value. Opened with show(); it looks records up through the function it
// is given, which also says what is wrong with an ID.
class CellHistoryWindow : public QDialog
{
    Q_OBJECT
public:
    struct LookUp
    {
        std::vector<CellHistoryEntry> records;
        QString problem; // the ID cannot be looked up; empty otherwise
        double kLimit = 0;
    };
    using LookUpFunction = std::function<LookUp(const QString &cellId)>;

    explicit CellHistoryWindow(LookUpFunction lookUp, QWidget *parent = nullptr);

    // Looks the ID up and lists what was found.
    void showCell(const QString &cellId);

    QLineEdit *idField() const { return m_idField; }
    QTableWidget *table() const { return m_table; }
    QLabel *summary() const { return m_summary; }

private:
    LookUpFunction m_lookUp;
    QLineEdit *m_idField = nullptr;
    QTableWidget *m_table = nullptr;
    QLabel *m_summary = nullptr;
};

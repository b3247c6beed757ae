#pragma once

#include "record/cellrecord.h"

#include <QDateTime>
#include <QDialog>

#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QTableWidget;

// "Cell history": an ID typed or scanned into the field (Enter ends it) lists
// every record of that cell, oldest first: date, bench, R, V, BINs, re-test
// and K-value. Opened with show(); it looks records up through the function it
// is given, which also says what is wrong with an ID and notes a source that
// could not be read or has not answered yet.
class CellHistoryWindow : public QDialog
{
    Q_OBJECT
public:
    struct LookUp
    {
        std::vector<CellRecord> records;
        QString problem; // the ID cannot be looked up; empty otherwise
        QString note;    // about the sources: one that failed, one still asked
        QDateTime now;   // the bench's time, for records dated after it
    };
    // ask: ask the sources afresh (a new look-up), rather than list what they
    // said last (refresh()).
    using LookUpFunction = std::function<LookUp(const QString &cellId, bool ask)>;

    explicit CellHistoryWindow(LookUpFunction lookUp, QWidget *parent = nullptr);

    // Looks the ID up and lists what was found.
    void showCell(const QString &cellId);
    // Lists the shown ID's records again, as the sources know them now.
    void refresh();
    // The ID listed; empty before the first or after a refused one.
    const QString &shownId() const { return m_shownId; }

    QLineEdit *idField() const { return m_idField; }
    QTableWidget *table() const { return m_table; }
    QLabel *summary() const { return m_summary; }

private:
    void list(const QString &cellId, bool ask);

    LookUpFunction m_lookUp;
    QString m_shownId;
    QLineEdit *m_idField = nullptr;
    QTableWidget *m_table = nullptr;
    QLabel *m_summary = nullptr;
};

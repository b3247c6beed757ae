#pragma once

#include "common/backgroundpool.h"
#include "record/cellrecord.h"
#include "record/centralconnection.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <vector>

class Journal;

// What the bench knows of a cell: its records in the bench's journal, read at
// once, and, while the shared database is on, every bench's records there,
// asked on a pool of this object's own. The database's answers are kept per
// cell ID; an earlier answer stays listed until the next one comes. A
// database that cannot be reached is noted, and the journal's records stand.
//
// Nothing waits for a question in flight, also not this object's destructor:
// a server that does not answer holds the question on its thread, and its
// answer is dropped.
class CellHistoryLookUp : public QObject
{
    Q_OBJECT
public:
    struct History
    {
        std::vector<CellRecord> records; // oldest first
        QString note; // a source that could not be read or is still being asked
    };

    // The journal and the settings are the caller's and outlive this object.
    CellHistoryLookUp(Journal &journal, const CentralSettings &settings, QObject *parent = nullptr);
    ~CellHistoryLookUp() override;

    // The cell's records from the journal and the database's last answer.
    History historyOf(const QString &cellId) const;
    // Asks the shared database, when it is on, for the cell's records;
    // answered() tells when they are in. A question for the cell still in
    // flight is not asked again.
    void ask(const QString &cellId);

Q_SIGNALS:
    void answered(const QString &cellId);

private:
    struct Answer
    {
        bool pending = false;
        std::vector<CellRecord> records;
        QString problem;
    };

    Journal &m_journal;
    const CentralSettings &m_settings;
    QHash<QString, Answer> m_answers;
    BackgroundPool m_pool;
};

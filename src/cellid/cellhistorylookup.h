#pragma once

#include "common/backgroundpool.h"
#include "record/cellrecord.h"
#include "record/centralconnection.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <chrono>
#include <vector>

class Journal;

// What the bench knows of a cell: its records in the bench's journal, read at
// once, and, while the shared database is on, every bench's records there,
// asked on a pool of this object's own. The database's answers are kept per
// cell ID: a new question keeps the last answer's records until it is
// answered, and a question that fails or takes longer than kSlowAnswer keeps
// them too. The history is then "not known now": what is listed stands, but
// other benches may have more.
//
// Nothing waits for a question in flight, also not this object's destructor:
// a server that does not answer holds the question on its thread, and its
// answer is dropped.
class CellHistoryLookUp : public QObject
{
    Q_OBJECT
public:
    // A question unanswered this long is told as slow (answered() is emitted).
    static constexpr std::chrono::milliseconds kSlowAnswer{2000};

    struct History
    {
        std::vector<CellRecord> records; // oldest first
        // Every source that is on answered: nothing is missing from records.
        bool complete = true;
        // The shared database is being asked and has not been slow yet.
        bool asking = false;
        // Why it is not complete: a source that could not be read or is slow;
        // empty when complete or still asking.
        QString reason;
        // What to tell about the sources: "History not known now (reason)."
        // or "Asking the central record..."; empty when complete.
        QString note;
    };

    // The journal and the settings are the caller's and outlive this object.
    CellHistoryLookUp(Journal &journal, const CentralSettings &settings, QObject *parent = nullptr);
    ~CellHistoryLookUp() override;

    // The cell's records from the journal and what the database said last.
    History historyOf(const QString &cellId) const;
    // Asks the shared database, when it is on, for the cell's records;
    // answered() tells when they are in, or that the question is slow. A
    // question for the cell still in flight is not asked again.
    void ask(const QString &cellId);

    static QString notKnownText(const QString &reason);

Q_SIGNALS:
    void answered(const QString &cellId);

private:
    struct Answer
    {
        bool pending = false;
        bool slow = false;
        quint64 question = 0;
        // The last records the database gave; an answer that failed keeps them.
        std::vector<CellRecord> records;
        QString problem;
    };
    struct Found
    {
        bool ok = false;
        std::vector<CellRecord> records;
        QString problem;
    };

    Journal &m_journal;
    const CentralSettings &m_settings;
    QHash<QString, Answer> m_answers;
    quint64 m_questions = 0;
    BackgroundPool m_pool;
};

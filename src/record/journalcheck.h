#pragma once

#include "common/result.h"

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <memory>

class QSqlDatabase;

// Reads every page of the journal's file (PRAGMA quick_check): a journal cut
// short or overwritten shows here rather than when a counted cell is to be
// written. A failure's text is the reason for Journal::movedAsideText(); its
// kind is ErrorKind::Damaged when the file is damaged, another when it could
// not be read through (journalErrorKind()).
Status checkEveryPage(QSqlDatabase &db);

// The full check of a journal on a worker thread of its own, so that the
// window does not wait for it: it reads the file on a read-only connection of
// its own while the counting path goes on writing through its own. The
// verdict comes back to the thread that started it, for Journal::checked().
//
// Destroying it, or cancel(), interrupts a check in progress within
// milliseconds, whatever the size of the file; a cancelled check gives no
// verdict.
class JournalCheck : public QObject
{
    Q_OBJECT
public:
    explicit JournalCheck(QObject *parent = nullptr);
    ~JournalCheck() override;

    // Checks the journal at path; a check still running is cancelled first.
    void start(const QString &path);
    void cancel();
    bool isRunning() const { return m_state != nullptr; }

Q_SIGNALS:
    void finished(const Status &verdict);

private:
    struct State;

    QThreadPool m_pool;
    std::shared_ptr<State> m_state;
};

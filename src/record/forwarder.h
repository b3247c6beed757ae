#pragma once

#include "record/centraldatabase.h"
#include "record/journal.h"

#include <QAtomicInteger>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>

// What the central record looks like from the bench: how many of its cells
// the central database has not confirmed yet, and why.
struct CentralStatus
{
    bool enabled = false;
    qint64 waiting = 0;
    QString reason; // empty when all is well
    // Sent and kept by the server, but not yet marked sent in the journal,
    // which may not be written: they are among the journal's unsent cells
    // and are not waiting.
    qint64 sentNotMarked = 0;
    // Counted cells the journal could not keep, which therefore never reach
    // the server, and the journal's reason.
    qint64 notKept = 0;
    QString notKeptReason;
    // Other machines that have claimed this bench's name on the server,
    // and the name.
    int otherMachines = 0;
    QString bench;

    bool operator==(const CentralStatus &other) const
    {
        return enabled == other.enabled && waiting == other.waiting && reason == other.reason
            && sentNotMarked == other.sentNotMarked && notKept == other.notKept
            && notKeptReason == other.notKeptReason && otherMachines == other.otherMachines
            && bench == other.bench;
    }
    // Before the first contact with the server.
    static CentralStatus connecting();
    bool upToDate() const { return waiting == 0 && reason.isEmpty() && notKept == 0; }
    // "Central record: up to date", "Central record: 37 cells waiting (reason)",
    // followed by "; 2 counted cell(s) not in the journal, never sent
    // (reason)" when there are such, and "; the bench name ... is used by
    // 1 other machine too ..." when it is; empty when the central record is off.
    QString text() const;
};
Q_DECLARE_METATYPE(CentralStatus)

// Sends the journal's unconfirmed records to the central database, oldest
// first, in batches; a batch is marked sent in the journal only after the
// server has committed it, so a crash or kill at any point loses nothing and
// a batch sent again is kept once (ON CONFLICT DO NOTHING). A server that is
// down, refuses or breaks off is tried again after 1, 2, 4 ... up to 30 s.
//
// A batch the server committed but the journal could not mark (a journal
// this user may not write) is remembered instead: the batches after it are
// read and sent, none is sent again while the program runs, and the marks
// are made as soon as the journal may be written (the next wake, or every
// kLongestRetry). A restart meanwhile sends those cells once more.
//
// Lives on a thread of its own (CentralForwarderThread) with its own journal
// and database connections; every public slot is called through a queued
// connection or QMetaObject::invokeMethod.
class CentralForwarder : public QObject
{
    Q_OBJECT
public:
    static constexpr int kBatchSize = 2000;
    static constexpr std::chrono::milliseconds kFirstRetry{1000};
    static constexpr std::chrono::milliseconds kLongestRetry{30000};

    CentralForwarder(QString journalPath, CentralSettings settings, QString connectionPrefix);
    ~CentralForwarder() override;

    // From any thread: no further step is taken, even while the slot that
    // stops it waits behind a statement in flight.
    void requestStop();

public Q_SLOTS:
    // Opens the journal and starts sending.
    void start();
    // New records are in the journal: send them now unless waiting to retry.
    void wake();
    // The journal was moved aside and started afresh at the same path.
    void reopenJournal();
    // Closes both connections; nothing more is sent.
    void stop();

Q_SIGNALS:
    void statusChanged(const CentralStatus &status);
    // The server committed a batch, whether or not the status changed.
    void batchSent();

private:
    void step();
    void fail(const QString &reason);
    void report(const QString &reason);
    void scheduleNow();
    bool sendBatch();
    // Opens the journal when it is closed (again when it is read-only and
    // owes marks, as it may be writable by now), and marks what was sent but
    // not marked once it may be written.
    Status prepareJournal();
    // Claims the bench name for the journal's machine on the server just
    // connected, and notes how many other machines claim it.
    Status claimBench();
    qint64 waitingInJournal();

    QString m_journalPath;
    central::Connection m_central;
    std::unique_ptr<Journal> m_journal;
    QTimer *m_timer = nullptr;
    // Tries again to mark what was sent while the journal may not be written.
    QTimer *m_markTimer = nullptr;
    std::chrono::milliseconds m_retry{0};
    bool m_retrying = false;
    bool m_stopped = false;
    QAtomicInteger<bool> m_stopRequested{false};
    qint64 m_waiting = 0;
    // The last record sent, and how many, that the journal has not marked.
    qint64 m_sentNotMarkedUpTo = 0;
    qint64 m_sentNotMarked = 0;
    int m_otherMachines = 0;
    CentralStatus m_lastStatus;
};

class QThread;

// Owns the forwarder and the thread it runs on. Made and destroyed on the
// user-interface thread; destroying it tells the forwarder to stop and
// returns at once. A statement still in flight ends on the thread (bounded
// by the connection's time-outs over TCP, by nothing on a local socket to a
// server that hangs), and the thread then ends and is freed (ReleasedWork).
class CentralForwarderThread : public QObject
{
    Q_OBJECT
public:
    CentralForwarderThread(const QString &journalPath, const CentralSettings &settings,
                           QObject *parent = nullptr);
    ~CentralForwarderThread() override;

    void wake();
    void reopenJournal();
    const CentralStatus &status() const { return m_status; }

Q_SIGNALS:
    void statusChanged(const CentralStatus &status);
    void batchSent();

private:
    QThread *m_thread = nullptr;
    CentralForwarder *m_forwarder = nullptr;
    CentralStatus m_status;
};

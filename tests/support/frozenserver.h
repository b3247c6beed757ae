#pragma once

// A test's PostgreSQL server (DevDatabase) made to hang the way a server that
// stops answering does: every one of its processes stopped with SIGSTOP.
// Before that, a connection of the test's own may hold the cells table locked,
// so that the program's statements on it are seen waiting (pg_stat_activity)
// and are caught mid-statement by the freeze.
//
// thaw(), or the end of the object, continues the server and releases the
// lock. A watchdog does both after `limit` even while the test's own thread
// is stuck in a call that waits for the server, so that a test of code that
// does wait fails instead of hanging, and the server can always be stopped.

#include "devdb.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/types.h>

class FrozenServer
{
public:
    explicit FrozenServer(DevDatabase &db, std::chrono::seconds limit = std::chrono::seconds(15))
        : m_db(db), m_limit(limit)
    {
    }
    ~FrozenServer() { thaw(); }
    FrozenServer(const FrozenServer &) = delete;
    FrozenServer &operator=(const FrozenServer &) = delete;

    // Takes the cells table in ACCESS EXCLUSIVE mode in an open transaction.
    bool lockCells()
    {
        QSqlDatabase lock = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), kLockConnection);
        const CentralSettings s = m_db.settings();
        lock.setHostName(s.host);
        lock.setPort(s.port);
        lock.setDatabaseName(s.database);
        lock.setUserName(s.user);
        if (!lock.open() || !lock.transaction())
            return false;
        QSqlQuery query(lock);
        if (!query.exec(QStringLiteral("SELECT pg_backend_pid()")) || !query.next())
            return false;
        m_lockHolder = pid_t(query.value(0).toInt());
        return query.exec(QStringLiteral("LOCK TABLE cells IN ACCESS EXCLUSIVE MODE"));
    }

    // Statements of other connections waiting for a lock now.
    int waitingOnLock()
    {
        const QStringList count = m_db.column(QStringLiteral(
                "SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock' AND pid <> pg_backend_pid()"));
        return count.size() == 1 ? count.first().toInt() : -1;
    }

    // Stops the postmaster (so that it starts no process) and then every
    // process it has started.
    bool freeze()
    {
        QFile pidFile(QDir(m_db.folder()).filePath(QStringLiteral("data/postmaster.pid")));
        if (!pidFile.open(QIODevice::ReadOnly))
            return false;
        const pid_t postmaster = pid_t(pidFile.readLine().trimmed().toInt());
        if (postmaster <= 0 || ::kill(postmaster, SIGSTOP) != 0)
            return false;
        m_stopped = {postmaster};
        const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
        for (const QString &entry : entries) {
            bool number = false;
            const pid_t pid = pid_t(entry.toInt(&number));
            if (number && parentOf(pid) == postmaster && ::kill(pid, SIGSTOP) == 0)
                m_stopped.push_back(pid);
        }
        m_watchdog = std::thread([this] {
            std::unique_lock<std::mutex> locked(m_mutex);
            if (!m_thawed.wait_for(locked, m_limit, [this] { return m_thawing; }))
                continueAndUnlock(true);
        });
        return true;
    }

    // Continues the server and releases the lock; does nothing a second time.
    void thaw()
    {
        if (m_watchdog.joinable()) {
            {
                const std::lock_guard<std::mutex> locked(m_mutex);
                m_thawing = true;
            }
            m_thawed.notify_all();
            m_watchdog.join();
        }
        continueAndUnlock(false);
        if (QSqlDatabase::contains(kLockConnection)) {
            {
                QSqlDatabase lock = QSqlDatabase::database(kLockConnection, false);
                lock.rollback();
                lock.close();
            }
            QSqlDatabase::removeDatabase(kLockConnection);
        }
    }

private:
    static constexpr const char *kLockConnection = "frozen-server-lock";

    static pid_t parentOf(pid_t pid)
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return -1;
        // "pid (name) state ppid ...": the name may hold blanks, not ")".
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        return fields.size() > 1 ? pid_t(fields.at(1).toInt()) : -1;
    }

    // Safe from the watchdog's thread: signals only. The watchdog ends the
    // lock holder's backend, and its lock with it, as the test's thread that
    // would roll it back is stuck.
    void continueAndUnlock(bool endLockHolder)
    {
        for (pid_t pid : m_stopped)
            ::kill(pid, SIGCONT);
        m_stopped.clear();
        if (endLockHolder && m_lockHolder > 0)
            ::kill(m_lockHolder, SIGTERM);
    }

    DevDatabase &m_db;
    std::chrono::seconds m_limit;
    std::vector<pid_t> m_stopped;
    pid_t m_lockHolder = 0;
    std::thread m_watchdog;
    std::mutex m_mutex;
    std::condition_variable m_thawed;
    bool m_thawing = false;
};

// The milliseconds `close` takes.
template <typename Close>
qint64 millisecondsOf(Close close)
{
    QElapsedTimer took;
    took.start();
    close();
    return took.elapsed();
}

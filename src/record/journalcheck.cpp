// The check holds SQLite's own handle of its connection (Qt SQL's QSQLITE
// driver uses the system's libsqlite3, which this library links too) for one
// purpose: sqlite3_interrupt(), the one call SQLite allows from another
// thread, ends a quick_check at once; a progress handler catches a cancel that
// comes before the statement starts.

#include "record/journalcheck.h"

#include "record/journal.h"
#include "record/sqlsupport.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

#include <atomic>
#include <mutex>
#include <optional>

namespace {

struct CheckTexts
{
    Q_DECLARE_TR_FUNCTIONS(Journal)
};

// SQLite's handle of a QSQLITE connection, or nullptr.
sqlite3 *handleOf(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

int stopWhenCancelled(void *cancelled)
{
    return static_cast<std::atomic<bool> *>(cancelled)->load() ? 1 : 0;
}

} // namespace

Status checkEveryPage(QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA quick_check(1)")) || !query.next())
        return Failure(journalErrorKind(query.lastError().nativeErrorCode()), sqlErrorText(query.lastError()));
    const QString verdict = query.value(0).toString();
    if (verdict != QLatin1String("ok"))
        return Failure(ErrorKind::Damaged, CheckTexts::tr("it is damaged: %1").arg(verdict));
    return {};
}

// What a check's worker and its owner share.
struct JournalCheck::State
{
    std::atomic<bool> cancelled{false};
    std::mutex mutex;
    sqlite3 *handle = nullptr; // while the check's statement may run

    void cancel()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        cancelled = true;
        if (handle)
            sqlite3_interrupt(handle);
    }

    // The verdict on the file at path; nothing when cancelled.
    std::optional<Status> run(const QString &path)
    {
        const QString name = uniqueConnectionName(QStringLiteral("journal-check"));
        std::optional<Status> verdict;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
            if (!db.open()) {
                verdict = Failure(journalErrorKind(db.lastError().nativeErrorCode()), sqlErrorText(db.lastError()));
            } else {
                sqlite3 *own = handleOf(db);
                if (own)
                    sqlite3_progress_handler(own, 1000, stopWhenCancelled, &cancelled);
                {
                    const std::lock_guard<std::mutex> lock(mutex);
                    handle = own;
                }
                if (!cancelled)
                    verdict = checkEveryPage(db);
                const std::lock_guard<std::mutex> lock(mutex);
                handle = nullptr;
            }
            db.close();
        }
        removeConnection(name);
        if (cancelled)
            return std::nullopt;
        return verdict;
    }
};

JournalCheck::JournalCheck(QObject *parent) : QObject(parent)
{
    m_pool.setMaxThreadCount(1);
    m_pool.setObjectName(QStringLiteral("journal check"));
}

JournalCheck::~JournalCheck()
{
    cancel();
    m_pool.waitForDone();
}

void JournalCheck::cancel()
{
    if (m_state)
        m_state->cancel();
    m_state.reset();
}

void JournalCheck::start(const QString &path)
{
    cancel();
    auto state = std::make_shared<State>();
    m_state = state;
    m_pool.start([this, state, path] {
        const std::optional<Status> result = state->run(path);
        if (!result)
            return;
        QMetaObject::invokeMethod(
                this,
                [this, state, verdict = *result] {
                    if (m_state != state)
                        return; // cancelled or followed by another check meanwhile
                    m_state.reset();
                    Q_EMIT finished(verdict);
                },
                Qt::QueuedConnection);
    });
}

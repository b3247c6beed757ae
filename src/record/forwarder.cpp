#include "record/forwarder.h"

#include "common/releasedwork.h"
#include "record/centraldatabase.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QThread>

#include <climits>
#include <map>

namespace {
struct ForwarderTexts
{
    Q_DECLARE_TR_FUNCTIONS(Forwarder)
};

} // namespace

CentralStatus CentralStatus::connecting()
{
    CentralStatus status;
    status.enabled = true;
    status.reason = ForwarderTexts::tr("connecting");
    return status;
}

QString CentralStatus::text() const
{
    if (!enabled)
        return QString();
    QString text;
    if (upToDate()) {
        text = ForwarderTexts::tr("Central record: up to date");
    } else if (waiting > 0 || !reason.isEmpty() || notKept == 0) {
        text = ForwarderTexts::tr("Central record: %n cell(s) waiting (%1)", nullptr, int(qMin<qint64>(waiting, INT_MAX)))
                       .arg(reason.isEmpty() ? ForwarderTexts::tr("sending") : reason);
    }
    if (notKept > 0) {
        const QString lost = ForwarderTexts::tr("%n counted cell(s) not in the journal, never sent (%1)", nullptr,
                                                int(qMin<qint64>(notKept, INT_MAX)))
                                     .arg(notKeptReason);
        text = text.isEmpty() ? ForwarderTexts::tr("Central record: %1").arg(lost) : text + QStringLiteral("; ") + lost;
    }
    if (otherMachines > 0)
        text += QStringLiteral("; ") + central::sharedBenchNameText(bench, otherMachines);
    return text;
}

CentralForwarder::CentralForwarder(QString journalPath, CentralSettings settings, QString connectionPrefix)
    : m_journalPath(std::move(journalPath)),
      m_central(std::move(settings), connectionPrefix + QStringLiteral("-central")),
      m_journal(std::make_unique<Journal>(connectionPrefix + QStringLiteral("-journal")))
{
    m_lastStatus = CentralStatus::connecting();
}

CentralForwarder::~CentralForwarder()
{
    stop();
}

void CentralForwarder::start()
{
    if (!m_timer) {
        m_timer = new QTimer(this);
        m_timer->setSingleShot(true);
        connect(m_timer, &QTimer::timeout, this, &CentralForwarder::step);
        m_markTimer = new QTimer(this);
        m_markTimer->setSingleShot(true);
        m_markTimer->setInterval(kLongestRetry);
        connect(m_markTimer, &QTimer::timeout, this, [this] {
            if (!m_stopped && !m_retrying && !m_timer->isActive())
                scheduleNow();
        });
    }
    m_stopped = false;
    scheduleNow();
}

void CentralForwarder::stop()
{
    m_stopped = true;
    if (m_timer) {
        m_timer->stop();
        m_markTimer->stop();
    }
    m_central.close();
    m_journal->close();
}

void CentralForwarder::wake()
{
    if (m_stopped)
        return;
    if (m_retrying) {
        // The server is still away: only the count changes, read from the
        // journal itself so that a wake for a cell counted already is no
        // second cell.
        m_waiting = waitingInJournal();
        report(m_lastStatus.reason);
        return;
    }
    ++m_waiting;
    if (!m_timer->isActive())
        scheduleNow();
}

void CentralForwarder::reopenJournal()
{
    // A journal started afresh: the marks owed were the old one's.
    m_sentNotMarkedUpTo = 0;
    m_sentNotMarked = 0;
    m_journal->close();
    if (!m_stopped && !m_retrying)
        scheduleNow();
}

void CentralForwarder::scheduleNow()
{
    m_timer->start(0);
}

void CentralForwarder::report(const QString &reason)
{
    CentralStatus status;
    status.enabled = true;
    status.waiting = m_waiting;
    status.reason = reason;
    status.sentNotMarked = m_sentNotMarked;
    status.otherMachines = m_otherMachines;
    status.bench = m_central.settings().benchName();
    if (status == m_lastStatus)
        return;
    m_lastStatus = status;
    Q_EMIT statusChanged(status);
}

void CentralForwarder::fail(const QString &reason)
{
    m_central.close();
    m_retrying = true;
    m_waiting = waitingInJournal();
    report(reason);
    m_retry = m_retry.count() == 0 ? kFirstRetry : std::min(m_retry * 2, kLongestRetry);
    m_timer->start(m_retry);
}

void CentralForwarder::requestStop()
{
    m_stopRequested.storeRelease(true);
}

void CentralForwarder::step()
{
    if (m_stopped || m_stopRequested.loadAcquire())
        return;
    if (const Status ready = prepareJournal(); !ready) {
        fail(ForwarderTexts::tr("journal unreadable: %1").arg(ready.errorString()));
        return;
    }
    if (!m_central.isOpen()) {
        if (m_lastStatus.reason == CentralStatus::connecting().reason)
            report(m_lastStatus.reason);
        Status connected = m_central.open();
        if (connected)
            connected = m_central.prepareSchema();
        if (connected)
            connected = claimBench();
        if (!connected) {
            fail(m_central.reason());
            return;
        }
    }
    if (sendBatch())
        return;
    m_retrying = false;
    m_retry = std::chrono::milliseconds(0);
}

Status CentralForwarder::claimBench()
{
    // A journal that holds no identity yet and may not be written makes no
    // claim; its cells are sent all the same.
    const Result<QString> machine = m_journal->machineIdentity();
    if (!machine)
        return {};
    const Result<int> others = m_central.claimBench(*machine);
    if (!others)
        return others.failure();
    m_otherMachines = *others;
    return {};
}

qint64 CentralForwarder::waitingInJournal()
{
    const Result<qint64> waiting = m_journal->waitingCount();
    return waiting ? std::max<qint64>(0, *waiting - m_sentNotMarked) : m_waiting;
}

Status CentralForwarder::prepareJournal()
{
    // A read-only journal that owes marks is opened afresh: it may be
    // writable by now.
    if (m_sentNotMarked > 0 && m_journal->isOpen() && m_journal->isReadOnly())
        m_journal->close();
    const bool opening = !m_journal->isOpen();
    if (opening) {
        if (const Status opened = m_journal->openForForwarding(m_journalPath); !opened) {
            m_journal->close();
            return opened;
        }
    }
    if (m_sentNotMarked > 0 && !m_journal->isReadOnly() && m_journal->markSent(m_sentNotMarkedUpTo)) {
        m_sentNotMarkedUpTo = 0;
        m_sentNotMarked = 0;
        m_markTimer->stop();
    }
    if (opening)
        m_waiting = waitingInJournal();
    return {};
}

bool CentralForwarder::sendBatch()
{
    const Result<std::vector<Journal::Pending>> batch = m_journal->pending(kBatchSize, m_sentNotMarkedUpTo);
    if (!batch) {
        fail(ForwarderTexts::tr("journal unreadable: %1").arg(batch.errorString()));
        m_journal->close();
        return true;
    }
    if (batch->empty()) {
        m_waiting = 0;
        report(QString());
        if (m_sentNotMarked > 0 && !m_markTimer->isActive())
            m_markTimer->start();
        return false;
    }
    std::map<QString, QString> setups;
    for (const Journal::Pending &row : *batch) {
        if (setups.count(row.record.setupHash))
            continue;
        const Result<QString> text = m_journal->setupText(row.record.setupHash);
        if (!text) {
            fail(ForwarderTexts::tr("journal unreadable: %1").arg(text.errorString()));
            m_journal->close();
            return true;
        }
        setups.emplace(row.record.setupHash, *text);
    }
    if (!m_central.send(*batch, setups)) {
        fail(m_central.reason());
        return true;
    }
    // Committed on the server: only now are they sent. A journal that cannot
    // record it has them remembered, so that they are not sent again; should
    // the program end first, the next start sends them once more and ON
    // CONFLICT keeps them once.
    if (!m_journal->markSent(batch->back().seq)) {
        m_sentNotMarkedUpTo = batch->back().seq;
        m_sentNotMarked += qint64(batch->size());
    }
    m_retrying = false;
    m_retry = std::chrono::milliseconds(0);
    if (int(batch->size()) < kBatchSize) {
        m_waiting = waitingInJournal();
    } else {
        m_waiting = std::max<qint64>(0, m_waiting - qint64(batch->size()));
    }
    report(m_waiting == 0 ? QString() : ForwarderTexts::tr("sending"));
    Q_EMIT batchSent();
    scheduleNow();
    return true;
}

CentralForwarderThread::CentralForwarderThread(const QString &journalPath, const CentralSettings &settings,
                                               QObject *parent)
    : QObject(parent), m_thread(new QThread)
{
    qRegisterMetaType<CentralStatus>();
    m_thread->setObjectName(QStringLiteral("central record"));
    m_status = CentralStatus::connecting();
    m_forwarder = new CentralForwarder(journalPath, settings, uniqueConnectionName(QStringLiteral("forwarder")));
    m_forwarder->moveToThread(m_thread);
    connect(m_thread, &QThread::started, m_forwarder, &CentralForwarder::start);
    connect(m_thread, &QThread::finished, m_forwarder, &QObject::deleteLater);
    connect(m_forwarder, &CentralForwarder::statusChanged, this, [this](const CentralStatus &status) {
        m_status = status;
        Q_EMIT statusChanged(status);
    });
    connect(m_forwarder, &CentralForwarder::batchSent, this, &CentralForwarderThread::batchSent);
    m_thread->start();
}

CentralForwarderThread::~CentralForwarderThread()
{
    // Nothing here waits for the thread: a statement in flight may hang on a
    // server that does not answer. The forwarder stops at its next step, the
    // thread ends with it and deletes itself; nothing is lost, as unconfirmed
    // records are sent again at the next start.
    m_forwarder->requestStop();
    QMetaObject::invokeMethod(m_forwarder, &CentralForwarder::stop, Qt::QueuedConnection);
    m_thread->quit();
    ReleasedWork::adopt(m_thread);
}

void CentralForwarderThread::wake()
{
    QMetaObject::invokeMethod(m_forwarder, &CentralForwarder::wake, Qt::QueuedConnection);
}

void CentralForwarderThread::reopenJournal()
{
    QMetaObject::invokeMethod(m_forwarder, &CentralForwarder::reopenJournal, Qt::QueuedConnection);
}

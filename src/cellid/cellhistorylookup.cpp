#include "cellid/cellhistorylookup.h"

#include "cellid/cellhistory.h"
#include "record/centraldatabase.h"
#include "record/journal.h"

#include <QFutureWatcher>
#include <QStringList>
#include <QTimer>

CellHistoryLookUp::CellHistoryLookUp(Journal &journal, const CentralSettings &settings, QObject *parent)
    : QObject(parent), m_journal(journal), m_settings(settings)
{
}

CellHistoryLookUp::~CellHistoryLookUp()
{
    // Questions not started yet are not asked; the others end on their threads.
    for (QFutureWatcherBase *watcher : findChildren<QFutureWatcherBase *>(Qt::FindDirectChildrenOnly)) {
        watcher->disconnect(this);
        watcher->cancel();
    }
}

QString CellHistoryLookUp::notKnownText(const QString &reason)
{
    return tr("History not known now (%1).").arg(reason);
}

CellHistoryLookUp::History CellHistoryLookUp::historyOf(const QString &cellId) const
{
    History history;
    QStringList reasons;
    // In time order, as the merged history is: a bench whose clock was set
    // back keeps its records in the order they were counted.
    if (const Result<std::vector<CellRecord>> local = m_journal.recordsOfCell(cellId))
        history.records = mergedHistory(*local, {});
    else
        reasons << tr("the record journal could not be read: %1").arg(local.errorString());
    if (m_settings.enabled) {
        const auto answer = m_answers.constFind(cellId);
        if (answer != m_answers.constEnd()) {
            history.records = mergedHistory(std::move(history.records), answer->records);
            if (answer->pending && !answer->slow)
                history.asking = true;
            else if (answer->pending)
                reasons << tr("the central record has not answered for %1 s")
                                   .arg(std::chrono::duration_cast<std::chrono::seconds>(kSlowAnswer).count());
            else if (!answer->problem.isEmpty())
                reasons << tr("the central record could not be read: %1").arg(answer->problem);
        } else {
            reasons << tr("the central record has not been asked");
        }
    }
    history.reason = reasons.join(QStringLiteral("; "));
    history.complete = reasons.isEmpty() && !history.asking;
    if (!history.reason.isEmpty())
        history.note = notKnownText(history.reason);
    else if (history.asking)
        history.note = tr("Asking the central record...");
    return history;
}

void CellHistoryLookUp::ask(const QString &cellId)
{
    if (!m_settings.enabled)
        return;
    Answer &answer = m_answers[cellId];
    if (answer.pending)
        return;
    answer.pending = true;
    answer.slow = false;
    answer.question = ++m_questions;
    const quint64 question = answer.question;
    const CentralSettings settings = m_settings;
    // Told once, if this question is still the one in flight by then.
    QTimer::singleShot(kSlowAnswer, this, [this, cellId, question] {
        const auto it = m_answers.find(cellId);
        if (it == m_answers.end() || !it->pending || it->question != question)
            return;
        it->slow = true;
        Q_EMIT answered(cellId);
    });
    auto *watcher = new QFutureWatcher<Found>(this);
    connect(watcher, &QFutureWatcher<Found>::finished, this, [this, watcher, cellId] {
        watcher->deleteLater();
        if (watcher->future().resultCount() == 0)
            return;
        const Found found = watcher->result();
        Answer &kept = m_answers[cellId];
        kept.pending = false;
        kept.slow = false;
        if (found.ok) {
            kept.records = found.records;
            kept.problem.clear();
        } else {
            kept.problem = found.problem;
        }
        Q_EMIT answered(cellId);
    });
    watcher->setFuture(m_pool.run<Found>([settings, cellId](QPromise<Found> &promise) {
        Found found;
        central::Connection connection(settings, uniqueConnectionName(QStringLiteral("cell-history")));
        if (Result<std::vector<CellRecord>> records = connection.recordsOfCell(cellId)) {
            found.ok = true;
            found.records = std::move(*records);
        } else {
            found.problem = connection.reason();
        }
        promise.addResult(std::move(found));
    }));
}

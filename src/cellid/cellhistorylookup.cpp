#include "cellid/cellhistorylookup.h"

#include "cellid/cellhistory.h"
#include "record/centraldatabase.h"
#include "record/journal.h"

#include <QFutureWatcher>
#include <QStringList>


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

CellHistoryLookUp::History CellHistoryLookUp::historyOf(const QString &cellId) const
{
    History history;
    if (const Result<std::vector<CellRecord>> local = m_journal.recordsOfCell(cellId)) {
        history.records = *local;
    } else {
        history.note = tr("The record journal could not be read (%1): its records are not listed.")
                               .arg(local.errorString());
    }
    if (!m_settings.enabled)
        return history;
    const auto answer = m_answers.constFind(cellId);
    if (answer == m_answers.constEnd())
        return history;
    QString note;
    if (answer->pending) {
        note = tr("Asking the central record...");
    } else if (!answer->problem.isEmpty()) {
        note = tr("The central record could not be read (%1): records of other benches are not listed.")
                       .arg(answer->problem);
    }
    history.note = QStringList{history.note, note}.join(QLatin1Char(' ')).trimmed();
    history.records = mergedHistory(std::move(history.records), answer->records);
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
    answer.problem.clear();
    const CentralSettings settings = m_settings;
    auto *watcher = new QFutureWatcher<Answer>(this);
    connect(watcher, &QFutureWatcher<Answer>::finished, this, [this, watcher, cellId] {
        watcher->deleteLater();
        if (watcher->future().resultCount() == 0)
            return;
        m_answers.insert(cellId, watcher->result());
        Q_EMIT answered(cellId);
    });
    watcher->setFuture(m_pool.run<Answer>([settings, cellId](QPromise<Answer> &promise) {
        Answer found;
        central::Connection connection(settings, uniqueConnectionName(QStringLiteral("cell-history")));
        if (Result<std::vector<CellRecord>> records = connection.recordsOfCell(cellId))
            found.records = std::move(*records);
        else
            found.problem = connection.reason();
        promise.addResult(std::move(found));
    }));
}

#include "record/recordnotices.h"

#include <QCoreApplication>
#include <QStringList>

namespace {
struct NoticeTexts
{
    Q_DECLARE_TR_FUNCTIONS(RecordNotices)
};

QString joined(const QStringList &parts, const QString &last)
{
    if (parts.size() < 2)
        return parts.value(0);
    return QStringList(parts.mid(0, parts.size() - 1)).join(QStringLiteral(", ")) + last + parts.last();
}

} // namespace

QString notWrittenText(const StoreOutcome &outcome)
{
    return NoticeTexts::tr("%1 could not be written (%2)").arg(outcome.store, outcome.reason);
}

QString dataFileReplacedText(const QString &path)
{
    return NoticeTexts::tr("The data file %1 was deleted or replaced during the session. "
                           "It has been opened again: this cell and the next ones are saved in %1; "
                           "earlier records are not in it.")
            .arg(path);
}

void RecordNotices::reset()
{
    m_lastFailures.clear();
    m_failuresInRow = 0;
}

bool RecordNotices::keptNowhere(const std::vector<StoreOutcome> &outcomes)
{
    if (outcomes.empty())
        return false;
    for (const StoreOutcome &outcome : outcomes) {
        if (outcome.kept)
            return false;
    }
    return true;
}

std::optional<QString> RecordNotices::after(const std::vector<StoreOutcome> &outcomes)
{
    QStringList parts;
    QStringList failures;
    QStringList keptIn;
    QStringList alsoMissing;
    for (const StoreOutcome &outcome : outcomes) {
        if (!outcome.news.isEmpty())
            parts << outcome.news;
        if (outcome.kept) {
            keptIn << outcome.store;
        } else {
            failures << notWrittenText(outcome);
            if (!outcome.alsoMissingFrom.isEmpty())
                alsoMissing << outcome.alsoMissingFrom;
        }
    }
    if (failures.isEmpty()) {
        m_failuresInRow = 0;
        m_lastFailures.clear();
        if (parts.isEmpty())
            return std::nullopt;
        return parts.join(QStringLiteral("\n\n"));
    }

    const QString and_ = NoticeTexts::tr(", and ");
    const QString what = joined(failures, and_);
    if (m_failuresInRow > 0 && what == m_lastFailures) {
        ++m_failuresInRow;
    } else {
        m_failuresInRow = 1;
        m_lastFailures = what;
    }
    const int n = m_failuresInRow;
    const bool nowhere = keptIn.isEmpty();
    QString story;
    if (nowhere) {
        story = n == 1 ? NoticeTexts::tr("The counted cell was saved nowhere: %1. It is in the BIN counters only.").arg(what)
                       : NoticeTexts::tr("%n counted cells in a row were saved nowhere: %1. They are in the BIN "
                                         "counters only.", nullptr, n).arg(what);
    } else {
        const QString in = joined(keptIn, NoticeTexts::tr(" and in "));
        if (alsoMissing.isEmpty()) {
            story = n == 1 ? NoticeTexts::tr("The counted cell was not saved: %1. It is in the BIN counters and in %2.")
                                     .arg(what, in)
                           : NoticeTexts::tr("%n counted cells in a row were not saved: %1. They are in the BIN "
                                             "counters and in %2.", nullptr, n).arg(what, in);
        } else {
            const QString missing = joined(alsoMissing, NoticeTexts::tr(" or in "));
            story = n == 1 ? NoticeTexts::tr("The counted cell was not saved: %1. It is in the BIN counters and in %2, "
                                             "but not in %3.").arg(what, in, missing)
                           : NoticeTexts::tr("%n counted cells in a row were not saved: %1. They are in the BIN "
                                             "counters and in %2, but not in %3.", nullptr, n).arg(what, in, missing);
        }
    }
    parts << story;
    return parts.join(QStringLiteral("\n\n"));
}

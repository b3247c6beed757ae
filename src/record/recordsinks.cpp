#include "record/recordsinks.h"

#include "common/logcategories.h"
#include "record/datafile.h"
#include "record/journal.h"

#include <QCoreApplication>
#include <QDir>

namespace {
struct SinkTexts
{
    Q_DECLARE_TR_FUNCTIONS(RecordSinks)
};
} // namespace

std::optional<QString> DataFileSink::keep(const CellRecord &record, const BinSetup &)
{
    const Result<RecordWritten> outcome = m_file.writeRecord(record.measuredAt, record.resistanceText,
                                                             record.voltageText,
                                                             m_writeCellIds ? record.cellId : QString(), record.testerWord);
    if (!outcome) {
        qCWarning(lcRecord, "counted cell %s,%s not saved to %s: %s", qUtf8Printable(record.resistanceText),
                  qUtf8Printable(record.voltageText), qUtf8Printable(m_file.path()),
                  qUtf8Printable(outcome.errorString()));
    }
    return m_notices.after(outcome, m_file.path());
}

JournalSink::JournalSink(Journal &journal, QObject *parent) : QObject(parent), m_journal(journal) {}

void JournalSink::beginSession()
{
    m_lastReason.clear();
    m_failuresInRow = 0;
}

QString JournalSink::notSavedText(const QString &path, const QString &reason, int cells)
{
    const QString what = cells <= 1
            ? SinkTexts::tr("The counted cell was not saved in the record journal")
            : SinkTexts::tr("%1 counted cells in a row were not saved in the record journal").arg(cells);
    return SinkTexts::tr("%1 %2 (%3). It is in the data file but does not reach the central record.")
            .arg(what, QDir::toNativeSeparators(path), reason);
}

std::optional<QString> JournalSink::keep(const CellRecord &record, const BinSetup &setup)
{
    const Status written = m_journal.append(record, setup);
    const QString notice = m_journal.takeNotice();
    if (!notice.isEmpty())
        Q_EMIT restarted();
    if (written) {
        m_failuresInRow = 0;
        Q_EMIT appended();
        if (!notice.isEmpty())
            return notice;
        return std::nullopt;
    }
    if (m_failuresInRow > 0 && written.errorString() == m_lastReason) {
        ++m_failuresInRow;
    } else {
        m_failuresInRow = 1;
        m_lastReason = written.errorString();
    }
    QString text = notSavedText(m_journal.path(), m_lastReason, m_failuresInRow);
    if (!notice.isEmpty())
        text = notice + QLatin1Char(' ') + text;
    return text;
}

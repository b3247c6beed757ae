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

StoreOutcome DataFileSink::keep(const CellRecord &record, const BinSetup &)
{
    const Result<RecordWritten> outcome = m_file.writeRecord(record.measuredAt, record.resistanceText,
                                                             record.voltageText,
                                                             m_writeCellIds ? record.cellId : QString(), record.testerWord);
    StoreOutcome told;
    told.store = SinkTexts::tr("the data file %1").arg(m_file.path());
    if (!outcome) {
        qCWarning(lcRecord, "counted cell %s,%s not saved to %s: %s", qUtf8Printable(record.resistanceText),
                  qUtf8Printable(record.voltageText), qUtf8Printable(m_file.path()),
                  qUtf8Printable(outcome.errorString()));
        told.kept = false;
        told.reason = outcome.errorString();
    } else if (outcome->reopened) {
        told.news = dataFileReplacedText(m_file.path());
    }
    return told;
}

JournalSink::JournalSink(Journal &journal, QObject *parent) : QObject(parent), m_journal(journal) {}

StoreOutcome JournalSink::keep(const CellRecord &record, const BinSetup &setup)
{
    const Status written = m_journal.append(record, setup);
    StoreOutcome told;
    told.store = SinkTexts::tr("the record journal %1").arg(QDir::toNativeSeparators(m_journal.path()));
    told.news = m_journal.takeNotice();
    told.alsoMissingFrom = SinkTexts::tr("the central record");
    if (!told.news.isEmpty())
        Q_EMIT restarted();
    if (written) {
        Q_EMIT appended();
        return told;
    }
    qCWarning(lcRecord, "counted cell %s,%s not saved to %s: %s", qUtf8Printable(record.resistanceText),
              qUtf8Printable(record.voltageText), qUtf8Printable(m_journal.path()),
              qUtf8Printable(written.errorString()));
    told.kept = false;
    told.reason = written.errorString();
    Q_EMIT notKept(told.reason);
    return told;
}

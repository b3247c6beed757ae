#include "record/recordnotices.h"

#include "record/datafile.h"
#include <QCoreApplication>

namespace {
struct NoticeTexts
{
    Q_DECLARE_TR_FUNCTIONS(RecordNotices)
};
} // namespace

QString recordNotSavedText(const QString &path, const QString &reason, int cells)
{
    const QString what = cells <= 1
            ? NoticeTexts::tr("The counted cell was not saved")
            : NoticeTexts::tr("%1 counted cells in a row were not saved").arg(cells);
    return NoticeTexts::tr("%1: the data file %2 could not be written (%3). "
                           "The cell is in the BIN counters but not in the file.")
            .arg(what, path, reason);
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
    m_lastPath.clear();
    m_lastReason.clear();
    m_failuresInRow = 0;
}

std::optional<QString> RecordNotices::after(const Result<RecordWritten> &outcome, const QString &path)
{
    if (outcome) {
        m_failuresInRow = 0;
        if (outcome->reopened)
            return dataFileReplacedText(path);
        return std::nullopt;
    }
    const QString reason = outcome.errorString();
    if (m_failuresInRow > 0 && path == m_lastPath && reason == m_lastReason) {
        ++m_failuresInRow;
    } else {
        m_failuresInRow = 1;
        m_lastPath = path;
        m_lastReason = reason;
    }
    return recordNotSavedText(m_lastPath, m_lastReason, m_failuresInRow);
}

#include "record/cellhistory.h"

#include "link/testernumber.h"
#include "record/cellid.h"
#include "record/recordfilereader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

QString textOf(std::string_view field)
{
    return QString::fromLatin1(field.data(), qsizetype(field.size()));
}

// "yyyy?mm?dd" and "hh?nn?ss" as the data file writes them, in local time.
QDateTime recordTime(std::string_view date, std::string_view time)
{
    const auto number = [](std::string_view text, std::size_t at, std::size_t length) {
        int value = 0;
        for (std::size_t i = at; i < at + length; ++i)
            value = value * 10 + (text[i] - '0');
        return value;
    };
    return QDateTime(QDate(number(date, 0, 4), number(date, 5, 2), number(date, 8, 2)),
                     QTime(number(time, 0, 2), number(time, 3, 2), number(time, 6, 2)));
}

} // namespace

void CellRecordIndex::add(CellHistoryEntry record)
{
    if (record.cellId.isEmpty())
        return;
    std::vector<CellHistoryEntry> &records = m_records[record.cellId];
    records.push_back(std::move(record));
}

std::vector<CellHistoryEntry> CellRecordIndex::recordsOf(const QString &cellId) const
{
    std::vector<CellHistoryEntry> records = m_records.value(cellId);
    std::stable_sort(records.begin(), records.end(),
                     [](const CellHistoryEntry &a, const CellHistoryEntry &b) { return a.measuredAt < b.measuredAt; });
    return records;
}

CellRecordIndex readCellRecords(const QStringList &paths, const QString &bench, QStringList *problems)
{
    CellRecordIndex index;
    for (const QString &path : paths) {
        QFile file(path);
        if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
            if (problems)
                problems->append(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
            continue;
        }
        while (!file.atEnd()) {
            const QByteArray line = file.readLine(4096);
            if (!line.endsWith('\n'))
                continue; // a last line still being written, or an overlong one
            const std::string_view text(line.constData(), std::size_t(line.size() - 1));
            const std::optional<RecordFields> fields = splitRecordLine(text);
            if (!fields || fields->cellId.empty())
                continue;
            const std::optional<double> ohms = testerNumber(fields->resistance);
            const std::optional<double> volts = testerNumber(fields->voltage);
            const QDateTime time = recordTime(fields->date, fields->time);
            if (!ohms || !volts || !time.isValid())
                continue;
            CellHistoryEntry record;
            record.measuredAt = time;
            record.bench = bench;
            record.resistanceText = textOf(fields->resistance);
            record.voltageText = textOf(fields->voltage);
            record.resistanceOhm = *ohms;
            record.voltageV = *volts;
            record.cellId = textOf(fields->cellId);
            index.add(std::move(record));
        }
    }
    return index;
}

QStringList dataFilesBeside(const QString &dataFilePath)
{
    const QDir folder = QFileInfo(dataFilePath).absoluteDir();
    QStringList paths;
    const QStringList names = folder.entryList({QStringLiteral("*.csv")}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QString &name : names)
        paths.append(folder.filePath(name));
    return paths;
}

std::vector<CellHistoryEntry> withDerivedMarks(std::vector<CellHistoryEntry> records, qint64 minimumRestSecs,
                                         double limitMvPerDay)
{
    std::stable_sort(records.begin(), records.end(),
                     [](const CellHistoryEntry &a, const CellHistoryEntry &b) { return a.measuredAt < b.measuredAt; });
    for (std::size_t i = 1; i < records.size(); ++i) {
        CellHistoryEntry &record = records[i];
        record.retest = true;
        if (!record.kValue) {
            record.kValue = kValue(records.front().voltageV, records.front().measuredAt, record.voltageV,
                                   record.measuredAt, minimumRestSecs);
            record.kTooHigh = record.kValue && kValueTooHigh(*record.kValue, limitMvPerDay);
        }
    }
    return records;
}

QString historyTimeText(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString repeatWarning(const QString &cellId, const std::vector<CellHistoryEntry> &records)
{
    if (records.empty())
        return QString();
    const CellHistoryEntry &last = records.back();
    const auto withBin = [](const QString &text, const QString &bin) {
        return bin.isEmpty() ? text : QStringLiteral("%1 (BIN %2)").arg(text, bin);
    };
    const QString times = records.size() == 1 ? QStringLiteral("once") : QStringLiteral("%1 times").arg(records.size());
    return QStringLiteral("Cell %1 was recorded before (%2), last on %3 at bench %4: %5 ohm, %6 V. "
                          "Recording it again marks a re-test.")
            .arg(cellId, times, historyTimeText(last.measuredAt),
                 last.bench.isEmpty() ? QStringLiteral("unknown") : last.bench,
                 withBin(last.resistanceText.trimmed(), last.resistanceBin),
                 withBin(last.voltageText.trimmed(), last.voltageBin));
}

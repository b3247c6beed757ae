#include "cellid/cellhistory.h"

#include "cellid/cellid.h"
#include "cellid/kvalue.h"

#include <QCoreApplication>
#include <QSet>

#include <algorithm>

namespace {
struct HistoryTexts
{
    Q_DECLARE_TR_FUNCTIONS(CellIds)
};
} // namespace

std::vector<CellRecord> mergedHistory(std::vector<CellRecord> records, const std::vector<CellRecord> &more)
{
    QSet<QUuid> known;
    for (const CellRecord &record : records)
        known.insert(record.id);
    for (const CellRecord &record : more) {
        if (!known.contains(record.id)) {
            known.insert(record.id);
            records.push_back(record);
        }
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const CellRecord &a, const CellRecord &b) { return a.measuredAt < b.measuredAt; });
    return records;
}

void markAgainstHistory(CellRecord &record, const std::vector<CellRecord> &history, qint64 minimumRestSecs,
                        double limitMvPerDay)
{
    record.retest = !history.empty();
    record.kValue.reset();
    record.kVerdict.clear();
    record.kLimit = limitMvPerDay;
    if (history.empty())
        return;
    const CellRecord &first = history.front();
    record.kValue = kValue(first.voltageV, first.measuredAt, record.voltageV, record.measuredAt, minimumRestSecs);
    record.kVerdict.clear();
    if (record.kValue)
        record.kVerdict = kValueTooHigh(*record.kValue, limitMvPerDay) ? QStringLiteral("too high") : QStringLiteral("OK");
}

QString historyTimeText(const QDateTime &time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString repeatWarning(const QString &cellId, const std::vector<CellRecord> &records)
{
    if (records.empty())
        return QString();
    const CellRecord &last = records.back();
    const auto withBin = [](const QString &text, const QString &bin) {
        return bin.isEmpty() ? text : HistoryTexts::tr("%1 (BIN %2)").arg(text, bin);
    };
    const QString times = HistoryTexts::tr("%n time(s)", nullptr, int(records.size()));
    return HistoryTexts::tr("Cell %1 was recorded before (%2), last on %3 at bench %4: %5 ohm, %6 V. "
                            "Recording it again marks a re-test.")
            .arg(cellId, times, historyTimeText(last.measuredAt),
                 last.bench.isEmpty() ? HistoryTexts::tr("unknown") : last.bench,
                 withBin(last.resistanceText.trimmed(), last.resistanceBin),
                 withBin(last.voltageText.trimmed(), last.voltageBin));
}

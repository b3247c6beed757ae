#include "cellid/cellhistory.h"

#include "cellid/cellid.h"
#include "cellid/kvalue.h"
#include "link/engformat.h"

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

QString recordedValueText(const CellRecord &record, Quantity quantity)
{
    const bool resistance = quantity == Quantity::Resistance;
    const QString text = (resistance ? record.resistanceText : record.voltageText).trimmed();
    // A marker or a text that is no number as the main window shows it.
    const std::optional<double> value = testerNumber(text);
    if (!value || isOverflowMark(*value) || isNoReadingMark(*value))
        return displayEngValue(text, quantity);
    return resistance ? QStringLiteral("%1 mOhm").arg(*value * 1000.0, 0, 'f', 3)
                      : QStringLiteral("%1 V").arg(*value, 0, 'f', 4);
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
    // In the units of the main window's values: "37.352 mOhm", "3.6512 V".
    return HistoryTexts::tr("Cell %1 was recorded before (%2), last on %3 at bench %4: %5, %6. "
                            "Recording it again marks a re-test.")
            .arg(cellId, times, historyTimeText(last.measuredAt),
                 last.bench.isEmpty() ? HistoryTexts::tr("unknown") : last.bench,
                 withBin(recordedValueText(last, Quantity::Resistance), last.resistanceBin),
                 withBin(recordedValueText(last, Quantity::Voltage), last.voltageBin));
}

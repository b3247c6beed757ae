#include "cellid/cellhistory.h"

#include "cellid/cellid.h"

#include <QCoreApplication>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {
struct HistoryTexts
{
    Q_DECLARE_TR_FUNCTIONS(CellIds)
};

// The oldest record not dated after now, or nullptr.
const CellRecord *firstUsable(const std::vector<CellRecord> &history, const QDateTime &now)
{
    for (const CellRecord &record : history) {
        if (!datedInFuture(record, now))
            return &record;
    }
    return nullptr;
}

// The latest record not dated after now, or nullptr.
const CellRecord *lastUsable(const std::vector<CellRecord> &history, const QDateTime &now)
{
    for (auto it = history.rbegin(); it != history.rend(); ++it) {
        if (!datedInFuture(*it, now))
            return &*it;
    }
    return nullptr;
}

QString benchName(const CellRecord &record)
{
    return record.bench.isEmpty() ? HistoryTexts::tr("unknown") : record.bench;
}

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

bool datedInFuture(const CellRecord &record, const QDateTime &now)
{
    return record.measuredAt.isValid() && now.isValid() && now.secsTo(record.measuredAt) > kClockSlackSecs;
}

std::vector<const CellRecord *> futureRecords(const std::vector<CellRecord> &history, const QDateTime &now)
{
    std::vector<const CellRecord *> future;
    for (const CellRecord &record : history) {
        if (datedInFuture(record, now))
            future.push_back(&record);
    }
    return future;
}

std::optional<double> readingResolution(const QString &voltageText, std::optional<double> stated)
{
    const std::optional<double> written = voltageResolution(voltageText);
    if (written && stated)
        return std::max(*written, *stated);
    return written ? written : stated;
}

std::optional<KEstimate> kAgainstHistory(const std::vector<CellRecord> &history, const ReadingNow &now,
                                         qint64 minimumRestSecs, double limitMvPerDay)
{
    const CellRecord *first = firstUsable(history, now.at);
    const std::optional<double> qNow = readingResolution(now.voltageText, now.statedVoltageResolution);
    if (!first || !qNow)
        return std::nullopt;
    // An earlier record whose text tells no step was read like this one.
    const double qFirst = readingResolution(first->voltageText, now.statedVoltageResolution).value_or(*qNow);
    return estimateK(first->voltageV, qFirst, first->measuredAt, now.volts, *qNow, now.at, minimumRestSecs,
                     limitMvPerDay);
}

void markAgainstHistory(CellRecord &record, const std::vector<CellRecord> &history, bool historyKnown,
                        const ReadingNow &now, qint64 minimumRestSecs, double limitMvPerDay)
{
    record.retest = !history.empty();
    record.kValue.reset();
    record.kUncertainty.reset();
    record.kVerdict.clear();
    record.kLimit = limitMvPerDay;
    if (history.empty()) {
        if (!historyKnown)
            record.kVerdict = QString::fromLatin1(kHistoryNotKnownWord);
        return;
    }
    if (const std::optional<KEstimate> k = kAgainstHistory(history, now, minimumRestSecs, limitMvPerDay)) {
        record.kValue = k->mvPerDay;
        record.kUncertainty = k->uncertaintyMvPerDay;
        record.kVerdict = kVerdictWord(k->verdict);
    }
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
            .arg(cellId, times, historyTimeText(last.measuredAt), benchName(last),
                 withBin(last.resistanceText.trimmed(), last.resistanceBin),
                 withBin(last.voltageText.trimmed(), last.voltageBin));
}

QString clockWarning(const QString &cellId, const std::vector<CellRecord> &history, const QDateTime &now)
{
    const std::vector<const CellRecord *> future = futureRecords(history, now);
    if (future.empty())
        return QString();
    const CellRecord &latest = *future.back();
    return HistoryTexts::tr("Clock problem: %n record(s) of cell %1 dated after this computer's time (%2), the "
                            "latest on %3 at bench %4. Check the clocks of both benches; such records are not "
                            "used for the K-value.",
                            nullptr, int(future.size()))
            .arg(cellId, historyTimeText(now), historyTimeText(latest.measuredAt), benchName(latest));
}

std::optional<QString> implausibility(const QString &cellId, const std::vector<CellRecord> &history,
                                      const ReadingNow &now, const PlausibilityLimits &limits)
{
    const CellRecord *last = lastUsable(history, now.at);
    if (!last)
        return std::nullopt;
    QStringList reasons;
    if (last->resistanceOhm > 0 && std::isfinite(now.ohms)) {
        const double share = std::fabs(now.ohms - last->resistanceOhm) / last->resistanceOhm;
        if (share > limits.resistanceShare)
            reasons << HistoryTexts::tr("the resistance differs by %1 % (more than %2 %)")
                               .arg(QLocale::c().toString(share * 100.0, 'f', 0),
                                    QLocale::c().toString(limits.resistanceShare * 100.0, 'g', 4));
    }
    const double qNow = readingResolution(now.voltageText, now.statedVoltageResolution).value_or(0.0);
    const double step = std::max(readingResolution(last->voltageText, now.statedVoltageResolution).value_or(qNow), qNow);
    const double rise = now.volts - last->voltageV;
    if (rise > step + limits.voltageMarginV)
        reasons << HistoryTexts::tr("the voltage is %1 mV higher (a resting cell loses voltage; allowed: %2 mV)")
                           .arg(QLocale::c().toString(rise * 1000.0, 'f', 1),
                                QLocale::c().toString((step + limits.voltageMarginV) * 1000.0, 'g', 4));
    if (reasons.isEmpty())
        return std::nullopt;
    return HistoryTexts::tr("Is this cell %1? Its last record (%2, bench %3): %4 ohm, %5 V; now: %6 ohm, %7 V: "
                            "%8.")
            .arg(cellId, historyTimeText(last->measuredAt), benchName(*last), last->resistanceText.trimmed(),
                 last->voltageText.trimmed(), now.resistanceText.trimmed(), now.voltageText.trimmed(),
                 reasons.join(HistoryTexts::tr(" and ")));
}

#include "pack/pool.h"

#include "cellid/cellid.h"
#include "link/testernumber.h"

#include <QCoreApplication>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace {
struct PoolTexts
{
    Q_DECLARE_TR_FUNCTIONS(PackPool)
};

bool isOutBin(const QString &bin)
{
    return bin == QLatin1String("+Out") || bin == QLatin1String("-Out");
}

bool hasFailed(const CellRecord &record, const QStringList &failWords)
{
    return isOutBin(record.resistanceBin) || isOutBin(record.voltageBin)
        || record.kVerdict == QLatin1String("too high")
        || (!record.testerWord.isEmpty() && failWords.contains(record.testerWord.trimmed(), Qt::CaseInsensitive));
}

PoolCell poolCellOf(const CellRecord &record, const QString &cellId, bool retest, bool failed, bool packed)
{
    PoolCell cell;
    cell.recordId = record.id;
    cell.cellId = cellId;
    cell.bench = record.bench;
    cell.measuredAt = record.measuredAt;
    cell.resistanceOhm = record.resistanceOhm;
    cell.voltageV = record.voltageV;
    cell.resistanceText = record.resistanceText;
    cell.voltageText = record.voltageText;
    cell.resistanceBin = record.resistanceBin;
    cell.voltageBin = record.voltageBin;
    cell.kVerdict = record.kVerdict;
    cell.retest = retest;
    cell.failedRetest = retest && failed;
    cell.inPack = packed;
    return cell;
}

} // namespace

bool hasUsableReading(double resistanceOhm, double voltageV)
{
    return std::isfinite(resistanceOhm) && resistanceOhm > 0 && !isOverflowMark(resistanceOhm)
        && std::isfinite(voltageV) && !isOverflowMark(voltageV);
}

bool isLaterRecord(const CellRecord &a, const CellRecord &b)
{
    if (a.measuredAt != b.measuredAt)
        return b.measuredAt < a.measuredAt;
    return b.id.toString() < a.id.toString();
}

PoolBuilder::PoolBuilder(PoolFilter filter, std::set<QString> packedIds)
    : m_filter(std::move(filter)), m_packedIds(std::move(packedIds))
{
}

void PoolBuilder::addWithoutId(int records)
{
    m_pool.report.records += records;
    m_pool.report.withoutId += records;
}

void PoolBuilder::addCell(const QString &id, const CellRecord &r, int records)
{
    PoolReport &report = m_pool.report;
    const PoolFilter &filter = m_filter;
    m_pool.knownIds.insert(id);
    report.records += records;
    report.superseded += records - 1;
    const bool retest = r.retest || records > 1;
    const bool failed = hasFailed(r, filter.failWords);
    const bool packed = m_packedIds.count(id) > 0;

    if (!hasUsableReading(r.resistanceOhm, r.voltageV))
        ++report.noReading;
    else if ((filter.from && r.measuredAt < *filter.from) || (filter.to && !(r.measuredAt < *filter.to)))
        ++report.outsideTime;
    else if (!filter.benches.isEmpty() && !filter.benches.contains(r.bench))
        ++report.otherBench;
    else if (!filter.resistanceBins.isEmpty() && !filter.resistanceBins.contains(r.resistanceBin))
        ++report.resistanceBin;
    else if (!filter.voltageBins.isEmpty() && !filter.voltageBins.contains(r.voltageBin))
        ++report.voltageBin;
    else if ((filter.kVerdict == KVerdictFilter::NotTooHigh && r.kVerdict == QLatin1String("too high"))
             || (filter.kVerdict == KVerdictFilter::OkOnly && r.kVerdict != QLatin1String("OK")))
        ++report.kVerdict;
    else if (filter.withoutFailedRetest && retest && failed)
        ++report.failedRetest;
    else if (filter.withoutPacked && packed)
        ++report.inPack;
    else
        m_pool.cells.push_back(poolCellOf(r, id, retest, failed, packed));
}

Pool PoolBuilder::take()
{
    // In cell-ID order, whatever order the IDs came in.
    std::sort(m_pool.cells.begin(), m_pool.cells.end(),
              [](const PoolCell &a, const PoolCell &b) { return a.cellId < b.cellId; });
    m_pool.report.taken = int(m_pool.cells.size());
    return std::exchange(m_pool, Pool());
}

Pool buildPool(const std::vector<CellRecord> &records, const PoolFilter &filter, const std::set<QString> &packedIds)
{
    PoolBuilder builder(filter, packedIds);
    // Each ID's records, a record held twice (journal and database) once.
    std::map<QString, std::vector<const CellRecord *>> byId;
    QSet<QUuid> seen;
    for (const CellRecord &record : records) {
        if (!record.id.isNull()) {
            if (seen.contains(record.id))
                continue;
            seen.insert(record.id);
        }
        const QString id = normalisedCellId(record.cellId);
        if (id.isEmpty() || cellIdProblem(id)) {
            builder.addWithoutId();
            continue;
        }
        byId[id].push_back(&record);
    }
    for (const auto &[id, history] : byId) {
        const CellRecord *latest = history.front();
        for (const CellRecord *record : history) {
            if (isLaterRecord(*record, *latest))
                latest = record;
        }
        builder.addCell(id, *latest, int(history.size()));
    }
    return builder.take();
}

QStringList PoolReport::lines() const
{
    QStringList lines;
    lines << PoolTexts::tr("%n record(s) read", nullptr, records);
    lines << PoolTexts::tr("%n cell(s) in the pool", nullptr, taken);
    const std::pair<int, const char *> counts[] = {
        {withoutId, QT_TRANSLATE_N_NOOP("PackPool", "%n record(s) without a valid cell ID (a pack is placed by "
                                                    "scanning IDs)")},
        {superseded, QT_TRANSLATE_N_NOOP("PackPool", "%n earlier record(s) of a cell measured again (the latest "
                                                     "counts)")},
        {noReading, QT_TRANSLATE_N_NOOP("PackPool", "%n cell(s) without a usable resistance or voltage")},
        {outsideTime, QT_TRANSLATE_N_NOOP("PackPool", "%n cell(s) last measured outside the time range")},
        {otherBench, QT_TRANSLATE_N_NOOP("PackPool", "%n cell(s) last measured at another bench")},
        {resistanceBin, QT_TRANSLATE_N_NOOP("PackPool", "%n cell(s) in a resistance BIN not chosen")},
        {voltageBin, QT_TRANSLATE_N_NOOP("PackPool", "%n cell(s) in a voltage BIN not chosen")},
        {kVerdict, QT_TRANSLATE_N_NOOP("PackPool", "%n cell(s) left out by their K-value")},
        {failedRetest, QT_TRANSLATE_N_NOOP("PackPool", "%n cell(s) whose latest re-test failed")},
        {inPack, QT_TRANSLATE_N_NOOP("PackPool", "%n cell(s) already in a pack")},
    };
    for (const auto &[count, text] : counts) {
        if (count > 0)
            lines << QCoreApplication::translate("PackPool", text, nullptr, count);
    }
    return lines;
}

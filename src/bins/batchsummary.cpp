#include "bins/batchsummary.h"

#include "bins/judge.h"

#include <QList>

#include <algorithm>
#include <cmath>

void SpreadStats::add(float value)
{
    ++count;
    if (count == 1) {
        min = max = value;
    } else {
        min = std::min(min, value);
        max = std::max(max, value);
    }
    const double delta = double(value) - mean;
    mean += delta / double(count);
    m2 += delta * (double(value) - mean);
}

double SpreadStats::stdDev() const
{
    return count < 2 ? 0.0 : std::sqrt(std::max(0.0, m2) / double(count - 1));
}

BatchSummary::BatchSummary(const BinTable &binTableR, const BinTable &binTableV) : m_tables{binTableR, binTableV}
{
}

int BatchSummary::binsInUse(int t) const
{
    return std::clamp(int(table(t).numBins), 0, 9);
}

int BatchSummary::place(int t, float value) const
{
    const Result<Judgement> judgement = judgeTable(table(t), value, false);
    // A table the grid cannot show lights nothing.
    if (!judgement)
        return slot::kOut;
    for (int r = 0; r < 9; ++r) {
        if (judgement->lit[std::size_t(r)])
            return r;
    }
    if (judgement->out == OutSide::Below)
        return slot::kMinusOut;
    if (judgement->out == OutSide::Above)
        return slot::kPlusOut;
    return slot::kOut;
}

std::array<int, 2> BatchSummary::add(const RecordReading &reading)
{
    const std::array<float, 2> values{reading.resistance, reading.voltage};
    std::array<int, 2> slots{};
    for (std::size_t t = 0; t < 2; ++t) {
        slots[t] = place(int(t), values[t]);
        m_rows[t][std::size_t(slots[t])].add(values[t]);
        m_totals[t].add(values[t]);
    }
    return slots;
}

double BatchSummary::share(int t, int slot) const
{
    const qint64 all = total(t).count;
    return all == 0 ? 0.0 : 100.0 * double(row(t, slot).count) / double(all);
}

QString slotCaption(int slot)
{
    switch (slot) {
    case slot::kPlusOut:
        return QStringLiteral("+Out");
    case slot::kMinusOut:
        return QStringLiteral("-Out");
    case slot::kOut:
        return QStringLiteral("Out");
    default:
        return QStringLiteral("BIN %1").arg(slot + 1);
    }
}

namespace {

// Figures as the batch window's table shows them: the limits' own format, so
// a limit of 3.6 reads 3.6 and not the 3.5999999 its float holds.
using Format = QString (*)(float);

void appendRow(QByteArray &csv, const char *quantity, Format format, const QString &caption, const SpreadStats &stats,
               double share, const float *lower, const float *upper)
{
    const auto number = [format](double value) { return format(float(value)).toLatin1(); };
    QList<QByteArray> fields{quantity, caption.toLatin1()};
    fields << (lower ? number(*lower) : QByteArray()) << (upper ? number(*upper) : QByteArray());
    fields << QByteArray::number(stats.count) << QByteArray::number(share, 'f', 2);
    if (stats.count > 0) {
        fields << number(stats.mean) << (stats.count > 1 ? number(stats.stdDev()) : QByteArray()) << number(stats.min)
               << number(stats.max);
    } else {
        fields << QByteArray() << QByteArray() << QByteArray() << QByteArray();
    }
    csv += fields.join(',') + "\r\n";
}

} // namespace

QList<int> BatchSummary::shownSlots(int t) const
{
    QList<int> slots;
    for (int r = 0; r < binsInUse(t); ++r)
        slots << r;
    slots << slot::kPlusOut << slot::kMinusOut;
    if (row(t, slot::kOut).count > 0)
        slots << slot::kOut;
    return slots;
}

QByteArray summaryCsv(const BatchSummary &summary)
{
    static const char *const kQuantities[2] = {"resistance mOhm", "voltage V"};
    static const Format kFormats[2] = {getFormatR, getFormatV};
    QByteArray csv = "quantity,row,lower limit,upper limit,count,share %,mean,std dev,min,max\r\n";
    for (int t = 0; t < 2; ++t) {
        const BinTable &table = summary.table(t);
        for (int r = 0; r < summary.binsInUse(t); ++r) {
            // Judged with the smaller limit as the lower end.
            const float lower = std::min(table.lowerLimit[std::size_t(r)], table.upperLimit[std::size_t(r)]);
            const float upper = std::max(table.lowerLimit[std::size_t(r)], table.upperLimit[std::size_t(r)]);
            appendRow(csv, kQuantities[t], kFormats[t], slotCaption(r), summary.row(t, r), summary.share(t, r), &lower, &upper);
        }
        for (const int out : {slot::kPlusOut, slot::kMinusOut, slot::kOut}) {
            if (out == slot::kOut && summary.row(t, out).count == 0)
                continue;
            appendRow(csv, kQuantities[t], kFormats[t], slotCaption(out), summary.row(t, out), summary.share(t, out), nullptr,
                      nullptr);
        }
        appendRow(csv, kQuantities[t], kFormats[t], QStringLiteral("Total"), summary.total(t), summary.count() > 0 ? 100.0 : 0.0,
                  nullptr, nullptr);
    }
    return csv;
}

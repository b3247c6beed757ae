#pragma once

#include "bins/bintable.h"
#include "record/recordfilereader.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <array>

// Where a reading falls in one table: a BIN row 0..8, or outside all BINs on
// the side the window's out label would show.
namespace slot {
constexpr int kPlusOut = 9;   // "+Out": at or above the highest upper limit
constexpr int kMinusOut = 10; // "-Out": at or below the lowest lower limit (also: no BINs)
constexpr int kOut = 11;      // in no BIN and on neither side (a gap between BINs)
constexpr int kCount = 12;
} // namespace slot

// Count, mean, spread and range of a set of values (Welford's running sums).
struct SpreadStats
{
    qint64 count = 0;
    double mean = 0;
    double m2 = 0; // sum of squared differences from the mean
    float min = 0;
    float max = 0;

    void add(float value);
    // Sample standard deviation (divisor n - 1); 0 for fewer than two values.
    double stdDev() const;
};

// The batch of a data file judged against copies of the two BIN tables, with
// the same judging as the measurement cycle: lower limit included, upper
// excluded, reversed limits exchanged, in "Ref - %" the narrowest band. The
// file stores no BIN: the BINs come from the tables handed in.
class BatchSummary
{
public:
    BatchSummary() = default;
    BatchSummary(const BinTable &binTableR, const BinTable &binTableV);

    // Judges both values, adds them to their rows and totals; returns the
    // resistance and voltage slots.
    std::array<int, 2> add(const RecordReading &reading);

    // The slot of `value` in table t (0 resistance in mOhm, 1 voltage in V).
    int place(int t, float value) const;

    const BinTable &table(int t) const { return m_tables[std::size_t(t)]; }
    // BIN rows in use: numBins within 0..9.
    int binsInUse(int t) const;
    // The rows a table of quantity t shows, in order: its BINs in use, +Out,
    // -Out, and Out when any reading fell there.
    QList<int> shownSlots(int t) const;
    const SpreadStats &row(int t, int slot) const { return m_rows[std::size_t(t)][std::size_t(slot)]; }
    const SpreadStats &total(int t) const { return m_totals[std::size_t(t)]; }
    qint64 count() const { return m_totals[0].count; }
    // Share of all readings in percent; 0 when there are none.
    double share(int t, int slot) const;

private:
    std::array<BinTable, 2> m_tables{};
    std::array<std::array<SpreadStats, slot::kCount>, 2> m_rows{};
    std::array<SpreadStats, 2> m_totals{};
};

// Caption of a slot: "BIN 3", "+Out", "-Out", "Out".
QString slotCaption(int slot);

// The per-BIN table of both quantities as CSV: a header line, then for each
// quantity its BIN rows in use, "+Out", "-Out" (and "Out" when any fell there)
// and "Total", with the BIN's lower and upper limit, count, share in percent,
// mean, standard deviation, minimum and maximum. Fields that do not apply
// (no values, fewer than two for the deviation, limits of an out row) are
// empty. Lines end in CR LF, like the data file.
QByteArray summaryCsv(const BatchSummary &summary);

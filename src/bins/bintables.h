#pragma once

#include "bins/bintable.h"

#include <QObject>

#include <array>

// The program's two BIN tables, resistance (0) and voltage (1), and the one
// place they change. Windows read them here and follow their changes through
// the signals instead of waiting for the next counted cell.
class BinTables : public QObject
{
    Q_OBJECT
public:
    explicit BinTables(QObject *parent = nullptr);

    // Table t, 0 or 1; another t throws AppError(ErrorKind::SubscriptOutOfRange).
    const BinTable &table(int t) const;
    const BinTable &resistance() const { return m_tables[0]; }
    const BinTable &voltage() const { return m_tables[1]; }

    // Replaces table t (0 or 1).
    void setTable(int t, const BinTable &table);
    // Replaces both, e.g. with the counters of one counted cell.
    void setTables(const BinTable &resistance, const BinTable &voltage);
    // Every counter of both tables to 0.
    void clearCounts();

Q_SIGNALS:
    // Mode, BIN count, parameters or limits of a table changed.
    void limitsChanged();
    // A counter of either table changed.
    void countsChanged();

private:
    void replace(const std::array<BinTable, 2> &tables);

    std::array<BinTable, 2> m_tables;
};

// Whether two tables judge alike: the same mode, BINs and limits, whatever
// their counters.
bool sameLimits(const BinTable &a, const BinTable &b);

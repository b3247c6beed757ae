#pragma once

#include "common/result.h"
#include "pack/pool.h"

#include <QByteArray>
#include <QChar>
#include <QString>

#include <map>
#include <optional>
#include <set>
#include <vector>

// Where a capacity file (one row per cell, as a capacity tester or a
// spreadsheet exports it) keeps what the pack planner needs. Chosen once for a
// file layout and kept in its own INI file (settings/capacitycsvoptions.h).
struct CapacityColumns
{
    int idColumn = 1; // counted from 1
    int capacityColumn = 2;
    bool headerRow = true;
    QChar separator = QLatin1Char(',');
    bool decimalComma = false; // "3012,5" instead of "3012.5"

    bool operator==(const CapacityColumns &other) const;
    bool operator!=(const CapacityColumns &other) const { return !(*this == other); }
};

inline constexpr int kMaxCapacityColumn = 100;
inline constexpr double kMaxCapacityMah = 1e6;
inline constexpr qint64 kMaxCapacityFileBytes = 64 * 1024 * 1024;

// What is wrong with a mapping: a column outside 1..kMaxCapacityColumn, the
// same column for both, a separator other than , ; tab or |, or a decimal
// comma with the comma as separator. Nothing when it is usable.
std::optional<QString> capacityColumnsProblem(const CapacityColumns &columns);

struct CapacityValue
{
    double mah = 0;
    QString text; // as the file has it
};

// A row that gave no capacity, and why.
struct CapacityRowProblem
{
    int row = 0; // the line the row starts on, counted from 1 (the header is row 1)
    QString reason;
};

struct CapacityImport
{
    std::map<QString, CapacityValue> capacities; // by cell ID
    std::vector<CapacityRowProblem> problems;    // by row
    int dataRows = 0;                            // rows below the header, empty ones too
};

// The capacities of a capacity file's content (UTF-8, with or without a byte
// order mark; fields in double quotes may hold the separator, line breaks and
// "" for a quote). Every data row gives a capacity or a problem: an empty row,
// a quote left open, another number of fields than the header (or, without
// one, than most rows) has, a missing or invalid cell ID, an ID no record
// holds (knownIds), a capacity that is no plain number above 0 and at most
// kMaxCapacityMah (no thousands separators, no exponent), and every row of an
// ID that appears in more than one row, whose capacity is then left out.
// A final line break ends the last row and makes no empty row.
// Fails only for a mapping with a problem, or one that names a column the
// file's rows do not have.
Result<CapacityImport> readCapacityCsv(const QByteArray &content, const CapacityColumns &columns,
                                       const std::set<QString> &knownIds);

// The same from a file: a regular file of at most kMaxCapacityFileBytes.
Result<CapacityImport> readCapacityFile(const QString &path, const CapacityColumns &columns,
                                        const std::set<QString> &knownIds);

// Gives each cell of cells the capacity the import holds for its ID; returns
// how many got one. Other cells keep theirs.
int applyCapacities(std::vector<PoolCell> &cells, const CapacityImport &import);

#pragma once

#include "common/result.h"
#include "pack/capacitycsv.h"

#include <QString>

// How the capacity file is read (which column holds the cell ID and which the
// capacity, a header row or not, the separator, the decimal mark), chosen once
// and kept in its own INI file beside Settings.ini.
inline constexpr const char *kCapacityCsvFileName = "CapacityCsv.ini";

// <folder>/CapacityCsv.ini
QString capacityCsvOptionsPath(const QString &folder);

// The mapping as stored; a missing file or key, or a mapping with a problem
// (capacityColumnsProblem()), gives the default one. A file that is there
// but refused (optionsFileRefusal()) fails with the reason: a capacity file
// read with columns other than the chosen ones gives wrong capacities.
Result<CapacityColumns> loadCapacityColumns(const QString &folder);

// Writes the mapping; fails with the reason when it has a problem or the file
// cannot be written.
Status saveCapacityColumns(const QString &folder, const CapacityColumns &columns);

#pragma once

#include "bins/bintable.h"

#include <QString>

#include <array>
#include <optional>

// The two BIN tables (resistance, voltage) a set-up's canonical text describes
// (the text the journal and the central database keep by hash): mode,
// parameters and every limit as they judged the cells, counters at zero.
// nullopt for a text that is not such a set-up.
std::optional<std::array<BinTable, 2>> tablesOfSetupText(const QString &text);

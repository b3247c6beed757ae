#pragma once

#include "record/binsetup.h"

struct BinTable;

// The set-up both tables make: their mode, parameters and every limit in use
// as the canonical text, and its hash. The counters play no part.
BinSetup binSetupOf(const BinTable &resistance, const BinTable &voltage);

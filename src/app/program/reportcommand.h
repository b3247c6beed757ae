#pragma once

#include "bins/bintable.h"
#include "common/result.h"

#include <QString>

#include <array>

// bin4870 --report FILE.pdf [--source file:PATH|journal|central] [--bench NAME]
//         [--from TIME] [--to TIME] [--shift current|previous]
//         [--lsl-r V] [--usl-r V] [--target-r V] [--lsl-v V] [--usl-v V] [--target-v V]
// writes the shift report without showing a window (for a scheduled job): the
// BIN set-up comes from Settings.ini, the specification from Specification.ini
// (a quantity given on the command line takes those values instead), the
// cells from the source (today's data file when none is named). Exits 0 after
// writing the report, 3 after writing the one page that says the range holds
// no cell, 2 on a wrong command line, 1 when the set-up, the specification,
// the source or the file fails; every failure is told in one line on standard
// error.

// The exit status of a report of a range without cells.
inline constexpr int kNoCellsExit = 3;

// True when the command line asks for a report.
bool isReportCommand(int argc, char **argv);
// Runs the report command; makes its own QApplication on the offscreen
// platform unless QT_QPA_PLATFORM names another. Returns the exit code.
int runReportCommand(int argc, char **argv);

// The two BIN tables a Settings.ini holds, judged as the set-up panels judge
// them; a file that is missing gives the first-run set-up (no BINs). Fails
// with the reason when the file is there but refused.
Result<std::array<BinTable, 2>> binTablesFromSettings(const QString &settingsDir);

#pragma once

// bin4870 --build-pack SHAPE --out FILE.pdf|FILE.csv
//         [--source journal|central|file:PATH] [--capacity FILE.csv] [--seed N]
//         [--bench NAME] [--from TIME] [--to TIME] [--group-window W]
//         [--voltage-window V] [--resistance-bins LIST] [--voltage-bins LIST]
//         [--k-verdict any|not-too-high|ok] [--reserve [--name NAME]]
// plans a pack without a window: reads the pool from the source (the journal
// when none is named), plans it and writes the build sheet as a PDF or CSV by
// the file's ending. With --reserve (journal or central only) the plan is
// saved and its cells reserved before the file is written; a plan whose cells
// another pack took meanwhile is refused, naming them, and the next run plans
// without them. Exits 0 when the file is written, 2 for a wrong command line,
// 1 when the source, the capacity file, the plan, the reservation or the file
// fails; every failure is told in one line on standard error, and each
// capacity-file row that gave no capacity in a line of its own.

// True when the command line asks for a pack.
bool isBuildPackCommand(int argc, char **argv);
// Runs it; makes its own QApplication on the offscreen platform unless
// QT_QPA_PLATFORM names another. Returns the exit code.
int runBuildPackCommand(int argc, char **argv);

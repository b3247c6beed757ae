#pragma once

#include "bins/shiftanalysis.h"

#include <QString>

// The shift report: one A4 PDF with the source and time range, capability
// with its formula and sigma, the I-MR charts, control limits and marked
// cells, the per-BIN tables, the yield per hour and per bench, and the BIN
// set-up the cells were judged against. Needs a QApplication (the charts are
// drawn by Qt Charts) but no display: the offscreen platform serves.
//
// False with the system's reason in *error when the file cannot be written; the file
// is then left as it was (written to a temporary file first).
bool writeShiftReport(const ShiftAnalysis &analysis, const QString &pdfPath, QString *error);

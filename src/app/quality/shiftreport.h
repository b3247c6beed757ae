#pragma once

#include "bins/shiftanalysis.h"

#include <QString>

// The shift report: one A4 PDF with the source and time range, capability
// with its formula and sigma, the I-MR charts, control limits and marked
// cells, the per-BIN tables, the yield per hour and per bench, and the BIN
// set-up the cells were judged against. Needs a QApplication (the charts are
// drawn by Qt Charts) but no display: the offscreen platform serves.
//
// The PDF is written to a temporary file beside the one it replaces and put in
// its place whole; only a regular file (through links, the file they lead to)
// or nothing is replaced. False with the reason in *error when the file cannot
// be written or something else stands at pdfPath (a named pipe, a device, a
// folder); what is there is then left as it was.
bool writeShiftReport(const ShiftAnalysis &analysis, const QString &pdfPath, QString *error);

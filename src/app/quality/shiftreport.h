#pragma once

#include "bins/shiftanalysis.h"

#include <QString>
#include <QStringList>

// The tester profile in use as a report names it ("default (built-in)";
// the stored choice and why it cannot be read when it cannot), and the pass
// and fail words a data file's fifth field may hold instead of a cell ID.
struct ProfileInUse
{
    QString text;
    QStringList testerWords;
};
ProfileInUse profileInUse(const QString &settingsFolder);

// The login name of the user running the program.
QString currentUserName();

// Who makes a report and with what; an empty user is the current one.
struct ReportMaker
{
    QString user;
    QString profile;
};

// The shift report: an A4 PDF that reads as a document. Every page has a
// running header (source, range, bench) and a foot with the program's version
// as --version prints it and "Page k of N". The first page names the source,
// range, cells, tester profile, the user and the time it was made; then
// capability per quantity (the limits and where they come from, n, mean,
// within and overall sigma, Cp/Cpk and Pp/Ppk with 95 % bounds, a histogram
// with the limits and the normal curve, the normality statement), an I-MR
// chart pair per bench for up to kReportChartedStreams benches with their
// control limits, a table of every bench, the yield per hour, the marked
// cells with bench, time, cell ID and rule, the per-BIN tables and the BIN
// set-up. A table or a heading never ends a page alone: one that would is
// moved to the next page, and a table longer than a page repeats its header.
// An analysis without cells gives one page that says so. Needs a
// QApplication (the charts are drawn by Qt Charts, as vectors) but no
// display: the offscreen platform serves.
//
// The PDF is written to a temporary file beside the one it replaces and put in
// its place whole; only a regular file (through links, the file they lead to)
// or nothing is replaced. False with the reason in *error when the file cannot
// be written or something else stands at pdfPath (a named pipe, a device, a
// folder); what is there is then left as it was.
bool writeShiftReport(const ShiftAnalysis &analysis, const QString &pdfPath, QString *error,
                      const ReportMaker &maker = {});

// Benches the report draws charts of; the others are in its table.
constexpr int kReportChartedStreams = 6;
// Marked cells the report lists, the earliest first.
constexpr int kReportMarkedCells = 60;

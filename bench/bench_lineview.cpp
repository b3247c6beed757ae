// The line view against a large central database: a local PostgreSQL server
// (started by scripts/dev-db.sh in a temporary folder) filled with 10,000,000
// cells of ten benches by one generate_series per million, then the line view
// of one eight-hour shift in the middle of the cells (one GROUP BY on the
// server), the same shift's cells pulled and analysed as the charts do, and
// the whole shift report of it (analysis and PDF), then a report of every
// cell for the memory.
//
//   bench_lineview [--cells 10000000] [--runs 5] [--db DIR]
//
// --db keeps the server's folder: a second run finds the cells there and
// skips the filling.

#include "benchsupport.h"
#include "bintablefixture.h"
#include "devdb.h"

#include "app/quality/qualitywindow.h"
#include "app/quality/shiftreport.h"
#include "bins/bintables.h"
#include "bins/shiftanalysis.h"
#include "record/centraldatabase.h"
#include "record/databasesources.h"
#include "settings/centralsettings.h"

#include <QApplication>
#include <QDateTimeEdit>
#include <QDir>
#include <QEventLoop>
#include <QTableWidget>
#include <QTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kBenches = 10;
constexpr int kChunk = 1000000;

// Ten benches, each counting a cell every 3 s from 2026-11-01 00:00 UTC on;
// about 1,000,000 cells a bench over 35 days, 9,600 a bench in a shift.
bool fill(DevDatabase &db, qint64 cells, const BinSetup &setup)
{
    const QStringList done = db.column(QStringLiteral("INSERT INTO bin_setups (hash, setup) VALUES ('%1', '%2')")
                                           .arg(setup.hash, setup.text));
    if (!done.isEmpty() && done.first().startsWith(QLatin1String("ERROR"))) {
        std::fprintf(stderr, "%s\n", qPrintable(done.first()));
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    for (qint64 first = 0; first < cells; first += kChunk) {
        const qint64 last = std::min(cells, first + kChunk) - 1;
        const QStringList result = db.column(QStringLiteral(
            "INSERT INTO cells (id, bench, measured_at, resistance_text, voltage_text, resistance_ohm, voltage_v,"
            " resistance_bin, voltage_bin, setup_hash, program_version)"
            " SELECT gen_random_uuid(), 'bench-' || lpad((g % %1)::text, 2, '0'),"
            " timestamptz '2026-11-01 00:00+00' + (g / %1) * interval '3 s',"
            " to_char(r, '9.9999EEEE'), to_char(v, '9.9999EEEE'), r, v,"
            " (1 + g % 5)::text, CASE WHEN g % 23 = 0 THEN '+Out' ELSE (1 + g % 4)::text END, '%2', '1.2.0'"
            " FROM (SELECT g, 0.015 + 0.045 * random() AS r, 3.0 + 1.2 * random() AS v"
            " FROM generate_series(%3::bigint, %4::bigint) AS g) AS s")
                                                   .arg(kBenches)
                                                   .arg(setup.hash)
                                                   .arg(first)
                                                   .arg(last));
        if (!result.isEmpty() && result.first().startsWith(QLatin1String("ERROR"))) {
            std::fprintf(stderr, "%s\n", qPrintable(result.first()));
            return false;
        }
        std::printf("  %lld cells in, %.0f s\n", static_cast<long long>(last + 1), double(timer.elapsed()) / 1000);
    }
    db.column(QStringLiteral("ANALYZE cells"));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // The report's charts need a QApplication, not a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = app.arguments();
    const qint64 cells = intArgument(args, QStringLiteral("--cells"), 10000000);
    const int runs = std::max(1, intArgument(args, QStringLiteral("--runs"), 5));
    qputenv("TZ", "UTC");

    const qsizetype dbAt = args.indexOf(QStringLiteral("--db"));
    DevDatabase db(dbAt >= 0 && dbAt + 1 < args.size() ? args.at(dbAt + 1) : QString());
    if (!db.start()) {
        std::fprintf(stderr, "bench_lineview: the server did not start\n");
        return 1;
    }
    const BinSetup setup = cellfixtures::setup();
    if (const Status made = sendCells(db.settings()); !made) {
        std::fprintf(stderr, "bench_lineview: no schema: %s\n", qPrintable(made.errorString()));
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    const qint64 there = db.column(QStringLiteral("SELECT count(*) FROM cells")).value(0).toLongLong();
    if (there != 0 && there != cells) {
        std::fprintf(stderr, "bench_lineview: the database holds %lld cells, not %lld\n", static_cast<long long>(there),
                     static_cast<long long>(cells));
        return 1;
    }
    if (there == 0 && !fill(db, cells, setup))
        return 1;
    std::printf("%s %lld cells in %.0f s; table and indexes %s\n", there != 0 ? "kept" : "filled",
                static_cast<long long>(cells), double(timer.elapsed()) / 1000,
                qPrintable(db.column(QStringLiteral("SELECT pg_size_pretty(pg_total_relation_size('cells'))")).value(0)));
    db.disconnectCheck();

    // The early shift (06:00..14:00) of the day in the middle of the cells:
    // 2026-11-18 for 10,000,000 cells.
    const qint64 start = wallClockSeconds(2026, 11, 1, 0, 0, 0);
    const qint64 middleDay = (cells / kBenches * 3 / 2) / 86400;
    RecordFilter shift;
    shift.from = start + middleDay * 86400 + 6 * 3600;
    shift.to = *shift.from + 8 * 3600;
    BinTable resistance;
    resistance.numBins = 5;
    resistance.minValue = 15;
    resistance.maxValue = 60;
    resistance = withLimits(resistance);

    const qint64 before = residentKiB();
    std::vector<double> times;
    std::vector<LineRow> rows;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer t;
        t.start();
        Result<std::vector<LineRow>> read = readLineView(db.settings(), shift);
        if (!read) {
            std::fprintf(stderr, "bench_lineview: %s\n", qPrintable(read.errorString()));
            return 1;
        }
        rows = std::move(*read);
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    qint64 shiftCells = 0;
    for (const LineRow &row : rows)
        shiftCells += row.cells;
    std::printf("line view of one shift (%zu benches, %lld cells of %lld), connection included: first %.0f ms, "
                "median of %d %.0f ms, slowest %.0f ms\n",
                rows.size(), static_cast<long long>(shiftCells), static_cast<long long>(cells), times.front(), runs,
                percentile(times, 0.5),
                *std::max_element(times.begin(), times.end()));
    if (!rows.empty()) {
        const BenchFigures first = benchFigures(rows.front(), resistance, BinTable{});
        std::printf("  %s: %lld cells, yield %.2f %%, Cpk R %.3f\n", qPrintable(first.bench),
                    static_cast<long long>(first.cells), first.yieldPercent(), first.capability[0].cpk.value_or(0));
    }
    std::printf("resident memory before / after the line views: %.1f / %.1f MB\n", double(before) / 1024,
                double(residentKiB()) / 1024);

    // The charts' way: every cell of the shift pulled in two passes.
    CentralSource source(db.settings());
    const auto failed = [](const QString &error) {
        std::fprintf(stderr, "bench_lineview: %s\n", qPrintable(error));
        return 1;
    };
    QString error;
    ShiftAnalysis analysis;
    std::vector<double> pulls;
    for (int run = 0; run < std::min(runs, 3); ++run) {
        QElapsedTimer t;
        t.start();
        if (const Status loaded = source.load(); !loaded)
            return failed(loaded.errorString());
        Result<ShiftAnalysis> analysed = analyseShift(source, shift, resistance, BinTable{}, 4000);
        if (!analysed)
            return failed(analysed.errorString());
        analysis = std::move(*analysed);
        pulls.push_back(double(t.nsecsElapsed()) / 1e9);
    }
    std::printf("the same shift's %lld cells pulled and analysed for the charts (two passes): first %.2f s, "
                "median %.2f s; resident memory now %.1f MB\n",
                static_cast<long long>(analysis.summary.count()), pulls.front(), percentile(pulls, 0.5),
                double(residentKiB()) / 1024);

    // Each kind of pass alone, with a visitor that only counts.
    for (const bool valuesOnly : {false, true}) {
        std::vector<double> passes;
        qint64 taken = 0;
        for (int run = 0; run < std::min(runs, 3); ++run) {
            QElapsedTimer t;
            t.start();
            taken = 0;
            const auto count = [&taken](int, const RecordReading &, qint64) { return ++taken > 0; };
            if (const Status pass = valuesOnly ? source.readValues(shift, count) : source.read(shift, count); !pass)
                return failed(pass.errorString());
            passes.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        std::printf("  one pass of %lld cells, %s: first %.0f ms, median %.0f ms\n", static_cast<long long>(taken),
                    valuesOnly ? "values alone" : "bench, time and values", passes.front(), percentile(passes, 0.5));
    }

    // The shift report of it, as `bin4870 --report --source central` makes it
    // once the source is open: set-ups, analysis and PDF.
    QTemporaryDir folder;
    // The analysis of the filter's cells and its PDF.
    const auto report = [&](const RecordFilter &filter, const QString &fileName) -> Status {
        Result<ShiftAnalysis> analysed = analyseShift(source, filter, resistance, BinTable{}, 4000);
        if (!analysed)
            return analysed.failure();
        analysis = std::move(*analysed);
        QString written;
        if (!writeShiftReport(analysis, QDir(folder.path()).filePath(fileName), &written))
            return Failure(written);
        return {};
    };
    std::vector<double> reports;
    for (int run = 0; run < std::min(runs, 3); ++run) {
        QElapsedTimer t;
        t.start();
        if (const Result<std::vector<SetupInForce>> setups = source.setups(shift); !setups)
            return failed(setups.errorString());
        if (const Status made = report(shift, QStringLiteral("shift.pdf")); !made)
            return failed(made.errorString());
        reports.push_back(double(t.nsecsElapsed()) / 1e9);
    }
    std::printf("shift report of those %lld cells (set-ups, analysis, PDF): first %.2f s, median %.2f s; resident "
                "memory now %.1f MB\n",
                static_cast<long long>(analysis.summary.count()), reports.front(), percentile(reports, 0.5),
                double(residentKiB()) / 1024);

    // Memory against the number of cells: the report of every cell in the
    // database, ten to a hundred times the shift's. The peak stays where the
    // shift's reports left it.
    {
        const double peakBefore = peakMegabytes();
        QElapsedTimer t;
        t.start();
        if (const Status made = report(RecordFilter{}, QStringLiteral("all.pdf")); !made)
            return failed(made.errorString());
        std::printf("report of all %lld cells (analysis and PDF): %.1f s; peak resident memory before / after it: "
                    "%.1f / %.1f MB\n",
                    static_cast<long long>(analysis.summary.count()), double(t.elapsed()) / 1000, peakBefore,
                    peakMegabytes());
    }

    // The batch window: the shift chosen, then "Shared database" as the
    // source, until the line view and the charts are shown.
    if (const Status saved = saveCentralSettings(folder.path(), db.settings()); !saved)
        return failed(saved.errorString());
    BinTables tables;
    tables.setTables(resistance, BinTable{});
    QualityWindow window(tables, QDir(folder.path()).filePath(QStringLiteral("none.csv")));
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.setRecordPlaces(QDir(folder.path()).filePath(QStringLiteral("journal.sqlite")), folder.path());
    window.show();
    auto waitShown = [&window] {
        QEventLoop loop;
        QObject::connect(&window, &QualityWindow::analysisShown, &loop, &QEventLoop::quit);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        loop.exec();
    };
    const auto toDateTime = [](qint64 stamp) { return QDateTime(QDate(1970, 1, 1), QTime(0, 0)).addSecs(stamp); };
    window.findChild<QDateTimeEdit *>(QStringLiteral("fromEdit"))->setDateTime(toDateTime(*shift.from));
    window.findChild<QDateTimeEdit *>(QStringLiteral("toEdit"))->setDateTime(toDateTime(*shift.to));
    window.setRange(QualityWindow::Range::FromTo);
    waitShown();
    std::vector<double> lineShown;
    std::vector<double> shown;
    for (int run = 0; run < std::min(runs, 3); ++run) {
        if (run > 0) {
            window.setSource(QualityWindow::Source::DataFile);
            waitShown();
        }
        QElapsedTimer t;
        t.start();
        QObject::connect(&window, &QualityWindow::lineViewShown, &window,
                         [&] { lineShown.push_back(double(t.nsecsElapsed()) / 1e6); }, Qt::SingleShotConnection);
        window.setSource(QualityWindow::Source::Central);
        waitShown();
        shown.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    const auto *line = window.findChild<QTableWidget *>(QStringLiteral("lineTable"));
    std::printf("batch window, \"Shared database\" chosen: line view (%d rows) shown after first %.0f ms, median "
                "%.0f ms; charts of %lld cells shown after first %.0f ms, median %.0f ms; resident memory now "
                "%.1f MB\n",
                line->rowCount(), lineShown.empty() ? 0.0 : lineShown.front(), percentile(lineShown, 0.5),
                static_cast<long long>(window.analysis().summary.count()), shown.front(), percentile(shown, 0.5),
                double(residentKiB()) / 1024);
    return window.sourceError().isEmpty() ? 0 : 1;
}

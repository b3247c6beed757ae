// The line view against a large central database: a local PostgreSQL server
// (started by scripts/dev-db.sh in a temporary folder) filled with 10,000,000
// cells of ten benches by one generate_series per million, then the line view
// of one eight-hour shift (one GROUP BY on the server), and the same shift
// pulled row by row and analysed as the charts and the report do.
//
//   bench_lineview [--cells 10000000] [--runs 5]

#include "benchsupport.h"
#include "devdb.h"

#include "bins/shiftanalysis.h"
#include "record/centraldatabase.h"
#include "record/databasesources.h"

#include <QCoreApplication>
#include <QElapsedTimer>

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
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = app.arguments();
    const qint64 cells = intArgument(args, QStringLiteral("--cells"), 10000000);
    const int runs = std::max(1, intArgument(args, QStringLiteral("--runs"), 5));
    qputenv("TZ", "UTC");

    DevDatabase db;
    if (!db.start()) {
        std::fprintf(stderr, "bench_lineview: the server did not start\n");
        return 1;
    }
    const BinSetup setup = cellfixtures::setup();
    {
        const QString name = QStringLiteral("bench-schema");
        if (!central::connect(name, db.settings()).ok || !central::prepareSchema(name, db.settings()).ok) {
            std::fprintf(stderr, "bench_lineview: no schema\n");
            return 1;
        }
        central::disconnect(name);
    }
    QElapsedTimer timer;
    timer.start();
    if (!fill(db, cells, setup))
        return 1;
    std::printf("filled %lld cells in %.0f s; table and indexes %s\n", static_cast<long long>(cells),
                double(timer.elapsed()) / 1000,
                qPrintable(db.column(QStringLiteral("SELECT pg_size_pretty(pg_total_relation_size('cells'))")).value(0)));
    db.disconnectCheck();

    // The shift 2026-11-16 06:00..14:00, in the middle of the data.
    RecordFilter shift;
    shift.from = wallClockSeconds(2026, 11, 16, 6, 0, 0);
    shift.to = wallClockSeconds(2026, 11, 16, 14, 0, 0);
    BinTable resistance;
    resistance.numBins = 5;
    resistance.minValue = 15;
    resistance.maxValue = 60;
    calcBinLimits(resistance);

    const qint64 before = residentKiB();
    std::vector<double> times;
    std::vector<LineRow> rows;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer t;
        t.start();
        QString error;
        if (!readLineView(db.settings(), shift, &rows, &error)) {
            std::fprintf(stderr, "bench_lineview: %s\n", qPrintable(error));
            return 1;
        }
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
    QString error;
    ShiftAnalysis analysis;
    QElapsedTimer t;
    t.start();
    if (!source.load(&error) || !analyseShift(source, shift, resistance, BinTable{}, 4000, &analysis, &error)) {
        std::fprintf(stderr, "bench_lineview: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("the same shift's %lld cells pulled and analysed for the charts (two passes): %.2f s; resident "
                "memory now %.1f MB\n",
                static_cast<long long>(analysis.summary.count()), double(t.elapsed()) / 1000,
                double(residentKiB()) / 1024);
    return 0;
}

// Draws the batch window on a generated batch of 3,000 cells (two damaged
// lines among them) and saves it as a PNG:
//   batch_screenshot <file.png> [stability|line] [--data-dir=FOLDER]
// (stability: the second picture, the stability tab's capability page with a
// specification of resistance; line: that tab with the source "Shared
// database", a PostgreSQL server of its own started by scripts/dev-db.sh in a
// temporary folder with one shift of six benches, and the line view). The
// generated data file goes to FOLDER, whose path the window shows, or to a
// temporary folder.
//   batch_screenshot <file.pdf> report
// writes the shift report of one shift of two benches (a journal of 4,800
// generated cells with IDs) instead.
// scripts/screenshot.sh runs it under a display server for the README's pictures.

#include "bintablefixture.h"
#include "devdb.h"

#include "app/program/programmain.h"
#include "app/quality/qualitywindow.h"
#include "app/quality/shiftreport.h"
#include "app/quality/specificationbar.h"
#include "bins/bintables.h"
#include "bins/shiftanalysis.h"
#include "record/centraldatabase.h"
#include "record/databasesources.h"
#include "record/journal.h"
#include "settings/centralsettings.h"

#include <QApplication>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <cstdio>
#include <random>

namespace {

// Six benches over the shift 2026-12-07 06:00..14:00 (UTC), a cell every 12 s
// each, resistance and voltage spread about a mean of each bench's own, the
// BINs recorded as the set-up judges them. False with the server's message.
bool fillLine(DevDatabase &db, const BinTable &r, const BinTable &v)
{
    const BinSetup setup = binSetupOf(r, v);
    if (!sendCells(db.settings()))
        return false;
    // Bench-specific offsets and spreads; bench-04 drifts upwards in the
    // shift's second half.
    const QStringList result = db.column(QStringLiteral(
        "INSERT INTO bin_setups (hash, setup) VALUES ('%1', '%2');"
        " INSERT INTO cells (id, bench, measured_at, resistance_text, voltage_text, resistance_ohm, voltage_v,"
        " resistance_bin, voltage_bin, setup_hash, program_version)"
        " SELECT gen_random_uuid(), 'bench-0' || b, timestamptz '2026-12-07 06:00+00' + g * interval '12 s' + b * interval '1 s',"
        " to_char(r, '9.9999EEEE'), to_char(v, '9.9999EEEE'), r, v,"
        " CASE WHEN r < 0.025 THEN '-Out' WHEN r >= 0.045 THEN '+Out' ELSE (1 + floor((r - 0.025) / 0.005))::text END,"
        " CASE WHEN v < 3.5 THEN '-Out' WHEN v >= 3.7 THEN '+Out' ELSE (1 + floor((v - 3.5) / 0.05))::text END,"
        " '%1', '1.2.0'"
        " FROM (SELECT b, g, 0.001 * (33 + b * 0.8 + CASE WHEN b = 4 AND g > 1200 THEN (g - 1200) / 200.0 ELSE 0 END"
        "   + (1.5 + b * 0.4) * (random() + random() + random() + random() - 2) * 1.7) AS r,"
        "   3.61 + b * 0.004 + 0.03 * (random() + random() + random() + random() - 2) * 1.7 AS v"
        " FROM generate_series(1, 6) AS b, generate_series(0, 2399) AS g) AS s")
                                             .arg(setup.hash, setup.text));
    if (!result.isEmpty()) {
        std::fprintf(stderr, "batch_screenshot: %s\n", qPrintable(result.join(QLatin1Char(' '))));
        return false;
    }
    db.disconnectCheck();
    return true;
}

// One shift, 06:00 to 14:00 (+01:00), of two benches with a cell every 12 s
// each, every cell with its ID: bench-01 steady about 33 mOhm, bench-02
// about 36 mOhm and drifting up in the shift's last two hours, with a few
// cells far off. The report of it goes to pdfPath.
int twoBenchReport(const QString &pdfPath, const BinTable &r, const BinTable &v)
{
    QTemporaryDir folder;
    const QString journalPath = QDir(folder.path()).filePath(QStringLiteral("journal.sqlite"));
    const BinSetup setup = binSetupOf(r, v);
    {
        Journal journal(QStringLiteral("report-screenshot"));
        if (!journal.open(journalPath))
            return 1;
        std::mt19937 random(5);
        std::normal_distribution<double> spread(0.0, 1.0);
        std::vector<CellRecord> records;
        const QDateTime start(QDate(2026, 12, 7), QTime(6, 0), Qt::OffsetFromUTC, 3600);
        for (int n = 0; n < 4800; ++n) {
            const int bench = n % 2;
            const int i = n / 2;
            CellRecord c;
            c.id = QUuid::createUuid();
            c.bench = QStringLiteral("bench-0%1").arg(bench + 1);
            c.measuredAt = start.addSecs(qint64(i) * 12 + bench * 5);
            double mOhm = bench == 0 ? 33.0 + 1.6 * spread(random) : 36.0 + 2.0 * spread(random);
            if (bench == 1 && i > 1800)
                mOhm += (i - 1800) / 150.0;
            if (i == 700 + 900 * bench)
                mOhm += 12;
            c.resistanceOhm = mOhm / 1000.0;
            c.voltageV = 3.62 + bench * 0.006 + 0.018 * spread(random);
            c.resistanceText = QString::number(c.resistanceOhm, 'E', 4);
            c.voltageText = QString::number(c.voltageV, 'E', 4);
            c.resistanceBin = QStringLiteral("1");
            c.voltageBin = QStringLiteral("1");
            c.setupHash = setup.hash;
            c.programVersion = QStringLiteral("1.2.0");
            c.cellId = QStringLiteral("SIM-%1").arg(n + 1, 6, 10, QLatin1Char('0'));
            records.push_back(std::move(c));
        }
        if (!journal.appendAll(records, setup))
            return 1;
    }
    JournalSource source(journalPath);
    if (const Status loaded = source.load(); !loaded) {
        std::fprintf(stderr, "batch_screenshot: %s\n", qPrintable(loaded.errorString()));
        return 1;
    }
    RecordFilter shift;
    shift.from = wallClockSeconds(2026, 12, 7, 6, 0, 0);
    shift.to = wallClockSeconds(2026, 12, 7, 14, 0, 0);
    Result<ShiftAnalysis> analysis = analyseShift(source, shift, r, v, 4000);
    if (!analysis) {
        std::fprintf(stderr, "batch_screenshot: %s\n", qPrintable(analysis.errorString()));
        return 1;
    }
    // The source's description names this machine's scratch folder; the
    // picture names the journal as an installed program keeps it.
    analysis->source = QStringLiteral("Record journal /home/operator/.config/bin4870/journal.sqlite");
    spc::Specification specification;
    specification.quantities[0] = spc::SpecLimits{25.0, 45.0, 35.0};
    judgeCapability(*analysis, specification);
    QString error;
    if (!writeShiftReport(*analysis, pdfPath, &error, ReportMaker{QStringLiteral("operator"), QStringLiteral("default (built-in)")})) {
        std::fprintf(stderr, "batch_screenshot: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // The shared database's times are shown in this computer's zone.
    qputenv("TZ", "UTC");
    QApplication app(argc, argv);
    // The counts' English forms, as the program shows them ("3,000 cells").
    installTranslations(app, QCoreApplication::applicationDirPath(), QLocale());
    if (argc < 2) {
        std::fprintf(stderr, "usage: batch_screenshot <file.png> [stability|line] [--data-dir=FOLDER]\n");
        return 2;
    }
    bool stability = false;
    bool line = false;
    bool report = false;
    QString dataDir;
    for (int i = 2; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "report")
            report = true;
        else if (argument == "stability")
            stability = true;
        else if (argument == "line")
            stability = line = true;
        else if (argument.startsWith("--data-dir="))
            dataDir = QString::fromLocal8Bit(argument.mid(int(qstrlen("--data-dir="))));
    }
    QTemporaryDir folder;
    const QString path = QDir(dataDir.isEmpty() ? folder.path() : dataDir).filePath(QStringLiteral("2026-12-07.csv"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    std::mt19937 random(7);
    std::normal_distribution<double> resistance(34.0, 4.5);
    std::normal_distribution<double> voltage(3.62, 0.045);
    for (int i = 0; i < 3000; ++i) {
        const int second = i % 60;
        file.write(QStringLiteral("2026/12/07,14:%1:%2,%3E-3,%4E+0\r\n")
                       .arg(10 + i / 60 % 50, 2, 10, QLatin1Char('0'))
                       .arg(second, 2, 10, QLatin1Char('0'))
                       .arg(resistance(random), 0, 'f', 3)
                       .arg(voltage(random), 0, 'f', 4)
                       .toLatin1());
        if (i == 1000)
            file.write("2026/12/07,14:27:1\r\n");
        if (i == 2000)
            file.write("2026/12/07,14:43:20,9.9000E+37,3.6120E+0\r\n");
    }
    file.close();

    BinTable r;
    r.mode = BinMode::MaxMin;
    r.numBins = 4;
    r.minValue = 25;
    r.maxValue = 45;
    r = withLimits(r);
    BinTable v;
    v.mode = BinMode::MinStep;
    v.numBins = 4;
    v.minValue = 3.5f;
    v.stepValue = 0.05f;
    v = withLimits(v);

    if (report)
        return twoBenchReport(QString::fromLocal8Bit(argv[1]), r, v);

    BinTables tables;
    tables.setTables(r, v);
    QualityWindow window(tables, path);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    QSignalSpy ended(&window, &QualityWindow::readingEnded);
    window.show();
    if (!ended.wait(10000))
        return 1;
    if (stability) {
        window.findChild<QTabWidget *>(QStringLiteral("batchTabs"))->setCurrentIndex(1);
        if (!line) {
            // The capability page, against a specification of resistance.
            window.findChild<QTabWidget *>(QStringLiteral("stabilityPages"))->setCurrentIndex(1);
            window.findChild<SpecificationBar *>()->enter(0, QStringLiteral("22"), QStringLiteral("46"), QStringLiteral("34"));
        }
    }
    DevDatabase db;
    if (line) {
        // Reached through PGHOST, so that the window says "local socket"
        // instead of the server's temporary folder.
        if (!db.start() || !fillLine(db, r, v))
            return 1;
        qputenv("PGHOST", db.folder().toLocal8Bit());
        CentralSettings settings = db.settings();
        settings.host.clear();
        if (!saveCentralSettings(folder.path(), settings))
            return 1;
        window.setRecordPlaces(QDir(folder.path()).filePath(QStringLiteral("journal.sqlite")), folder.path());
        window.findChild<QDateTimeEdit *>(QStringLiteral("fromEdit"))->setDateTime(QDateTime(QDate(2026, 12, 7), QTime(6, 0)));
        window.findChild<QDateTimeEdit *>(QStringLiteral("toEdit"))->setDateTime(QDateTime(QDate(2026, 12, 7), QTime(14, 0)));
        QSignalSpy shown(&window, &QualityWindow::analysisShown);
        window.setRange(QualityWindow::Range::FromTo);
        if (!shown.wait(10000))
            return 1;
        window.setSource(QualityWindow::Source::Central);
        if (!shown.wait(30000) || !window.sourceError().isEmpty()) {
            std::fprintf(stderr, "batch_screenshot: %s\n", qPrintable(window.sourceError()));
            return 1;
        }
    }
    // Give the charts a moment for their first paint before the grab.
    QTest::qWait(500);
    return window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}

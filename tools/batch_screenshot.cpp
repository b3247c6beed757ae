// Draws the batch window on a generated batch of 3,000 cells (two damaged
// lines among them) and saves it as a PNG:
//   batch_screenshot <file.png> [stability|line] [--data-dir=FOLDER]
// (stability: the second picture, the stability tab; line: that tab with the
// source "Shared database", a PostgreSQL server of its own started by
// scripts/dev-db.sh in a temporary folder with one shift of six benches, and
// the line view). The generated data file goes to FOLDER, whose path the
// window shows, or to a temporary folder.
// scripts/screenshot.sh runs it under a display server for the README's pictures.

#include "bintablefixture.h"
#include "devdb.h"
#include "englishplurals.h"

#include "app/quality/qualitywindow.h"
#include "bins/bintables.h"
#include "record/centraldatabase.h"
#include "settings/centralsettings.h"

#include <QApplication>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

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

} // namespace

int main(int argc, char **argv)
{
    // The shared database's times are shown in this computer's zone.
    qputenv("TZ", "UTC");
    QApplication app(argc, argv);
    // Counts read as the program shows them ("8 cells", not "8 cell(s)").
    if (!englishplurals::install()) {
        std::fprintf(stderr, "batch_screenshot: translations/bin4870_en.qm not found beside it\n");
        return 1;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: batch_screenshot <file.png> [stability|line] [--data-dir=FOLDER]\n");
        return 2;
    }
    bool stability = false;
    bool line = false;
    QString dataDir;
    for (int i = 2; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "stability")
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

    BinTables tables;
    tables.setTables(r, v);
    QualityWindow window(tables, path);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    QSignalSpy ended(&window, &QualityWindow::readingEnded);
    window.show();
    if (!ended.wait(10000))
        return 1;
    if (stability)
        window.findChild<QTabWidget *>(QStringLiteral("batchTabs"))->setCurrentIndex(1);
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

// Reads and summarises a generated data file of 1,000,000 records (or the
// number after --records) the way the batch window does, and prints the time
// of the plain record parse alone beside it, and the process's peak memory.
// Then opens the batch window itself (offscreen) on the same file and prints
// the time until it shows the batch and the longest the user-interface thread
// went without serving a 5 ms timer meanwhile.

#include "benchdata.h"
#include "bintablefixture.h"

#include "app/quality/qualitywindow.h"
#include "bins/batchsummary.h"
#include "bins/bintables.h"
#include "record/recordfilereader.h"

#include <QApplication>
#include <QTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// Records of one time stamp, like a file of a single moment's cells.
bool writeFile(const QString &path, int records)
{
    return writeGeneratedRecords(path, records, {35.0, 6.0, 3.65, 0.08},
                                 [](int) { return QByteArray("2026/12/07,14:05:09,"); });
}

BinTable table(qint16 numBins, float min, float max)
{
    BinTable t;
    t.mode = BinMode::MaxMin;
    t.numBins = numBins;
    t.minValue = min;
    t.maxValue = max;
    return withLimits(t);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int records = intArgument(app.arguments(), QStringLiteral("--records"), 1000000);
    const double baseline = peakMegabytes();

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("batch.csv"));
    if (!folder.isValid() || !writeFile(path, records)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::printf("%d records, %.1f MB file\n", records, double(QFile(path).size()) / 1e6);

    QElapsedTimer timer;
    timer.start();
    const Result<RecordTail> parsed = readRecordFile(path, 0);
    const double parseSeconds = double(timer.nsecsElapsed()) / 1e9;
    if (!parsed) {
        std::fprintf(stderr, "cannot read %s: %s\n", qPrintable(path), qPrintable(parsed.errorString()));
        return 1;
    }
    std::printf("plain parse:          %.3f s  (%zu records, %lld lines not read)\n", parseSeconds,
                parsed->readings.size(), static_cast<long long>(parsed->linesNotRead));

    timer.restart();
    const BinTable binTableR = table(5, 15, 60);
    const BinTable binTableV = table(4, 3.0f, 4.2f);
    BatchSummary summary(binTableR, binTableV);
    for (const RecordReading &reading : parsed->readings)
        summary.add(reading);
    const double judgeSeconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("judged and summarised: %.3f s\n", judgeSeconds);
    std::printf("read and summarised:  %.3f s\n", parseSeconds + judgeSeconds);
    std::printf("peak memory:          %.1f MB (%.1f MB before the file was read)\n", peakMegabytes(), baseline);
    std::printf("BIN 1..5 of resistance: %lld %lld %lld %lld %lld, +Out %lld, -Out %lld\n",
                static_cast<long long>(summary.row(0, 0).count), static_cast<long long>(summary.row(0, 1).count),
                static_cast<long long>(summary.row(0, 2).count), static_cast<long long>(summary.row(0, 3).count),
                static_cast<long long>(summary.row(0, 4).count),
                static_cast<long long>(summary.row(0, slot::kPlusOut).count),
                static_cast<long long>(summary.row(0, slot::kMinusOut).count));

    // The window: reading and judging on its worker, drawing on this thread.
    QElapsedTimer gapClock;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, &app, [&] {
        longestGap = std::max(longestGap, gapClock.restart());
    });
    timer.restart();
    BinTables tables;
    tables.setTables(binTableR, binTableV);
    QualityWindow window(tables, path);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    QObject::connect(&window, &QualityWindow::readingEnded, &app, [&] {
        std::printf("window shows it after: %.3f s (%lld cells)\n", double(timer.nsecsElapsed()) / 1e9,
                    static_cast<long long>(window.summary().count()));
        // Let it paint once more before the figures are taken.
        QTimer::singleShot(200, &app, [&] { app.quit(); });
    });
    window.show();
    gapClock.start();
    ticker.start();
    app.exec();
    std::printf("longest UI-thread gap: %lld ms (5 ms timer)\n", static_cast<long long>(longestGap));
    std::printf("peak memory with the window: %.1f MB\n", peakMegabytes());
    return 0;
}

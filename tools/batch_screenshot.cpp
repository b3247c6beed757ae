// Draws the batch window on a generated batch of 3,000 cells (two damaged
// lines among them) and saves it as a PNG:
//   batch_screenshot <file.png> [stability] [--data-dir=FOLDER]
// (stability: the second picture, the stability tab). The generated data file
// goes to FOLDER, whose path the window shows, or to a temporary folder.
// scripts/screenshot.sh runs it under a display server for the README's pictures.

#include "app/formbatch.h"
#include "bins/bintables.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <random>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: batch_screenshot <file.png> [stability] [--data-dir=FOLDER]\n");
        return 2;
    }
    bool stability = false;
    QString dataDir;
    for (int i = 2; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "stability")
            stability = true;
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
    calcBinLimits(r);
    BinTable v;
    v.mode = BinMode::MinStep;
    v.numBins = 4;
    v.minValue = 3.5f;
    v.stepValue = 0.05f;
    calcBinLimits(v);

    BinTables tables;
    tables.setTables(r, v);
    FormBatch window(tables, path);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    QSignalSpy ended(&window, &FormBatch::readingEnded);
    window.show();
    if (!ended.wait(10000))
        return 1;
    if (stability)
        window.findChild<QTabWidget *>(QStringLiteral("batchTabs"))->setCurrentIndex(1);
    // Give the charts a moment for their first paint before the grab.
    QTest::qWait(500);
    return window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}

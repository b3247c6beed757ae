// The shift report: for shifts of 10,000, 100,000 and 1,000,000 cells (eight
// hours, one data file each), the time of the analysis (two passes over the
// file) and of the PDF in this process, then the whole command line
// `bin4870 --report` as a process of its own with its wall time and peak
// memory. The program is a copy beside a Settings.ini of four BINs per table.
//   bench_report [--cells N]   (one shift of N cells only)

#include "benchdata.h"
#include "bintablefixture.h"

#include "app/quality/shiftreport.h"
#include "bins/bintable.h"
#include "bins/shiftanalysis.h"
#include "record/recordsource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// One eight-hour shift from 06:00, the cells evenly spread over it.
bool writeShift(const QString &path, int cells)
{
    return writeGeneratedRecords(path, cells, {35.0, 4.0, 3.62, 0.04}, [cells](int i) {
        const int second = int(qint64(i) * 8 * 3600 / cells) + 6 * 3600;
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "2026/12/07,%02d:%02d:%02d,", second / 3600, second / 60 % 60, second % 60);
        return QByteArray(stamp);
    });
}

BinTable table(float min, float max)
{
    BinTable t;
    t.numBins = 4;
    t.minValue = min;
    t.maxValue = max;
    return withLimits(t);
}

// Runs the program; wall seconds and the child's peak resident memory in MB.
bool runProgram(const QByteArray &program, const QList<QByteArray> &arguments, double *seconds, double *peakMb)
{
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char *> argv{const_cast<char *>(program.constData())};
        for (const QByteArray &a : arguments)
            argv.push_back(const_cast<char *>(a.constData()));
        argv.push_back(nullptr);
        ::unsetenv("DISPLAY");
        ::execv(program.constData(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid)
        return false;
    *seconds = double(clock.nsecsElapsed()) / 1e9;
    *peakMb = double(usage.ru_maxrss) / 1024.0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    QList<int> shifts{10000, 100000, 1000000};
    if (const auto at = arguments.indexOf(QStringLiteral("--cells")); at >= 0 && at + 1 < arguments.size())
        shifts = {arguments.at(at + 1).toInt()};

    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("bin4870"));
    if (!QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/bin4870"), program)) {
        std::fprintf(stderr, "bench_report: build bin4870 first\n");
        return 1;
    }
    QFile settings(dir.filePath(QStringLiteral("Settings.ini")));
    if (!settings.open(QIODevice::WriteOnly))
        return 1;
    settings.write(" 1 \r\n 0 \r\n4\r\n27\r\n43\r\n 0 \r\n4\r\n3.52\r\n3.72\r\n 1000 \r\n 500 \r\n");
    settings.close();

    std::printf("%-10s %12s %12s %12s %14s %14s\n", "cells", "analysis s", "pdf s", "in-proc s", "command s",
                "command MB");
    for (const int cells : shifts) {
        const QString data = dir.filePath(QStringLiteral("shift%1.csv").arg(cells));
        if (!writeShift(data, cells))
            return 1;
        QElapsedTimer clock;
        clock.start();
        DataFileSource source(data);
        const Result<ShiftAnalysis> analysis = analyseShift(source, RecordFilter{}, table(27, 43),
                                                            table(3.52f, 3.72f), 4000);
        if (!analysis) {
            std::fprintf(stderr, "bench_report: %s\n", qPrintable(analysis.errorString()));
            return 1;
        }
        const double analysed = double(clock.nsecsElapsed()) / 1e9;
        QString error;
        if (!writeShiftReport(*analysis, dir.filePath(QStringLiteral("inproc.pdf")), &error))
            return 1;
        const double total = double(clock.nsecsElapsed()) / 1e9;

        double seconds = 0;
        double peak = 0;
        const QByteArray pdf = dir.filePath(QStringLiteral("shift.pdf")).toLocal8Bit();
        if (!runProgram(program.toLocal8Bit(), {"--report", pdf, "--source", "file:" + data.toLocal8Bit()}, &seconds,
                        &peak)) {
            std::fprintf(stderr, "bench_report: bin4870 --report failed\n");
            return 1;
        }
        std::printf("%-10d %12.3f %12.3f %12.3f %14.3f %14.1f\n", cells, analysed, total - analysed, total, seconds,
                    peak);
        QFile::remove(data);
    }
    return 0;
}

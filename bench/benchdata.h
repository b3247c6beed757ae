#pragma once

// Data files and figures shared by the benchmarks that need no tester.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <functional>
#include <random>
#include <sys/resource.h>

// The number after `name` on the command line, or `fallback`.
inline int intArgument(const QStringList &arguments, const QString &name, int fallback)
{
    const auto at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : fallback;
}

// This process's peak resident memory so far, in MB.
inline double peakMegabytes()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// Normal spreads of the generated readings: resistance in mOhm, voltage in V.
struct ReadingSpread
{
    double resistanceMean;
    double resistanceSd;
    double voltageMean;
    double voltageSd;
};

// A data file of `records` lines like the tester's (five significant digits,
// resistance in mOhm written as E-3 ohms, voltage in volts), the same for the
// same arguments. stampOf(i) gives line i's "date,time," part.
inline bool writeGeneratedRecords(const QString &path, int records, const ReadingSpread &spread,
                                  const std::function<QByteArray(int)> &stampOf)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::mt19937 random(4870);
    std::normal_distribution<double> resistance(spread.resistanceMean, spread.resistanceSd);
    std::normal_distribution<double> voltage(spread.voltageMean, spread.voltageSd);
    QByteArray chunk;
    for (int i = 0; i < records; ++i) {
        chunk += stampOf(i);
        chunk += QByteArray::number(resistance(random), 'f', 3) + "E-3,";
        chunk += QByteArray::number(voltage(random), 'f', 4) + "E+0\r\n";
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    return file.error() == QFileDevice::NoError;
}

#pragma once

// Figures of the running process that the tests and the benchmarks read: the
// CPU time of the calling thread and the resident memory of the process.

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QList>

#include <sys/resource.h>

// CPU seconds, user and system, the calling thread has used so far.
inline double threadCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Resident memory of the process now, in KiB (VmRSS); -1 when unknown.
inline qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

#include "record/recordsource.h"

#include <QDir>
#include <QFileInfo>

namespace {

bool takesBench(const RecordFilter &filter, const QString &bench)
{
    return filter.bench.isEmpty() || filter.bench == bench;
}

} // namespace

DataFileSource::DataFileSource(QString path, QString bench)
    : m_path(std::move(path)), m_bench(bench.isEmpty() ? QFileInfo(m_path).completeBaseName() : std::move(bench))
{
}

QString DataFileSource::description() const
{
    return QStringLiteral("Data file %1").arg(QDir::toNativeSeparators(m_path));
}

bool DataFileSource::read(const RecordFilter &filter, const RecordVisitor &visit, QString *error)
{
    m_linesNotRead = 0;
    if (!takesBench(filter, m_bench))
        return true;
    if (!QFileInfo(m_path).isFile()) {
        if (error)
            *error = QStringLiteral("%1: no such data file").arg(QDir::toNativeSeparators(m_path));
        return false;
    }
    bool stopped = false;
    const RecordTail tail = forEachRecord(
        m_path, 0,
        [&](const RecordReading &reading) {
            if (!stopped && filter.takesTime(reading.stamp))
                stopped = !visit(0, reading);
        },
        [&stopped](qint64, qint64) { return !stopped; });
    m_linesNotRead = tail.linesNotRead;
    if (!tail.error.isEmpty()) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_path), tail.error);
        return false;
    }
    return true;
}

ReadingsSource::ReadingsSource(const std::vector<RecordReading> &readings, QString description, QString bench)
    : m_readings(readings), m_description(std::move(description)), m_bench(std::move(bench))
{
}

bool ReadingsSource::read(const RecordFilter &filter, const RecordVisitor &visit, QString *)
{
    if (!takesBench(filter, m_bench))
        return true;
    for (const RecordReading &reading : m_readings) {
        if (filter.takesTime(reading.stamp) && !visit(0, reading))
            break;
    }
    return true;
}

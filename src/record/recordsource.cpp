#include "record/recordsource.h"

#include "platform/regularfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace {
struct SourceTexts
{
    Q_DECLARE_TR_FUNCTIONS(RecordSources)
};

bool takesBench(const RecordFilter &filter, const QString &bench)
{
    return filter.bench.isEmpty() || filter.bench == bench;
}

} // namespace

std::optional<qint64> parseWallClock(const QString &text, const QDate &today)
{
    const QString trimmed = text.trimmed();
    for (const char *format : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-ddTHH:mm"}) {
        const QDateTime t = QDateTime::fromString(trimmed, QLatin1String(format));
        if (t.isValid())
            return wallClockOf(t);
    }
    const QDate date = QDate::fromString(trimmed, QStringLiteral("yyyy-MM-dd"));
    if (date.isValid())
        return wallClockSeconds(date.year(), date.month(), date.day(), 0, 0, 0);
    for (const char *format : {"HH:mm:ss", "HH:mm"}) {
        const QTime time = QTime::fromString(trimmed, QLatin1String(format));
        if (time.isValid() && today.isValid())
            return wallClockSeconds(today.year(), today.month(), today.day(), time.hour(), time.minute(), time.second());
    }
    return std::nullopt;
}

qint64 wallClockOf(const QDateTime &time)
{
    const QDate d = time.date();
    const QTime h = time.time();
    return wallClockSeconds(d.year(), d.month(), d.day(), h.hour(), h.minute(), h.second());
}

DataFileSource::DataFileSource(QString path, QString bench)
    : m_path(std::move(path)), m_bench(bench.isEmpty() ? QFileInfo(m_path).completeBaseName() : std::move(bench))
{
}

QString DataFileSource::description() const
{
    return SourceTexts::tr("Data file %1").arg(QDir::toNativeSeparators(m_path));
}

Status DataFileSource::read(const RecordFilter &filter, const RecordVisitor &visit)
{
    m_linesNotRead = 0;
    if (!takesBench(filter, m_bench))
        return {};
    const Result<regularfile::Kind> kind = regularfile::kindOf(m_path);
    const QString path = QDir::toNativeSeparators(m_path);
    if (!kind)
        return Failure(ErrorKind::FileIo, QStringLiteral("%1: %2").arg(path, kind.errorString()));
    if (*kind == regularfile::Kind::Missing)
        return Failure(ErrorKind::FileIo, SourceTexts::tr("%1: no such data file").arg(path));
    if (*kind != regularfile::Kind::Regular)
        return Failure(ErrorKind::FileIo, regularfile::refusalText(m_path, *kind));
    bool stopped = false;
    const Result<RecordTail> tail = forEachRecord(
        m_path, 0,
        [&](const RecordReading &reading) {
            if (!stopped && filter.takesTime(reading.stamp))
                stopped = !visit(0, reading);
        },
        [this, &stopped](qint64, qint64) { return !stopped && keepGoing(); });
    if (!tail)
        return Failure(ErrorKind::FileIo,
                       QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_path), tail.errorString()));
    m_linesNotRead = tail->linesNotRead;
    return {};
}

ReadingsSource::ReadingsSource(const std::vector<RecordReading> &readings, QString description, QString bench)
    : m_readings(readings), m_description(std::move(description)), m_bench(std::move(bench))
{
}

Status ReadingsSource::read(const RecordFilter &filter, const RecordVisitor &visit)
{
    if (!takesBench(filter, m_bench))
        return {};
    for (const RecordReading &reading : m_readings) {
        if (!keepGoing() || (filter.takesTime(reading.stamp) && !visit(0, reading)))
            break;
    }
    return {};
}

#include "record/recordsource.h"

#include "platform/regularfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

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

Result<std::map<qint64, RecordDetail>> dataFileDetails(const QString &path, const std::vector<qint64> &places,
                                                       const QStringList &testerWords)
{
    std::map<qint64, RecordDetail> found;
    if (places.empty())
        return found;
    std::vector<qint64> wanted = places;
    std::sort(wanted.begin(), wanted.end());
    const qint64 last = wanted.back();
    qint64 number = 0;
    auto next = wanted.begin();
    const Result<RecordTail> tail = forEachRecordLine(
            path, 0,
            [&](const RecordReading &reading, std::string_view line) {
                while (next != wanted.end() && *next < number)
                    ++next;
                if (next != wanted.end() && *next == number)
                    found[number] = RecordDetail{reading.stamp, recordCellId(line, testerWords)};
                ++number;
            },
            // The pass ends once the last record wanted is read.
            [&number, last](qint64, qint64) { return number <= last; });
    if (!tail)
        return Failure(ErrorKind::FileIo, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), tail.errorString()));
    return found;
}

DataFileSource::DataFileSource(QString path, QString bench, QStringList testerWords)
    : m_path(std::move(path)), m_bench(bench.isEmpty() ? QFileInfo(m_path).completeBaseName() : std::move(bench)),
      m_testerWords(std::move(testerWords))
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
    qint64 number = 0;
    const Result<RecordTail> tail = forEachRecord(
        m_path, 0,
        [&](const RecordReading &reading) {
            if (!stopped && filter.takesTime(reading.stamp))
                stopped = !visit(0, reading, number);
            ++number;
        },
        [this, &stopped](qint64, qint64) { return !stopped && keepGoing(); });
    if (!tail)
        return Failure(ErrorKind::FileIo,
                       QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_path), tail.errorString()));
    m_linesNotRead = tail->linesNotRead;
    return {};
}

Result<std::map<qint64, RecordDetail>> DataFileSource::details(const std::vector<qint64> &places)
{
    return dataFileDetails(m_path, places, m_testerWords);
}

ReadingsSource::ReadingsSource(const std::vector<RecordReading> &readings, QString description, QString bench,
                               QString path, QStringList testerWords)
    : m_readings(readings), m_description(std::move(description)), m_bench(std::move(bench)), m_path(std::move(path)),
      m_testerWords(std::move(testerWords))
{
}

Status ReadingsSource::read(const RecordFilter &filter, const RecordVisitor &visit)
{
    if (!takesBench(filter, m_bench))
        return {};
    for (std::size_t i = 0; i < m_readings.size(); ++i) {
        const RecordReading &reading = m_readings[i];
        if (!keepGoing() || (filter.takesTime(reading.stamp) && !visit(0, reading, qint64(i))))
            break;
    }
    return {};
}

Result<std::map<qint64, RecordDetail>> ReadingsSource::details(const std::vector<qint64> &places)
{
    std::map<qint64, RecordDetail> found;
    if (!m_path.isEmpty()) {
        Result<std::map<qint64, RecordDetail>> fromFile = dataFileDetails(m_path, places, m_testerWords);
        if (!fromFile)
            return fromFile;
        found = std::move(*fromFile);
    }
    // The file may have been replaced since it was read: the times in memory
    // are those of the cells analysed, and an ID is kept only from a line of
    // that very time.
    for (const qint64 place : places) {
        if (place < 0 || place >= qint64(m_readings.size()))
            continue;
        const qint64 stamp = m_readings[std::size_t(place)].stamp;
        const auto it = found.find(place);
        if (it == found.end() || it->second.stamp != stamp)
            found[place] = RecordDetail{stamp, QString()};
    }
    return found;
}

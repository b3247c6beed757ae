#include "record/recordfilereader.h"

#include "link/testernumber.h"
#include "platform/regularfile.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>
#include <cstring>

namespace {

constexpr qint64 kChunkSize = qint64(1) << 20;
// A record line is about 40 bytes; reserving for 36 rarely reallocates.
constexpr qint64 kShortestLikelyRecord = 36;
// A line longer than this is no record; its bytes are passed over, not kept.
constexpr std::size_t kLongestLine = 4096;
// Date, time, resistance, voltage, cell ID, tester's word.
constexpr int kMostFields = 6;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// digit groups of the given lengths, each pair joined by one non-digit.
bool isDigitGroups(std::string_view text, std::initializer_list<int> groups)
{
    std::size_t at = 0;
    bool first = true;
    for (const int length : groups) {
        if (!first) {
            if (at >= text.size() || isDigit(text[at]))
                return false;
            ++at;
        }
        first = false;
        for (int i = 0; i < length; ++i, ++at) {
            if (at >= text.size() || !isDigit(text[at]))
                return false;
        }
    }
    return at == text.size();
}

// The tester's own pass/fail word: a letter, then letters, digits, "-" or "_".
bool isTesterWord(std::string_view text)
{
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (text.empty() || !letter(text.front()))
        return false;
    for (const char c : text) {
        if (!letter(c) && !(c >= '0' && c <= '9') && c != '-' && c != '_')
            return false;
    }
    return true;
}

// A fifth field: a cell's ID or the tester's word, both printable ASCII
// without a double quote, 1 to 64 characters.
bool isFurtherField(std::string_view text)
{
    if (text.empty() || text.size() > 64)
        return false;
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E || c == '"')
            return false;
    }
    return true;
}

int twoDigits(std::string_view text, std::size_t at)
{
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

int daysInMonth(int year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// A date and time that exist: a later day made of an hour 25 or a 45th day
// would put a damaged line among real cells.
bool isRealDateTime(int year, int month, int day, int hour, int minute, int second)
{
    return month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month) && hour <= 23 && minute <= 59
           && second <= 59;
}

} // namespace

qint64 wallClockSeconds(int year, int month, int day, int hour, int minute, int second)
{
    // Days from the civil date (H. Hinnant's algorithm), March-based years.
    const qint64 y = qint64(year) - (month <= 2 ? 1 : 0);
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yearOfEra = y - era * 400;
    const qint64 dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const qint64 dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const qint64 days = era * 146097 + dayOfEra - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

namespace {

// A line's fields: four, then the cell's ID and the tester's word when
// written. 0 fields for fewer than four or more than six, or a further field
// that is not one.
struct LineFields
{
    std::string_view at[kMostFields];
    int count = 0;
};

LineFields splitFields(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    LineFields f;
    std::size_t start = 0;
    while (f.count < kMostFields) {
        const std::size_t comma = line.find(',', start);
        const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
        f.at[f.count++] = line.substr(start, end - start);
        start = end + 1;
        if (comma == std::string_view::npos)
            break;
    }
    if (f.count < 4 || start <= line.size()      // fewer than four fields, or more than six
        || (f.count >= 5 && !isFurtherField(f.at[4])) || (f.count == 6 && !isTesterWord(f.at[5])))
        f.count = 0;
    return f;
}

} // namespace

QString recordCellId(std::string_view line, const QStringList &testerWords)
{
    if (!parseRecordLine(line))
        return QString();
    const LineFields f = splitFields(line);
    if (f.count < 5)
        return QString();
    const QString fifth = QString::fromLatin1(f.at[4].data(), qsizetype(f.at[4].size()));
    if (f.count == 5 && isTesterWord(f.at[4]) && testerWords.contains(fifth))
        return QString();
    return fifth;
}

std::optional<RecordReading> parseRecordLine(std::string_view line)
{
    const LineFields split = splitFields(line);
    if (split.count == 0)
        return std::nullopt;
    const auto &fields = split.at;
    if (!isDigitGroups(fields[0], {4, 2, 2}) || !isDigitGroups(fields[1], {2, 2, 2}))
        return std::nullopt;

    const std::optional<double> ohms = testerNumber(fields[2]);
    const std::optional<double> volts = testerNumber(fields[3]);
    if (!ohms || !volts || isOverflowMark(*ohms) || isOverflowMark(*volts))
        return std::nullopt;
    // The cycle's own arithmetic; below the overflow mark both always fit a float.
    const Result<float> resistance = judgedValue(*ohms, Quantity::Resistance);
    const Result<float> voltage = judgedValue(*volts, Quantity::Voltage);
    if (!resistance || !voltage)
        return std::nullopt;
    const std::string_view date = fields[0];
    const std::string_view time = fields[1];
    const int year = twoDigits(date, 0) * 100 + twoDigits(date, 2);
    const int month = twoDigits(date, 5);
    const int day = twoDigits(date, 8);
    const int hour = twoDigits(time, 0);
    const int minute = twoDigits(time, 3);
    const int second = twoDigits(time, 6);
    if (!isRealDateTime(year, month, day, hour, minute, second))
        return std::nullopt;
    return RecordReading{*resistance, *voltage, wallClockSeconds(year, month, day, hour, minute, second)};
}

Result<RecordTail> forEachRecord(const QString &path, qint64 fromOffset,
                                 const std::function<void(const RecordReading &)> &take,
                                 const ReadProgress &progress,
                                 const std::optional<regularfile::Identity> &readBefore)
{
    return forEachRecordLine(
            path, fromOffset, [&take](const RecordReading &reading, std::string_view) { take(reading); }, progress,
            readBefore);
}

Result<RecordTail> forEachRecordLine(const QString &path, qint64 fromOffset, const RecordLineTaker &take,
                                     const ReadProgress &progress,
                                     const std::optional<regularfile::Identity> &readBefore)
{
    const auto failed = [](const QString &reason) { return Failure(ErrorKind::FileIo, reason); };
    RecordTail tail;
    // Like the data file itself: a regular file only, and opening never waits
    // (a named pipe would block here until something wrote to it).
    const Result<int> fd = regularfile::open(path, O_RDONLY);
    if (!fd)
        return failed(fd.errorString());
    QFile file;
    if (!file.open(*fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(*fd);
        return failed(file.errorString());
    }
    tail.file = regularfile::identityOf(*fd);
    tail.fileSize = file.size();
    // Another file moved to the path is read from its start, however long.
    const bool otherFile = readBefore && tail.file != readBefore;
    if (fromOffset < 0 || fromOffset > tail.fileSize || otherFile) {
        tail.restarted = fromOffset > tail.fileSize || (otherFile && fromOffset > 0);
        fromOffset = 0;
    }
    tail.startOffset = tail.endOffset = fromOffset;
    if (!file.seek(fromOffset))
        return failed(file.errorString());

    // Only what the file held when the pass began: a file still growing is
    // read on by the next pass.
    const qint64 total = tail.fileSize - fromOffset;
    std::vector<char> buffer(std::size_t(kChunkSize) * 2);
    std::size_t carried = 0; // bytes of an unfinished line at the buffer's start
    bool overlong = false;   // inside a line already too long to be a record
    qint64 overlongBytes = 0;
    qint64 done = 0;
    while (done < total) {
        const qint64 want = std::min(kChunkSize, total - done);
        if (carried + std::size_t(want) > buffer.size())
            buffer.resize(carried + std::size_t(want));
        const qint64 got = file.read(buffer.data() + carried, want);
        if (got < 0)
            return failed(file.errorString());
        if (got == 0)
            break; // cut while being read
        done += got;

        const char *begin = buffer.data();
        const char *end = begin + carried + std::size_t(got);
        const char *line = begin;
        for (const char *lf; (lf = static_cast<const char *>(std::memchr(line, '\n', std::size_t(end - line))));
             line = lf + 1) {
            if (overlong) {
                overlong = false;
                ++tail.linesNotRead;
                tail.endOffset += overlongBytes;
                overlongBytes = 0;
                continue;
            }
            std::string_view text(line, std::size_t(lf - line));
            if (!text.empty() && text.back() == '\r')
                text.remove_suffix(1);
            if (const auto reading = parseRecordLine(text))
                take(*reading, text);
            else
                ++tail.linesNotRead;
        }
        tail.endOffset += line - begin;
        carried = std::size_t(end - line);
        if (carried > kLongestLine) {
            overlong = true;
            overlongBytes += qint64(carried);
            carried = 0;
        }
        std::memmove(buffer.data(), line, carried);

        if (progress && !progress(done, total)) {
            tail.cancelled = true;
            break;
        }
    }
    return tail;
}

Result<RecordTail> readRecordFile(const QString &path, qint64 fromOffset, const ReadProgress &progress,
                                  const std::optional<regularfile::Identity> &readBefore)
{
    std::vector<RecordReading> readings;
    const qint64 size = QFileInfo(path).size();
    if (size > fromOffset && fromOffset >= 0)
        readings.reserve(std::size_t((size - fromOffset) / kShortestLikelyRecord));
    Result<RecordTail> tail = forEachRecord(
        path, fromOffset, [&readings](const RecordReading &reading) { readings.push_back(reading); }, progress,
        readBefore);
    if (tail)
        tail->readings = std::move(readings);
    return tail;
}

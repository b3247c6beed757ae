#include "record/recordfilereader.h"

#include "common/numericvalue.h"

#include <QFile>

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace {

// The tester shows a magnitude from here up as an overflow marker, not a value.
constexpr double kOverflowMagnitude = 1e9;
constexpr qint64 kChunkSize = qint64(1) << 20;
// A record line is about 40 bytes; reserving for 36 rarely reallocates.
constexpr qint64 kShortestLikelyRecord = 36;
// A line longer than this is no record; its bytes are passed over, not kept.
constexpr std::size_t kLongestLine = 4096;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
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

std::size_t skipDigits(std::string_view text, std::size_t at)
{
    while (at < text.size() && isDigit(text[at]))
        ++at;
    return at;
}

} // namespace

std::optional<double> recordNumber(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);

    // Check the whole text against the number's shape first.
    std::size_t at = 0;
    bool plainForm = true; // a form std::from_chars reads the same way
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        plainForm = text[at] == '-';
        ++at;
    }
    const std::size_t integerEnd = skipDigits(text, at);
    bool anyDigit = integerEnd > at;
    at = integerEnd;
    if (at < text.size() && text[at] == '.') {
        const std::size_t fractionEnd = skipDigits(text, at + 1);
        anyDigit = anyDigit || fractionEnd > at + 1;
        at = fractionEnd;
    }
    if (!anyDigit)
        return std::nullopt;
    if (at < text.size()) {
        const char letter = text[at];
        if (letter != 'E' && letter != 'e' && letter != 'D' && letter != 'd')
            return std::nullopt;
        plainForm = plainForm && (letter == 'E' || letter == 'e');
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-'))
            ++at;
        const std::size_t exponentEnd = skipDigits(text, at);
        if (exponentEnd == at || exponentEnd != text.size())
            return std::nullopt;
    }

    // Both ways round correctly, so they agree; the program's own rule takes
    // the forms from_chars does not know and values beyond a double.
    double value = 0;
    if (plainForm) {
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end != text.data() + text.size())
            plainForm = false;
    }
    if (!plainForm)
        value = numericValue(QString::fromLatin1(text.data(), qsizetype(text.size())));
    return value == 0 ? 0.0 : value;
}

std::optional<RecordFields> splitRecordLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);

    std::string_view fields[5];
    std::size_t start = 0;
    int count = 0;
    for (; count < 5; ++count) {
        const std::size_t comma = line.find(',', start);
        const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
        fields[count] = line.substr(start, end - start);
        start = end + 1;
        if (comma == std::string_view::npos)
            break;
    }
    // Four fields, or five with an ID and no comma after it.
    if (count < 3 || count > 4 || (count == 4 && fields[4].empty()))
        return std::nullopt;
    if (!isDigitGroups(fields[0], {4, 2, 2}) || !isDigitGroups(fields[1], {2, 2, 2}))
        return std::nullopt;
    return RecordFields{fields[0], fields[1], fields[2], fields[3], fields[4]};
}

std::optional<RecordReading> parseRecordLine(std::string_view line)
{
    const std::optional<RecordFields> split = splitRecordLine(line);
    if (!split)
        return std::nullopt;
    const std::string_view fields[4] = {split->date, split->time, split->resistance, split->voltage};
    const std::optional<double> ohms = recordNumber(fields[2]);
    const std::optional<double> volts = recordNumber(fields[3]);
    if (!ohms || !volts || std::fabs(*ohms) >= kOverflowMagnitude || std::fabs(*volts) >= kOverflowMagnitude)
        return std::nullopt;
    // The same arithmetic as the measurement cycle's judging.
    return RecordReading{static_cast<float>(*ohms * 1000.0), static_cast<float>(*volts)};
}

RecordTail readRecordFile(const QString &path, qint64 fromOffset, const ReadProgress &progress)
{
    RecordTail tail;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        tail.error = file.errorString();
        tail.startOffset = tail.endOffset = fromOffset;
        return tail;
    }
    tail.fileSize = file.size();
    if (fromOffset < 0 || fromOffset > tail.fileSize) {
        tail.restarted = fromOffset > tail.fileSize;
        fromOffset = 0;
    }
    tail.startOffset = tail.endOffset = fromOffset;
    if (!file.seek(fromOffset)) {
        tail.error = file.errorString();
        return tail;
    }

    // Only what the file held when the pass began: a file still growing is
    // read on by the next pass.
    const qint64 total = tail.fileSize - fromOffset;
    tail.readings.reserve(std::size_t(total / kShortestLikelyRecord));
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
        if (got < 0) {
            tail.error = file.errorString();
            break;
        }
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
            if (const auto reading = parseRecordLine(std::string_view(line, std::size_t(lf - line))))
                tail.readings.push_back(*reading);
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

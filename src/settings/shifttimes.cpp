#include "settings/shifttimes.h"

#include "platform/regularfile.h"
#include "settings/optionsfile.h"
#include "settings/settingsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QTime>

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace {

struct ShiftTexts
{
    Q_DECLARE_TR_FUNCTIONS(ShiftTimes)
};

constexpr qint64 kDay = 86400;
constexpr int kShortestShift = 3600;

QString clockText(int seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 3600, 2, 10, QLatin1Char('0')).arg(seconds / 60 % 60, 2, 10,
                                                                                   QLatin1Char('0'));
}

// "6:00", "06:00" -> seconds after midnight.
std::optional<int> timeOfDay(const QString &text)
{
    for (const char *format : {"H:mm", "HH:mm"}) {
        const QTime time = QTime::fromString(text, QLatin1String(format));
        if (time.isValid())
            return time.msecsSinceStartOfDay() / 1000;
    }
    return std::nullopt;
}

// The value of Starts in the [Shifts] section as written, or nothing when
// there is none. Read here and not through QSettings, which ends a value at
// ";", its comment sign, and so would keep only the first of
// "6:00;14:00;22:00". Quotes around the value, or around its times, are
// dropped.
std::optional<QString> writtenStarts(QByteArray content)
{
    if (content.startsWith("\xEF\xBB\xBF"))
        content.remove(0, 3);
    std::optional<QString> value;
    QString section;
    for (const QByteArray &bytes : content.split('\n')) {
        const QString line = QString::fromUtf8(bytes).trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (section == QLatin1String("Shifts") && equals > 0
            && line.left(equals).trimmed() == QLatin1String("Starts"))
            value = line.mid(equals + 1).remove(QLatin1Char('"'));
    }
    return value;
}

// The start times of the file's value, or what is wrong with them.
Result<std::vector<int>> parseStarts(const QString &value)
{
    static const QRegularExpression kSeparator(QStringLiteral("[,;]"));
    const QStringList parts = value.split(kSeparator);
    std::vector<int> starts;
    for (const QString &part : parts) {
        const QString text = part.trimmed();
        if (text.isEmpty())
            continue;
        const std::optional<int> seconds = timeOfDay(text);
        if (!seconds)
            return Failure(ShiftTexts::tr("'%1' is no time of day (HH:MM)").arg(text));
        starts.push_back(*seconds);
    }
    if (starts.empty())
        return Failure(ShiftTexts::tr("it names no shift start (Starts=06:00, 14:00, 22:00)"));
    std::sort(starts.begin(), starts.end());
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const int next = i + 1 < starts.size() ? starts[i + 1] : starts.front() + int(kDay);
        if (starts.size() > 1 && next - starts[i] < kShortestShift)
            return Failure(ShiftTexts::tr("the shift from %1 to %2 is shorter than an hour")
                                   .arg(clockText(starts[i]), clockText(next % int(kDay))));
    }
    return starts;
}

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - (a % b < 0 ? 1 : 0);
}

} // namespace

QString ShiftTimes::text() const
{
    QStringList parts;
    for (int start : starts)
        parts << clockText(start);
    return parts.join(QStringLiteral(", "));
}

QString shiftTimesPath(const QString &folder)
{
    return QDir(folder).filePath(QString::fromLatin1(kShiftsFileName));
}

Result<ShiftTimes> loadShiftTimes(const QString &folder)
{
    const ShiftTimes defaults;
    const QString path = shiftTimesPath(folder);
    const QFileInfo info(path);
    if (folder.isEmpty() || !info.exists())
        return defaults;
    // A folder or a huge file at the name is refused as the other options
    // files are; a file that QSettings cannot read or that holds no sane
    // shifts is named with what is wrong.
    QString reason = optionsFileRefusal(info);
    if (reason.isEmpty()) {
        QString wrong;
        const Result<int> opened = regularfile::open(path, O_RDONLY);
        QFile file;
        if (!opened || !file.open(*opened, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            if (opened)
                ::close(*opened);
            wrong = ShiftTexts::tr("it cannot be read");
        } else if (Result<std::vector<int>> starts =
                           parseStarts(writtenStarts(file.read(kMaxSetupFileBytes)).value_or(QString()))) {
            ShiftTimes times;
            times.starts = std::move(*starts);
            return times;
        } else {
            wrong = starts.errorString();
        }
        reason = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), wrong);
    }
    return Failure(ErrorKind::FileIo, ShiftTexts::tr("%1; the shifts start at %2.").arg(reason, defaults.text()));
}

ShiftSpan shiftSpan(const ShiftTimes &times, qint64 stamp, int back)
{
    const std::vector<int> &starts = times.starts.empty() ? ShiftTimes().starts : times.starts;
    const qint64 count = qint64(starts.size());
    const qint64 day = floorDiv(stamp, kDay);
    const qint64 timeOfDay = stamp - day * kDay;
    // Shifts numbered across days: shift k starts on day floor(k / count) at
    // starts[k mod count]. The one that contains the stamp is the last start
    // at or before it, which is yesterday's last when today's first is later.
    qint64 k = day * count - 1;
    for (qint64 i = 0; i < count && starts[std::size_t(i)] <= timeOfDay; ++i)
        k = day * count + i;
    k -= back;
    auto startOf = [&](qint64 n) {
        const qint64 d = floorDiv(n, count);
        return d * kDay + starts[std::size_t(n - d * count)];
    };
    return ShiftSpan{startOf(k), startOf(k + 1)};
}

std::optional<int> shiftsBack(const QString &word)
{
    if (word == QLatin1String("current"))
        return 0;
    if (word == QLatin1String("previous"))
        return 1;
    return std::nullopt;
}

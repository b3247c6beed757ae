#include "record/recordline.h"

#include "common/patterns.h"

#include <QDir>
#include <QTime>

#include <algorithm>

namespace {

// A reading text never legitimately holds a line end; one that slipped in
// (two replies run together) would split the record across lines.
QString withoutLineEnds(QString text)
{
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text;
}

} // namespace

QByteArray recordLine(const QDateTime &timeStamp, const QString &resistanceText,
                      const QString &voltageText, const QString &cellId, const QString &testerWord)
{
    QString line = formatDateTime(timeStamp, QStringLiteral("yyyy/mm/dd"))
            + QLatin1Char(',') + formatDateTime(timeStamp, QStringLiteral("hh:nn:ss"))
            + QLatin1Char(',') + withoutLineEnds(resistanceText)
            + QLatin1Char(',') + withoutLineEnds(voltageText);
    // Each is one field: a comma in it would shift the fields after it. A
    // checked ID holds none; a tester's word is cleaned here.
    for (const QString &extra : {cellId, testerWord}) {
        const QString field = withoutLineEnds(extra).remove(QLatin1Char(','));
        if (!field.isEmpty())
            line += QLatin1Char(',') + field;
    }
    line += QLatin1String("\r\n");
    // The tester's bytes arrive as Latin-1 and go back out unchanged; anything
    // beyond Latin-1 becomes "?".
    return line.toLatin1();
}

QString defaultDataPath(const QString &programDir, const QDate &today)
{
    // Noon in UTC: the date fields are today's whatever the local time zone does
    // at midnight.
    const QString fileName =
            formatDateTime(QDateTime(today, QTime(12, 0), Qt::UTC), QStringLiteral("yyyy-mm-dd"))
            + QLatin1String(".csv");
    if (programDir.isEmpty())
        return fileName;
    if (programDir.endsWith(QLatin1Char('/')) || programDir.endsWith(QDir::separator()))
        return programDir + fileName;
    return programDir + QDir::separator() + fileName;
}

QString withDefaultExtension(const QString &path)
{
    if (path.contains(QLatin1Char('.')))
        return path;
    return path + QLatin1String(".csv");
}

QString channelDataPath(const QString &path, int channel)
{
    if (channel <= 1)
        return path;
    const QString full = withDefaultExtension(path);
    const QString suffix = QStringLiteral("-ch%1").arg(channel);
    // The extension is what follows the last "." of the file's own name.
    const qsizetype nameStart = std::max(full.lastIndexOf(QLatin1Char('/')), full.lastIndexOf(QLatin1Char('\\'))) + 1;
    const qsizetype dot = full.lastIndexOf(QLatin1Char('.'));
    if (dot <= nameStart)
        return full + suffix;
    return full.left(dot) + suffix + full.mid(dot);
}

#include "version.h"

QString versionLine(int major, int minor, int revision)
{
    QString line = QStringLiteral("Version %1.%2").arg(major).arg(minor, 2, 10, QLatin1Char('0'));
    if (revision != 0)
        line += QStringLiteral(".%1").arg(revision);
    return line;
}

#include "common/version.h"
#include <QCoreApplication>

namespace {
struct VersionTexts
{
    Q_DECLARE_TR_FUNCTIONS(AboutWindow)
};
} // namespace

QString versionLine(int major, int minor, int revision)
{
    QString line = VersionTexts::tr("Version %1.%2").arg(major).arg(minor, 2, 10, QLatin1Char('0'));
    if (revision != 0)
        line += QStringLiteral(".%1").arg(revision);
    return line;
}

#include "record/centralconnection.h"

#include <QSysInfo>

bool CentralSettings::operator==(const CentralSettings &other) const
{
    return enabled == other.enabled && host == other.host && port == other.port && database == other.database
        && user == other.user && bench == other.bench && sslMode == other.sslMode;
}

QString CentralSettings::benchName() const
{
    const QString name = bench.trimmed();
    return name.isEmpty() ? QSysInfo::machineHostName() : name;
}

const QStringList &sslModes()
{
    static const QStringList modes{QStringLiteral("disable"), QStringLiteral("allow"), QStringLiteral("prefer"),
                                   QStringLiteral("require"), QStringLiteral("verify-ca"),
                                   QStringLiteral("verify-full")};
    return modes;
}

#include "record/centralconnection.h"

#include <QSysInfo>

namespace {

// Seconds libpq waits for a server that does not answer the connection.
constexpr int kConnectTimeoutS = 5;
// A link that breaks during a statement is noticed after about
// idle + count x interval seconds of silence (25 s), or when data sent has
// waited 30 s for its acknowledgement.
constexpr int kKeepalivesIdleS = 10;
constexpr int kKeepalivesIntervalS = 5;
constexpr int kKeepalivesCount = 3;
constexpr int kTcpUserTimeoutMs = 30000;
// The longest a statement may run before the server gives up on it.
constexpr int kStatementTimeoutMs = 20000;

} // namespace

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

QString connectOptions(const CentralSettings &settings)
{
    return QStringLiteral("sslmode=%1;connect_timeout=%2;keepalives=1;keepalives_idle=%3;keepalives_interval=%4;"
                          "keepalives_count=%5;tcp_user_timeout=%6;application_name=bin4870;"
                          "options='-c statement_timeout=%7'")
            .arg(settings.sslMode)
            .arg(kConnectTimeoutS)
            .arg(kKeepalivesIdleS)
            .arg(kKeepalivesIntervalS)
            .arg(kKeepalivesCount)
            .arg(kTcpUserTimeoutMs)
            .arg(kStatementTimeoutMs);
}

const QStringList &sslModes()
{
    static const QStringList modes{QStringLiteral("disable"), QStringLiteral("allow"), QStringLiteral("prefer"),
                                   QStringLiteral("require"), QStringLiteral("verify-ca"),
                                   QStringLiteral("verify-full")};
    return modes;
}

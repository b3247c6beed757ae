#pragma once

#include <QString>

// Where the bench's counted cells go besides its own journal: a shared
// PostgreSQL database. Kept in Database.ini beside Settings.ini (keys
// Enabled, Host, Port, Database, User, Bench, SslMode). No password is ever
// kept: libpq reads it from ~/.pgpass or the file PGPASSFILE names.
struct CentralSettings
{
    bool enabled = false;
    QString host;             // host name, address, or a folder holding the server's socket
    int port = 5432;
    QString database = QStringLiteral("bin4870");
    QString user = QStringLiteral("bin4870");
    QString bench;            // the bench's name in the records; the host name when empty
    QString sslMode = QStringLiteral("prefer"); // libpq's sslmode

    bool operator==(const CentralSettings &other) const;
    bool operator!=(const CentralSettings &other) const { return !(*this == other); }

    // The bench name the records carry: bench, or this computer's host name.
    QString benchName() const;
};

inline constexpr const char *kCentralSettingsFileName = "Database.ini";

// libpq's sslmode values, weakest first.
const QStringList &sslModes();

// <folder>/Database.ini
QString centralSettingsPath(const QString &folder);

// The stored settings; a missing file or key, or a value out of range, gives
// that setting's default (off).
CentralSettings loadCentralSettings(const QString &folder);

// false (and *reason set) when the file cannot be written.
bool saveCentralSettings(const QString &folder, const CentralSettings &settings, QString *reason = nullptr);

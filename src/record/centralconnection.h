#pragma once

#include <QString>
#include <QStringList>

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

// libpq's sslmode values, weakest first.
const QStringList &sslModes();

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

// The connection options of the settings for Qt's PostgreSQL driver (libpq
// keywords, ";" between them): the TLS mode, the program's name, and the
// bounds this end puts on a server or link that stops answering:
// connect_timeout for making the connection, TCP keepalives and
// tcp_user_timeout for a link that breaks while a statement waits for its
// reply, and the server's statement_timeout for a statement it works on too
// long. Over a local (Unix) socket the TCP bounds do not apply: a server that
// hangs there holds a statement for as long as it hangs, so nothing on the
// user-interface thread may wait for one.
QString connectOptions(const CentralSettings &settings);

// libpq's sslmode values, weakest first.
const QStringList &sslModes();

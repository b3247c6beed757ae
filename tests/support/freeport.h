#pragma once

// A TCP port on localhost where nothing listens: one the system gave out and
// that was closed again, so a connection to it is refused.

#include <QHostAddress>
#include <QTcpServer>

inline quint16 closedTcpPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

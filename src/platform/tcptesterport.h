#pragma once

#include "platform/serialport.h"

#include <QString>
#include <QTcpSocket>
#include <QTimer>

// A tester on the LAN, spoken to over a raw TCP socket (SCPI's port 5025 by
// convention) the way the serial line is: what the program writes goes out
// as it is, what arrives is read as it comes.
//
// Opening starts the connection and returns at once: the port is pending
// until portOpened(), or portLost() when the host does not resolve, refuses,
// or does not answer within the connect time-out. A connection that is reset,
// closed by the tester, or found dead by its keepalive probes is closed and
// told once by portLost(), exactly as a serial adapter that is pulled out.
// Nothing here waits.
class TcpTesterPort : public SerialPort
{
public:
    explicit TcpTesterPort(QObject *parent = nullptr);
    ~TcpTesterPort() override;

    TcpTesterPort(const TcpTesterPort &) = delete;
    TcpTesterPort &operator=(const TcpTesterPort &) = delete;

    // The host, and its port; port 0 takes the wire settings' port. Only while
    // the port is closed.
    Status setHost(const QString &host, quint16 port);

    // A LAN tester has no port number.
    Status setCommPort(qint16 port) override;
    qint16 commPort() const override { return 0; }
    Wire wire() const override { return Wire::Tcp; }
    QString portName() const override;

    void setWireSettings(const WireSettings &settings) override { m_settings = settings; }

    bool portOpen() const override;
    Status setPortOpen(bool open) override;
    bool portPending() const override;

    Status clearInBuffer() override;
    Status output(const QByteArray &data) override;
    Result<QByteArray> input() override;

    // The socket, for tests that look at its options.
    const QTcpSocket &socket() const { return m_socket; }

private:
    void onConnected();
    void onErrorOccurred(QAbstractSocket::SocketError error);
    void onConnectTimeout();
    void lose(const QString &reason);
    void applyKeepAlive();
    quint16 port() const { return m_port != 0 ? m_port : m_settings.tcpPort; }
    Failure notOpen(const char *operation) const;

    QString m_host;
    quint16 m_port = 0;
    WireSettings m_settings;
    QTcpSocket m_socket;
    QTimer m_connectTimer;
    QString m_closedBecause;
    bool m_moreAnnounced = false;
};

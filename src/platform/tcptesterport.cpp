#include "platform/tcptesterport.h"

#include <QCoreApplication>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {
struct TcpTexts
{
    Q_DECLARE_TR_FUNCTIONS(TcpTesterPort)
};

// Probes every second, three unanswered ones end the connection.
constexpr int kProbeIntervalSeconds = 1;
constexpr int kProbes = 3;
} // namespace

TcpTesterPort::TcpTesterPort(QObject *parent) : SerialPort(parent)
{
    m_socket.setReadBufferSize(kReceiveBufferSize);
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, &TcpTesterPort::onConnectTimeout);
    connect(&m_socket, &QTcpSocket::connected, this, &TcpTesterPort::onConnected);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &TcpTesterPort::onErrorOccurred);
    connect(&m_socket, &QTcpSocket::readyRead, this, &SerialPort::dataArrived);
}

TcpTesterPort::~TcpTesterPort()
{
    m_socket.abort();
}

Status TcpTesterPort::setHost(const QString &host, quint16 port)
{
    if (portOpen())
        return Failure(ErrorKind::PortOpenFailed,
                       TcpTexts::tr("Cannot change the address while %1 is open").arg(portName()));
    m_host = host;
    m_port = port;
    return {};
}

Status TcpTesterPort::setCommPort(qint16 port)
{
    return Failure(ErrorKind::PortOpenFailed,
                   TcpTexts::tr("%1 is a LAN tester, not serial port COM%2").arg(portName()).arg(port));
}

QString TcpTesterPort::portName() const
{
    const QString host = m_host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(m_host) : m_host;
    return QStringLiteral("%1:%2").arg(host).arg(port());
}

bool TcpTesterPort::portOpen() const
{
    return m_socket.state() != QAbstractSocket::UnconnectedState;
}

bool TcpTesterPort::portPending() const
{
    return portOpen() && m_socket.state() != QAbstractSocket::ConnectedState;
}

Status TcpTesterPort::setPortOpen(bool open)
{
    if (!open) {
        m_connectTimer.stop();
        m_socket.abort();
        return {};
    }
    if (portOpen())
        return {};
    if (m_host.isEmpty())
        return Failure(ErrorKind::PortOpenFailed, TcpTexts::tr("Cannot connect to the tester: no host given"));
    m_closedBecause.clear();
    m_socket.connectToHost(m_host, port());
    m_connectTimer.start(m_settings.connectTimeout);
    return {};
}

void TcpTesterPort::onConnected()
{
    m_connectTimer.stop();
    // Commands go out at once rather than gathered with the next ones.
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    applyKeepAlive();
    Q_EMIT portOpened();
}

void TcpTesterPort::applyKeepAlive()
{
    const qint64 idle = m_settings.keepAlive.count();
    if (idle <= 0)
        return;
    m_socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const auto fd = int(m_socket.socketDescriptor());
    if (fd < 0)
        return;
    // The system's default waits two hours before the first probe; a bench
    // wants a pulled cable noticed within seconds. Written commands that stay
    // unacknowledged for as long end the connection as well.
    const int idleSeconds = int(std::max<qint64>(1, (idle + 999) / 1000));
    const int interval = kProbeIntervalSeconds;
    const int probes = kProbes;
    const unsigned userTimeout = unsigned(idle + qint64(interval) * probes * 1000);
    // Options the system does not have leave the default in force: the
    // connection still works.
    static_cast<void>(::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds));
    static_cast<void>(::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval));
    static_cast<void>(::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes));
    static_cast<void>(::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout));
}

void TcpTesterPort::onConnectTimeout()
{
    if (!portPending())
        return;
    lose(TcpTexts::tr("no connection within %1 ms").arg(m_settings.connectTimeout.count()));
}

void TcpTesterPort::onErrorOccurred(QAbstractSocket::SocketError error)
{
    Q_UNUSED(error);
    if (m_socket.state() == QAbstractSocket::UnconnectedState && !m_closedBecause.isEmpty())
        return; // already told
    lose(m_socket.errorString());
}

void TcpTesterPort::lose(const QString &reason)
{
    m_connectTimer.stop();
    m_closedBecause = reason.isEmpty() ? TcpTexts::tr("connection closed") : reason;
    m_socket.abort();
    // Queued, so that whoever is inside a port call when the failure is found
    // finishes before the loss is handled; a port opened again meanwhile has
    // nothing to be told.
    QMetaObject::invokeMethod(this, [this, reason = m_closedBecause] {
            if (!portOpen())
                Q_EMIT portLost(reason);
        },
                              Qt::QueuedConnection);
}

Status TcpTesterPort::clearInBuffer()
{
    if (!portOpen())
        return notOpen(QT_TRANSLATE_NOOP("TcpTesterPort", "clear the input of"));
    m_socket.skip(m_socket.bytesAvailable());
    return {};
}

Status TcpTesterPort::output(const QByteArray &data)
{
    if (!portOpen())
        return notOpen(QT_TRANSLATE_NOOP("TcpTesterPort", "write to"));
    if (m_socket.bytesToWrite() + data.size() > kTransmitBufferSize)
        return Failure(ErrorKind::PortIoFailed,
                       TcpTexts::tr("Cannot write to %1: %2 bytes do not fit the transmit buffer "
                                    "(%3 bytes, %4 still waiting)")
                           .arg(portName())
                           .arg(data.size())
                           .arg(kTransmitBufferSize)
                           .arg(m_socket.bytesToWrite()));
    if (m_socket.write(data) != data.size())
        return Failure(ErrorKind::PortIoFailed, TcpTexts::tr("Cannot write to %1: %2").arg(portName(), m_socket.errorString()));
    // Handed to the system now rather than at the next event; nothing waits.
    if (m_socket.state() == QAbstractSocket::ConnectedState)
        m_socket.flush();
    return {};
}

Result<QByteArray> TcpTesterPort::input()
{
    if (!portOpen())
        return notOpen(QT_TRANSLATE_NOOP("TcpTesterPort", "read from"));
    QByteArray data = m_socket.read(kReceiveBufferSize);
    if (m_socket.bytesAvailable() > 0 && !m_moreAnnounced) {
        m_moreAnnounced = true;
        QMetaObject::invokeMethod(this, [this] {
                m_moreAnnounced = false;
                if (portOpen() && m_socket.bytesAvailable() > 0)
                    Q_EMIT dataArrived();
            },
                                  Qt::QueuedConnection);
    }
    return data;
}

Failure TcpTesterPort::notOpen(const char *operation) const
{
    QString text = TcpTexts::tr("Cannot %1 %2: the connection is not open")
                       .arg(QCoreApplication::translate("TcpTesterPort", operation), portName());
    if (!m_closedBecause.isEmpty())
        text += TcpTexts::tr(" (closed after: %1)").arg(m_closedBecause);
    return Failure(ErrorKind::PortNotOpen, text);
}

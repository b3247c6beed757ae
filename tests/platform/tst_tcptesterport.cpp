#include "testmain.h"

#include "freeport.h"

#include "platform/tcptesterport.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

// The LAN tester's port against a real socket on localhost: a QTcpServer in
// this process plays the tester.

namespace {

int intOption(const QTcpSocket &socket, int level, int name)
{
    int value = -1;
    socklen_t size = sizeof value;
    if (::getsockopt(int(socket.socketDescriptor()), level, name, &value, &size) != 0)
        return -1;
    return value;
}

} // namespace

class TestTcpTesterPort : public QObject
{
    Q_OBJECT

    QTcpServer m_server;
    std::unique_ptr<TcpTesterPort> m_port;
    QTcpSocket *m_tester = nullptr;

    // The port connected to the server, which holds the tester's end.
    void connectPort(const WireSettings &settings = {})
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost, 0));
        m_port = std::make_unique<TcpTesterPort>();
        m_port->setWireSettings(settings);
        QVERIFY(m_port->setHost(QStringLiteral("127.0.0.1"), m_server.serverPort()));
        QSignalSpy opened(m_port.get(), &SerialPort::portOpened);
        QVERIFY(m_port->setPortOpen(true));
        QVERIFY(m_port->portOpen());
        QVERIFY(m_port->portPending());
        QVERIFY(opened.wait(5000));
        QVERIFY(!m_port->portPending());
        QVERIFY(m_server.hasPendingConnections() || m_server.waitForNewConnection(5000));
        m_tester = m_server.nextPendingConnection();
        QVERIFY(m_tester);
    }

private Q_SLOTS:
    void cleanup()
    {
        m_port.reset();
        m_tester = nullptr;
        m_server.close();
    }

    void bytesGoBothWaysOnceConnected()
    {
        connectPort();
        QCOMPARE(m_port->portName(), QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()));
        QCOMPARE(m_port->wire(), Wire::Tcp);
        QVERIFY(m_port->canListen());
        QVERIFY(m_port->output(":fetch?\r\n"));
        QByteArray received;
        QTRY_COMPARE((received += m_tester->readAll()), QByteArray(":fetch?\r\n"));

        QSignalSpy arrived(m_port.get(), &SerialPort::dataArrived);
        m_tester->write("20.000E-3,3.6000E+0\r\n");
        QVERIFY(arrived.wait(5000));
        QCOMPARE(m_port->input().valueOr(QByteArray()), QByteArray("20.000E-3,3.6000E+0\r\n"));
        // Cleared input is gone.
        m_tester->write("late\r\n");
        QVERIFY(arrived.wait(5000));
        QVERIFY(m_port->clearInBuffer());
        QVERIFY(m_port->input()->isEmpty());
    }

    // A pulled cable is noticed within seconds, not the system's two hours.
    void connectionIsProbedByKeepalive()
    {
        WireSettings settings;
        settings.keepAlive = std::chrono::milliseconds(4000);
        connectPort(settings);
        const QTcpSocket &socket = m_port->socket();
        QCOMPARE(intOption(socket, SOL_SOCKET, SO_KEEPALIVE), 1);
        QCOMPARE(intOption(socket, IPPROTO_TCP, TCP_KEEPIDLE), 4);
        QCOMPARE(intOption(socket, IPPROTO_TCP, TCP_KEEPCNT), 3);
        QCOMPARE(intOption(socket, IPPROTO_TCP, TCP_USER_TIMEOUT), 7000);
        QCOMPARE(intOption(socket, IPPROTO_TCP, TCP_NODELAY), 1);
    }

    void keepaliveOffLeavesTheSocketAlone()
    {
        WireSettings settings;
        settings.keepAlive = std::chrono::milliseconds(0);
        connectPort(settings);
        QCOMPARE(intOption(m_port->socket(), SOL_SOCKET, SO_KEEPALIVE), 0);
    }

    // A refused, reset or closed connection ends like a pulled adapter:
    // closed, and told once.
    void failedConnectionIsALostPortToldOnce_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("refused") << "refused";
        QTest::newRow("reset by the tester") << "reset";
        QTest::newRow("closed by the tester") << "closed";
    }

    void failedConnectionIsALostPortToldOnce()
    {
        QFETCH(QString, how);
        if (how == QLatin1String("refused")) {
            m_port = std::make_unique<TcpTesterPort>();
            QVERIFY(m_port->setHost(QStringLiteral("127.0.0.1"), closedTcpPort()));
            QVERIFY(m_port->setPortOpen(true));
        } else {
            connectPort();
            if (how == QLatin1String("reset")) {
                const linger abrupt{1, 0};
                QCOMPARE(::setsockopt(int(m_tester->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt), 0);
                m_tester->abort();
            } else {
                m_tester->disconnectFromHost();
            }
        }
        QSignalSpy lost(m_port.get(), &SerialPort::portLost);
        QVERIFY(lost.wait(5000));
        QVERIFY(!m_port->portOpen());
        QVERIFY(!lost.at(0).at(0).toString().isEmpty());
        // Nothing more is told about the same loss.
        QVERIFY(!lost.wait(300));
        QCOMPARE(lost.size(), 1);
        const Result<QByteArray> read = m_port->input();
        QCOMPARE(read.kind(), ErrorKind::PortNotOpen);
        QVERIFY2(read.errorString().contains(lost.at(0).at(0).toString()), qPrintable(read.errorString()));
    }

    // A listener whose queue is full lets the connection hang: the connect
    // time-out ends it.
    void connectionNotMadeInTimeIsLost()
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        QVERIFY(listener >= 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        QCOMPARE(::listen(listener, 0), 0);
        socklen_t size = sizeof address;
        QCOMPARE(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size), 0);
        // Two connections nobody accepts fill the queue; the third waits.
        std::vector<std::unique_ptr<QTcpSocket>> fillers;
        for (int i = 0; i < 2; ++i) {
            fillers.push_back(std::make_unique<QTcpSocket>());
            fillers.back()->connectToHost(QHostAddress::LocalHost, ntohs(address.sin_port));
        }
        QTest::qWait(200);

        WireSettings settings;
        settings.connectTimeout = std::chrono::milliseconds(500);
        m_port = std::make_unique<TcpTesterPort>();
        m_port->setWireSettings(settings);
        QVERIFY(m_port->setHost(QStringLiteral("127.0.0.1"), ntohs(address.sin_port)));
        QSignalSpy lost(m_port.get(), &SerialPort::portLost);
        QSignalSpy opened(m_port.get(), &SerialPort::portOpened);
        QVERIFY(m_port->setPortOpen(true));
        QVERIFY(lost.wait(5000));
        QVERIFY2(lost.at(0).at(0).toString().contains(QStringLiteral("500 ms")), qPrintable(lost.at(0).at(0).toString()));
        QCOMPARE(opened.size(), 0);
        QVERIFY(!m_port->portOpen());
        ::close(listener);
    }

    void closedPortRefusesWorkAndOtherPortNumbers()
    {
        TcpTesterPort port;
        QCOMPARE(port.output("x").kind(), ErrorKind::PortNotOpen);
        QCOMPARE(port.clearInBuffer().kind(), ErrorKind::PortNotOpen);
        QCOMPARE(port.setPortOpen(true).kind(), ErrorKind::PortOpenFailed); // no host
        QCOMPARE(port.setCommPort(2).kind(), ErrorKind::PortOpenFailed);
        QVERIFY(port.setHost(QStringLiteral("::1"), 0));
        QCOMPARE(port.portName(), QStringLiteral("[::1]:5025"));
    }
};

BIN4870_TEST(TestTcpTesterPort)
#include "tst_tcptesterport.moc"

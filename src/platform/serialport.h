#pragma once

#include "common/result.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>

// How the line is driven: speed and character framing. The default is the
// program's own tester: 9600 baud, 8 data bits, no parity, 1 stop bit, no flow
// control.
struct LineSettings
{
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };
    enum class FlowControl { None, Hardware, Software };

    qint32 baudRate = 9600;
    int dataBits = 8; // 5..8
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    FlowControl flowControl = FlowControl::None;

    bool operator==(const LineSettings &other) const
    {
        return baudRate == other.baudRate && dataBits == other.dataBits && parity == other.parity
            && stopBits == other.stopBits && flowControl == other.flowControl;
    }
};

// Which wire leads to a tester.
enum class Wire { Serial, Tcp, UsbTmc };

// How a wire other than the serial line is driven. A tester on the LAN is
// reached at the port its address names, or at tcpPort when the address names
// none; the connection must be made within connectTimeout, and with keepAlive
// above zero a connection that has carried nothing for that long is probed, so
// that a pulled cable ends it within a few seconds more. A USB-TMC device is
// given replyTimeout as its driver's time-out for one read.
struct WireSettings
{
    quint16 tcpPort = 5025;
    std::chrono::milliseconds connectTimeout{3000};
    std::chrono::milliseconds keepAlive{5000};
    std::chrono::milliseconds replyTimeout{1000};

    bool operator==(const WireSettings &other) const
    {
        return tcpPort == other.tcpPort && connectTimeout == other.connectTimeout && keepAlive == other.keepAlive
            && replyTimeout == other.replyTimeout;
    }
};

// The line to the tester, with the operations the program uses: a serial
// port, or a wire that behaves like one (a LAN socket, a USB-TMC device).
// Line settings as last given to setLineSettings (LineSettings' defaults until
// then); a receive buffer of 1024 bytes and a transmit buffer of 512.
// Every failure is returned with its kind (PortOpenFailed, PortNotOpen,
// PortIoFailed) and a text that names the device tried; an operation that needs
// an open port fails on a closed one with ErrorKind::PortNotOpen.
//
// Nothing here waits: received bytes are announced by dataArrived() and a port
// that fails under the program by portLost().
class SerialPort : public QObject
{
    Q_OBJECT
public:
    // The port holds at most this many received bytes not yet taken with
    // input(); more wait in the driver until they are.
    static constexpr qint64 kReceiveBufferSize = 1024;
    // At most this many bytes handed to output() wait to be sent; a command
    // that would overfill the transmit buffer is refused.
    static constexpr qint64 kTransmitBufferSize = 512;

    using QObject::QObject;
    ~SerialPort() override = default;

    // Port number, 1 = COM1. Only while the port is closed.
    virtual Status setCommPort(qint16 port) = 0;
    virtual qint16 commPort() const = 0;

    // What the operator knows the port by: "COM1", "lab7:5025", "/dev/usbtmc0".
    virtual QString portName() const { return QStringLiteral("COM%1").arg(commPort()); }
    virtual Wire wire() const { return Wire::Serial; }

    // Applied when the port is opened next. A port that has no settings of its
    // own (a test's port) ignores them.
    virtual void setLineSettings(const LineSettings &settings) { Q_UNUSED(settings); }
    virtual void setWireSettings(const WireSettings &settings) { Q_UNUSED(settings); }

    // Open, or being opened (see portPending).
    virtual bool portOpen() const = 0;
    // true opens the port with the line settings, false closes it.
    virtual Status setPortOpen(bool open) = 0;
    // The port has been opened but its connection is still being made (a LAN
    // tester): portOpened() or portLost() follows. Nothing should be sent
    // before that.
    virtual bool portPending() const { return false; }
    // Whether the far end may send unasked. A USB-TMC device only answers a
    // query.
    virtual bool canListen() const { return true; }
    // Opens the port again on the device it was last opened on, for a line lost
    // during a session: the port number is not looked up afresh, so the line
    // comes back on the same device or not at all. Fails like setPortOpen.
    virtual Status reopen() { return setPortOpen(true); }

    // Discards every received byte not yet read (InBufferCount = 0).
    virtual Status clearInBuffer() = 0;
    // Transmits the bytes; fails with ErrorKind::PortIoFailed when they do not
    // fit the transmit buffer beside the bytes still waiting there.
    virtual Status output(const QByteArray &data) = 0;
    // Transmits a command that asks for one reply. A wire on which every reply
    // must be fetched (USB-TMC) fetches it after this; elsewhere the same as
    // output().
    virtual Status query(const QByteArray &data) { return output(data); }
    // What was received and not yet read, possibly empty, at most
    // kReceiveBufferSize bytes; reading removes it. Bytes left over are
    // announced again with dataArrived().
    virtual Result<QByteArray> input() = 0;

Q_SIGNALS:
    // New bytes wait to be taken with input().
    void dataArrived();
    // The open port failed and has been closed (adapter pulled out, far end
    // hung up). Emitted once per failure; reason is the platform's text.
    void portLost(const QString &reason);
    // A pending open has made its connection.
    void portOpened();
};

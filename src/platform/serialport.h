#pragma once

#include "common/result.h"

#include <QByteArray>
#include <QObject>
#include <QString>

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

// The serial line to the tester, with the operations the program uses.
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

    // Applied when the port is opened next. A port that has no settings of its
    // own (a test's port) ignores them.
    virtual void setLineSettings(const LineSettings &settings) { Q_UNUSED(settings); }

    virtual bool portOpen() const = 0;
    // true opens the port with the line settings, false closes it.
    virtual Status setPortOpen(bool open) = 0;
    // Opens the port again on the device it was last opened on, for a line lost
    // during a session: the port number is not looked up afresh, so the line
    // comes back on the same device or not at all. Fails like setPortOpen.
    virtual Status reopen() { return setPortOpen(true); }

    // Discards every received byte not yet read (InBufferCount = 0).
    virtual Status clearInBuffer() = 0;
    // Transmits the bytes; fails with ErrorKind::PortIoFailed when they do not
    // fit the transmit buffer beside the bytes still waiting there.
    virtual Status output(const QByteArray &data) = 0;
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
};

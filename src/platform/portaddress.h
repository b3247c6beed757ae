#pragma once

#include "common/result.h"
#include "platform/serialport.h"

#include <QString>
#include <QStringList>

// Where a tester is reached: serial port COMn, a host and port on the LAN, or
// a USB-TMC device file. Written as the operator types it:
//   "COM2"                        serial port 2 (1..30)
//   "lab7", "lab7:5025",
//   "192.168.1.40:5025", "[fe80::1]:5025"
//                                 a LAN tester; without a port, the
//                                 profile's (5025 unless it says otherwise)
//   "/dev/usbtmc0"                a USB-TMC device (any absolute path)
struct PortAddress
{
    Wire wire = Wire::Serial;
    qint16 comPort = 1;    // Serial
    QString host;          // Tcp
    quint16 tcpPort = 0;   // Tcp; 0: the profile's
    QString device;        // UsbTmc

    static constexpr qint16 kMaxComPort = 30;

    static PortAddress serial(qint16 port);
    // Reads the operator's text; a failure says what is wrong with it.
    static Result<PortAddress> parse(const QString &text);

    // The text parse() reads back: "COM2", "lab7:5025", "/dev/usbtmc0".
    QString text() const;
    // The same, with the port a TCP address left to the profile filled in.
    QString label(quint16 defaultTcpPort) const;

    bool operator==(const PortAddress &other) const
    {
        return wire == other.wire && comPort == other.comPort && host == other.host && tcpPort == other.tcpPort
            && device == other.device;
    }
    bool operator!=(const PortAddress &other) const { return !(*this == other); }
};

// The USB-TMC devices present: the /dev/usbtmc* files of devDir, sorted.
QStringList presentUsbTmcDevices(const QString &devDir = QStringLiteral("/dev"));

#pragma once

#include <QSerialPort>
#include <QString>

// Why a serial device could not be opened, as far as the operator can act on it.
enum class PortOpenProblem {
    Missing,      // no such device: an adapter unplugged, a link to nowhere
    AccessDenied, // the user may not open it
    Other,        // in use, locked, not a serial device, ...
};

// Sorts QSerialPort's open() failure on `device` (the name that was opened).
// QSerialPort reports a busy or locked device as a permission error as well,
// so the device's own access rights decide.
PortOpenProblem classifyOpenFailure(QSerialPort::SerialPortError error, const QString &device);

// The message START shows. entry is what port number `port` resolved to (the
// COMn link, or /dev/ttyS<n-1>), reason the platform's description.
//   Missing:      names the link and where it leads
//   AccessDenied: names the device and how to be given access (the dialout
//                 group, then logging in again)
//   Other:        names the device and gives the platform's reason
QString portOpenFailureText(qint16 port, const QString &entry, PortOpenProblem problem, const QString &reason);

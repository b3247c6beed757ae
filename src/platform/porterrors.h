#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

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

// Who may open a device: its owner's and group's names and its permission
// bits. groupIsRoot: the group is the superuser's, which nobody is meant to join.
struct DeviceRights
{
    QString owner;
    QString group;
    bool groupIsRoot = false;
    unsigned mode = 0; // the permission bits, e.g. 0660
};

// The rights of the file behind `device` (links followed); none when it cannot be read.
std::optional<DeviceRights> deviceRights(const QString &device);

// The message for a device the user may not open. Membership of its group is
// advised only when that group may read and write it and is not root's;
// otherwise the message names the owner, group and mode. via is the COMn link
// that led to the device, or empty.
QString accessDeniedText(qint16 port, const QString &device, const QString &via, const DeviceRights &rights);

// The message START shows. entry is what port number `port` resolved to (the
// COMn link, or /dev/ttyS<n-1>), reason the platform's description.
//   Missing:      names the link and where it leads
//   AccessDenied: names the device and how to be given access (see
//                 accessDeniedText)
//   Other:        names the device and gives the platform's reason
QString portOpenFailureText(qint16 port, const QString &entry, PortOpenProblem problem, const QString &reason);

#pragma once

#include "common/result.h"

#include <QList>
#include <QString>

#include <functional>

// One serial device present on the machine, as the port chooser lists it.
struct SerialDevice
{
    QString systemLocation; // e.g. /dev/ttyUSB0
    QString stablePath;     // /dev/serial/by-id/... when there is one, else empty
    QString description;
    QString manufacturer;
    QString serialNumber;

    // The name a COMn link should lead to: the stable one when there is one.
    QString linkTarget() const { return stablePath.isEmpty() ? systemLocation : stablePath; }
};

using SerialDeviceList = std::function<QList<SerialDevice>()>;

// The serial devices present now (QSerialPortInfo), each with its stable
// /dev/serial/by-id name when the system made one.
QList<SerialDevice> presentSerialDevices();

// The entry of byIdDir that leads to systemLocation, empty when none does.
QString stableNameOf(const QString &systemLocation, const QString &byIdDir);

// "FT232R USB UART - FTDI, serial A1B2 (/dev/serial/by-id/usb-...)": what the
// operator recognises the device by, then the name the link will use.
QString deviceCaption(const SerialDevice &device);

// Where port number `port` leads from the folder of the COMn links, for the
// operator: "COM1 -> /dev/ttyUSB0", "COM2 -> /dev/ttyUSB9 (missing)",
// "COM3 -> /dev/ttyS2".
QString comPortCaption(qint16 port, const QString &linkDir);

// Creates or replaces the link COMn in linkDir so that it leads to device; the
// folder is created when missing. The link is swapped in one step, so the old
// one stays when anything fails, and the failure gives the reason.
Status linkComPort(qint16 port, const QString &device, const QString &linkDir);

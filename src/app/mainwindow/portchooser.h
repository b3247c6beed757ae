#pragma once

#include "platform/serialdevices.h"

#include <QObject>
#include <QString>

#include <array>
#include <functional>

class QAction;
class QMenu;

// The port chooser inside Settings > COMPort: under the COM1..COM4 items it
// shows where each of them leads, and one "Connect COMn to" submenu per port
// lists the serial devices present. Choosing one creates or replaces the COMn
// link in the folder of the links.
//
// The device list is handed in, so that tests need no hardware. `allowed` tells
// whether the set-up may change now; while it says no (a session runs) a
// choice is refused.
class PortChooser : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPorts = 4;

    PortChooser(QMenu *comMenu, QString linkDir, SerialDeviceList devices, std::function<bool()> allowed,
                QObject *parent = nullptr);

    void setDeviceList(SerialDeviceList devices) { m_devices = std::move(devices); }

    // Shows where COM1..COM4 lead now; runs whenever the COMPort menu opens.
    void showTargets();
    // Fills "Connect COMn to" (index 0 for COM1) with the devices present;
    // runs whenever that submenu opens.
    void listDevices(int index);

    QAction *targetItem(int index) const { return m_targets[size_t(index)]; }
    QMenu *connectMenu(int index) const { return m_connectMenus[size_t(index)]; }

    // Links COMn (1..4) to device. Refused while not allowed.
    void connectPort(qint16 port, const QString &device);

Q_SIGNALS:
    // The link COMn now leads to the chosen device.
    void portConnected(qint16 port);
    // A choice that was refused or failed, in the operator's words.
    void problem(const QString &text);

private:
    QString m_linkDir;
    SerialDeviceList m_devices;
    std::function<bool()> m_allowed;
    std::array<QAction *, kPorts> m_targets{};
    std::array<QMenu *, kPorts> m_connectMenus{};
};

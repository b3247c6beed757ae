#pragma once

#include "platform/portaddress.h"
#include "platform/serialdevices.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <array>
#include <functional>

class QAction;
class QInputDialog;
class QMenu;
class QWidget;

// The port chooser inside Settings > COMPort: under the COM1..COM4 items it
// shows where each of them leads, and one "Connect COMn to" submenu per port
// lists the serial devices present. Choosing one creates or replaces the COMn
// link in the folder of the links.
//
// Below them, a tester that is not on a serial line: "LAN tester (host:port)..."
// asks for its address, and "USB-TMC device" lists the /dev/usbtmc* devices
// present. Choosing one makes it channel 1's port (addressChosen).
//
// The device lists are handed in, so that tests need no hardware. `allowed`
// tells whether the set-up may change now; while it says no (a session runs) a
// choice is refused.
class PortChooser : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPorts = 4;

    using UsbTmcDeviceList = std::function<QStringList()>;

    // dialogParent: the window the address dialog belongs to.
    PortChooser(QMenu *comMenu, QString linkDir, SerialDeviceList devices, std::function<bool()> allowed,
                QWidget *dialogParent, QObject *parent = nullptr);

    void setDeviceList(SerialDeviceList devices) { m_devices = std::move(devices); }
    void setUsbTmcDeviceList(UsbTmcDeviceList devices) { m_usbTmcDevices = std::move(devices); }

    // Marks the port in use: the LAN item carries a LAN tester's address, a
    // USB-TMC device is checked in its list.
    void showAddress(const PortAddress &address);

    QAction *lanItem() const { return m_lanItem; }
    QMenu *usbTmcMenu() const { return m_usbTmcMenu; }
    // Fills "USB-TMC device" with the devices present; runs whenever it opens.
    void listUsbTmcDevices();
    // Asks for the LAN tester's host and port, window-modal, without waiting.
    void askLanAddress();
    QInputDialog *lanDialog() const;
    // Makes address channel 1's port. Refused while not allowed.
    void chooseAddress(const PortAddress &address);

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
    // Channel 1's port is to be address, a LAN tester or a USB-TMC device.
    void addressChosen(const PortAddress &address);

private:
    QString m_linkDir;
    SerialDeviceList m_devices;
    std::function<bool()> m_allowed;
    std::array<QAction *, kPorts> m_targets{};
    std::array<QMenu *, kPorts> m_connectMenus{};
    UsbTmcDeviceList m_usbTmcDevices;
    QWidget *m_dialogParent;
    PortAddress m_address;
    QAction *m_lanItem = nullptr;
    QMenu *m_usbTmcMenu = nullptr;
    QPointer<QInputDialog> m_lanDialog;
};

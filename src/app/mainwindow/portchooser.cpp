#include "app/mainwindow/portchooser.h"

#include "app/style/singlewindow.h"

#include <QAction>
#include <QInputDialog>
#include <QMenu>

PortChooser::PortChooser(QMenu *comMenu, QString linkDir, SerialDeviceList devices, std::function<bool()> allowed,
                         QWidget *dialogParent, QObject *parent)
    : QObject(parent), m_linkDir(std::move(linkDir)), m_devices(std::move(devices)), m_allowed(std::move(allowed)),
      m_usbTmcDevices([] { return presentUsbTmcDevices(); }), m_dialogParent(dialogParent)
{
    comMenu->addSeparator();
    for (int i = 0; i < kPorts; ++i) {
        QAction *target = comMenu->addAction(QString());
        target->setObjectName(QStringLiteral("portTarget_%1").arg(i));
        target->setEnabled(false);
        m_targets[size_t(i)] = target;
    }
    comMenu->addSeparator();
    for (int i = 0; i < kPorts; ++i) {
        QMenu *menu = comMenu->addMenu(tr("Connect COM%1 to").arg(i + 1));
        menu->setObjectName(QStringLiteral("connectPort_%1").arg(i));
        m_connectMenus[size_t(i)] = menu;
        connect(menu, &QMenu::aboutToShow, this, [this, i] { listDevices(i); });
    }
    comMenu->addSeparator();
    m_lanItem = comMenu->addAction(QString());
    m_lanItem->setObjectName(QStringLiteral("lanTesterAction"));
    m_lanItem->setCheckable(true);
    connect(m_lanItem, &QAction::triggered, this, [this] {
        // The mark follows the port in use, not the click.
        showAddress(m_address);
        askLanAddress();
    });
    m_usbTmcMenu = comMenu->addMenu(tr("USB-TMC device"));
    m_usbTmcMenu->setObjectName(QStringLiteral("usbTmcMenu"));
    connect(m_usbTmcMenu, &QMenu::aboutToShow, this, &PortChooser::listUsbTmcDevices);
    connect(comMenu, &QMenu::aboutToShow, this, &PortChooser::showTargets);
    showTargets();
    showAddress(m_address);
}

void PortChooser::showAddress(const PortAddress &address)
{
    m_address = address;
    const bool lan = address.wire == Wire::Tcp;
    m_lanItem->setChecked(lan);
    m_lanItem->setText(lan ? tr("LAN tester: %1...").arg(address.text()) : tr("LAN tester (host:port)..."));
    m_usbTmcMenu->setTitle(address.wire == Wire::UsbTmc ? tr("USB-TMC device: %1").arg(address.device)
                                                        : tr("USB-TMC device"));
}

void PortChooser::listUsbTmcDevices()
{
    m_usbTmcMenu->clear();
    const QStringList devices = m_usbTmcDevices ? m_usbTmcDevices() : QStringList();
    if (devices.isEmpty()) {
        QAction *none = m_usbTmcMenu->addAction(tr("No USB-TMC device found"));
        none->setObjectName(QStringLiteral("noUsbTmcDevice"));
        none->setEnabled(false);
        return;
    }
    for (int d = 0; d < devices.size(); ++d) {
        QAction *item = m_usbTmcMenu->addAction(devices.at(d));
        item->setObjectName(QStringLiteral("usbTmcDevice_%1").arg(d));
        item->setCheckable(true);
        item->setChecked(m_address.wire == Wire::UsbTmc && m_address.device == devices.at(d));
        const QString device = devices.at(d);
        connect(item, &QAction::triggered, this, [this, device] {
            PortAddress address;
            address.wire = Wire::UsbTmc;
            address.device = device;
            chooseAddress(address);
        });
    }
}

QInputDialog *PortChooser::lanDialog() const
{
    return m_lanDialog;
}

void PortChooser::askLanAddress()
{
    if (m_allowed && !m_allowed()) {
        Q_EMIT problem(tr("The port cannot be changed while a measurement runs: press STOP first."));
        return;
    }
    openOnce(m_lanDialog, [this] {
        auto *dialog = new QInputDialog(m_dialogParent);
        dialog->setObjectName(QStringLiteral("lanAddressDialog"));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::WindowModal);
        dialog->setWindowTitle(tr("LAN tester"));
        dialog->setLabelText(tr("The tester's host name or IP address, and its port when not the profile's "
                                "(5025 unless it says otherwise):"));
        dialog->setTextValue(m_address.wire == Wire::Tcp ? m_address.text() : QString());
        connect(dialog, &QInputDialog::textValueSelected, this, [this](const QString &text) {
            const Result<PortAddress> address = PortAddress::parse(text);
            if (!address) {
                Q_EMIT problem(address.errorString());
                return;
            }
            if (address->wire != Wire::Tcp) {
                Q_EMIT problem(tr("%1 is no LAN address: a serial port is chosen above, a USB-TMC device below.")
                                       .arg(text.trimmed()));
                return;
            }
            chooseAddress(*address);
        });
        return dialog;
    });
}

void PortChooser::chooseAddress(const PortAddress &address)
{
    if (m_allowed && !m_allowed()) {
        Q_EMIT problem(tr("The port cannot be changed while a measurement runs: press STOP first."));
        return;
    }
    Q_EMIT addressChosen(address);
}

void PortChooser::showTargets()
{
    for (int i = 0; i < kPorts; ++i)
        m_targets[size_t(i)]->setText(comPortCaption(qint16(i + 1), m_linkDir));
}

void PortChooser::listDevices(int index)
{
    QMenu *menu = m_connectMenus[size_t(index)];
    menu->clear();
    const QList<SerialDevice> devices = m_devices ? m_devices() : QList<SerialDevice>();
    if (devices.isEmpty()) {
        QAction *none = menu->addAction(tr("No serial device found"));
        none->setObjectName(QStringLiteral("noDevice"));
        none->setEnabled(false);
        return;
    }
    const qint16 port = qint16(index + 1);
    for (int d = 0; d < devices.size(); ++d) {
        const SerialDevice &device = devices.at(d);
        QAction *item = menu->addAction(deviceCaption(device));
        item->setObjectName(QStringLiteral("device_%1").arg(d));
        const QString target = device.linkTarget();
        connect(item, &QAction::triggered, this, [this, port, target] { connectPort(port, target); });
    }
}

void PortChooser::connectPort(qint16 port, const QString &device)
{
    if (m_allowed && !m_allowed()) {
        Q_EMIT problem(tr("COM%1 cannot be connected while a measurement runs: press STOP first.").arg(port));
        return;
    }
    if (const Status linked = linkComPort(port, device, m_linkDir); !linked) {
        Q_EMIT problem(tr("Cannot connect COM%1 to %2: %3").arg(port).arg(device, linked.errorString()));
        return;
    }
    showTargets();
    Q_EMIT portConnected(port);
}

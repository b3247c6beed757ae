#include "app/mainwindow/portchooser.h"

#include <QAction>
#include <QMenu>

PortChooser::PortChooser(QMenu *comMenu, QString linkDir, SerialDeviceList devices, std::function<bool()> allowed,
                         QObject *parent)
    : QObject(parent), m_linkDir(std::move(linkDir)), m_devices(std::move(devices)), m_allowed(std::move(allowed))
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
    connect(comMenu, &QMenu::aboutToShow, this, &PortChooser::showTargets);
    showTargets();
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

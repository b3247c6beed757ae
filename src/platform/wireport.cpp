#include "platform/wireport.h"

#include "platform/tcptesterport.h"
#include "platform/usbtmcport.h"

#include <QCoreApplication>

namespace {
struct WireTexts
{
    Q_DECLARE_TR_FUNCTIONS(WirePort)
};
} // namespace

WirePort::WirePort(SerialPort &serial, QObject *parent) : SerialPort(parent), m_serial(serial)
{
    m_address = PortAddress::serial(serial.commPort());
    relay(m_serial);
}

WirePort::~WirePort() = default;

void WirePort::relay(SerialPort &port)
{
    connect(&port, &SerialPort::dataArrived, this, [this, &port] {
        if (&port == &current())
            Q_EMIT dataArrived();
    });
    connect(&port, &SerialPort::portLost, this, [this, &port](const QString &reason) {
        if (&port == &current())
            Q_EMIT portLost(reason);
    });
    connect(&port, &SerialPort::portOpened, this, [this, &port] {
        if (&port == &current())
            Q_EMIT portOpened();
    });
}

SerialPort &WirePort::current() const
{
    switch (m_address.wire) {
    case Wire::Serial:
        break;
    case Wire::Tcp:
        return *m_tcp;
    case Wire::UsbTmc:
        return *m_usbTmc;
    }
    return m_serial;
}

Status WirePort::setAddress(const PortAddress &address)
{
    if (current().portOpen())
        return Failure(ErrorKind::PortOpenFailed,
                       WireTexts::tr("Cannot change the port while %1 is open").arg(portName()));
    switch (address.wire) {
    case Wire::Serial:
        if (const Status set = m_serial.setCommPort(address.comPort); !set)
            return set;
        break;
    case Wire::Tcp:
        if (!m_tcp) {
            m_tcp = std::make_unique<TcpTesterPort>();
            m_tcp->setWireSettings(m_wireSettings);
            relay(*m_tcp);
        }
        if (const Status set = m_tcp->setHost(address.host, address.tcpPort); !set)
            return set;
        break;
    case Wire::UsbTmc:
        if (!m_usbTmc) {
            m_usbTmc = std::make_unique<UsbTmcPort>();
            m_usbTmc->setWireSettings(m_wireSettings);
            relay(*m_usbTmc);
        }
        if (const Status set = m_usbTmc->setDevice(address.device); !set)
            return set;
        break;
    }
    m_address = address;
    return {};
}

Status WirePort::setCommPort(qint16 port)
{
    return setAddress(PortAddress::serial(port));
}

qint16 WirePort::commPort() const
{
    return m_serial.commPort();
}

QString WirePort::portName() const
{
    return current().portName();
}

void WirePort::setLineSettings(const LineSettings &settings)
{
    m_serial.setLineSettings(settings);
}

void WirePort::setWireSettings(const WireSettings &settings)
{
    m_wireSettings = settings;
    if (m_tcp)
        m_tcp->setWireSettings(settings);
    if (m_usbTmc)
        m_usbTmc->setWireSettings(settings);
}

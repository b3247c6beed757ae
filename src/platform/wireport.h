#pragma once

#include "platform/portaddress.h"
#include "platform/serialport.h"

#include <memory>

class TcpTesterPort;
class UsbTmcPort;

// The line to one tester over whichever wire its address names: the serial
// port handed in for COMn, a LAN socket for host:port, the device file for a
// USB-TMC tester. Every call goes to the port of the current address, and its
// signals come out of this one, so a session drives every wire alike.
//
// setCommPort() chooses serial port n (the COM menu); setAddress() any
// address. Either only while the port is closed.
class WirePort : public SerialPort
{
public:
    // serial: the port COMn addresses go to; not owned.
    explicit WirePort(SerialPort &serial, QObject *parent = nullptr);
    ~WirePort() override;

    WirePort(const WirePort &) = delete;
    WirePort &operator=(const WirePort &) = delete;

    Status setAddress(const PortAddress &address);
    const PortAddress &address() const { return m_address; }

    // Serial port n. commPort() stays the last serial port chosen while
    // another wire is in use, so Settings.ini keeps a COM number.
    Status setCommPort(qint16 port) override;
    qint16 commPort() const override;
    QString portName() const override;
    Wire wire() const override { return m_address.wire; }

    void setLineSettings(const LineSettings &settings) override;
    void setWireSettings(const WireSettings &settings) override;

    bool portOpen() const override { return current().portOpen(); }
    Status setPortOpen(bool open) override { return current().setPortOpen(open); }
    Status reopen() override { return current().reopen(); }
    bool portPending() const override { return current().portPending(); }
    bool canListen() const override { return current().canListen(); }

    Status clearInBuffer() override { return current().clearInBuffer(); }
    Status output(const QByteArray &data) override { return current().output(data); }
    Status query(const QByteArray &data) override { return current().query(data); }
    Result<QByteArray> input() override { return current().input(); }

private:
    SerialPort &current() const;
    void relay(SerialPort &port);

    SerialPort &m_serial;
    PortAddress m_address;
    WireSettings m_wireSettings;
    std::unique_ptr<TcpTesterPort> m_tcp;
    std::unique_ptr<UsbTmcPort> m_usbTmc;
};

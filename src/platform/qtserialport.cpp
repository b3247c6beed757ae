#include "platform/qtserialport.h"

#include "platform/porterrors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
struct PortTexts
{
    Q_DECLARE_TR_FUNCTIONS(SerialPort)
};

QSerialPort::Parity toQt(LineSettings::Parity parity)
{
    switch (parity) {
    case LineSettings::Parity::None: return QSerialPort::NoParity;
    case LineSettings::Parity::Even: return QSerialPort::EvenParity;
    case LineSettings::Parity::Odd: return QSerialPort::OddParity;
    case LineSettings::Parity::Mark: return QSerialPort::MarkParity;
    case LineSettings::Parity::Space: return QSerialPort::SpaceParity;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits toQt(LineSettings::StopBits stopBits)
{
    switch (stopBits) {
    case LineSettings::StopBits::One: return QSerialPort::OneStop;
    case LineSettings::StopBits::OneAndHalf: return QSerialPort::OneAndHalfStop;
    case LineSettings::StopBits::Two: return QSerialPort::TwoStop;
    }
    return QSerialPort::OneStop;
}

QSerialPort::FlowControl toQt(LineSettings::FlowControl flow)
{
    switch (flow) {
    case LineSettings::FlowControl::None: return QSerialPort::NoFlowControl;
    case LineSettings::FlowControl::Hardware: return QSerialPort::HardwareControl;
    case LineSettings::FlowControl::Software: return QSerialPort::SoftwareControl;
    }
    return QSerialPort::NoFlowControl;
}

// "COM1 (/opt/bin4870/COM1 -> /dev/ttyUSB0)": the operator sees both the name
// chosen in the program and the device behind it.
QString describeDevice(qint16 port, const QString &device)
{
    const QString name = QStringLiteral("COM%1").arg(port);
    if (device.isEmpty() || device == name)
        return name;
    const QFileInfo info(device);
    if (info.isSymLink())
        return QStringLiteral("%1 (%2 -> %3)").arg(name, device, info.symLinkTarget());
    return QStringLiteral("%1 (%2)").arg(name, device);
}

} // namespace

QString serialDevicePath(qint16 port, const QString &programDir)
{
#ifdef Q_OS_WIN
    Q_UNUSED(programDir);
    return QStringLiteral("COM%1").arg(port);
#else
    const QString entry = QDir(programDir).filePath(QStringLiteral("COM%1").arg(port));
    const QFileInfo info(entry);
    // A dangling link still names the device the operator meant; opening it
    // then reports that device as missing.
    if (info.exists() || info.isSymLink())
        return entry;
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

QtSerialPort::QtSerialPort(QString programDir, QObject *parent)
    : SerialPort(parent), m_programDir(std::move(programDir))
{
    connect(&m_serial, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
    connect(&m_serial, &QSerialPort::readyRead, this, &SerialPort::dataArrived);
}

QtSerialPort::~QtSerialPort()
{
    if (m_serial.isOpen())
        m_serial.close();
}

Status QtSerialPort::setCommPort(qint16 port)
{
    if (m_serial.isOpen())
        return Failure(ErrorKind::PortOpenFailed,
                       PortTexts::tr("Cannot change the port number while %1 is open").arg(portLabel()));
    if (port != m_commPort)
        m_device.clear(); // another port: reopen() has nothing to go back to
    m_commPort = port;
    return {};
}

qint16 QtSerialPort::commPort() const
{
    return m_commPort;
}

bool QtSerialPort::portOpen() const
{
    return m_serial.isOpen();
}

Status QtSerialPort::setPortOpen(bool open)
{
    if (open) {
        if (!m_serial.isOpen())
            return this->open(serialDevicePath(m_commPort, m_programDir));
    } else if (m_serial.isOpen()) {
        m_serial.close();
    }
    return {};
}

Status QtSerialPort::reopen()
{
    // Never opened: nothing to go back to but what the number names.
    if (m_device.isEmpty())
        return setPortOpen(true);
    if (!m_serial.isOpen())
        return open(m_device);
    return {};
}

Status QtSerialPort::open(const QString &device)
{
    const QString name = QStringLiteral("COM%1").arg(m_commPort);
    if (m_commPort < 1)
        return Failure(ErrorKind::PortOpenFailed,
                       PortTexts::tr("Cannot open serial port %1: there is no such port").arg(name));

    m_device = device;
    m_closedBecause.clear();

    // Open the device behind the link, so that the lock QSerialPort takes is the
    // device's own whichever name led to it.
    QString target = m_device;
    const QFileInfo info(m_device);
    if (info.isSymLink() && info.exists())
        target = info.canonicalFilePath();

    m_serial.setPortName(target);
    m_serial.setBaudRate(m_lineSettings.baudRate);
    m_serial.setDataBits(static_cast<QSerialPort::DataBits>(m_lineSettings.dataBits));
    m_serial.setParity(toQt(m_lineSettings.parity));
    m_serial.setStopBits(toQt(m_lineSettings.stopBits));
    m_serial.setFlowControl(toQt(m_lineSettings.flowControl));
    m_serial.setReadBufferSize(kReceiveBufferSize);

    if (!m_serial.open(QIODevice::ReadWrite)) {
        const QString reason = m_serial.errorString();
        const PortOpenProblem problem = classifyOpenFailure(m_serial.error(), target);
        m_serial.clearError();
        return Failure(ErrorKind::PortOpenFailed, portOpenFailureText(m_commPort, m_device, problem, reason));
    }

    // Some converters and instruments power their line drivers from DTR. A
    // pseudo-terminal has no modem lines and refuses ("Inappropriate ioctl for
    // device"); the data flows all the same, so the refusal is no failure.
    m_ignoreErrors = true;
    m_serial.setDataTerminalReady(true);
    m_ignoreErrors = false;
    m_serial.clearError();
    return {};
}

Status QtSerialPort::clearInBuffer()
{
    if (!m_serial.isOpen())
        return notOpen(QT_TRANSLATE_NOOP("SerialPort", "clear the input of"));
    m_serial.clear(QSerialPort::Input);
    return {};
}

Status QtSerialPort::output(const QByteArray &data)
{
    if (!m_serial.isOpen())
        return notOpen(QT_TRANSLATE_NOOP("SerialPort", "write to"));
    if (m_serial.bytesToWrite() + data.size() > kTransmitBufferSize)
        return Failure(ErrorKind::PortIoFailed,
                       PortTexts::tr("Cannot write to serial port %1: %2 bytes do not fit the transmit buffer "
                                     "(%3 bytes, %4 still waiting)")
                           .arg(portLabel())
                           .arg(data.size())
                           .arg(kTransmitBufferSize)
                           .arg(m_serial.bytesToWrite()));
    m_ioError.clear();
    const qint64 written = m_serial.write(data);
    // Hand the bytes to the driver now rather than at the next event, so that a
    // dead line is reported to this caller. Nothing here waits for the line.
    if (written == data.size() && m_ioError.isEmpty())
        m_serial.waitForBytesWritten(0);
    if (written != data.size() || !m_ioError.isEmpty()) {
        const QString reason = m_ioError.isEmpty() ? m_serial.errorString() : m_ioError;
        m_serial.clearError();
        return Failure(ErrorKind::PortIoFailed,
                       PortTexts::tr("Cannot write to serial port %1: %2").arg(portLabel(), reason));
    }
    return {};
}

Result<QByteArray> QtSerialPort::input()
{
    if (!m_serial.isOpen())
        return notOpen(QT_TRANSLATE_NOOP("SerialPort", "read from"));
    // One read hands over at most a receive buffer's worth; what is left is
    // announced again once the caller is done with this piece.
    QByteArray data = m_serial.read(kReceiveBufferSize);
    if (m_serial.bytesAvailable() > 0 && !m_moreAnnounced) {
        m_moreAnnounced = true;
        QMetaObject::invokeMethod(this, [this] {
                m_moreAnnounced = false;
                if (m_serial.isOpen() && m_serial.bytesAvailable() > 0)
                    Q_EMIT dataArrived();
            },
                                  Qt::QueuedConnection);
    }
    return data;
}

qint64 QtSerialPort::bytesWaiting() const
{
    return m_serial.isOpen() ? m_serial.bytesAvailable() : 0;
}

void QtSerialPort::onError(QSerialPort::SerialPortError error)
{
    if (m_ignoreErrors || !m_serial.isOpen())
        return;
    switch (error) {
    case QSerialPort::ReadError:
    case QSerialPort::ResourceError:
        m_ioError = m_serial.errorString();
        m_closedBecause = m_ioError;
        m_serial.close();
        // Queued, so that whoever is inside a port call when the failure is
        // found finishes before the loss is handled.
        QMetaObject::invokeMethod(this, [this, reason = m_closedBecause] {
                if (!m_serial.isOpen())
                    Q_EMIT portLost(reason);
            },
                                  Qt::QueuedConnection);
        break;
    case QSerialPort::WriteError:
        m_ioError = m_serial.errorString();
        break;
    default:
        break;
    }
}

QString QtSerialPort::portLabel() const
{
    return describeDevice(m_commPort, m_device);
}

Failure QtSerialPort::notOpen(const char *operation) const
{
    QString text = PortTexts::tr("Cannot %1 serial port COM%2: the port is not open")
                       .arg(PortTexts::tr(operation))
                       .arg(m_commPort);
    if (!m_closedBecause.isEmpty())
        text += PortTexts::tr(" (closed after: %1)").arg(m_closedBecause);
    return Failure(ErrorKind::PortNotOpen, text);
}

#include "platform/portaddress.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>

namespace {
struct AddressTexts
{
    Q_DECLARE_TR_FUNCTIONS(PortAddress)
};

QString hostText(const QString &host)
{
    return host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
}
} // namespace

PortAddress PortAddress::serial(qint16 port)
{
    PortAddress address;
    address.comPort = port;
    return address;
}

Result<PortAddress> PortAddress::parse(const QString &given)
{
    const QString text = given.trimmed();
    if (text.isEmpty())
        return Failure(AddressTexts::tr("No port given: type COMn, host:port or the path of a USB-TMC device"));

    static const QRegularExpression com(QStringLiteral("^COM(\\d{1,2})$"), QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch match = com.match(text); match.hasMatch()) {
        const int number = match.captured(1).toInt();
        if (number < 1 || number > kMaxComPort)
            return Failure(AddressTexts::tr("%1: serial ports run from COM1 to COM%2").arg(text).arg(kMaxComPort));
        return serial(qint16(number));
    }
    if (text.startsWith(QLatin1Char('/'))) {
        PortAddress address;
        address.wire = Wire::UsbTmc;
        address.device = QDir::cleanPath(text);
        return address;
    }

    // host, host:port, [v6 address] or [v6 address]:port
    QString host = text;
    QString portText;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return Failure(AddressTexts::tr("%1: the address in [ ] is not closed").arg(text));
        host = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return Failure(AddressTexts::tr("%1: only \":port\" may follow the address in [ ]").arg(text));
            portText = rest.mid(1);
        }
    } else if (text.count(QLatin1Char(':')) == 1) {
        host = text.section(QLatin1Char(':'), 0, 0);
        portText = text.section(QLatin1Char(':'), 1);
    } else if (text.contains(QLatin1Char(':'))) {
        return Failure(AddressTexts::tr("%1: write an IPv6 address in [ ], as [fe80::1]:5025").arg(text));
    }
    static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9._%:-]+$"));
    if (host.isEmpty() || !hostName.match(host).hasMatch())
        return Failure(AddressTexts::tr("%1: \"%2\" is no host name or address").arg(text, host));
    PortAddress address;
    address.wire = Wire::Tcp;
    address.host = host;
    if (text.endsWith(QLatin1Char(':')) || !portText.isEmpty()) {
        bool ok = false;
        const uint port = portText.toUInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return Failure(AddressTexts::tr("%1: the port must be a number from 1 to 65535").arg(text));
        address.tcpPort = quint16(port);
    }
    return address;
}

QString PortAddress::text() const
{
    switch (wire) {
    case Wire::Serial:
        return QStringLiteral("COM%1").arg(comPort);
    case Wire::Tcp:
        return tcpPort == 0 ? hostText(host) : QStringLiteral("%1:%2").arg(hostText(host)).arg(tcpPort);
    case Wire::UsbTmc:
        return device;
    }
    return QString();
}

QString PortAddress::label(quint16 defaultTcpPort) const
{
    if (wire == Wire::Tcp && tcpPort == 0)
        return QStringLiteral("%1:%2").arg(hostText(host)).arg(defaultTcpPort);
    return text();
}

QStringList presentUsbTmcDevices(const QString &devDir)
{
    QStringList devices;
    const QDir dir(devDir);
    for (const QString &name : dir.entryList({QStringLiteral("usbtmc*")}, QDir::System | QDir::Files, QDir::Name))
        devices << dir.filePath(name);
    return devices;
}

#include "platform/serialdevices.h"

#include "platform/qtserialport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {
struct DeviceTexts
{
    Q_DECLARE_TR_FUNCTIONS(SerialDevices)
};
const QString kByIdDir = QStringLiteral("/dev/serial/by-id");
} // namespace

QString stableNameOf(const QString &systemLocation, const QString &byIdDir)
{
    const QString wanted = QFileInfo(systemLocation).canonicalFilePath();
    if (wanted.isEmpty())
        return QString();
    const QDir dir(byIdDir);
    for (const QString &name : dir.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString entry = dir.filePath(name);
        if (QFileInfo(entry).canonicalFilePath() == wanted)
            return entry;
    }
    return QString();
}

QList<SerialDevice> presentSerialDevices()
{
    QList<SerialDevice> devices;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        SerialDevice device;
        device.systemLocation = info.systemLocation();
        device.stablePath = stableNameOf(device.systemLocation, kByIdDir);
        device.description = info.description();
        device.manufacturer = info.manufacturer();
        device.serialNumber = info.serialNumber();
        devices.append(device);
    }
    return devices;
}

QString deviceCaption(const SerialDevice &device)
{
    QStringList about;
    if (!device.manufacturer.isEmpty())
        about << device.manufacturer;
    if (!device.serialNumber.isEmpty())
        about << DeviceTexts::tr("serial %1").arg(device.serialNumber);
    QString caption = device.description.isEmpty() ? QFileInfo(device.systemLocation).fileName()
                                                   : device.description;
    if (!about.isEmpty())
        caption += QStringLiteral(" - ") + about.join(QStringLiteral(", "));
    return caption + QStringLiteral(" (%1)").arg(device.linkTarget());
}

QString comPortCaption(qint16 port, const QString &linkDir)
{
    const QString name = QStringLiteral("COM%1").arg(port);
    const QString path = serialDevicePath(port, linkDir);
    const QFileInfo info(path);
    QString target = path;
    if (info.isSymLink())
        target = info.symLinkTarget();
    QString caption = QStringLiteral("%1 -> %2").arg(name, target);
    if (!info.exists())
        caption += DeviceTexts::tr(" (missing)");
    return caption;
}

Status linkComPort(qint16 port, const QString &device, const QString &linkDir)
{
    const auto fail = [](const QString &reason) { return Failure(ErrorKind::FileIo, reason); };
    if (device.isEmpty())
        return fail(DeviceTexts::tr("no device was named"));
    if (!QDir().mkpath(linkDir))
        return fail(DeviceTexts::tr("cannot create the folder %1").arg(linkDir));
    const QDir dir(linkDir);
    const QString link = dir.filePath(QStringLiteral("COM%1").arg(port));
    const QString staged = dir.filePath(QStringLiteral(".COM%1.new").arg(port));
    QFile::remove(staged);
    const QByteArray target = QFile::encodeName(device);
    const QByteArray stagedName = QFile::encodeName(staged);
    if (::symlink(target.constData(), stagedName.constData()) != 0)
        return fail(DeviceTexts::tr("cannot create a link in %1: %2").arg(linkDir, QString::fromLocal8Bit(std::strerror(errno))));
    // rename() replaces an existing link or file in one step.
    if (std::rename(stagedName.constData(), QFile::encodeName(link).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(staged);
        return fail(DeviceTexts::tr("cannot replace %1: %2").arg(link, reason));
    }
    return {};
}

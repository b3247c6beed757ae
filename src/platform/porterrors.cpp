#include "platform/porterrors.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
struct PortTexts
{
    Q_DECLARE_TR_FUNCTIONS(SerialPort)
};

QString deviceBehind(const QString &entry)
{
    const QFileInfo info(entry);
    if (!info.isSymLink())
        return entry;
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

} // namespace

std::optional<DeviceRights> deviceRights(const QString &device)
{
    struct stat info {};
    if (::stat(QFile::encodeName(device).constData(), &info) != 0)
        return std::nullopt;
    DeviceRights rights;
    const passwd *user = ::getpwuid(info.st_uid);
    rights.owner = user ? QString::fromLocal8Bit(user->pw_name) : QString::number(info.st_uid);
    const group *owners = ::getgrgid(info.st_gid);
    rights.group = owners ? QString::fromLocal8Bit(owners->gr_name) : QString::number(info.st_gid);
    rights.groupIsRoot = info.st_gid == 0;
    rights.mode = unsigned(info.st_mode) & 07777u;
    return rights;
}

QString accessDeniedText(qint16 port, const QString &device, const QString &via, const DeviceRights &rights)
{
    const QString name = QStringLiteral("COM%1").arg(port);
    const QString where = via.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(via);
    const QString denied = PortTexts::tr("Cannot open serial port %1: permission denied on %2%3. ").arg(name, device, where);
    // Joining the group helps only when the group may read and write the device.
    const bool groupMayUse = (rights.mode & 060u) == 060u;
    if (!rights.group.isEmpty() && groupMayUse && !rights.groupIsRoot) {
        return denied
               + PortTexts::tr("Your user may not use this device: ask for membership of the group \"%1\" "
                               "(sudo usermod -aG %1 $USER), then log out and log in again.")
                     .arg(rights.group);
    }
    return denied
           + PortTexts::tr("The device belongs to owner %1, group %2, mode %3, so joining a group does not help: "
                           "ask the administrator to let a group you can join read and write it "
                           "(mode 0660, for instance with a udev rule).")
                 .arg(rights.owner.isEmpty() ? QStringLiteral("?") : rights.owner,
                      rights.group.isEmpty() ? QStringLiteral("?") : rights.group,
                      QStringLiteral("0%1").arg(rights.mode, 3, 8, QLatin1Char('0')));
}

PortOpenProblem classifyOpenFailure(QSerialPort::SerialPortError error, const QString &device)
{
    if (error == QSerialPort::DeviceNotFoundError)
        return PortOpenProblem::Missing;
    if (error == QSerialPort::PermissionError) {
        const QByteArray name = QFile::encodeName(device);
        if (::access(name.constData(), R_OK | W_OK) != 0 && errno == EACCES)
            return PortOpenProblem::AccessDenied;
    }
    return PortOpenProblem::Other;
}

QString portOpenFailureText(qint16 port, const QString &entry, PortOpenProblem problem, const QString &reason)
{
    const QString name = QStringLiteral("COM%1").arg(port);
    const QFileInfo info(entry);
    switch (problem) {
    case PortOpenProblem::Missing:
        if (info.isSymLink())
            return PortTexts::tr("Cannot open serial port %1: the link %2 leads to %3, which does not exist (%4). "
                                 "Plug the adapter in, or connect %1 to a device in Settings > COMPort.")
                .arg(name, entry, info.symLinkTarget(), reason);
        return PortTexts::tr("Cannot open serial port %1: %2 does not exist (%3). "
                             "Connect %1 to a device in Settings > COMPort.")
            .arg(name, entry, reason);
    case PortOpenProblem::AccessDenied: {
        const QString device = deviceBehind(entry);
        const std::optional<DeviceRights> rights = deviceRights(device);
        return accessDeniedText(port, device, device == entry ? QString() : entry, rights.value_or(DeviceRights{}));
    }
    case PortOpenProblem::Other:
        break;
    }
    if (entry.isEmpty() || entry == name)
        return PortTexts::tr("Cannot open serial port %1: %2").arg(name, reason);
    if (info.isSymLink())
        return PortTexts::tr("Cannot open serial port %1 (%2 -> %3): %4").arg(name, entry, info.symLinkTarget(), reason);
    return PortTexts::tr("Cannot open serial port %1 (%2): %3").arg(name, entry, reason);
}

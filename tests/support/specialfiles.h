#pragma once

// Named pipes, device nodes, sockets and folders standing where the program
// expects a plain file, made in a test's own temporary folder.

#include <QDir>
#include <QFile>
#include <QString>

#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

// What may stand where one of the program's files belongs.
enum class Special { Pipe, LinkToPipe, DeviceNode, LinkToDeviceNode, Socket, Folder };

// Makes one at path. False (with a reason for QSKIP) when this user cannot.
inline bool makeSpecial(Special kind, const QString &path, QString *why)
{
    const QByteArray name = QFile::encodeName(path);
    const QByteArray target = QFile::encodeName(path + QStringLiteral("-target"));
    switch (kind) {
    case Special::Pipe:
        return ::mkfifo(name.constData(), 0666) == 0;
    case Special::LinkToPipe:
        return ::mkfifo(target.constData(), 0666) == 0 && ::symlink(target.constData(), name.constData()) == 0;
    case Special::DeviceNode:
    case Special::LinkToDeviceNode: {
        // A null device of its own, in the test's folder: the system's stays untouched.
        const QByteArray node = kind == Special::DeviceNode ? name : target;
        if (::mknod(node.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
            *why = QStringLiteral("cannot make a device node here (needs root)");
            return false;
        }
        return kind == Special::DeviceNode || ::symlink(target.constData(), name.constData()) == 0;
    }
    case Special::Socket: {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (fd < 0 || size_t(name.size()) >= sizeof address.sun_path) {
            *why = QStringLiteral("socket path too long");
            return false;
        }
        qstrcpy(address.sun_path, name.constData());
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        ::close(fd);
        return bound;
    }
    case Special::Folder:
        return QDir().mkdir(path);
    }
    return false;
}


// The file type bits of what stands at path itself (a link is not followed); 0
// when nothing does.
inline mode_t typeAt(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? (info.st_mode & S_IFMT) : 0;
}

// A tiny file system of its own, so that a write meets a really full device.
// Needs root; mounted over a temporary folder and gone with the object.
class TinyFileSystem
{
public:
    explicit TinyFileSystem(const QString &folder) : m_folder(QFile::encodeName(folder))
    {
        m_mounted = ::mount("tmpfs", m_folder.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                            "size=8k") == 0;
    }
    ~TinyFileSystem()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    bool isMounted() const { return m_mounted; }

    // Takes every free block with a file named "filler"; removing it makes room again.
    bool fill() const
    {
        QFile filler(QFile::decodeName(m_folder) + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly))
            return false;
        const QByteArray block(512, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        return true;
    }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

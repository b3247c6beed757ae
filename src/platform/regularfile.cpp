#include "platform/regularfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
struct FileTexts
{
    Q_DECLARE_TR_FUNCTIONS(RegularFile)
};
} // namespace

namespace regularfile {

namespace {

Kind kindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return Kind::Regular;
    if (S_ISDIR(mode))
        return Kind::Directory;
    if (S_ISFIFO(mode))
        return Kind::Pipe;
    if (S_ISCHR(mode))
        return Kind::CharacterDevice;
    if (S_ISBLK(mode))
        return Kind::BlockDevice;
    if (S_ISSOCK(mode))
        return Kind::Socket;
    return Kind::Unknown;
}

QString systemText(int errorNumber)
{
    return qt_error_string(errorNumber);
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

Result<Kind> kindOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0)
        return kindOfMode(info.st_mode);
    const int errorNumber = errno;
    // A dangling link or a missing name; a missing folder on the way counts as
    // missing too, opening then says why.
    if (errorNumber == ENOENT || errorNumber == ENOTDIR)
        return Kind::Missing;
    return Failure(ErrorKind::FileIo, systemText(errorNumber));
}

bool isSymbolicLink(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

QString describe(Kind kind)
{
    switch (kind) {
    case Kind::Missing:
        return FileTexts::tr("missing");
    case Kind::Regular:
        return FileTexts::tr("a regular file");
    case Kind::Directory:
        return FileTexts::tr("a folder");
    case Kind::Pipe:
        return FileTexts::tr("a named pipe");
    case Kind::CharacterDevice:
    case Kind::BlockDevice:
        return FileTexts::tr("a device");
    case Kind::Socket:
        return FileTexts::tr("a socket");
    case Kind::Unknown:
        break;
    }
    return FileTexts::tr("not a file");
}

QString refusalText(const QString &path, Kind kind)
{
    if (kind == Kind::Missing || kind == Kind::Regular || kind == Kind::Unknown)
        return QString();
    return FileTexts::tr("%1 is %2, not a regular file").arg(shown(path), describe(kind));
}

Result<int> open(const QString &path, int flags)
{
    const auto failed = [](const QString &text) { return Failure(ErrorKind::FileIo, text); };
    const QByteArray name = QFile::encodeName(path);
    // Looked at before opening: opening a device can have effects of its own.
    const Kind before = kindOf(path).valueOr(Kind::Unknown);
    if (const QString refusal = refusalText(path, before); !refusal.isEmpty())
        return failed(refusal);
    const int fd = ::open(name.constData(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        const int errorNumber = errno;
        // Only a pipe without a reader answers a non-blocking open for writing
        // with ENXIO: it turned up after the look above.
        if (errorNumber == ENXIO)
            return failed(refusalText(path, Kind::Pipe));
        return failed(QStringLiteral("%1: %2").arg(shown(path), systemText(errorNumber)));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const Kind kind = kindOfMode(info.st_mode);
        ::close(fd);
        const QString refusal = refusalText(path, kind == Kind::Regular ? Kind::Unknown : kind);
        return failed(refusal.isEmpty() ? FileTexts::tr("%1 is not a regular file").arg(shown(path)) : refusal);
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1) {
        const int errorNumber = errno;
        ::close(fd);
        return failed(QStringLiteral("%1: %2").arg(shown(path), systemText(errorNumber)));
    }
    return fd;
}

std::optional<Identity> identityOf(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    return Identity{info.st_dev, info.st_ino};
}

Result<std::optional<Identity>> identityOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        const int errorNumber = errno;
        if (errorNumber == ENOENT || errorNumber == ENOTDIR)
            return std::optional<Identity>();
        return Failure(ErrorKind::FileIo, systemText(errorNumber));
    }
    return std::optional<Identity>(Identity{info.st_dev, info.st_ino});
}

} // namespace regularfile

#include "settings/settingsfile.h"

#include "platform/regularfile.h"
#include "settings/settingscodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Eleven short lines; anything past this is not a settings file worth reading
// whole.
constexpr qint64 kMaxBytes = kMaxSetupFileBytes;

// A save writes "<name>.bin4870-save-XXXXXX" beside the file it replaces and
// renames it over that file. The marker is what lets start-up tell a save's
// leftover from a copy the operator made ("Settings.ini.backup").
const QString kSaveMarker = QStringLiteral(".bin4870-save-");

// The file a save replaces: path itself, or the end of its chain of links.
QString saveTarget(const QString &path)
{
    QString target = path;
    for (int hop = 0; hop < 32 && regularfile::isSymbolicLink(target); ++hop)
        target = QFileInfo(target).symLinkTarget();
    return target;
}

// Refuses anything at path (or at the end of its links) that is not a regular
// file or missing.
QString refusalFor(const QString &path)
{
    const Result<regularfile::Kind> kind = regularfile::kindOf(path);
    if (!kind)
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), kind.errorString());
    return regularfile::refusalText(path, *kind);
}

// What stands at path when it is not a regular file (or missing), named for
// the operator; empty otherwise, also when the path cannot be looked at.
QString notRegularText(const QString &path)
{
    return regularfile::refusalText(path, regularfile::kindOf(path).valueOr(regularfile::Kind::Unknown));
}

} // namespace

Result<std::optional<QByteArray>> readSettingsFile(const QString &programDir)
{
    const QString path = settingsPath(programDir);
    const auto refused = [](const QString &text) { return Failure(ErrorKind::FileIo, text); };
    if (const QString notRegular = notRegularText(path); !notRegular.isEmpty())
        return refused(notRegular);
    const Result<int> fd = regularfile::open(path, O_RDONLY);
    if (!fd) {
        // Only something that turned up between the look and the open is told;
        // a missing or unreadable file is the first run's silent case.
        if (const QString late = notRegularText(path); !late.isEmpty())
            return refused(late);
        return std::optional<QByteArray>();
    }
    QFile file;
    if (!file.open(*fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(*fd);
        return std::optional<QByteArray>();
    }
    QByteArray content = file.read(kMaxBytes);
    if (file.error() != QFileDevice::NoError)
        return std::optional<QByteArray>();
    return std::optional<QByteArray>(std::move(content));
}

Status writeSettingsFile(const QString &programDir, const QByteArray &content)
{
    const QString path = settingsPath(programDir);
    const auto failed = [&path](const QString &reason) {
        return Failure(ErrorKind::FileIo, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason));
    };
    // Checked through the links: the save replaces what they lead to, which
    // must be a regular file or nothing yet.
    if (const QString refusal = refusalFor(path); !refusal.isEmpty())
        return Failure(ErrorKind::FileIo, refusal);
    const QString target = saveTarget(path);
    QTemporaryFile file(target + kSaveMarker + QStringLiteral("XXXXXX"));
    if (!file.open())
        return failed(file.errorString());
    // The new file keeps the old one's permissions; a first save gets the
    // usual ones for a new file.
    struct stat old {};
    mode_t mode = 0;
    if (::stat(QFile::encodeName(target).constData(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    // Until the rename the temporary file is removed on any failure and the
    // old one stays. A full disk must not pass as a truncated file, hence the
    // checked flush and sync.
    if (::fchmod(file.handle(), mode) != 0)
        return failed(qt_error_string(errno));
    if (file.write(content) != content.size() || !file.flush())
        return failed(file.errorString());
    if (::fsync(file.handle()) != 0)
        return failed(qt_error_string(errno));
    if (::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        return failed(qt_error_string(errno));
    file.setAutoRemove(false);
    return {};
}

int removeInterruptedSaves(const QString &programDir)
{
    // A save cut short leaves its temporary file beside the file it replaces:
    // Settings.ini itself, or the file a symbolic Settings.ini leads to. Only
    // a regular file with the save's marker, owned by this user, is removed.
    const QString path = settingsPath(programDir);
    QList<QFileInfo> savedFiles{QFileInfo(path)};
    if (regularfile::isSymbolicLink(path))
        savedFiles << QFileInfo(saveTarget(path));
    int removed = 0;
    for (const QFileInfo &saved : savedFiles) {
        const QRegularExpression leftover(QRegularExpression::anchoredPattern(
                QRegularExpression::escape(saved.fileName() + kSaveMarker) + QStringLiteral("[A-Za-z0-9]{6}")));
        const QDir dir = saved.absoluteDir();
        const QStringList names = dir.entryList({saved.fileName() + kSaveMarker + QStringLiteral("*")},
                                                QDir::Files | QDir::Hidden | QDir::System);
        for (const QString &name : names) {
            const QString leftoverPath = dir.filePath(name);
            struct stat info {};
            if (!leftover.match(name).hasMatch()
                || ::lstat(QFile::encodeName(leftoverPath).constData(), &info) != 0
                || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
                continue;
            if (QFile::remove(leftoverPath))
                ++removed;
        }
    }
    return removed;
}

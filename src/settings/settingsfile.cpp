#include "settings/settingsfile.h"

#include "platform/regularfile.h"
#include "settings/settingscodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

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
    QString error;
    const regularfile::Kind kind = regularfile::kindOf(path, &error);
    if (kind == regularfile::Kind::Unknown)
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), error);
    return regularfile::refusalText(path, kind);
}

} // namespace

std::optional<QByteArray> readSettingsFile(const QString &programDir, QString *refusal)
{
    const QString path = settingsPath(programDir);
    if (refusal)
        refusal->clear();
    const QString notRegular = regularfile::refusalText(path, regularfile::kindOf(path));
    if (!notRegular.isEmpty()) {
        if (refusal)
            *refusal = notRegular;
        return std::nullopt;
    }
    const regularfile::Opened opened = regularfile::open(path, O_RDONLY);
    if (opened.fd < 0) {
        // Only something that turned up between the look and the open is told;
        // a missing or unreadable file is the first run's silent case.
        const QString late = regularfile::refusalText(path, regularfile::kindOf(path));
        if (refusal)
            *refusal = late;
        return std::nullopt;
    }
    QFile file;
    if (!file.open(opened.fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(opened.fd);
        return std::nullopt;
    }
    QByteArray content = file.read(kMaxBytes);
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return content;
}

bool writeSettingsFile(const QString &programDir, const QByteArray &content, QString *reason)
{
    const QString path = settingsPath(programDir);
    // Checked through the links: the save replaces what they lead to, which
    // must be a regular file or nothing yet.
    if (const QString refusal = refusalFor(path); !refusal.isEmpty()) {
        if (reason)
            *reason = refusal;
        return false;
    }
    const QString target = saveTarget(path);
    QTemporaryFile file(target + kSaveMarker + QStringLiteral("XXXXXX"));
    if (!file.open())
        return false;
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
    if (::fchmod(file.handle(), mode) != 0 || file.write(content) != content.size() || !file.flush()
        || ::fsync(file.handle()) != 0)
        return false;
    if (::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        return false;
    file.setAutoRemove(false);
    return true;
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

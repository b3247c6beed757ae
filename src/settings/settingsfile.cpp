#include "settings/settingsfile.h"

#include "platform/regularfile.h"
#include "settings/settingscodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <fcntl.h>
#include <unistd.h>

namespace {
// Eleven short lines; anything past this is not a settings file worth reading
// whole.
constexpr qint64 kMaxBytes = 1024 * 1024;

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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Without commit() the temporary file is discarded and the old one stays.
    if (file.write(content) != content.size())
        return false;
    // commit() does not look at the outcome of its own final flush, so a full
    // disk would slip through as a truncated file; flush first and check.
    if (!file.flush())
        return false;
    return file.commit();
}

int removeInterruptedSaves(const QString &programDir)
{
    // A save leaves "<name>.XXXXXX" beside the file it replaces: Settings.ini
    // itself, or the file a symbolic Settings.ini leads to.
    const QString path = settingsPath(programDir);
    QList<QFileInfo> savedFiles{QFileInfo(path)};
    if (regularfile::isSymbolicLink(path)) {
        const QString target = QFileInfo(path).canonicalFilePath();
        if (!target.isEmpty())
            savedFiles << QFileInfo(target);
    }
    int removed = 0;
    for (const QFileInfo &saved : savedFiles) {
        const QRegularExpression leftover(QRegularExpression::anchoredPattern(
                QRegularExpression::escape(saved.fileName()) + QStringLiteral("\\.[A-Za-z0-9]{6}")));
        const QDir dir = saved.absoluteDir();
        const QStringList names = dir.entryList({saved.fileName() + QStringLiteral(".*")},
                                                QDir::Files | QDir::Hidden | QDir::System);
        for (const QString &name : names) {
            const QString leftoverPath = dir.filePath(name);
            if (!leftover.match(name).hasMatch() || regularfile::isSymbolicLink(leftoverPath)
                || regularfile::kindOf(leftoverPath) != regularfile::Kind::Regular)
                continue;
            if (QFile::remove(leftoverPath))
                ++removed;
        }
    }
    return removed;
}

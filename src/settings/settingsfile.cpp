#include "settings/settingsfile.h"

#include "settings/settingscodec.h"

#include <QFile>
#include <QSaveFile>

namespace {
// Eleven short lines; anything past this is not a settings file worth reading
// whole.
constexpr qint64 kMaxBytes = 1024 * 1024;
} // namespace

std::optional<QByteArray> readSettingsFile(const QString &programDir)
{
    QFile file(settingsPath(programDir));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray content = file.read(kMaxBytes);
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return content;
}

bool writeSettingsFile(const QString &programDir, const QByteArray &content)
{
    QSaveFile file(settingsPath(programDir));
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

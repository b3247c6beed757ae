#include "settings/optionsfile.h"

#include "settings/settingsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {
struct OptionsFileTexts
{
    Q_DECLARE_TR_FUNCTIONS(SetupFiles)
};
} // namespace

QString optionsFileRefusal(const QFileInfo &info)
{
    if (!info.exists())
        return QString();
    const QString path = QDir::toNativeSeparators(info.filePath());
    if (!info.isFile())
        return OptionsFileTexts::tr("%1 is not a regular file").arg(path);
    // Reading or rewriting a file far larger than any options file would hold
    // up the window for seconds.
    if (info.size() > kMaxSetupFileBytes)
        return OptionsFileTexts::tr("%1 is larger than %2 MB").arg(path).arg(kMaxSetupFileBytes / (1024 * 1024));
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return OptionsFileTexts::tr("%1 cannot be read (%2)").arg(path, file.errorString());
    // QSettings reads binary data as keys of garbage and finds none it knows.
    if (file.read(kMaxSetupFileBytes).contains('\0'))
        return OptionsFileTexts::tr("%1 is not a text file").arg(path);
    return QString();
}

bool optionsFlag(const QSettings &stored, const QString &key, bool fallback)
{
    const QString text = stored.value(key).toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return fallback;
}

Status saveOptionsFile(const QString &path, const std::function<void(QSettings &)> &write)
{
    // Saving reads the file first to keep what it does not know.
    if (const QString refusal = optionsFileRefusal(QFileInfo(path)); !refusal.isEmpty())
        return Failure(ErrorKind::FileIo, refusal);
    QSettings stored(path, QSettings::IniFormat);
    write(stored);
    stored.sync();
    if (stored.status() != QSettings::NoError)
        return Failure(ErrorKind::FileIo, OptionsFileTexts::tr("Cannot write %1").arg(QDir::toNativeSeparators(path)));
    return {};
}

#include "settings/centralsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

namespace {
// The translation context of the texts this file shows.
struct SetupTexts
{
    Q_DECLARE_TR_FUNCTIONS(SetupFiles)
};
} // namespace

QString centralSettingsPath(const QString &folder)
{
    return QDir(folder).filePath(QString::fromLatin1(kCentralSettingsFileName));
}

CentralSettings loadCentralSettings(const QString &folder)
{
    CentralSettings settings;
    const QString path = centralSettingsPath(folder);
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return settings;
    const QSettings stored(path, QSettings::IniFormat);
    const QString enabled = stored.value(QStringLiteral("Enabled")).toString().trimmed().toLower();
    settings.enabled = enabled == QLatin1String("true") || enabled == QLatin1String("1");
    settings.host = stored.value(QStringLiteral("Host"), settings.host).toString().trimmed();
    bool ok = false;
    const int port = stored.value(QStringLiteral("Port")).toString().trimmed().toInt(&ok);
    if (ok && port > 0 && port < 65536)
        settings.port = port;
    for (auto [key, target] : {std::pair{"Database", &settings.database}, std::pair{"User", &settings.user},
                               std::pair{"Bench", &settings.bench}}) {
        const QString value = stored.value(QLatin1String(key)).toString().trimmed();
        if (!value.isEmpty())
            *target = value;
    }
    const QString mode = stored.value(QStringLiteral("SslMode")).toString().trimmed().toLower();
    if (sslModes().contains(mode))
        settings.sslMode = mode;
    return settings;
}

bool saveCentralSettings(const QString &folder, const CentralSettings &settings, QString *reason)
{
    const QString path = centralSettingsPath(folder);
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        if (reason)
            *reason = SetupTexts::tr("%1 is not a regular file").arg(QDir::toNativeSeparators(path));
        return false;
    }
    QSettings stored(path, QSettings::IniFormat);
    stored.setValue(QStringLiteral("Enabled"), settings.enabled);
    stored.setValue(QStringLiteral("Host"), settings.host);
    stored.setValue(QStringLiteral("Port"), settings.port);
    stored.setValue(QStringLiteral("Database"), settings.database);
    stored.setValue(QStringLiteral("User"), settings.user);
    stored.setValue(QStringLiteral("Bench"), settings.bench);
    stored.setValue(QStringLiteral("SslMode"), settings.sslMode);
    stored.sync();
    if (stored.status() != QSettings::NoError) {
        if (reason)
            *reason = SetupTexts::tr("Cannot write %1").arg(QDir::toNativeSeparators(path));
        return false;
    }
    return true;
}

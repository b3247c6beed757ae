#include "settings/centralsettings.h"

#include "settings/optionsfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

QString centralSettingsPath(const QString &folder)
{
    return QDir(folder).filePath(QString::fromLatin1(kCentralSettingsFileName));
}

CentralSettings loadCentralSettings(const QString &folder)
{
    CentralSettings settings;
    const QString path = centralSettingsPath(folder);
    const QFileInfo info(path);
    if (!info.isFile() || !optionsFileRefusal(info).isEmpty())
        return settings;
    const QSettings stored(path, QSettings::IniFormat);
    settings.enabled = optionsFlag(stored, QStringLiteral("Enabled"), false);
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

Status saveCentralSettings(const QString &folder, const CentralSettings &settings)
{
    return saveOptionsFile(centralSettingsPath(folder), [&settings](QSettings &stored) {
        stored.setValue(QStringLiteral("Enabled"), settings.enabled);
        stored.setValue(QStringLiteral("Host"), settings.host);
        stored.setValue(QStringLiteral("Port"), settings.port);
        stored.setValue(QStringLiteral("Database"), settings.database);
        stored.setValue(QStringLiteral("User"), settings.user);
        stored.setValue(QStringLiteral("Bench"), settings.bench);
        stored.setValue(QStringLiteral("SslMode"), settings.sslMode);
    });
}

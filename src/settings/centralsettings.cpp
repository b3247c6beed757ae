#include "settings/centralsettings.h"

#include "settings/optionsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

namespace {
struct SettingsTexts
{
    Q_DECLARE_TR_FUNCTIONS(SetupFiles)
};
} // namespace

QString centralSettingsPath(const QString &folder)
{
    return QDir(folder).filePath(QString::fromLatin1(kCentralSettingsFileName));
}

StoredCentralSettings loadCentralSettings(const QString &folder)
{
    StoredCentralSettings stored;
    CentralSettings &settings = stored.settings;
    const QString path = centralSettingsPath(folder);
    const QFileInfo info(path);
    if (!info.exists())
        return stored;
    if (const QString refusal = optionsFileRefusal(info); !refusal.isEmpty()) {
        stored.problem = refusal;
        return stored;
    }
    const QSettings file(path, QSettings::IniFormat);
    QStringList wrong;
    const auto valueOf = [&file](const char *key) { return file.value(QLatin1String(key)).toString().trimmed(); };
    settings.enabled = optionsFlag(file, QStringLiteral("Enabled"), false);
    if (file.contains(QStringLiteral("Enabled")) && optionsFlag(file, QStringLiteral("Enabled"), true) != settings.enabled)
        wrong << SettingsTexts::tr("Enabled \"%1\" is neither true nor false").arg(valueOf("Enabled"));
    settings.host = file.value(QStringLiteral("Host"), settings.host).toString().trimmed();
    if (file.contains(QStringLiteral("Port"))) {
        bool ok = false;
        const int port = valueOf("Port").toInt(&ok);
        if (ok && port > 0 && port < 65536)
            settings.port = port;
        else
            wrong << SettingsTexts::tr("Port \"%1\" is not a port number (1 to 65535)").arg(valueOf("Port"));
    }
    for (auto [key, target] : {std::pair{"Database", &settings.database}, std::pair{"User", &settings.user},
                               std::pair{"Bench", &settings.bench}}) {
        const QString value = valueOf(key);
        if (!value.isEmpty())
            *target = value;
    }
    if (file.contains(QStringLiteral("SslMode"))) {
        const QString mode = valueOf("SslMode").toLower();
        if (sslModes().contains(mode))
            settings.sslMode = mode;
        else
            wrong << SettingsTexts::tr("SslMode \"%1\" is none of %2")
                             .arg(valueOf("SslMode"), sslModes().join(QStringLiteral(", ")));
    }
    if (!wrong.isEmpty())
        stored.problem = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), wrong.join(QStringLiteral("; ")));
    return stored;
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

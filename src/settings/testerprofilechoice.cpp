#include "settings/testerprofilechoice.h"

#include "settings/optionsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {
struct SetupTexts
{
    Q_DECLARE_TR_FUNCTIONS(SetupFiles)
};

const QString kChoiceKey = QStringLiteral("Profile/use");

QString choicePath(const QString &settingsFolder)
{
    return QDir(settingsFolder).filePath(QLatin1String(kTesterProfileFileName));
}

} // namespace

QString profilesFolder(const QString &settingsFolder)
{
    return QDir(settingsFolder).filePath(QLatin1String(kProfilesFolderName));
}

QStringList profileFiles(const QString &settingsFolder)
{
    const QDir folder(profilesFolder(settingsFolder));
    QStringList names;
    for (const QFileInfo &info : folder.entryInfoList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        // A link to a regular file is fine; anything else is left alone.
        if (info.isFile())
            names << info.fileName();
    }
    return names;
}

bool choiceIsFile(const QString &choice)
{
    return choice.endsWith(QLatin1String(".json"), Qt::CaseInsensitive);
}

QString loadProfileChoice(const QString &settingsFolder)
{
    const QFileInfo info(choicePath(settingsFolder));
    if (!info.exists() || !info.isFile() || info.size() > kMaxChoiceFileSize)
        return kDefaultProfileName;
    const QSettings stored(info.filePath(), QSettings::IniFormat);
    const QString choice = stored.value(kChoiceKey).toString().trimmed();
    return choice.isEmpty() ? kDefaultProfileName : choice;
}

Status saveProfileChoice(const QString &settingsFolder, const QString &choice)
{
    return saveOptionsFile(choicePath(settingsFolder),
                           [&choice](QSettings &stored) { stored.setValue(kChoiceKey, choice); });
}

Result<TesterProfile> loadChosenProfile(const QString &settingsFolder, const QString &choice)
{
    if (choiceIsFile(choice)) {
        // Only a plain file name: a choice never leads out of the profiles folder.
        if (choice.contains(QLatin1Char('/')) || choice.contains(QLatin1Char('\\')))
            return Failure(SetupTexts::tr("Tester profile %1: not a file name in %2 (stored in %3).")
                                   .arg(choice, QDir::toNativeSeparators(profilesFolder(settingsFolder)),
                                        QLatin1String(kTesterProfileFileName)));
        return readTesterProfileFile(QDir::toNativeSeparators(QDir(profilesFolder(settingsFolder)).filePath(choice)));
    }
    if (std::optional<TesterProfile> profile = builtInProfile(choice))
        return std::move(*profile);
    QStringList names;
    for (const TesterProfile &profile : builtInProfiles())
        names << profile.name;
    return Failure(SetupTexts::tr("Tester profile \"%1\" (stored in %2) is no built-in profile (%3) "
                                  "and no .json file.")
                           .arg(choice, QLatin1String(kTesterProfileFileName), names.join(QStringLiteral(", "))));
}

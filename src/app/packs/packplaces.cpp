#include "app/packs/packplaces.h"

#include "settings/centralsettings.h"
#include "settings/testerprofilechoice.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
struct PlacesTexts
{
    Q_DECLARE_TR_FUNCTIONS(PackPlaces)
};
} // namespace

PackPlaces PackPlaces::of(const FileLocations &locations)
{
    return PackPlaces{locations.settingsDir, QDir(locations.journalDir).filePath(QStringLiteral("journal.sqlite")),
                      locations.dataDir};
}

PoolSource PackPlaces::journal() const
{
    PoolSource source;
    source.kind = PoolSource::Kind::Journal;
    source.path = journalPath;
    return source;
}

Result<PoolSource> PackPlaces::central() const
{
    const QString path = centralSettingsPath(settingsDir);
    if (!QFileInfo::exists(path))
        return Failure(PlacesTexts::tr("No shared database is set up (%1 is missing; Settings > Central record...).")
                               .arg(QDir::toNativeSeparators(path)));
    const StoredCentralSettings stored = loadCentralSettings(settingsDir);
    if (!stored.problem.isEmpty())
        return Failure(PlacesTexts::tr("The shared database is not set up: %1.").arg(stored.problem));
    PoolSource source;
    source.kind = PoolSource::Kind::Central;
    source.central = stored.settings;
    return source;
}

PoolSource PackPlaces::dataFile(const QString &path, const QString &bench) const
{
    PoolSource source;
    source.kind = PoolSource::Kind::DataFile;
    source.path = path;
    source.bench = bench;
    return source;
}

PackLabel PackPlaces::label() const
{
    PackLabel label;
    label.bench = loadCentralSettings(settingsDir).settings.benchName();
    label.madeBy = qEnvironmentVariable("USER", qEnvironmentVariable("LOGNAME"));
    return label;
}

QStringList PackPlaces::failWords() const
{
    const Result<TesterProfile> profile = loadChosenProfile(settingsDir, loadProfileChoice(settingsDir));
    return profile ? profile->judgement.failWords : QStringList();
}

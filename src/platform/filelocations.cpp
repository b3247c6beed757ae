#include "platform/filelocations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef BIN4870_RELATIVE_DOCDIR
#define BIN4870_RELATIVE_DOCDIR "../share/doc/bin4870"
#endif

namespace {
struct LocationTexts
{
    Q_DECLARE_TR_FUNCTIONS(FileLocations)
};

const QString kReadme = QStringLiteral("readmeE.txt");
const QString kProgramName = QStringLiteral("bin4870");
} // namespace

FileLocations::FileLocations(const QString &programDirectory)
    : programDir(programDirectory), settingsDir(programDirectory), dataDir(programDirectory),
      docDir(programDirectory), journalDir(programDirectory)
{
}

FileLocations FileLocations::choose(const Facts &facts)
{
    if (facts.programDirWritable && !facts.installed)
        return FileLocations(facts.programDir);

    FileLocations locations;
    locations.programDir = facts.programDir;
    locations.perUser = true;
    locations.settingsDir = facts.configDir;
    // A home without a documents folder gets the data files itself rather
    // than a folder it did not ask for.
    locations.dataDir = !facts.documentsDir.isEmpty() && facts.documentsDirExists ? facts.documentsDir
                                                                                   : facts.homeDir;
    locations.docDir = facts.installed ? installedDocDir(facts.programDir) : facts.programDir;
    locations.journalDir = facts.appDataDir.isEmpty() ? facts.configDir : facts.appDataDir;
    return locations;
}

FileLocations FileLocations::detect(const QString &programDir, const QString &configDir)
{
    Facts facts;
    facts.programDir = programDir;
    facts.programDirWritable = QFileInfo(programDir).isWritable();
    facts.installed = QFileInfo::exists(QDir(installedDocDir(programDir)).filePath(kReadme));
    facts.configDir = configDir;
    facts.documentsDir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    facts.documentsDirExists = !facts.documentsDir.isEmpty() && QFileInfo(facts.documentsDir).isDir();
    facts.homeDir = QDir::homePath();
    facts.appDataDir = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).filePath(kProgramName);
    return choose(facts);
}

Status FileLocations::makeSettingsDir() const
{
    const QString shown = QDir::toNativeSeparators(settingsDir);
    if (!perUser) {
        if (!QFileInfo(settingsDir).isDir())
            return Failure(ErrorKind::FileIo, LocationTexts::tr("The folder %1 is missing").arg(shown));
    } else if (!QDir().mkpath(settingsDir)) {
        return Failure(ErrorKind::FileIo, LocationTexts::tr("The folder %1 cannot be created").arg(shown));
    }
    return {};
}

QString programConfigDir()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).filePath(kProgramName);
}

QString installedDocDir(const QString &programDir)
{
    return QDir::cleanPath(QDir(programDir).filePath(QStringLiteral(BIN4870_RELATIVE_DOCDIR)));
}

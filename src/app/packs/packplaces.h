#pragma once

#include "common/result.h"
#include "pack/packstore.h"
#include "pack/poolreader.h"
#include "platform/filelocations.h"

#include <QString>
#include <QStringList>

// What building a pack takes from the program's own files: the journal
// beside the program or in the user's data folder, the shared database of
// Database.ini, the bench's name, the user's, and the fail words of the
// chosen tester profile.
struct PackPlaces
{
    QString settingsDir;
    QString journalPath;
    QString dataDir; // where exported sheets are proposed

    static PackPlaces of(const FileLocations &locations);

    PoolSource journal() const;
    // Fails, naming Database.ini, when no shared database is set up.
    Result<PoolSource> central() const;
    PoolSource dataFile(const QString &path, const QString &bench) const;
    // The bench (Database.ini's, the host name by default) and the user.
    PackLabel label() const;
    // The chosen tester profile's fail words; none when it has none or
    // cannot be read.
    QStringList failWords() const;
};

#pragma once

#include "link/testerprofile.h"

#include <QString>
#include <QStringList>

// Which tester profile the program uses: a built-in profile by its name, or a
// file in the "profiles" folder beside Settings.ini by its file name. The
// choice lives in its own INI file (kTesterProfileFileName), so that
// Settings.ini stays as it is.
inline constexpr const char *kTesterProfileFileName = "TesterProfile.ini";
inline constexpr const char *kProfilesFolderName = "profiles";
// A choice file larger than this is none of the program's.
inline constexpr qint64 kMaxChoiceFileSize = 64 * 1024;

// <settingsFolder>/profiles
QString profilesFolder(const QString &settingsFolder);

// The profile files offered: the names of the regular "*.json" files in the
// profiles folder, sorted.
QStringList profileFiles(const QString &settingsFolder);

// The stored choice; the default profile's name when none is stored or the
// file cannot be read. A stored choice is not checked here: START does that.
QString loadProfileChoice(const QString &settingsFolder);

// Writes the choice; fails with the reason when the file cannot be written.
Status saveProfileChoice(const QString &settingsFolder, const QString &choice);

// A choice names a file when it ends in ".json"; otherwise a built-in profile.
bool choiceIsFile(const QString &choice);

// Reads the chosen profile: a built-in one, or the file checked key by key.
// An unknown built-in name or a file that is missing or wrong fails with the
// reason, naming the file and the key.
Result<TesterProfile> loadChosenProfile(const QString &settingsFolder, const QString &choice);

#pragma once

#include "common/result.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The largest set-up file (Settings.ini, HandsFree.ini) the program reads.
inline constexpr qint64 kMaxSetupFileBytes = 1024 * 1024;

// Settings.ini in the program's folder (settingsPath). Neither call shows
// anything: loading and saving skip what fails and go on. Only a regular file
// (or a symbolic link to one) is read or replaced; a named pipe, a device, a
// socket or a folder at that name is left alone without waiting on it.

// The file's content, or nothing when it is missing or cannot be read (the
// first run's silent case). Something at the name that is not a regular file
// fails (ErrorKind::FileIo) with a text naming the path.
Result<std::optional<QByteArray>> readSettingsFile(const QString &programDir);

// Replaces the file as a whole: the content goes to a temporary file in the
// same folder, which then takes the old file's place. A crash or a full disk
// therefore never leaves a truncated file; on failure the previous file stays
// as it was. A symbolic link is written through to the regular file it leads
// to. Fails (ErrorKind::FileIo) with the reason, naming the path.
Status writeSettingsFile(const QString &programDir, const QByteArray &content);

// Removes the temporary files ("Settings.ini.bin4870-save-" and six letters or
// digits) that a save cut short by a crash or kill left in the program's
// folder, and in the folder a symbolic Settings.ini leads to. Only regular
// files of this user with that name are removed; a file the operator named
// ("Settings.ini.backup") is never touched. Returns how many were removed.
int removeInterruptedSaves(const QString &programDir);

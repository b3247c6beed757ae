#pragma once

#include "common/result.h"

#include <QString>

#include <functional>

class QFileInfo;
class QSettings;

// The small INI files of options kept beside Settings.ini (HandsFree.ini,
// CellId.ini, Database.ini). Each is read and rewritten whole through
// QSettings, so only a regular file of sane size is touched.

// Why the file may be neither read nor replaced: not a regular file, or
// larger than kMaxSetupFileBytes. Empty when it may (a missing file may).
QString optionsFileRefusal(const QFileInfo &info);

// A yes/no option: "true"/"1" or "false"/"0" in any case; anything else
// (a missing key, a typing error) gives fallback.
bool optionsFlag(const QSettings &stored, const QString &key, bool fallback);

// Writes the options through write() and syncs them to the file; fails
// (ErrorKind::FileIo) with the reason when the file is refused or cannot be
// written.
Status saveOptionsFile(const QString &path, const std::function<void(QSettings &)> &write);

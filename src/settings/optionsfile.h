#pragma once

#include "common/result.h"

#include <QString>

#include <functional>

class QFileInfo;
class QSettings;

// The small INI files of options kept beside Settings.ini (HandsFree.ini,
// CellId.ini, Database.ini). Each is read and rewritten whole through
// QSettings, so only a regular file of sane size is touched.

// Why the file may be neither read nor replaced: not a regular file, larger
// than kMaxSetupFileBytes, unreadable, or not text (it holds NUL bytes).
// Empty when it may (a missing file may). A caller whose file is refused
// tells the operator, naming the file: a feature must never go off in
// silence because its options could not be read.
QString optionsFileRefusal(const QFileInfo &info);

// A yes/no option: "true"/"1" or "false"/"0" in any case; anything else
// (a missing key, a typing error) gives fallback.
bool optionsFlag(const QSettings &stored, const QString &key, bool fallback);

// Writes the options through write() and syncs them to the file; fails
// (ErrorKind::FileIo) with the reason when the file is refused or cannot be
// written.
Status saveOptionsFile(const QString &path, const std::function<void(QSettings &)> &write);

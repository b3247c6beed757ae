#pragma once

#include "common/result.h"
#include "record/centralconnection.h"

#include <QString>

// Database.ini: the central record's settings, beside Settings.ini.
inline constexpr const char *kCentralSettingsFileName = "Database.ini";

// <folder>/Database.ini
QString centralSettingsPath(const QString &folder);

// The stored settings; a missing file or key, or a value out of range, gives
// that setting's default (off).
CentralSettings loadCentralSettings(const QString &folder);

// Fails with the reason when the file cannot be written.
Status saveCentralSettings(const QString &folder, const CentralSettings &settings);

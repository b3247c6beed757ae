#pragma once

#include "record/centralconnection.h"

#include <QString>

// Database.ini: the central record's settings, beside Settings.ini.
inline constexpr const char *kCentralSettingsFileName = "Database.ini";

// <folder>/Database.ini
QString centralSettingsPath(const QString &folder);

// The stored settings; a missing file or key, or a value out of range, gives
// that setting's default (off).
CentralSettings loadCentralSettings(const QString &folder);

// false (and *reason set) when the file cannot be written.
bool saveCentralSettings(const QString &folder, const CentralSettings &settings, QString *reason = nullptr);

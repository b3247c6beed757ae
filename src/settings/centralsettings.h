#pragma once

#include "common/result.h"
#include "record/centralconnection.h"

#include <QString>

// Database.ini: the central record's settings, beside Settings.ini.
inline constexpr const char *kCentralSettingsFileName = "Database.ini";

// <folder>/Database.ini
QString centralSettingsPath(const QString &folder);

// The settings as stored, and what is wrong with them: a file that is
// refused whole (optionsFileRefusal(): its settings are then the defaults),
// or values that are no setting (a port outside 1..65535, an unknown TLS
// mode, an Enabled that is neither true nor false: those take their default).
struct StoredCentralSettings
{
    CentralSettings settings;
    // "<path>: Port "abc" is not a port number (1 to 65535)"; empty when the
    // file is missing or all is well. The central record is not started
    // while there is one: a server reached with a guessed setting may be
    // the wrong one.
    QString problem;
};

// A missing file or key gives that setting's default (off).
StoredCentralSettings loadCentralSettings(const QString &folder);

// Fails with the reason when the file cannot be written.
Status saveCentralSettings(const QString &folder, const CentralSettings &settings);

#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Settings.ini in the program's folder (settingsPath). Neither call throws or
// shows anything: loading and saving skip what fails and go on.

// The file's content, or nothing when it is missing or cannot be read.
std::optional<QByteArray> readSettingsFile(const QString &programDir);

// Replaces the file as a whole: the content goes to a temporary file in the
// same folder, which then takes the old file's place. A crash or a full disk
// therefore never leaves a truncated file; on failure the previous file stays
// as it was. Returns false on any failure.
bool writeSettingsFile(const QString &programDir, const QByteArray &content);

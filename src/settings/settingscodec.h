#pragma once

#include <QByteArray>
#include <QString>

#include <array>

// The set-up kept in Settings.ini: eleven lines, one value each, CR LF.
struct StoredSettings
{
    qint16 comPort = 1;
    qint16 modeR = 0;
    std::array<QString, 3> boxesR; // BIN count, first, second parameter
    qint16 modeV = 0;
    std::array<QString, 3> boxesV;
    float left = 0; // window position in twips
    float top = 0;
};

// The window position a file may hold, in twips; a stored edge outside
// 0..kMaxLeft (0..kMaxTop) is read back as 1000 (500).
constexpr float kMaxLeft = 10000;
constexpr float kMaxTop = 5000;

// The eleven written lines: integers and numbers as blank-number-blank (a minus
// sign in place of the leading blank), box texts bare.
QByteArray writeSettings(const StoredSettings &settings);

// Reads the file's content through one 32-bit float holder with each line's
// range check and fallback; box texts come back as the holder's text form.
StoredSettings readSettings(const QByteArray &content);

// Text form of a float: shortest decimal with at most 7 significant digits,
// "-" for negatives, no leading blank, "." only when there is a fraction.
QString singleToText(float value);

// <programDir>/Settings.ini
QString settingsPath(const QString &programDir);

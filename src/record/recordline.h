#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>

// One data-file line: "yyyy/mm/dd,hh:nn:ss,<resistance>,<voltage>" + CR LF,
// the two texts exactly as the tester sent them.
QByteArray recordLine(const QDateTime &timeStamp, const QString &resistanceText,
                      const QString &voltageText);

// <programDir><separator>yyyy-mm-dd.csv
QString defaultDataPath(const QString &programDir, const QDate &today);

// path with ".csv" appended when it holds no "." anywhere.
QString withDefaultExtension(const QString &path);

#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>

// One data-file line: "yyyy/mm/dd,hh:nn:ss,<resistance>,<voltage>" + CR LF,
// the two texts exactly as the tester sent them. With a cell ID (only when the
// options say so) the ID follows as a fifth field:
// "yyyy/mm/dd,hh:nn:ss,<resistance>,<voltage>,<cell ID>" + CR LF. An empty ID
// gives the four-field line.
QByteArray recordLine(const QDateTime &timeStamp, const QString &resistanceText,
                      const QString &voltageText, const QString &cellId = QString());

// <programDir><separator>yyyy-mm-dd.csv
QString defaultDataPath(const QString &programDir, const QDate &today);

// path with ".csv" appended when it holds no "." anywhere.
QString withDefaultExtension(const QString &path);

#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>

// One data-file line: "yyyy/mm/dd,hh:nn:ss,<resistance>,<voltage>" + CR LF,
// the two texts exactly as the tester sent them. A tester that judges the cell
// itself adds its word as a fifth field ("...,<voltage>,PASS"); without a word
// the line has its four fields.
QByteArray recordLine(const QDateTime &timeStamp, const QString &resistanceText,
                      const QString &voltageText, const QString &testerWord = {});

// <programDir><separator>yyyy-mm-dd.csv
QString defaultDataPath(const QString &programDir, const QDate &today);

// path with ".csv" appended when it holds no "." anywhere.
QString withDefaultExtension(const QString &path);

#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>

// One data-file line: "yyyy/mm/dd,hh:nn:ss,<resistance>,<voltage>" + CR LF,
// the two texts exactly as the tester sent them. Further fields follow only
// when there is something to write, in this order:
// - the cell's ID, when cell IDs go to the data file (a non-empty cellId);
// - the tester's own pass/fail word, when its profile reads one.
// So "...,<voltage>,<cell ID>,PASS", "...,<voltage>,<cell ID>",
// "...,<voltage>,PASS", or the four fields alone, byte for byte as always.
QByteArray recordLine(const QDateTime &timeStamp, const QString &resistanceText,
                      const QString &voltageText, const QString &cellId = {}, const QString &testerWord = {});

// <programDir><separator>yyyy-mm-dd.csv
QString defaultDataPath(const QString &programDir, const QDate &today);

// path with ".csv" appended when it holds no "." anywhere.
QString withDefaultExtension(const QString &path);

// The data file of channel n of a bench whose channel 1 writes to path: the
// same name with "-ch<n>" before its extension ("2026-12-07.csv" gives
// "2026-12-07-ch2.csv"); path itself for channel 1. Each channel's cells are
// one stream of their own, and its file keeps the four-field line.
QString channelDataPath(const QString &path, int channel);

#pragma once

#include <QString>
#include <QVector>

// Splits StrSub at strSepa into str, at most 10 pieces (elements 0..9).
// StrSub is consumed: on return it holds the last piece, or the unsplit rest
// when splitting stopped after 10 pieces. Elements not written keep their
// contents. Returns the index of the last element written. An index outside
// str throws AppError(ErrorKind::SubscriptOutOfRange).
qint16 Token(QString &StrSub, QVector<QString> &str, const QString &strSepa);

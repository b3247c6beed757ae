#pragma once

#include "common/result.h"

#include <QString>
#include <QVector>

// Splits text at separator into pieces, at most 10 (elements 0..9). text is
// consumed: on return it holds the last piece, or the unsplit rest when
// splitting stopped after 10 pieces. Elements not written keep their contents.
// Returns the index of the last element written. An index outside pieces
// fails with ErrorKind::SubscriptOutOfRange ("Subscript out of range"), the
// pieces before it written.
Result<qint16> splitFields(QString &text, QVector<QString> &pieces, const QString &separator);

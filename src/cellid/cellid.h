#pragma once

#include <QRegularExpression>
#include <QString>

#include <optional>

// A cell's ID as it goes into a record: 1 to kMaxCellIdLength characters from
// printable ASCII (space to "~"), without a comma or a double quote, and not
// starting with "=", "+", "-" or "@". So an ID is always one plain field of the
// data file, needs no quoting, and a spreadsheet opening the file never takes
// it for a formula. Letters beyond ASCII are refused as well: a hand scanner
// set to another keyboard layout types wrong characters, and refusing them
// keeps a misread out of the records.
inline constexpr int kMaxCellIdLength = 64;

// What is wrong with id (blanks around it do not count), or nothing when it
// is a good ID. pattern, when valid and not empty, must match the whole ID.
std::optional<QString> cellIdProblem(const QString &id, const QRegularExpression &pattern = {});

// id without blanks around it.
QString normalisedCellId(const QString &id);

// The pattern of the options, anchored to the whole ID; an empty text gives an
// empty pattern (matches everything). isValid() tells whether it compiles.
QRegularExpression cellIdPattern(const QString &patternText);

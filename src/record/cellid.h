#pragma once

#include <QDateTime>
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

// Tells the keys of a hand scanner from an operator's typing. A scanner types
// a code as a burst of key presses a few milliseconds apart and ends it with
// Enter or Tab; an operator needs well over 50 ms between keys. A burst is
// kScanGap or less between every two keys, from the first character to the
// ending key, with at least kScanMinKeys characters.
class ScanDetector
{
public:
    static constexpr qint64 kScanGapMs = 50;
    static constexpr int kScanMinKeys = 3;

    // A character key was typed at msecs (a monotonic clock).
    void key(qint64 msecs);
    // Enter or Tab at msecs: true when it ends a burst, i.e. a scan. Starts afresh.
    bool ends(qint64 msecs);
    // The field was emptied or its text replaced: forget the keys so far.
    void reset();

private:
    qint64 m_last = -1;
    int m_keys = 0;
    bool m_fast = true;
};

// The ID in text when the scanner frames its codes with a prefix and/or a
// suffix: text without them, or nothing when either one is missing. With no
// prefix and no suffix set every text is returned as it is.
std::optional<QString> unframedScan(const QString &text, const QString &prefix, const QString &suffix);

// The voltage drop per day between a cell's first record and now, in mV/day:
// (vFirst - vNow) / elapsed days, volts in, millivolts out. Nothing when the
// first record is less than minimumRestSecs old (or in the future).
std::optional<double> kValue(double vFirst, const QDateTime &first, double vNow, const QDateTime &now,
                             qint64 minimumRestSecs);

// "OK" or "too high" for a K-value against the limit (mV/day): above the limit
// is too high, the K-value taken to 0.01 mV/day as it is shown.
bool kValueTooHigh(double mvPerDay, double limitMvPerDay);

// "K 1.23 mV/day OK" / "K 4.56 mV/day too high", as the window and the
// history show it.
QString kValueText(double mvPerDay, double limitMvPerDay);

#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

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

#pragma once

#include <QDateTime>
#include <QString>

// Number patterns "0", "0.0", "0.0#", "0.0##", "0.0###", "0.0####": "0" before
// the point is the integer part (at least one digit), "0" after it a decimal
// always written, "#" a decimal written only when it is not a trailing zero.
// The value is rounded to the last decimal allowed, halves away from zero,
// judged on the exact binary value. A negative value keeps its "-" when it
// rounds to zero; zero itself, -0.0 included, has no sign. Always writes "."
// as the decimal point.
QString formatNumber(double value, const QString &pattern);

// Date/time patterns built from yyyy, mm, dd, hh, nn, ss and literal separators:
// "yyyy/mm/dd", "yyyy-mm-dd", "hh:nn:ss" (24-hour clock, two digits each).
QString formatDateTime(const QDateTime &when, const QString &pattern);

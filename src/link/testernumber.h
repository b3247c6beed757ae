#pragma once

#include "common/result.h"

#include <QString>

#include <optional>
#include <string_view>

// The tester's numbers: what a reply or record field must look like to be a
// reading, where the tester's overflow marks begin, and how a field becomes the
// value judged against a BIN table. The reply handling, the settle rule, the
// display format and the data-file reader all take these rules from here.

// The quantity a field holds: field 0 of a reply is the resistance, field 1 the voltage.
enum class Quantity {
    Resistance = 0, // sent in ohms, judged in milliohms
    Voltage = 1,    // sent and judged in volts
};

// The tester writes an overflow as a magnitude of 1e9 or more ("OF" on the
// display) and no reading at all (an open circuit) as 1e10 or more ("------").
inline constexpr double kOverflowFrom = 1e9;
inline constexpr double kNoReadingFrom = 1e10;

bool isOverflowMark(double value);
bool isNoReadingMark(double value);

// The value of a field that is wholly a number in the tester's notation:
// [blanks] [sign] digits [. digits] (or . digits) [E|e|D|d [sign] digits]
// [blanks], where blanks are spaces, tabs, CR, LF, VT and FF. nullopt for
// anything else: an error text ("ERR", "OVER"), an empty field, a number
// followed by other characters. The value is that of the program's
// text-to-number rule; it may be infinite for an exponent beyond a double.
std::optional<double> testerNumber(std::string_view field);
std::optional<double> testerNumber(const QString &field);

// A field's value in its table's unit (ohms x 1000, volts as they are),
// rounded to a 32-bit float. Fails with ErrorKind::Overflow when the result
// leaves the float range.
Result<float> judgedValue(double value, Quantity quantity);

// The value a reply field is judged as, or nullopt when the field is no
// reading: not wholly a number, or a value that leaves the float range.
std::optional<float> readingValueOf(const QString &field, Quantity quantity);

// A number in the tester's notation: an engineering mantissa with five
// significant digits, a capital E and a signed exponent that is a multiple of
// three, e.g. 23.456E-3 or 3.9876E+0. 0 (and what is no number) is 0.0000E+0.
QString testerNotation(double value);

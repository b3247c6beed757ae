#pragma once

#include "bins/processstats.h"
#include "common/result.h"

#include <QString>

#include <optional>

// The engineer's specification limits, kept in their own INI file beside
// Settings.ini (kSpecificationFileName), resistance in mOhm and voltage in V,
// "." as the decimal point; a key left out or empty is not given:
//
//   [Resistance]
//   LSL=25
//   USL=45
//   Target=35
//   [Voltage]
//   LSL=3.5
//   USL=3.7
//
// A quantity without LSL and USL is judged against the outer BIN limits.
inline constexpr const char *kSpecificationFileName = "Specification.ini";

// <folder>/Specification.ini
QString specificationPath(const QString &folder);

// A limit as typed: empty for none, else a finite number with "." as the
// decimal point. A failure's text names `label` and says what is wrong.
Result<std::optional<double>> parseSpecLimit(const QString &text, const QString &label);
// The text parseSpecLimit reads back to the same number; empty for none.
QString specLimitText(const std::optional<double> &value);

// The stored specification; a missing file gives none (the BIN limits serve).
// A file that is refused or cannot be read, a value that is no number, or
// limits that contradict each other fail with a text that names the file and
// what is wrong; the caller then judges against the BIN limits and says so.
Result<spc::Specification> loadSpecification(const QString &folder);

// Writes the specification (a quantity given nothing leaves its keys empty);
// fails with the reason when the file cannot be written.
Status saveSpecification(const QString &folder, const spc::Specification &specification);

#pragma once

#include "common/result.h"

#include <QString>
#include <QtGlobal>

#include <optional>

// The cell-ID options. They live in their own INI file beside Settings.ini
// (kCellIdFileName), so that Settings.ini stays as it is. Off by default:
// nothing changes for a bench that does not use cell IDs.
struct CellIdOptions
{
    static constexpr qint64 kDefaultRestMinutes = 7 * 24 * 60;
    static constexpr qint64 kMaxRestMinutes = 366 * 24 * 60;
    static constexpr int kMaxFrameLength = 16;

    bool enabled = false;
    // A count without an ID is recorded (with an empty ID) instead of refused.
    bool allowWithoutId = false;
    // A regular expression every ID must match as a whole; empty for none.
    QString pattern;
    // Characters the scanner puts before and after each code; empty for none.
    QString prefix;
    QString suffix;
    // The K-value is shown once the cell's first record is this old.
    qint64 minimumRestMinutes = kDefaultRestMinutes;
    // A K-value above this (mV/day) is "too high".
    double kLimitMvPerDay = 2.0;
    // The data file gets the ID as a fifth field.
    bool writeToDataFile = false;
    // A scan while a cell is on the probes is refused: for lines where the
    // scanner sits before the fixture, so that a late scan never names the
    // cell on the probes.
    bool scanBeforePlacing = false;
    // A reading of an ID with records is held for the operator's word when its
    // resistance differs from the last record's by more than this share (%),
    // or its voltage is higher by more than the tester's resolution and this
    // margin (mV).
    double resistancePercent = 20.0;
    double voltageMarginMv = 5.0;

    bool operator==(const CellIdOptions &other) const;
};

inline constexpr const char *kCellIdFileName = "CellId.ini";

// <folder>/CellId.ini
QString cellIdOptionsPath(const QString &folder);

// The options as stored; a missing file or key, or a value that is unreadable
// or out of bounds, gives that option's default. A file that is there but
// refused (optionsFileRefusal()) fails with the reason: whether IDs were
// required is then unknown, and a caller must not count cells as if they
// were not.
Result<CellIdOptions> loadCellIdOptions(const QString &folder);

// Writes every option; fails with the reason when the file cannot be written.
Status saveCellIdOptions(const QString &folder, const CellIdOptions &options);

// The operator's text for the minimum rest: a number with "d", "h" or "min"
// ("7 d", "12 h", "30 min"; a bare number is days), from one minute to a year.
// The minutes; a failure's text says what is wrong.
Result<qint64> parseRestText(const QString &text);
// The minutes in the largest unit that holds them whole: "7 d", "36 h", "90 min".
QString restText(qint64 minutes);

// The K limit as typed ("." as decimal point), from 0 to 1000 mV/day.
Result<double> parseKLimitText(const QString &text);
QString kLimitText(double mvPerDay);

// The plausibility thresholds as typed ("." as decimal point): the
// resistance share from 1 to 1000 %, the voltage margin from 0 to 1000 mV.
Result<double> parseResistancePercentText(const QString &text);
Result<double> parseVoltageMarginText(const QString &text);
// Either threshold as the dialog and the file show it.
QString thresholdText(double value);

// A pattern, prefix or suffix as the options may hold it; a failure's text
// says what is wrong.
Status checkPattern(const QString &pattern);
Status checkFrame(const QString &label, const QString &frame);

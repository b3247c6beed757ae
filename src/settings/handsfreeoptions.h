#pragma once

#include "common/result.h"
#include "session/settlerule.h"

#include <QString>

#include <array>
#include <optional>

// The hands-free options: auto record with its settle rule, and the sound cue.
// They live in their own INI file beside Settings.ini (kHandsFreeFileName), so
// that Settings.ini stays as it is.
struct HandsFreeOptions
{
    bool autoRecord = false;
    bool sound = false;
    SettleRule rule;

    bool operator==(const HandsFreeOptions &other) const;
};

inline constexpr const char *kHandsFreeFileName = "HandsFree.ini";

// The parameters of the settle rule as the operator edits them, each with its
// bounds and default.
enum class SettleParameter { SettleCount, ResistancePercent, ResistanceFloor, VoltagePercent, VoltageFloor, LiftVolts };

struct SettleParameterInfo
{
    SettleParameter parameter;
    const char *key;   // INI key and the dialog field's role name
    QString label;     // as the dialog and its errors name it
    QString unit;      // "", "%", "mOhm", "mV", "V"
    double minimum;
    double maximum;
    bool whole;        // a whole number
};

const std::array<SettleParameterInfo, 6> &settleParameterInfos();

// The parameter's value in the operator's unit (mOhm, mV, ...), and back.
double parameterValue(const SettleRule &rule, SettleParameter parameter);
void setParameterValue(SettleRule &rule, SettleParameter parameter, double value);

// Reads the operator's text for a parameter ("." as decimal point, blanks
// around allowed) into rule. A failure's text says what is wrong; rule is then
// unchanged.
Status setParameterFromText(const QString &text, SettleParameter parameter, SettleRule &rule);

// Shown in the dialog: the value with no trailing zeros.
QString parameterText(const SettleRule &rule, SettleParameter parameter);

// <folder>/HandsFree.ini
QString handsFreeOptionsPath(const QString &folder);

// The stored options; a missing file or key, or a value that is unreadable or
// out of bounds, gives that option's default. A file larger than
// kMaxSetupFileBytes is not read (nor replaced by a save): that fails with a
// text naming the path, and the defaults serve.
Result<HandsFreeOptions> loadHandsFreeOptions(const QString &folder);

// Writes every option; fails with the reason when the file cannot be written.
// The file is replaced as a whole, never left half-written.
Status saveHandsFreeOptions(const QString &folder, const HandsFreeOptions &options);

#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// The K-value: the voltage a resting cell lost per day since its first record,
//
//     K = (V first - V now) / elapsed days, in mV/day,
//
// with the uncertainty the tester's voltage resolution leaves on it. A
// reading quantised to a step q is off by up to q / 2; the difference of two
// such readings is off by up to (q first + q now) / 2, one step when both
// have the same resolution. That bound, divided by the elapsed days, is the
// uncertainty: conservative, since the rounding errors of the two readings
// rarely both reach their ends in opposite directions, and honest about a
// short rest, where one step of the last digit is a large share of the drop.

// The step of the last digit of a voltage as the tester wrote it, in volts:
// "3.7604E+0" -> 0.0001, "+3.6500E+00" -> 0.0001, "23.456E-3" -> 0.000001,
// "3.98" -> 0.01, "4" -> 1. Nothing for a text that is no number.
std::optional<double> voltageResolution(const QString &voltageText);

// How a K-value is judged against its limit.
enum class KVerdict {
    Ok,          // K plus its uncertainty is within the limit
    TooHigh,     // K minus its uncertainty is above the limit
    NotYet,      // the uncertainty is as large as the limit, or K +/- it straddles the limit
    VoltageRose, // the voltage rose by more than the uncertainty: not the same cell, or charged
};

struct KEstimate
{
    double mvPerDay = 0;
    double uncertaintyMvPerDay = 0;
    double days = 0;
    KVerdict verdict = KVerdict::NotYet;
};

// K with its uncertainty for a cell that read vFirst volts (with resolution
// qFirst volts) at `first` and reads vNow (qNow) at `now`, judged against
// limitMvPerDay. Nothing when the first record is less than minimumRestSecs
// old, or not older than now (a record dated after now is a clock problem).
std::optional<KEstimate> estimateK(double vFirst, double qFirst, const QDateTime &first, double vNow, double qNow,
                                   const QDateTime &now, qint64 minimumRestSecs, double limitMvPerDay);

// The verdict of K +/- u against the limit (all in mV/day), compared as shown:
// K rounded, u rounded up, both to the decimals kDecimals() gives.
KVerdict judgeK(double mvPerDay, double uncertaintyMvPerDay, double limitMvPerDay);

// Decimals K and its uncertainty are shown with: down to the first significant
// digit of the uncertainty, from 0 to 3.
int kDecimals(double uncertaintyMvPerDay);

// The verdict as the journal and the central database keep it (k_verdict):
// "OK", "too high", "not yet", "voltage rose". Not translated.
QString kVerdictWord(KVerdict verdict);
// k_verdict of a record counted while the cell's history could not be
// looked up and nothing was known of it.
inline constexpr const char *kHistoryNotKnownWord = "history not known";

// The verdict as the operator reads it: "OK", "too high", "not yet: rest
// longer", "implausible: voltage rose (another cell, or charged?)".
QString kVerdictText(KVerdict verdict);
// A stored verdict word as the operator reads it; an unknown word as it is.
QString kVerdictTextOfWord(const QString &word);

// "K 2.1 +/- 0.3 mV/day (7.0 days) OK", as the strip and the notice show it.
QString kEstimateText(const KEstimate &k);
// The same for a record read back: its K, uncertainty and verdict word; a
// record from before uncertainties were kept shows "K 2.00 mV/day OK".
QString kRecordText(double mvPerDay, std::optional<double> uncertaintyMvPerDay, const QString &verdictWord);

// "7.0 days", "5.5 h", "12 min": the rest between two records.
QString restSpanText(double days);

#pragma once

#include "common/result.h"

#include <QString>
#include <QtGlobal>

#include <array>

// How a table's limits are set up; the value is the index of the panel's
// option button and the number kept in Settings.ini.
enum class BinMode : qint16 {
    MaxMin = 0,     // "Max - Min": n equal BINs from min to max
    MinStep = 1,    // "Min - Step": n BINs of width step from min
    RefPercent = 2, // "Ref - %": nested bands of +-percent around ref
};

// One BIN table. Values are in the table's unit (milliohms or volts);
// percentValue is a percentage.
struct BinTable
{
    BinMode mode = BinMode::MaxMin;
    qint16 numBins = 0;
    float maxValue = 0;
    float minValue = 0;
    float stepValue = 0;
    float refValue = 0;
    float percentValue = 0;
    std::array<float, 10> upperLimit{};
    std::array<float, 10> lowerLimit{};
    std::array<qint16, 10> binCount{}; // 0..8 BIN 1..9, 9 OUT
    qint16 totalCount = 0;

    bool operator==(const BinTable &other) const;
};

// Recomputes the limits from mode, numBins and the mode's parameters; rows from
// numBins up to 8 get 0.0, row 9 is never touched. Computed in double, stored as
// float. Fails with ErrorKind::Overflow when a width or limit leaves the float
// range (rows already computed keep their new limits) and with
// ErrorKind::SubscriptOutOfRange when numBins exceeds the arrays.
Status calcBinLimits(BinTable &table);

// binCount 0..9 and totalCount to 0.
void clrBinCount(BinTable &table);

// Mode read-out of a panel's three option buttons: the index of the first
// selected one in index order, "Max - Min" when none is selected.
BinMode binModeFromButtons(bool selected0, bool selected1, bool selected2);

// The mode a number kept in Settings.ini stands for; "Max - Min" for a number
// outside 0..2.
BinMode binModeFromNumber(int number);

// The BINs in use as "1: 15.0-24.0, 2: 24.0-30.0" with format's limit texts,
// and the counts as "1: 17, 2: 0, out: 3", for the log.
QString describeLimits(const BinTable &table, QString (*format)(float));
QString describeCounts(const BinTable &table);

// Limit texts of the resistance and voltage panels.
QString getFormatR(float value);
QString getFormatV(float value);

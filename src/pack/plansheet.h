#pragma once

#include "common/result.h"
#include "pack/packplan.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// What the build sheet shows and its PDF and CSV keep: the plan, where its
// cells came from and what was left out, and the pack's name once saved.
struct PlanSheet
{
    Plan plan;
    QString source;              // PoolSource::description()
    QStringList poolLines;       // PoolReport::lines()
    QStringList capacityLines;   // the capacity file and its problems, row by row
    std::vector<WindowTradeRow> trade;
    QString packName;            // empty until saved
    QDateTime made;

    // "Seed 1, bin4870 pack plan 1, input 3f2a...": what gives the plan again.
    QString identityLine() const;
    // What narrowing or widening the group window does, a line per window.
    QStringList tradeLines() const;
};

// The number of a quantity as the sheet shows it: "25.123 mOhm" style
// figures with the given decimals.
QString milliOhmText(double ohm, int decimals = 3);

// The plan as CSV, one line per cell (CR LF): group, position, cell_id,
// resistance_ohm and voltage_v as the tester sent them, capacity_mah as the
// capacity file gave it (empty without), the group's parallel resistance in
// ohms and its capacity, the record planned with (UUID, bench, time).
QByteArray planCsv(const PlanSheet &sheet);

// Writes planCsv() to path: whole or not at all, and only over a regular
// file (through links, the file they lead to) or nothing. Fails with the
// reason (ErrorKind::FileIo).
Status writePlanCsv(const PlanSheet &sheet, const QString &path);

// A pack's shape as the user writes it, "14s40p" (any case, blanks around it
// allowed): S groups in series of P cells in parallel, both from 1. Fails
// saying what a shape looks like.
Result<std::pair<int, int>> parsePackShape(const QString &text);

// A group window as the user writes it: a number above 0 with "%" (of the
// group's mean resistance) or "mOhm" ("5 %", "0.5mOhm"; "," or "." as the
// decimal mark). Fails saying what a window looks like.
Result<std::pair<double, SpreadUnit>> parseGroupWindow(const QString &text);

// A voltage window in volts as the user writes it: a number of at least 0,
// "V" after it allowed ("0.05", "0,05 V").
Result<double> parseVoltageWindow(const QString &text);

// Why a file the user asked for may not be replaced (a named pipe, a device,
// a folder stands there); empty when it may.
QString replaceRefusal(const QString &path);

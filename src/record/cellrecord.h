#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

// One counted cell as every record sink keeps it: the data file, the local
// journal and, through the journal, the central database.
struct CellRecord
{
    QUuid id;                 // made when the cell is counted
    QString bench;            // the bench's name (Database.ini's Bench, the host name by default)
    QDateTime measuredAt;     // local time of the count, with its UTC offset
    QString resistanceText;   // exactly as the tester sent it (ohms)
    QString voltageText;      // exactly as the tester sent it (volts)
    double resistanceOhm = 0;
    double voltageV = 0;
    QString resistanceBin;    // the counted BIN "1".."9", "+Out" or "-Out"
    QString voltageBin;
    QString setupHash;        // the BIN set-up that judged it (BinSetup::hash)
    QString programVersion;
    QString cellId;           // the cell's scanned ID; empty for a cell counted without one
    QString testerWord;       // the tester's own pass/fail word, when its profile reads one
    bool retest = false;      // the ID had records already when this one was counted
    // The voltage drop per day since the ID's first record (mV/day), once that
    // record is old enough, its uncertainty from the tester's voltage
    // resolution, and the limit it was judged against.
    std::optional<double> kValue;
    std::optional<double> kUncertainty;
    double kLimit = 0;
    // Beside a K-value: "OK", "too high", "not yet" (too uncertain for a
    // verdict) or "voltage rose"; without one: empty, or "history not known"
    // when the cell's history could not be looked up and nothing was known.
    QString kVerdict;
    int channel = 1;          // the bench's channel (test head) that measured it, 1 to 4

    // The time stamp as ISO 8601 with milliseconds and the UTC offset
    // ("2026-12-07T16:05:09.123+01:00"), as the journal and the database keep it.
    QString measuredAtText() const;
};

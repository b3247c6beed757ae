#pragma once

#include <QString>

// One BIN set-up as the records refer to it (made by binSetupOf in
// bins/setuphash.h): both tables' mode, parameters and every limit in use, as
// a canonical JSON text, and the SHA-256 of that text (lower-case hex). Equal set-ups give equal texts and hashes; the counters
// play no part.
//
// The text: {"resistance":{...},"voltage":{...}}, each table
// {"bins":n,"lower":[...],"max":x,"min":x,"mode":"Max - Min","percent":x,
//  "ref":x,"step":x,"unit":"mOhm"|"V","upper":[...]}, keys sorted, numbers the
// shortest decimal that reads back as the table's 32-bit float.
struct BinSetup
{
    QString hash;
    QString text;

    bool operator==(const BinSetup &other) const { return hash == other.hash && text == other.text; }
};

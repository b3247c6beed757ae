#pragma once

#include "link/engformat.h"

#include <QString>

#include <array>

// Splits a ":fetch?" reply into the two reading fields and formats them for
// display. The fields keep their values until the next non-empty reply.
class ReadingParser
{
public:
    ReadingParser();

    // Splits reply at "," into the fields. An empty reply changes nothing and
    // returns false. A reply holding more than one line is read as its last
    // non-empty line (the newest reading); no CR or LF ever reaches a field.
    bool parseReading(const QString &reply);

    // 0: resistance text in ohms, 1: voltage text in volts, exactly as received.
    const std::array<QString, 2> &readingFields() const { return m_readingFields; }

    // Display text of field t (0 resistance, 1 voltage).
    QString displayText(int t) const;

    const Units &units() const { return m_units; }

private:
    Units m_units;
    std::array<QString, 2> m_readingFields;
};

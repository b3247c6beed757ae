#pragma once

#include "link/engformat.h"
#include "link/testerprofile.h"

#include <QString>

#include <array>

// Splits the tester's reply into the two reading fields, as the tester's
// profile says, and formats them for display. The fields keep their values
// until the next non-empty reply.
class ReadingParser
{
public:
    ReadingParser();

    // The profile replies are read with; the built-in default until set.
    void setProfile(const TesterProfile &profile) { m_profile = profile; }
    const TesterProfile &profile() const { return m_profile; }

    // Splits reply into the fields (with the default profile: at "," into
    // field 0 and 1). An empty reply changes nothing and returns false. A reply
    // holding more than one line is read as its last non-empty line (the
    // newest reading); no CR or LF ever reaches a field.
    bool parseReading(const QString &reply);

    // 0: resistance text in ohms, 1: voltage text in volts, exactly as received
    // when the profile leaves them in the program's notation.
    const std::array<QString, 2> &readingFields() const { return m_readingFields; }
    // The tester's own pass/fail word of the last reading and what it means;
    // empty and None when the profile reads none.
    const QString &testerWord() const { return m_testerWord; }
    TesterVerdict testerVerdict() const { return m_verdict; }

    // Display text of field t (0 resistance, 1 voltage) as the windows show it
    // (displayEngValue: "57.053 mOhm"); another t throws
    // AppError(ErrorKind::SubscriptOutOfRange).
    QString displayText(int t) const;

    const Units &units() const { return m_units; }

private:
    Units m_units;
    TesterProfile m_profile;
    std::array<QString, 2> m_readingFields;
    QString m_testerWord;
    TesterVerdict m_verdict = TesterVerdict::None;
};

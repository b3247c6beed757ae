#pragma once

#include <QLoggingCategory>

// What an operator or a supervisor may want to look up later, logged through
// Qt's categories (the system journal when the program runs from the desktop).
// A normal run logs nothing; each category can be silenced with
// QT_LOGGING_RULES, e.g. "bin4870.setup.info=false".
Q_DECLARE_LOGGING_CATEGORY(lcLine)     // "bin4870.line": line to the tester lost and back
Q_DECLARE_LOGGING_CATEGORY(lcRecord)   // "bin4870.record": counted cells not saved
Q_DECLARE_LOGGING_CATEGORY(lcCounters) // "bin4870.counters": BIN counters reset
Q_DECLARE_LOGGING_CATEGORY(lcSetup)    // "bin4870.setup": BIN limits changed for a session

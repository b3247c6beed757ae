#include "common/logcategories.h"

Q_LOGGING_CATEGORY(lcLine, "bin4870.line", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRecord, "bin4870.record", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCounters, "bin4870.counters", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSetup, "bin4870.setup", QtInfoMsg)

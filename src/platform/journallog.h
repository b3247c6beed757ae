#pragma once

// Sends the program's own log categories ("bin4870.*") to the system log,
// which the journal keeps, when standard error is no terminal (started from
// the desktop); on a terminal they stay on standard error. Qt's other
// messages keep going where they went. Call once, after the application object
// is made.
void logProgramEventsToJournal();

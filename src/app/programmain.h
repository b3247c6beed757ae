#pragma once

#include <functional>

class FormMain;

// The whole program: builds the serial port, clock, dialogs, BIN tables and
// data file, finds where the user's files live, shows the main window and runs
// until it closes. SIGTERM, SIGINT and SIGHUP close the window as File > Exit
// does. `shown`, when given, is called once the window is shown (a test's
// remote control); the program itself passes nothing. Returns the exit status.
int runProgram(int argc, char **argv, const std::function<void(FormMain &)> &shown = {});

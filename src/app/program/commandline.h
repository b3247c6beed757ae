#pragma once

#include <QString>
#include <QStringList>

// What the program's command line asks for. --help and --version are answered
// before any window (or display) is needed, with --report or --build-pack or
// without; every other run goes on to the report command, the build-pack
// command or the window. Qt's own options
// (-platform, -style, -display, ...) are accepted and left to the application
// object.
struct CommandLine
{
    bool exits = false;  // print `output` and end with `exitCode`
    int exitCode = 0;
    QString output;      // for stdout when exitCode is 0, stderr otherwise
};

// arguments as QCoreApplication::arguments() gives them, the program first.
CommandLine parseCommandLine(const QStringList &arguments);

// The program's name and version as --version prints them: "bin4870 1.2.0".
QString programVersionText();

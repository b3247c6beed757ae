#pragma once

#include "common/result.h"

#include <QString>

// Where the program keeps the files a user keeps: Settings.ini and the COMn
// links (settingsDir), the dated default data file (dataDir), the record
// journal (journalDir), and where it finds its operator's guide readmeE.txt
// (docDir).
//
// A program that runs from a folder it may write to and that was not installed
// (a build tree, a portable copy) keeps everything beside itself. An installed
// program, or one whose folder is read-only, keeps the set-up and the links in
// the user's configuration folder and proposes data files in the user's
// documents folder; its guide lies in the installed documentation folder.
// Nothing is ever written beside an installed program.
struct FileLocations
{
    QString programDir;
    QString settingsDir;
    QString dataDir;
    QString docDir;
    // journal.sqlite: beside the program, or the user's data folder.
    QString journalDir;
    // True when settingsDir is the user's own folder, which may not exist yet.
    bool perUser = false;

    FileLocations() = default;
    // Everything beside the program, as in a build tree. Implicit, so that a
    // program folder alone still describes a portable program.
    FileLocations(const QString &programDirectory); // NOLINT(google-explicit-constructor)

    // What the choice depends on, gathered from the system by detect().
    struct Facts
    {
        QString programDir;
        bool programDirWritable = false;
        bool installed = false;      // the guide lies in the installed documentation folder
        QString configDir;           // the user's configuration folder for this program
        QString documentsDir;        // the user's documents folder, empty when unknown
        bool documentsDirExists = false;
        QString homeDir;
        QString appDataDir;          // the user's data folder for this program
    };
    static FileLocations choose(const Facts &facts);

    // The locations of a program running from programDir. configDir is the
    // program's per-user configuration folder (QStandardPaths'
    // AppConfigLocation of the main program).
    static FileLocations detect(const QString &programDir, const QString &configDir);

    // Creates settingsDir when it is the user's own folder and missing.
    // A portable program's folder is never re-created: it fails when missing.
    Status makeSettingsDir() const;
};

// The per-user configuration folder of the main program, for tools that run
// beside it under another application name: <config home>/bin4870.
QString programConfigDir();

// The installed documentation folder as seen from an installed program's
// folder (<prefix>/bin -> <prefix>/share/doc/bin4870).
QString installedDocDir(const QString &programDir);

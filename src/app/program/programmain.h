#pragma once

#include "app/mainwindow/formmain.h"

#include "bins/bintables.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/filelocations.h"
#include "platform/qtserialport.h"
#include "platform/terminationsignals.h"
#include "record/datafile.h"

#include <QStringList>

class QCoreApplication;
class QLocale;

// Where this program's user files live (names the application "bin4870"
// first, so that the per-user folders are the program's whatever its file is
// called). Needs the Q*Application.
FileLocations detectLocations();

// Loads the translation of the program's texts into the language of locale
// when one is there: bin4870_<language>.qm in <programDir>/translations (a
// build tree, a portable copy) or, installed, in
// <prefix>/share/bin4870/translations; and Qt's own texts (standard buttons,
// file dialogs) from Qt's translations. Under it, for every language, the
// English singular and plural of the texts with a count (bin4870_en.qm), so
// that "%n cell(s)" reads "1 cell", "2 cells" wherever the language's own
// translation has no such text. The translators belong to app. Returns the
// program's translation files loaded, the English forms first; none when
// there are none.
QStringList installTranslations(QCoreApplication &app, const QString &programDir, const QLocale &locale);

// The whole program but its event loop: finds where the user's files live,
// builds the serial port, clock, dialogs, BIN tables and data file, and shows
// the main window, which ends the program when it closes. SIGTERM, SIGINT and
// SIGHUP close the window as File > Exit does. Made once in main() after the
// QApplication and destroyed before it; main() runs the event loop.
class Program
{
public:
    Program();

    FormMain &window() { return m_window; }

private:
    // Members are destroyed in reverse order: the window goes first, while
    // everything it works with still exists.
    FileLocations m_locations;
    QtSerialPort m_port;
    SystemClock m_clock;
    QtDialogs m_dialogs;
    BinTables m_binTables;
    DataFile m_dataFile;
    FormMain m_window;
    TerminationSignals m_terminationSignals;
};

#include "programmain.h"

#include "formmain.h"

#include "bins/bintable.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/filelocations.h"
#include "platform/qtserialport.h"
#include "platform/terminationsignals.h"
#include "record/datafile.h"

#include <QApplication>
#include <QStandardPaths>

int runProgram(int argc, char **argv, const std::function<void(FormMain &)> &shown)
{
    QApplication app(argc, argv);
    // The per-user folders are named after the program whatever its file is called.
    QCoreApplication::setApplicationName(QStringLiteral("bin4870"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.bin4870.BIN4870"));
    const FileLocations locations =
        FileLocations::detect(QCoreApplication::applicationDirPath(),
                              QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));

    // Everything the main window works with lives for the whole run and is
    // destroyed after it.
    QtSerialPort port(locations.settingsDir);
    SystemClock clock;
    QtDialogs dialogs;
    BinTable binTableR;
    BinTable binTableV;
    DataFile dataFile;

    FormMain window(port, clock, dialogs, binTableR, binTableV, dataFile, locations);
    // Closing the window ends the program.
    window.setEndsProgram(true);
    dialogs.setParent(&window);

    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &window, [&window] { window.close(); });

    window.show();
    if (shown)
        shown(window);
    return app.exec();
}

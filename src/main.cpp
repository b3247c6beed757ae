#include "app/formmain.h"
#include "bins/bintable.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/qtserialport.h"
#include "record/datafile.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString programDir = QCoreApplication::applicationDirPath();

    // Everything the main window works with lives for the whole run and is
    // destroyed after it.
    QtSerialPort port(programDir);
    SystemClock clock;
    QtDialogs dialogs;
    BinTable binTableR;
    BinTable binTableV;
    DataFile dataFile;

    FormMain window(port, clock, dialogs, binTableR, binTableV, dataFile, programDir);
    // Closing the window ends the program.
    window.setEndsProgram(true);
    dialogs.setParent(&window);
    window.show();
    return app.exec();
}

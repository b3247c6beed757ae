#include "app/program/commandline.h"
#include "app/program/packcommand.h"
#include "app/program/programmain.h"
#include "app/program/reportcommand.h"
#include "common/releasedwork.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLocale>

#include <cstdio>

int main(int argc, char **argv)
{
    {
        // --help and --version are answered before any window, so they need
        // no display; with --report or --build-pack as well, which then write
        // nothing.
        QCoreApplication probe(argc, argv);
        installTranslations(probe, QCoreApplication::applicationDirPath(), QLocale());
        const CommandLine line = parseCommandLine(QCoreApplication::arguments());
        if (line.exits) {
            std::fputs(qPrintable(line.output), line.exitCode == 0 ? stdout : stderr);
            return line.exitCode;
        }
    }
    if (isReportCommand(argc, argv))
        return runReportCommand(argc, argv);
    if (isBuildPackCommand(argc, argv))
        return runBuildPackCommand(argc, argv);
    QApplication app(argc, argv);
    installTranslations(app, QCoreApplication::applicationDirPath(), QLocale());
    int status = 0;
    {
        Program program;
        status = app.exec();
    }
    // The window is gone. Work still finishing a statement gets a short while
    // to close its connection; one held by a server that hangs is cut off by
    // the process's end.
    ReleasedWork::finish(QDeadlineTimer(2000));
    return status;
}

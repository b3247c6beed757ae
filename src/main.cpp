#include "app/program/commandline.h"
#include "app/program/programmain.h"
#include "app/program/reportcommand.h"

#include <QApplication>
#include <QLocale>

#include <cstdio>

int main(int argc, char **argv)
{
    {
        // --help and --version are answered before any window, so they need
        // no display; with --report as well, which then writes nothing.
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
    QApplication app(argc, argv);
    installTranslations(app, QCoreApplication::applicationDirPath(), QLocale());
    Program program;
    return app.exec();
}

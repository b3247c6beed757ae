#include "app/programmain.h"
#include "app/reportcommand.h"

#include <QApplication>

int main(int argc, char **argv)
{
    if (isReportCommand(argc, argv))
        return runReportCommand(argc, argv);
    QApplication app(argc, argv);
    Program program;
    return app.exec();
}

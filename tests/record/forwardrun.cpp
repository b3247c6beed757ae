// record-forward: forwards a journal to a central database and exits once the
// central record is up to date, printing each status. Tests start it as the
// program's forwarding would run, to kill it part-way.
//
//   record-forward JOURNAL SOCKET_FOLDER [PORT]

#include "common/releasedwork.h"
#include "record/forwarder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: record-forward JOURNAL SOCKET_FOLDER [PORT]\n");
        return 2;
    }
    CentralSettings settings;
    settings.enabled = true;
    settings.host = args.at(2);
    settings.port = args.size() > 3 ? args.at(3).toInt() : 5432;
    settings.sslMode = QStringLiteral("disable");
    settings.bench = QStringLiteral("bench-1");
    int status = 0;
    {
        CentralForwarderThread forwarder(args.at(1), settings);
        QObject::connect(&forwarder, &CentralForwarderThread::statusChanged, &app, [](const CentralStatus &status) {
            std::printf("%s\n", qPrintable(status.text()));
            std::fflush(stdout);
            if (status.upToDate())
                QCoreApplication::quit();
        });
        status = app.exec();
    }
    // The forwarder closes its connections before the process ends.
    ReleasedWork::finish(QDeadlineTimer(10000));
    return status;
}

#include "platform/journallog.h"

#include <QString>
#include <QtGlobal>

#include <cstring>
#include <syslog.h>
#include <unistd.h>

namespace {

QtMessageHandler g_previous = nullptr;

int priorityOf(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return LOG_DEBUG;
    case QtInfoMsg:
        return LOG_INFO;
    case QtWarningMsg:
        return LOG_WARNING;
    case QtCriticalMsg:
        return LOG_ERR;
    case QtFatalMsg:
        return LOG_CRIT;
    }
    return LOG_NOTICE;
}

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const char *category = context.category ? context.category : "";
    if (std::strncmp(category, "bin4870.", 8) == 0) {
        ::syslog(priorityOf(type), "%s: %s", category, qUtf8Printable(message));
        return;
    }
    if (g_previous)
        g_previous(type, context, message);
}

} // namespace

void logProgramEventsToJournal()
{
    if (::isatty(STDERR_FILENO))
        return;
    ::openlog("bin4870", LOG_PID, LOG_USER);
    g_previous = qInstallMessageHandler(handleMessage);
}

#include "app/program/commandline.h"

#include "common/version.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

// Options a Qt application takes for itself: known here so that they are not
// refused, hidden from --help.
void acceptQtOptions(QCommandLineParser &parser)
{
    static const char *const kWithValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                             "qwindowgeometry", "qwindowtitle", "qwindowicon", "display",
                                             "style", "stylesheet", "session", "geometry", "title", "name"};
    static const char *const kFlags[] = {"reverse", "nograb", "dograb", "sync", "widgetcount"};
    for (const char *name : kWithValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : kFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

} // namespace

QString programVersionText()
{
    return QStringLiteral("bin4870 %1.%2.%3").arg(version::kMajor).arg(version::kMinor).arg(version::kRevision);
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    // Qt's options come with one dash: -platform, not -p -l -a ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QCoreApplication::translate(
        "CommandLine", "Sorts battery cells into BINs by internal resistance and voltage: drives one to four "
                       "battery testers (the bench's channels) over a serial line, the LAN or USB-TMC, judges each "
                       "reading against two BIN tables, counts the cells the operator keeps and appends one CSV "
                       "line per counted cell to the data file of its channel."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QCoreApplication::translate("CommandLine", "Displays this help and exits."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QCoreApplication::translate("CommandLine", "Displays the version and exits."));
    parser.addOption(help);
    parser.addOption(version);
    // The shift report runs without a window; main() hands such a command line
    // to the report command before it gets here. Listed for --help.
    parser.addOption(QCommandLineOption(
        QStringLiteral("report"),
        QCoreApplication::translate("CommandLine", "Writes the shift report as a PDF file and exits, without a "
                                                   "window."),
        QStringLiteral("FILE.pdf")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("source"),
        QCoreApplication::translate("CommandLine", "With --report: the cells to report, file:PATH (a data file), "
                                                   "journal or central."),
        QStringLiteral("SOURCE")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("bench"), QCoreApplication::translate("CommandLine", "With --report: one bench only."),
        QStringLiteral("NAME")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("from"), QCoreApplication::translate("CommandLine", "With --report: cells from this time on."),
        QStringLiteral("TIME")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("to"), QCoreApplication::translate("CommandLine", "With --report: cells up to this time."),
        QStringLiteral("TIME")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("shift"),
        QCoreApplication::translate("CommandLine", "With --report, instead of --from and --to: the cells of the "
                                                   "current or the previous shift, by the start times of "
                                                   "Shifts.ini (06:00, 14:00, 22:00 unless set)."),
        QStringLiteral("current|previous")));
    acceptQtOptions(parser);

    CommandLine line;
    if (!parser.parse(arguments)) {
        line.exits = true;
        line.exitCode = 2;
        line.output = QStringLiteral("bin4870: %1\n%2\n")
                          .arg(parser.errorText(),
                               QCoreApplication::translate("CommandLine", "Try 'bin4870 --help' for the options."));
        return line;
    }
    if (parser.isSet(help)) {
        line.exits = true;
        line.output = parser.helpText();
    } else if (parser.isSet(version)) {
        line.exits = true;
        line.output = programVersionText() + QLatin1Char('\n');
    } else if (!parser.positionalArguments().isEmpty()) {
        line.exits = true;
        line.exitCode = 2;
        line.output = QStringLiteral("bin4870: %1 '%2'\n")
                          .arg(QCoreApplication::translate("CommandLine", "Unexpected argument"),
                               parser.positionalArguments().first());
    }
    return line;
}

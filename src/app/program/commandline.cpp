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
        "CommandLine", "Sorts battery cells into BINs by internal resistance and voltage: drives a battery "
                       "tester over a serial line, judges each reading against two BIN tables, counts the cells "
                       "the operator keeps and appends one CSV line per counted cell to the data file."));
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
        QStringLiteral("build-pack"),
        QCoreApplication::translate("CommandLine", "Plans a pack of this shape (e.g. 14s40p) from the cells with IDs, "
                                                   "writes its build sheet (--out) and exits, without a window."),
        QStringLiteral("SHAPE")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("source"),
        QCoreApplication::translate("CommandLine", "With --report or --build-pack: the cells, file:PATH (a data "
                                                   "file; for a pack its fifth field is the cell ID), journal or "
                                                   "central. --build-pack reads the journal when none is named."),
        QStringLiteral("SOURCE")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("bench"),
        QCoreApplication::translate("CommandLine", "With --report: one bench only; with --build-pack: the cells "
                                                   "last measured at this bench."),
        QStringLiteral("NAME")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("from"),
        QCoreApplication::translate("CommandLine", "With --report or --build-pack: cells from this time on."),
        QStringLiteral("TIME")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("to"),
        QCoreApplication::translate("CommandLine", "With --report or --build-pack: cells up to this time."),
        QStringLiteral("TIME")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("shift"),
        QCoreApplication::translate("CommandLine", "With --report, instead of --from and --to: the cells of the "
                                                   "current or the previous shift, by the start times of "
                                                   "Shifts.ini (06:00, 14:00, 22:00 unless set)."),
        QStringLiteral("current|previous")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("out"),
        QCoreApplication::translate("CommandLine", "With --build-pack: the build sheet to write, a .pdf or a .csv "
                                                   "file."),
        QStringLiteral("FILE")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("capacity"),
        QCoreApplication::translate("CommandLine", "With --build-pack: a capacity file (cell ID and capacity per "
                                                   "row, its columns as CapacityCsv.ini says); the groups' "
                                                   "capacities are balanced too."),
        QStringLiteral("FILE.csv")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("seed"),
        QCoreApplication::translate("CommandLine", "With --build-pack: the plan's seed (1 unless given); the same "
                                                   "cells, settings and seed give the same plan."),
        QStringLiteral("N")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("group-window"),
        QCoreApplication::translate("CommandLine", "With --build-pack: the most the resistances inside a group may "
                                                   "span, in % of its mean or in mOhm (10% unless given)."),
        QStringLiteral("WINDOW")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("voltage-window"),
        QCoreApplication::translate("CommandLine", "With --build-pack: the most the pack's voltages may span, in V "
                                                   "(0.05 unless given)."),
        QStringLiteral("V")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("resistance-bins"),
        QCoreApplication::translate("CommandLine", "With --build-pack: only cells in these resistance BINs, e.g. "
                                                   "2,3,4."),
        QStringLiteral("LIST")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("voltage-bins"),
        QCoreApplication::translate("CommandLine", "With --build-pack: only cells in these voltage BINs."),
        QStringLiteral("LIST")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("k-verdict"),
        QCoreApplication::translate("CommandLine", "With --build-pack: any, not-too-high (the default: a cell whose "
                                                   "K-value is not known yet stays in) or ok."),
        QStringLiteral("VERDICT")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("reserve"),
        QCoreApplication::translate("CommandLine", "With --build-pack and the journal or central: save the plan and "
                                                   "reserve its cells, so that no other pack takes them. Without it "
                                                   "nothing is reserved.")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("name"),
        QCoreApplication::translate("CommandLine", "With --reserve: the pack's name (shape, date and bench unless "
                                                   "given)."),
        QStringLiteral("NAME")));
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

#include "app/program/reportcommand.h"

#include "app/program/programmain.h"
#include "app/quality/shiftreport.h"
#include "bins/binpanellogic.h"
#include "bins/setuptext.h"
#include "bins/shiftanalysis.h"
#include "record/recordline.h"
#include "record/databasesources.h"
#include "record/recordsource.h"
#include "settings/centralsettings.h"
#include "settings/settingscodec.h"
#include "settings/settingsfile.h"
#include "settings/shifttimes.h"
#include "settings/specificationfile.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <cstdio>
#include <memory>
#include <vector>

namespace {
struct CommandTexts
{
    Q_DECLARE_TR_FUNCTIONS(ReportCommand)
};

constexpr int kChartPoints = 4000;

int fail(int code, const QString &message)
{
    std::fprintf(stderr, "bin4870: %s\n", qUtf8Printable(message));
    return code;
}

} // namespace

bool isReportCommand(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--report" || arg.startsWith("--report="))
            return true;
    }
    return false;
}

Result<std::array<BinTable, 2>> binTablesFromSettings(const QString &settingsDir)
{
    std::array<BinTable, 2> tables{};
    const Result<std::optional<QByteArray>> content = readSettingsFile(settingsDir);
    if (!content)
        return content.failure();
    if (!*content)
        return tables;
    const StoredSettings stored = readSettings(**content);
    for (int t = 0; t < 2; ++t) {
        PanelEntries entries;
        entries.modeSelected[std::size_t(binModeFromNumber(t == 0 ? stored.modeR : stored.modeV))] = true;
        const auto &boxes = t == 0 ? stored.boxesR : stored.boxesV;
        entries.binCountText = binCountNeedsCap(boxes[0]) ? QStringLiteral("9") : boxes[0];
        entries.firstText = boxes[1];
        entries.secondText = boxes[2];
        // A refused entry leaves the table as it was (here: empty), as the
        // window's panel does.
        static_cast<void>(updateBinTable(tables[std::size_t(t)], entries, t == 0 ? getFormatR : getFormatV));
    }
    return tables;
}

int runReportCommand(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installTranslations(app, QCoreApplication::applicationDirPath(), QLocale());
    const FileLocations locations = detectLocations();

    QCommandLineParser parser;
    const QCommandLineOption report(QStringLiteral("report"), CommandTexts::tr("Write the shift report to <file.pdf>."),
                                    QStringLiteral("file.pdf"));
    const QCommandLineOption source(QStringLiteral("source"),
                                    CommandTexts::tr("Where the cells come from: file:PATH (default: today's data "
                                                     "file), journal or central."),
                                    QStringLiteral("source"));
    const QCommandLineOption bench(QStringLiteral("bench"), CommandTexts::tr("Only this bench's cells."),
                                   QStringLiteral("name"));
    const QCommandLineOption from(QStringLiteral("from"),
                                  CommandTexts::tr("Cells from this time on: YYYY-MM-DD HH:MM[:SS], YYYY-MM-DD or HH:MM."),
                                  QStringLiteral("time"));
    const QCommandLineOption to(QStringLiteral("to"), CommandTexts::tr("Cells before this time."), QStringLiteral("time"));
    const QCommandLineOption shift(QStringLiteral("shift"),
                                   CommandTexts::tr("The cells of the current or the previous shift (Shifts.ini)."),
                                   QStringLiteral("current|previous"));
    // The specification, per quantity: any of a quantity's three replaces
    // what Specification.ini gives for it.
    const char *const kSpecOptions[2][3] = {{"lsl-r", "usl-r", "target-r"}, {"lsl-v", "usl-v", "target-v"}};
    std::vector<QCommandLineOption> specOptions;
    for (const auto &names : kSpecOptions) {
        for (const char *name : names)
            specOptions.emplace_back(QString::fromLatin1(name), CommandTexts::tr("A specification limit."),
                                     QStringLiteral("value"));
    }
    parser.addOptions({report, source, bench, from, to, shift});
    for (const QCommandLineOption &option : specOptions)
        parser.addOption(option);
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(2, parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return fail(2, CommandTexts::tr("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    const QString pdfPath = parser.value(report);
    if (pdfPath.isEmpty())
        return fail(2, CommandTexts::tr("--report needs the PDF file to write"));

    RecordFilter filter;
    filter.bench = parser.value(bench);
    const QDate today = QDate::currentDate();
    for (const auto &[option, field] : {std::pair{&from, &filter.from}, std::pair{&to, &filter.to}}) {
        if (!parser.isSet(*option))
            continue;
        *field = parseWallClock(parser.value(*option), today);
        if (!*field)
            return fail(2, CommandTexts::tr("--%1: '%2' is no time (YYYY-MM-DD HH:MM[:SS], YYYY-MM-DD or HH:MM)")
                               .arg(option->names().first(), parser.value(*option)));
    }
    if (filter.from && filter.to && *filter.from >= *filter.to)
        return fail(2, CommandTexts::tr("--from must come before --to"));
    if (parser.isSet(shift)) {
        const std::optional<int> back = shiftsBack(parser.value(shift));
        if (!back)
            return fail(2, CommandTexts::tr("--shift: '%1' is neither current nor previous").arg(parser.value(shift)));
        if (parser.isSet(from) || parser.isSet(to))
            return fail(2, CommandTexts::tr("--shift goes without --from and --to"));
        // A damaged Shifts.ini is told, and the usual shifts serve.
        const Result<ShiftTimes> shifts = loadShiftTimes(locations.settingsDir);
        if (!shifts)
            std::fprintf(stderr, "bin4870: %s\n", qUtf8Printable(shifts.errorString()));
        const ShiftSpan span = shiftSpan(shifts.valueOr(ShiftTimes()), wallClockOf(QDateTime::currentDateTime()), *back);
        filter.from = span.from;
        filter.to = span.to;
    }

    Result<spc::Specification> stored = loadSpecification(locations.settingsDir);
    if (!stored)
        return fail(1, CommandTexts::tr("the specification cannot be read: %1").arg(stored.errorString()));
    spc::Specification specification = *stored;
    for (int t = 0; t < 2; ++t) {
        const QCommandLineOption *const options[3] = {&specOptions[std::size_t(3 * t)], &specOptions[std::size_t(3 * t + 1)],
                                                      &specOptions[std::size_t(3 * t + 2)]};
        if (!parser.isSet(*options[0]) && !parser.isSet(*options[1]) && !parser.isSet(*options[2]))
            continue;
        spc::SpecLimits &limits = specification.quantities[std::size_t(t)];
        std::optional<double> *fields[3] = {&limits.lower, &limits.upper, &limits.target};
        for (int f = 0; f < 3; ++f) {
            const QString name = QStringLiteral("--") + options[f]->names().first();
            const Result<std::optional<double>> value =
                    parser.isSet(*options[f]) ? parseSpecLimit(parser.value(*options[f]), name)
                                              : Result<std::optional<double>>(std::optional<double>());
            if (!value)
                return fail(2, value.errorString());
            if (parser.isSet(*options[f]) && !*value)
                return fail(2, CommandTexts::tr("%1 needs a number").arg(name));
            *fields[f] = *value;
        }
        if (const QString problem = spc::specificationProblem(limits); !problem.isEmpty())
            return fail(2, CommandTexts::tr("--%1, --%2, --%3: %4")
                                   .arg(options[0]->names().first(), options[1]->names().first(),
                                        options[2]->names().first(), problem));
    }
    const ProfileInUse profile = profileInUse(locations.settingsDir);

    std::unique_ptr<RecordSource> records;
    const QString sourceText = parser.isSet(source) ? parser.value(source) : QString();
    if (sourceText.isEmpty()) {
        records = std::make_unique<DataFileSource>(defaultDataPath(locations.dataDir, today), QString(),
                                                   profile.testerWords);
    } else if (sourceText.startsWith(QLatin1String("file:")) && sourceText.size() > 5) {
        records = std::make_unique<DataFileSource>(sourceText.mid(5), QString(), profile.testerWords);
    } else if (sourceText == QLatin1String("journal")) {
        auto journal = std::make_unique<JournalSource>(QDir(locations.journalDir).filePath(QStringLiteral("journal.sqlite")));
        if (const Status loaded = journal->load(); !loaded)
            return fail(1, CommandTexts::tr("the record journal cannot be read: %1").arg(loaded.errorString()));
        records = std::move(journal);
    } else if (sourceText == QLatin1String("central")) {
        if (!QFileInfo::exists(centralSettingsPath(locations.settingsDir)))
            return fail(1, CommandTexts::tr("no central database is set up (%1 is missing; Settings > Central record...)")
                               .arg(QDir::toNativeSeparators(centralSettingsPath(locations.settingsDir))));
        const StoredCentralSettings stored = loadCentralSettings(locations.settingsDir);
        if (!stored.problem.isEmpty())
            return fail(1, CommandTexts::tr("the central database is not set up: %1").arg(stored.problem));
        auto central = std::make_unique<CentralSource>(stored.settings);
        if (const Status loaded = central->load(); !loaded)
            return fail(1, CommandTexts::tr("the central database cannot be read: %1").arg(loaded.errorString()));
        records = std::move(central);
    } else {
        return fail(2, CommandTexts::tr("--source: '%1' is none of file:PATH, journal, central").arg(sourceText));
    }
    if (!filter.bench.isEmpty() && !records->benches().contains(filter.bench)) {
        return fail(2, CommandTexts::tr("--bench: '%1' is not in %2 (benches: %3)")
                           .arg(filter.bench, records->description(), records->benches().join(QStringLiteral(", "))));
    }

    const Result<std::array<BinTable, 2>> panels = binTablesFromSettings(locations.settingsDir);
    if (!panels)
        return fail(1, CommandTexts::tr("the BIN set-up cannot be read: %1").arg(panels.errorString()));
    std::array<BinTable, 2> tables = *panels;
    // A journal or the central database keeps the set-up that judged each
    // cell: the latest cell's judges the report, not this computer's panels.
    const Result<std::vector<SetupInForce>> setups = records->setups(filter);
    if (!setups)
        return fail(1, CommandTexts::tr("the BIN set-ups cannot be read: %1").arg(setups.errorString()));
    if (!setups->empty()) {
        const std::optional<std::array<BinTable, 2>> inForce = tablesOfSetupText(setups->back().text);
        if (!inForce)
            return fail(1, CommandTexts::tr("the BIN set-up %1 of the latest cell is missing or unreadable")
                               .arg(setups->back().hash));
        tables = *inForce;
    }

    Result<ShiftAnalysis> analysis = analyseShift(*records, filter, tables[0], tables[1], kChartPoints);
    if (!analysis)
        return fail(1, CommandTexts::tr("the cells cannot be read: %1").arg(analysis.errorString()));
    judgeCapability(*analysis, specification);
    QString error;
    if (!writeShiftReport(*analysis, pdfPath, &error, ReportMaker{QString(), profile.text}))
        return fail(1, CommandTexts::tr("the report cannot be written: %1: %2")
                           .arg(QDir::toNativeSeparators(pdfPath), error));
    if (analysis->summary.count() == 0) {
        // A job that reports each shift learns that this one had no cells.
        std::printf("bin4870: wrote %s: no cells in the range\n", qUtf8Printable(QDir::toNativeSeparators(pdfPath)));
        return kNoCellsExit;
    }
    std::printf("bin4870: wrote %s: %lld cells\n", qUtf8Printable(QDir::toNativeSeparators(pdfPath)),
                static_cast<long long>(analysis->summary.count()));
    return 0;
}

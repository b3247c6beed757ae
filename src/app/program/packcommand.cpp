#include "app/program/packcommand.h"

#include "app/packs/packplaces.h"
#include "app/packs/plansheetpdf.h"
#include "app/program/programmain.h"
#include "pack/capacitycsv.h"
#include "pack/packstore.h"
#include "pack/plansheet.h"
#include "record/recordsource.h"
#include "settings/capacitycsvoptions.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <cstdio>

namespace {
struct PackCommandTexts
{
    Q_DECLARE_TR_FUNCTIONS(PackCommand)
};

int fail(int code, const QString &message)
{
    std::fprintf(stderr, "bin4870: %s\n", qUtf8Printable(message));
    return code;
}

// A wall-clock stamp (RecordReading::stamp) as this computer's local time.
QDateTime localTimeOf(qint64 stamp)
{
    const qint64 days = stamp >= 0 ? stamp / 86400 : (stamp - 86399) / 86400;
    return QDateTime(QDate(1970, 1, 1).addDays(days), QTime(0, 0).addSecs(int(stamp - days * 86400)));
}

QStringList listOf(const QString &text)
{
    QStringList list;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!part.trimmed().isEmpty())
            list << part.trimmed();
    }
    return list;
}

} // namespace

bool isBuildPackCommand(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--build-pack" || arg.startsWith("--build-pack="))
            return true;
    }
    return false;
}

int runBuildPackCommand(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installTranslations(app, QCoreApplication::applicationDirPath(), QLocale());
    const FileLocations locations = detectLocations();
    const PackPlaces places = PackPlaces::of(locations);

    QCommandLineParser parser;
    const auto option = [](const char *name, const QString &description, const char *value = nullptr) {
        return value ? QCommandLineOption(QString::fromLatin1(name), description, QString::fromLatin1(value))
                     : QCommandLineOption(QString::fromLatin1(name), description);
    };
    const QCommandLineOption shapeOption = option("build-pack", PackCommandTexts::tr("The pack's shape, e.g. 14s40p."), "shape");
    const QCommandLineOption out = option("out", PackCommandTexts::tr("The build sheet to write: .pdf or .csv."), "file");
    const QCommandLineOption source = option("source", PackCommandTexts::tr("journal, central or file:PATH."), "source");
    const QCommandLineOption capacity = option("capacity", PackCommandTexts::tr("A capacity file to balance on."), "file.csv");
    const QCommandLineOption seed = option("seed", PackCommandTexts::tr("The plan's seed."), "n");
    const QCommandLineOption bench = option("bench", PackCommandTexts::tr("Only cells last measured at this bench."), "name");
    const QCommandLineOption from = option("from", PackCommandTexts::tr("Cells last measured from this time on."), "time");
    const QCommandLineOption to = option("to", PackCommandTexts::tr("Cells last measured before this time."), "time");
    const QCommandLineOption groupWindow = option("group-window", PackCommandTexts::tr("The in-group window."), "window");
    const QCommandLineOption voltageWindow = option("voltage-window", PackCommandTexts::tr("The voltage window."), "volts");
    const QCommandLineOption rBins = option("resistance-bins", PackCommandTexts::tr("Resistance BINs taken."), "list");
    const QCommandLineOption vBins = option("voltage-bins", PackCommandTexts::tr("Voltage BINs taken."), "list");
    const QCommandLineOption kVerdict = option("k-verdict", PackCommandTexts::tr("any, not-too-high or ok."), "verdict");
    const QCommandLineOption reserve = option("reserve", PackCommandTexts::tr("Save the plan and reserve its cells."));
    const QCommandLineOption name = option("name", PackCommandTexts::tr("The saved pack's name."), "name");
    parser.addOptions({shapeOption, out, source, capacity, seed, bench, from, to, groupWindow, voltageWindow, rBins,
                       vBins, kVerdict, reserve, name});
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(2, parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return fail(2, PackCommandTexts::tr("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    PlanSettings settings;
    const Result<std::pair<int, int>> shape = parsePackShape(parser.value(shapeOption));
    if (!shape)
        return fail(2, QStringLiteral("--build-pack: %1").arg(shape.errorString()));
    settings.series = shape->first;
    settings.parallel = shape->second;
    const QString outPath = parser.value(out);
    const QString ending = QFileInfo(outPath).suffix().toLower();
    if (outPath.isEmpty() || (ending != QLatin1String("pdf") && ending != QLatin1String("csv")))
        return fail(2, PackCommandTexts::tr("--out needs the file to write, ending in .pdf or .csv"));
    if (parser.isSet(seed)) {
        bool ok = false;
        settings.seed = parser.value(seed).toULongLong(&ok);
        if (!ok)
            return fail(2, PackCommandTexts::tr("--seed: '%1' is no whole number from 0 up").arg(parser.value(seed)));
    }
    if (parser.isSet(groupWindow)) {
        const Result<std::pair<double, SpreadUnit>> window = parseGroupWindow(parser.value(groupWindow));
        if (!window)
            return fail(2, QStringLiteral("--group-window: %1").arg(window.errorString()));
        settings.groupWindow = window->first;
        settings.groupWindowUnit = window->second;
    }
    if (parser.isSet(voltageWindow)) {
        const Result<double> window = parseVoltageWindow(parser.value(voltageWindow));
        if (!window)
            return fail(2, QStringLiteral("--voltage-window: %1").arg(window.errorString()));
        settings.voltageWindowV = *window;
    }

    PoolFilter filter;
    filter.failWords = places.failWords();
    const QDate today = QDate::currentDate();
    for (const auto &[opt, field] : {std::pair{&from, &filter.from}, std::pair{&to, &filter.to}}) {
        if (!parser.isSet(*opt))
            continue;
        const std::optional<qint64> stamp = parseWallClock(parser.value(*opt), today);
        if (!stamp)
            return fail(2, PackCommandTexts::tr("--%1: '%2' is no time (YYYY-MM-DD HH:MM[:SS], YYYY-MM-DD or HH:MM)")
                               .arg(opt->names().first(), parser.value(*opt)));
        *field = localTimeOf(*stamp);
    }
    if (filter.from && filter.to && *filter.from >= *filter.to)
        return fail(2, PackCommandTexts::tr("--from must come before --to"));
    if (parser.isSet(bench))
        filter.benches = QStringList{parser.value(bench)};
    filter.resistanceBins = listOf(parser.value(rBins));
    filter.voltageBins = listOf(parser.value(vBins));
    if (parser.isSet(kVerdict)) {
        const QString verdict = parser.value(kVerdict);
        if (verdict == QLatin1String("any"))
            filter.kVerdict = KVerdictFilter::Any;
        else if (verdict == QLatin1String("ok"))
            filter.kVerdict = KVerdictFilter::OkOnly;
        else if (verdict != QLatin1String("not-too-high"))
            return fail(2, PackCommandTexts::tr("--k-verdict: '%1' is none of any, not-too-high, ok").arg(verdict));
    }

    PoolSource pool = places.journal();
    const QString sourceText = parser.value(source);
    if (sourceText.startsWith(QLatin1String("file:")) && sourceText.size() > 5) {
        pool = places.dataFile(sourceText.mid(5), parser.value(bench));
    } else if (sourceText == QLatin1String("central")) {
        const Result<PoolSource> central = places.central();
        if (!central)
            return fail(1, central.errorString());
        pool = *central;
    } else if (!sourceText.isEmpty() && sourceText != QLatin1String("journal")) {
        return fail(2, PackCommandTexts::tr("--source: '%1' is none of journal, central, file:PATH").arg(sourceText));
    }
    if (parser.isSet(reserve) && !pool.keepsPlans())
        return fail(2, PackCommandTexts::tr("--reserve needs --source journal or central: a data file keeps no plans"));
    if (parser.isSet(name) && !parser.isSet(reserve))
        return fail(2, PackCommandTexts::tr("--name goes with --reserve"));

    Result<Pool> read = readPool(pool, filter);
    if (!read)
        return fail(1, PackCommandTexts::tr("the cells cannot be read: %1").arg(read.errorString()));
    PlanSheet sheet;
    sheet.source = pool.description();
    sheet.poolLines = read->report.lines();
    PlanOrigin origin;
    origin.filter = filter;
    if (parser.isSet(capacity)) {
        origin.capacityFile = QFileInfo(parser.value(capacity)).absoluteFilePath();
        const Result<CapacityColumns> columns = loadCapacityColumns(locations.settingsDir);
        if (!columns)
            return fail(1, PackCommandTexts::tr("the capacity file's columns cannot be read: %1").arg(columns.errorString()));
        origin.capacityColumns = *columns;
        const Result<CapacityImport> import =
                readCapacityFile(origin.capacityFile, origin.capacityColumns, read->knownIds);
        if (!import)
            return fail(1, PackCommandTexts::tr("the capacity file cannot be read: %1").arg(import.errorString()));
        for (const CapacityRowProblem &problem : import->problems)
            std::fprintf(stderr, "bin4870: %s\n",
                         qUtf8Printable(PackCommandTexts::tr("%1, row %2: %3")
                                                .arg(QDir::toNativeSeparators(origin.capacityFile))
                                                .arg(problem.row)
                                                .arg(problem.reason)));
        const int given = applyCapacities(read->cells, *import);
        sheet.capacityLines << PackCommandTexts::tr("%1: %n cell(s) of the pool with a capacity", nullptr, given)
                                       .arg(QDir::toNativeSeparators(origin.capacityFile));
        if (!import->problems.empty())
            sheet.capacityLines << PackCommandTexts::tr("%n row(s) gave no capacity", nullptr, int(import->problems.size()));
        settings.balanceCapacity = true;
    }
    const Result<Plan> plan = planPack(read->cells, settings);
    if (!plan)
        return fail(1, PackCommandTexts::tr("no plan: %1").arg(plan.errorString()));
    sheet.plan = *plan;
    sheet.made = QDateTime::currentDateTime();

    PackStore store(pool);
    std::optional<QUuid> saved;
    if (parser.isSet(reserve)) {
        if (const Status opened = store.open(); !opened)
            return fail(1, PackCommandTexts::tr("the plan cannot be saved: %1").arg(opened.errorString()));
        PackLabel label = places.label();
        label.name = parser.value(name);
        const Result<SavedPlan> kept = store.save(*plan, origin, label);
        if (!kept)
            return fail(1, PackCommandTexts::tr("the plan cannot be saved: %1").arg(kept.errorString()));
        if (!kept->saved())
            return fail(1, kept->refusalText());
        saved = kept->pack;
        const Result<StoredPack> stored = store.load(kept->pack);
        sheet.packName = stored ? stored->summary.name : kept->pack.toString(QUuid::WithoutBraces);
    }
    const Status written = ending == QLatin1String("pdf") ? writePlanPdf(sheet, outPath) : writePlanCsv(sheet, outPath);
    if (!written) {
        // A reservation without its sheet would keep cells nobody was told of.
        QString reservation;
        if (saved) {
            const Status released = store.release(*saved);
            reservation = released ? PackCommandTexts::tr(" (the reservation was released)")
                                   : PackCommandTexts::tr(" (pack \"%1\" stays saved: its release failed: %2)")
                                             .arg(sheet.packName, released.errorString());
        }
        return fail(1, PackCommandTexts::tr("the build sheet cannot be written: %1%2")
                               .arg(written.errorString(), reservation));
    }
    const QString shapeText = QStringLiteral("%1s%2p").arg(settings.series).arg(settings.parallel);
    if (saved)
        std::printf("bin4870: wrote %s: %s, pack \"%s\" saved, its %d cells reserved\n",
                    qUtf8Printable(QDir::toNativeSeparators(outPath)), qUtf8Printable(shapeText),
                    qUtf8Printable(sheet.packName), settings.cellCount());
    else
        std::printf("bin4870: wrote %s: %s, %d cells, not reserved\n", qUtf8Printable(QDir::toNativeSeparators(outPath)),
                    qUtf8Printable(shapeText), settings.cellCount());
    return 0;
}

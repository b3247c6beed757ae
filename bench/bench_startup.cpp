// bench_startup: the time from the start of the program to its first painted
// main window, with an empty record journal and with a large one beside it.
//
//   bench_startup [--cells 1000000] [--runs 7]
//
// Each start is a process of its own (this program again, with --child
// FOLDER), so that nothing of an earlier start is warm in it but what the
// system caches. The child builds the main window as the program does, with
// everything beside it in FOLDER (the journal too), shows it and notes its
// first paint, then closes it at once and notes how long closing took (with a
// large journal, the journal's full check is still running then). The large
// journal is made directly with SQL; both journals are read once before the
// first start, and starts with either alternate, so that both meet the same
// caches. Prints every start and the medians.

#include "benchsupport.h"
#include "formmainharness.h"

#include "record/journal.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <optional>

using SteadyClock = std::chrono::steady_clock;

namespace {

const SteadyClock::time_point kMainEntered = SteadyClock::now();

// Notes the first paint of the object it filters.
class FirstPaint : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !at) {
            at = SteadyClock::now();
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }
    std::optional<SteadyClock::time_point> at;
};

// One start: prints "<ms from main()> <ms from process start> <messages>
// <ms to close>".
int runChild(const QString &folder)
{
    int exitCode = 1;
    std::optional<SteadyClock::time_point> closing;
    {
        FormMainHarness program{FileLocations(folder)};
        FirstPaint paint;
        program.window->installEventFilter(&paint);
        program.window->show();
        QTimer::singleShot(std::chrono::seconds(60), qApp, &QCoreApplication::quit);
        QCoreApplication::exec();
        if (paint.at) {
            const double fromMain = std::chrono::duration<double, std::milli>(*paint.at - kMainEntered).count();
            const double fromExec = 1000.0 * secondsSinceExec()
                - std::chrono::duration<double, std::milli>(SteadyClock::now() - *paint.at).count();
            std::printf("%.1f %.1f %lld ", fromMain, fromExec, (long long)program.dialogs.messages.size());
            exitCode = 0;
        }
        closing = SteadyClock::now();
        program.window->close();
    }
    std::printf("%.1f\n", std::chrono::duration<double, std::milli>(SteadyClock::now() - *closing).count());
    return exitCode;
}

// A journal of `cells` counted cells made with SQL in one transaction, on the
// tables the program makes.
bool makeJournal(const QString &path, int cells)
{
    {
        Journal journal(QStringLiteral("make"));
        if (!journal.open(path))
            return false;
    }
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(path);
        QSqlQuery query(db);
        const auto run = [&](const QString &sql) {
            if (ok && !query.exec(sql)) {
                std::fprintf(stderr, "bench_startup: %s\n", qPrintable(query.lastError().text()));
                ok = false;
            }
        };
        ok = db.open();
        run(QStringLiteral("BEGIN"));
        run(QStringLiteral("INSERT INTO bin_setups (hash, setup) VALUES ('setup-1', '{}')"));
        // Cells like a bench's: a UUID, texts as the tester sends them, every
        // second one with a cell ID, all but the last thousand sent.
        run(QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1)"
                " INSERT INTO cells (id, bench, measured_at, resistance_text, voltage_text, resistance_ohm,"
                " voltage_v, resistance_bin, voltage_bin, setup_hash, cell_id, program_version, sent)"
                " SELECT printf('%08x-0000-4000-8000-%012x', i, i), 'bench-1',"
                " strftime('%Y-%m-%dT%H:%M:%f+01:00', '2026-01-01', '+' || (i * 3) || ' seconds'),"
                " printf('%.4E', 0.015 + (i % 450) * 0.0001), printf('%.4E', 3.0 + (i % 120) * 0.01),"
                " 0.015 + (i % 450) * 0.0001, 3.0 + (i % 120) * 0.01, (i % 5) + 1, (i % 4) + 1, 'setup-1',"
                " CASE WHEN i % 2 = 0 THEN 'C-' || (i / 2) END, '1.2.0', i <= %1 - 1000 FROM n")
                    .arg(cells));
        run(QStringLiteral("COMMIT"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return ok;
}

// Reads the file once, so that the first start does not pay for the disk alone.
void readThrough(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    while (!file.read(1 << 20).isEmpty()) {
    }
}

struct Start
{
    double fromMain = 0;
    double fromExec = 0;
    int messages = 0;
    double closing = 0;
};

std::optional<Start> startChild(const QString &folder)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), folder});
    if (!child.waitForFinished(120000) || child.exitCode() != 0) {
        std::fprintf(stderr, "%s", child.readAllStandardError().constData());
        return std::nullopt;
    }
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 4)
        return std::nullopt;
    return Start{fields[0].toDouble(), fields[1].toDouble(), fields[2].toInt(), fields[3].toDouble()};
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args.at(1) == QLatin1String("--child"))
        return runChild(args.at(2));
    const int cells = intArgument(args, QStringLiteral("--cells"), 1000000);
    const int runs = std::max(1, intArgument(args, QStringLiteral("--runs"), 7));

    QTemporaryDir root;
    const QString empty = QDir(root.path()).filePath(QStringLiteral("empty"));
    const QString full = QDir(root.path()).filePath(QStringLiteral("full"));
    QDir().mkpath(empty);
    QDir().mkpath(full);
    QElapsedTimer made;
    made.start();
    if (!makeJournal(QDir(empty).filePath(QStringLiteral("journal.sqlite")), 0)
        || !makeJournal(QDir(full).filePath(QStringLiteral("journal.sqlite")), cells)) {
        std::fprintf(stderr, "bench_startup: the journals could not be made\n");
        return 1;
    }
    const qint64 bytes = QFileInfo(QDir(full).filePath(QStringLiteral("journal.sqlite"))).size();
    std::printf("journal of %d cells: %.1f MB, made in %.1f s\n", cells, double(bytes) / 1e6,
                double(made.elapsed()) / 1000);
    readThrough(QDir(empty).filePath(QStringLiteral("journal.sqlite")));
    readThrough(QDir(full).filePath(QStringLiteral("journal.sqlite")));

    std::vector<double> emptyMain, emptyExec, emptyClose, fullMain, fullExec, fullClose;
    for (int run = 0; run < runs; ++run) {
        for (const QString &folder : {empty, full}) {
            const std::optional<Start> start = startChild(folder);
            if (!start) {
                std::fprintf(stderr, "bench_startup: a start failed\n");
                return 1;
            }
            const bool isEmpty = folder == empty;
            (isEmpty ? emptyMain : fullMain).push_back(start->fromMain);
            (isEmpty ? emptyExec : fullExec).push_back(start->fromExec);
            (isEmpty ? emptyClose : fullClose).push_back(start->closing);
            std::printf("start %d, %s journal: main() -> painted %.1f ms, process start -> painted %.1f ms, "
                        "closed in %.1f ms%s\n",
                        run + 1, isEmpty ? "empty" : "full ", start->fromMain, start->fromExec, start->closing,
                        start->messages > 0 ? ", with a message" : "");
        }
    }
    std::printf("\nmedian of %d starts             main() -> painted   process start -> painted   closing\n", runs);
    std::printf("empty journal                   %10.1f ms       %10.1f ms              %6.1f ms\n",
                percentile(emptyMain, 0.5), percentile(emptyExec, 0.5), percentile(emptyClose, 0.5));
    std::printf("journal of %-7d cells         %10.1f ms       %10.1f ms              %6.1f ms\n", cells,
                percentile(fullMain, 0.5), percentile(fullExec, 0.5), percentile(fullClose, 0.5));
    return 0;
}

// The record path's figures: a counted cell's journal commit on the
// user-interface thread, the forwarding rate into a local PostgreSQL server
// (started by scripts/dev-db.sh in a temporary folder), and the memory of a
// forwarder with a large backlog, and a cell's history looked up by its ID in
// the journal and the server.
//
//   bench_record [--commits 2000] [--backlog 300000] [--memory 1000000] [--lookup 200000]

#include "benchsupport.h"
#include "bintablefixture.h"
#include "devdb.h"

#include "record/centraldatabase.h"
#include "record/forwarder.h"
#include "record/journal.h"
#include "record/recordsinks.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <functional>

namespace {

// Spins the event loop until done() or the limit; false at the limit.
bool waitFor(const std::function<bool()> &done, int seconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > seconds * 1000)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }
    return true;
}

// Fills a journal in bulk, as a bench's backlog of unsent cells; with
// idCells, cell n has the ID "C-<n % idCells>".
bool fill(const QString &path, int cells, const BinSetup &setup, int idCells = 0)
{
    Journal journal(QStringLiteral("fill"));
    if (!journal.open(path))
        return false;
    constexpr int kChunk = 20000;
    for (int done = 0; done < cells; done += kChunk) {
        std::vector<CellRecord> records;
        for (int n = done; n < std::min(cells, done + kChunk); ++n) {
            records.push_back(cellfixtures::record(QStringLiteral("bench-1"), n, setup));
            if (idCells > 0)
                records.back().cellId = QStringLiteral("C-%1").arg(n % idCells);
        }
        if (!journal.appendAll(records, setup))
            return false;
    }
    return true;
}

// The counting path's part: the record value, its set-up hash and the durable
// journal commit, timed per cell.
void commits(const QString &folder, int cells, CentralForwarderThread *forwarder, const char *label)
{
    if (cells <= 0)
        return;
    const QString path = QDir(folder).filePath(QStringLiteral("journal-commits.sqlite"));
    Journal journal(QStringLiteral("commits"));
    if (!journal.open(path))
        return;
    JournalSink sink(journal);
    BinTable r;
    r.numBins = 5;
    r.minValue = 15;
    r.maxValue = 60;
    r = withLimits(r);
    BinTable v;
    v.numBins = 4;
    v.minValue = 3;
    v.maxValue = 4.2f;
    v = withLimits(v);
    std::vector<double> ms;
    for (int n = 0; n < cells; ++n) {
        QElapsedTimer timer;
        timer.start();
        const BinSetup setup = binSetupOf(r, v);
        CellRecord record = cellfixtures::record(QStringLiteral("bench-1"), n, setup);
        if (!sink.keep(record, setup).kept)
            std::printf("  journal write failed at cell %d\n", n);
        if (forwarder)
            forwarder->wake();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
        // Cells come one at a time: let the forwarder's work run between them.
        QCoreApplication::processEvents();
    }
    std::printf("counted cell -> journal commit, %s, %d cells: median %.2f ms, p95 %.2f ms, max %.2f ms\n", label,
                cells, percentile(ms, 0.5), percentile(ms, 0.95), *std::max_element(ms.begin(), ms.end()));
}

// A cell's records by its ID, as the Cell ID field looks them up: in the
// journal on the user-interface thread's connection, and in the server on a
// connection of its own per look-up.
void lookups(const QString &folder, int cells, const DevDatabase &db, const BinSetup &setup)
{
    const QString path = QDir(folder).filePath(QStringLiteral("journal-lookup.sqlite"));
    const int idCells = cells / 2;
    if (cells <= 0 || !fill(path, cells, setup, idCells))
        return;
    {
        CentralForwarderThread forwarder(path, db.settings(QStringLiteral("bench-lookup")));
        if (!waitFor([&] { return forwarder.status().upToDate(); }, 1800))
            std::printf("lookup journal not forwarded\n");
    }
    Journal journal(QStringLiteral("lookup"));
    if (!journal.open(path))
        return;
    std::vector<double> local;
    std::vector<double> central;
    for (int i = 0; i < 200; ++i) {
        const QString id = QStringLiteral("C-%1").arg((i * 7919) % idCells);
        QElapsedTimer timer;
        timer.start();
        const auto found = journal.recordsOfCell(id);
        local.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!found || found->size() != 2)
            std::printf("  journal look-up of %s found the wrong records\n", qPrintable(id));
        if (i % 4 != 0)
            continue;
        timer.restart();
        {
            central::Connection connection(db.settings());
            const Result<std::vector<CellRecord>> records = connection.recordsOfCell(id);
            if (!records || records->size() != 2)
                std::printf("  server look-up of %s failed\n", qPrintable(id));
        }
        central.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("cell history of one ID (2 records) among %d cells: journal median %.2f ms, p95 %.2f ms; server "
                "(connect, query, disconnect) median %.1f ms, p95 %.1f ms\n",
                cells, percentile(local, 0.5), percentile(local, 0.95), percentile(central, 0.5),
                percentile(central, 0.95));
}

// The floor under any durable commit here: a 4 KiB write and fdatasync.
void rawSyncs(const QString &folder, int count)
{
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(QStringLiteral("sync-probe")));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return;
    const std::string block(4096, 'x');
    std::vector<double> ms;
    for (int n = 0; n < count; ++n) {
        QElapsedTimer timer;
        timer.start();
        if (::write(fd, block.data(), block.size()) != ssize_t(block.size()) || ::fdatasync(fd) != 0)
            break;
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    ::close(fd);
    std::printf("4 KiB write + fdatasync in the same folder, %d times: median %.2f ms, p95 %.2f ms\n", count,
                percentile(ms, 0.5), percentile(ms, 0.95));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = app.arguments();
    const int commitCells = intArgument(args, QStringLiteral("--commits"), 2000);
    const int backlog = intArgument(args, QStringLiteral("--backlog"), 300000);
    const int memoryCells = intArgument(args, QStringLiteral("--memory"), 1000000);
    const int lookupCells = intArgument(args, QStringLiteral("--lookup"), 200000);

    QTemporaryDir folder;
    DevDatabase db;
    if (!db.start()) {
        std::fprintf(stderr, "bench_record: the server did not start\n");
        return 1;
    }
    const BinSetup setup = cellfixtures::setup();

    rawSyncs(folder.path(), commitCells / 4);
    commits(folder.path(), commitCells, nullptr, "central record off");
    {
        CentralForwarderThread forwarder(QDir(folder.path()).filePath(QStringLiteral("journal-commits.sqlite")),
                                         db.settings());
        commits(folder.path(), commitCells, &forwarder, "forwarding meanwhile");
        waitFor([&] { return forwarder.status().upToDate(); }, 120);
    }

    if (backlog > 0) {
        const QString path = QDir(folder.path()).filePath(QStringLiteral("journal-backlog.sqlite"));
        if (!fill(path, backlog, setup))
            return 1;
        QElapsedTimer timer;
        timer.start();
        CentralForwarderThread forwarder(path, db.settings(QStringLiteral("bench-backlog")));
        if (!waitFor([&] { return forwarder.status().upToDate(); }, 1800))
            std::printf("backlog not drained\n");
        const double seconds = double(timer.elapsed()) / 1000;
        std::printf("forwarding %d waiting cells into the local server: %.1f s, %.0f cells/s\n", backlog, seconds,
                    backlog / seconds);
    }

    if (memoryCells > 0) {
        const QString path = QDir(folder.path()).filePath(QStringLiteral("journal-memory.sqlite"));
        if (!fill(path, memoryCells, setup))
            return 1;
        // A new session's connections on a journal filled before.
        const qint64 before = residentKiB();
        qint64 peak = before;
        QElapsedTimer timer;
        timer.start();
        CentralForwarderThread forwarder(path, db.settings(QStringLiteral("bench-memory")));
        std::vector<std::pair<qint64, qint64>> samples;
        QElapsedTimer sampled;
        sampled.start();
        waitFor([&] {
            peak = std::max(peak, residentKiB());
            if (sampled.elapsed() >= 30000) {
                samples.emplace_back(forwarder.status().waiting, residentKiB());
                sampled.restart();
            }
            return forwarder.status().upToDate();
        }, 3600);
        std::printf("memory with %d cells waiting: %lld KiB before forwarding, peak %lld KiB while they drained "
                    "(%.0f s)\n", memoryCells, (long long)before, (long long)peak, double(timer.elapsed()) / 1000);
        for (const auto &[waiting, kib] : samples)
            std::printf("  %lld waiting: %lld KiB\n", (long long)waiting, (long long)kib);
    }

    lookups(folder.path(), lookupCells, db, setup);
    return 0;
}

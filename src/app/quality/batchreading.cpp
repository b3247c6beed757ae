#include "app/quality/batchreading.h"

#include "app/quality/controlcharts.h"

#include "bins/bintable.h"
#include "bins/bintables.h"
#include "common/backgroundpool.h"

#include <QDir>
#include <QFileInfo>

namespace {
// More points than this make the scatter plot slow without showing more.
constexpr int kScatterPoints = 2000;
// Reads shorter than this finish too soon for a progress bar to mean anything.
constexpr qint64 kProgressShownFrom = qint64(1) << 20;
} // namespace

BatchReading::BatchReading(const BinTables &binTables, QString path, BackgroundPool &pool, QObject *parent)
    : QObject(parent),
      m_binTables(binTables),
      m_path(std::move(path)),
      m_pool(pool),
      m_readings(std::make_shared<const std::vector<RecordReading>>()),
      m_summary(binTables.resistance(), binTables.voltage()),
      m_plots(batchcharts::preparePlots(*m_readings, m_summary, kScatterPoints))
{
    connect(&m_watcher, &QFutureWatcher<Pass>::finished, this, &BatchReading::onPassFinished);
    connect(&m_watcher, &QFutureWatcher<Pass>::progressValueChanged, this, &BatchReading::progressChanged);
    // New limits judge the whole file again, once a running read has ended; a
    // read the operator cancelled stays cancelled.
    connect(&binTables, &BinTables::limitsChanged, this, [this] {
        if (m_stopped)
            return;
        if (isReading())
            m_appendedWaiting = true;
        else if (limitsChanged())
            reload();
    });
}

BatchReading::~BatchReading()
{
    // The pass reads into its own copies: it only has to stop.
    m_watcher.disconnect(this);
    m_watcher.cancel();
}

void BatchReading::reload()
{
    m_stopped = false;
    m_appendedWaiting = false;
    if (isReading()) {
        // The running read's outcome is dropped and a read from the start
        // follows it; nothing waits for it to stop.
        m_reloadWaiting = true;
        m_watcher.cancel();
        return;
    }
    m_reloadWaiting = false;
    startPass(0, BatchSummary(m_binTables.resistance(), m_binTables.voltage()));
}

void BatchReading::takeAppended()
{
    if (m_stopped)
        return;
    if (isReading()) {
        m_appendedWaiting = true;
        return;
    }
    if (limitsChanged()) {
        reload();
        return;
    }
    startPass(m_offset, m_summary);
}

void BatchReading::cancel()
{
    if (!isReading())
        return;
    m_stopped = true;
    m_appendedWaiting = false;
    m_reloadWaiting = false;
    m_watcher.cancel();
}

bool BatchReading::limitsChanged() const
{
    return !sameLimits(m_summary.table(0), m_binTables.resistance())
        || !sameLimits(m_summary.table(1), m_binTables.voltage());
}

void BatchReading::startPass(qint64 fromOffset, const BatchSummary &base)
{
    const QString path = m_path;
    // Read on only in the file read so far; another one at the path is read
    // from its start.
    const std::optional<regularfile::Identity> readBefore = fromOffset > 0 ? m_fileRead : std::nullopt;
    // A pass from the start judges against fresh copies of the tables.
    const BatchSummary fresh(base.table(0), base.table(1));
    const Readings before = m_readings;
    const RecordFilter range = m_rangeOfPass ? m_rangeOfPass() : RecordFilter{};
    const QStringList words = m_testerWords;
    const qint64 size = QFileInfo(m_path).size();
    Q_EMIT passStarted(size - fromOffset >= kProgressShownFrom);
    m_watcher.setFuture(m_pool.run<Pass>([path, fromOffset, readBefore, base, fresh, before, range, words](
                                                 QPromise<Pass> &promise) {
        promise.setProgressRange(0, kProgressSteps);
        const KeepGoing keepGoing = [&promise] { return !promise.isCanceled(); };
        Pass pass;
        Result<RecordTail> tail = readRecordFile(path, fromOffset, [&promise, &keepGoing](qint64 done, qint64 total) {
            promise.setProgressValue(total > 0 ? int(done * kProgressSteps / total) : kProgressSteps);
            return keepGoing();
        }, readBefore);
        pass.error = tail.errorString();
        if (tail)
            pass.tail = std::move(*tail);
        if (!tail || pass.tail.cancelled) {
            pass.tail.readings = {};
            promise.addResult(std::move(pass));
            return;
        }
        const bool fromStart = pass.tail.startOffset == 0;
        pass.summary = fromStart ? fresh : base;
        for (const RecordReading &reading : pass.tail.readings)
            pass.summary.add(reading);
        if (fromStart) {
            pass.readings = std::make_shared<const std::vector<RecordReading>>(std::move(pass.tail.readings));
        } else {
            auto all = std::make_shared<std::vector<RecordReading>>();
            all->reserve(before->size() + pass.tail.readings.size());
            all->insert(all->end(), before->begin(), before->end());
            all->insert(all->end(), pass.tail.readings.begin(), pass.tail.readings.end());
            pass.readings = std::move(all);
        }
        pass.tail.readings = {};
        if (!keepGoing())
            return;
        pass.plots = batchcharts::preparePlots(*pass.readings, pass.summary, kScatterPoints);
        ReadingsSource source(*pass.readings, tr("Data file %1").arg(QDir::toNativeSeparators(path)),
                              QFileInfo(path).completeBaseName(), path, words);
        source.setKeepGoing(keepGoing);
        // The readings are in memory: only a cancel stops it.
        if (Result<ShiftAnalysis> analysis = analyseShift(source, range, pass.summary.table(0), pass.summary.table(1),
                                                          controlcharts::kWindowPoints, keepGoing))
            pass.analysis = std::move(*analysis);
        promise.addResult(std::move(pass));
    }));
}

void BatchReading::onPassFinished()
{
    if (m_reloadWaiting) {
        m_reloadWaiting = false;
        startPass(0, BatchSummary(m_binTables.resistance(), m_binTables.voltage()));
        return;
    }
    QFuture<Pass> future = m_watcher.future();
    if (future.isCanceled() || future.resultCount() == 0) {
        Q_EMIT passEnded(true, nullptr);
        return;
    }
    // A copy of the handles only: taking the result out would leave the
    // watcher a future that never reports itself finished again.
    const Pass pass = future.result();
    m_readError = pass.error;
    if (!pass.error.isEmpty()) {
        Q_EMIT passEnded(false, nullptr);
        return;
    }
    if (pass.tail.startOffset == 0)
        m_linesNotRead = 0;
    m_readings = pass.readings;
    m_linesNotRead += pass.tail.linesNotRead;
    m_offset = pass.tail.endOffset;
    m_fileRead = pass.tail.file;
    m_summary = pass.summary;
    m_plots = pass.plots;
    Q_EMIT passEnded(false, &pass.analysis);
}

void BatchReading::takeAppendedAskedFor()
{
    if (!m_appendedWaiting)
        return;
    m_appendedWaiting = false;
    takeAppended();
}

#pragma once

#include "app/quality/batchcharts.h"
#include "bins/batchsummary.h"
#include "bins/shiftanalysis.h"
#include "record/recordfilereader.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class BackgroundPool;
class BinTables;

// The quality window's cells of one data file, judged against the current BIN
// limits, read in passes on the window's pool; the file is never changed.
// Each pass works out everything the window shows (BIN summary, plots, and
// the analysis of the range the stability tab asks for), so the
// user-interface thread only draws it. A pass may be cancelled at any time,
// and nothing waits for one: a pass that is no longer wanted ends on its
// thread and its outcome is dropped.
class BatchReading : public QObject
{
    Q_OBJECT
public:
    using Readings = std::shared_ptr<const std::vector<RecordReading>>;
    // The steps of a whole pass, as progressChanged() counts them.
    static constexpr int kProgressSteps = 1000;

    // The two tables are the program-wide ones: their limits are copied at
    // every full read and checked again before every appended read.
    BatchReading(const BinTables &binTables, QString path, BackgroundPool &pool, QObject *parent = nullptr);
    ~BatchReading() override;

    const QString &path() const { return m_path; }
    // The range a pass analyses along with the file, asked when it starts.
    void setRangeOfPass(std::function<RecordFilter()> range) { m_rangeOfPass = std::move(range); }
    // The tester's pass and fail words, which a fifth field may hold instead
    // of a cell ID (see recordCellId).
    void setTesterWords(QStringList words) { m_testerWords = std::move(words); }

    // Reads what was appended since the last read and adds it. When the
    // limits have changed meanwhile, the whole file is judged again; when the
    // file was cut or replaced, it is read again from the start. While a read
    // runs the request waits for it; after cancel() nothing is read until
    // reload().
    void takeAppended();
    // Reads the whole file again with the current limits.
    void reload();
    // Stops a running read; what was read before stays.
    void cancel();
    // Starts the read of what was appended when takeAppended() was asked
    // during the pass that ended, once that pass's outcome is shown.
    void takeAppendedAskedFor();

    bool isReading() const { return m_watcher.isRunning(); }
    bool isStopped() const { return m_stopped; }
    // Why the last pass could not read the file; empty when it could.
    const QString &readError() const { return m_readError; }
    const Readings &readings() const { return m_readings; }
    const BatchSummary &summary() const { return m_summary; }
    const batchcharts::Plots &plots() const { return m_plots; }
    qint64 linesNotRead() const { return m_linesNotRead; }

Q_SIGNALS:
    // A pass has started; showsProgress when it reads enough of the file for
    // a progress bar to mean anything.
    void passStarted(bool showsProgress);
    // How much of the pass is read, in kProgressSteps for the whole.
    void progressChanged(int steps);
    // A pass has ended: cancelled, failed (readError() says why) or, with its
    // analysis of the range, read, and the state above holds its outcome.
    // A read asked for meanwhile waits for takeAppendedAskedFor().
    void passEnded(bool cancelled, const ShiftAnalysis *analysis);

private:
    // What a pass hands back.
    struct Pass
    {
        RecordTail tail; // without its readings, which are in `readings`
        QString error;   // the file could not be opened or read
        Readings readings;
        BatchSummary summary;
        batchcharts::Plots plots;
        ShiftAnalysis analysis;
    };

    bool limitsChanged() const;
    void startPass(qint64 fromOffset, const BatchSummary &base);
    void onPassFinished();

    const BinTables &m_binTables;
    QString m_path;
    BackgroundPool &m_pool;
    std::function<RecordFilter()> m_rangeOfPass;
    QStringList m_testerWords;

    Readings m_readings;
    BatchSummary m_summary;
    batchcharts::Plots m_plots;
    qint64 m_offset = 0;
    qint64 m_linesNotRead = 0;
    std::optional<regularfile::Identity> m_fileRead; // the file m_offset is in
    bool m_appendedWaiting = false;
    bool m_reloadWaiting = false; // a read from the start follows the one being cancelled
    bool m_stopped = false;
    QString m_readError;
    QFutureWatcher<Pass> m_watcher;
};

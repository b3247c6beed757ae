#pragma once

#include "app/quality/batchcharts.h"
#include "app/quality/sourcechoice.h"
#include "bins/batchsummary.h"
#include "bins/shiftanalysis.h"
#include "common/backgroundpool.h"
#include "record/recordfilereader.h"

#include <QDialog>
#include <QString>

#include <vector>

class BatchReading;
class BinTables;
class DistributionTab;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QualityExports;
class StabilityTab;

// The batch window: the records of one data file judged against the current
// BIN limits, as two histograms with the BINs drawn as bands, a scatter plot of
// resistance against voltage coloured by BIN pair, and a table per quantity
// with count, share, mean, spread and range per BIN (DistributionTab). The data
// file stores no BIN, so the window says that the BINs come from the current
// limits. A second tab (StabilityTab) shows the cells' stability (I-MR charts
// with run rules), capability and yield per hour over a chosen time range,
// from the data file, the journal or the shared database, which the shift
// report prints.
//
// The file is read on a worker thread with a progress bar and CANCEL
// (BatchReading); it is never changed. takeAppended() reads only what was
// added since the last read, so the window can follow a running session cell
// by cell. The window's work runs on a pool of its own, and closing never
// waits for it: work still running is cancelled and ends on its thread. It is
// not modal and deletes itself when closed.
class QualityWindow : public QDialog
{
    Q_OBJECT
public:
    using Range = SourceChoice::Range;
    using Source = SourceChoice::Source;

    // The two tables are the program-wide ones: their limits are copied at
    // every full read and checked again before every appended read.
    QualityWindow(const BinTables &binTables, QString path, QWidget *parent = nullptr);
    ~QualityWindow() override;

    const QString &path() const;

    // Reads what was appended to the file since the last read and adds it. When
    // the limits have changed meanwhile, the whole file is judged again; when
    // the file was cut, it is read again from the start. While a read runs the
    // request waits for it; after CANCEL nothing is read until RELOAD.
    void takeAppended();
    // RELOAD: reads the whole file again with the current limits.
    void reload();
    // CANCEL: stops a running read; what was shown before stays.
    void cancelReading();

    bool isReading() const;
    const BatchSummary &summary() const;
    // Control limits, run rules, capability and hourly yield of the cells read.
    const ShiftAnalysis &analysis() const;
    const std::vector<RecordReading> &readings() const;
    qint64 linesNotRead() const;

    // The three plots in one PNG picture / the per-BIN table as CSV. False with
    // the system's reason in *error when the file cannot be written.
    bool savePlots(const QString &path, QString *error) const;
    bool saveTable(const QString &path, QString *error) const;
    // The shift report of the cells shown, as one A4 PDF.
    bool saveReport(const QString &path, QString *error) const;

    // The cells the stability tab takes: all, this shift's (by the shift
    // times of Shifts.ini in the settings folder), today's, the last eight
    // hours' or those from - to (the date-time boxes), by the records' own
    // clock.
    void setRange(Range range);

    // Where the stability tab's cells come from: the data file read here, the
    // bench's journal, or the line's central database (with the line view:
    // one row per bench, summed up by the server).
    // The journal file and the folder of Database.ini.
    void setRecordPlaces(QString journalPath, QString settingsFolder);
    void setSource(Source source);
    // Empty: all benches.
    void setBench(const QString &bench);
    // The line view's rows of the last analysis of the central database.
    const std::vector<BenchFigures> &lineView() const;
    QString sourceError() const;

Q_SIGNALS:
    // The stability tab shows the analysis of the range chosen.
    void analysisShown();
    // The line view shows the shared database's rows of the range chosen,
    // before the charts when they take longer.
    void lineViewShown();
    // A read has ended (finished, cancelled or failed) and the window shows its
    // outcome.
    void readingEnded();

private:
    void buildUi();
    void onPassStarted(bool showsProgress);
    void onPassEnded(bool cancelled, const ShiftAnalysis *analysis);
    void showBatch();
    // The header names what the tab shown shows: the data file with its
    // count of cells and lines not read, or the stability tab's source (the
    // local journal or the shared database) with the bench and its count.
    void showStatus();

    // The reading's and the stability tab's work; nothing waits for it.
    BackgroundPool m_pool;
    BatchReading *m_reading = nullptr;
    QualityExports *m_exports = nullptr;

    QTabWidget *m_tabs = nullptr;
    QLabel *m_bannerLabel = nullptr;
    QLabel *m_statusLabel = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QPushButton *m_reloadButton = nullptr;
    DistributionTab *m_distribution = nullptr;
    StabilityTab *m_stability = nullptr;
};

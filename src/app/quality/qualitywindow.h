#pragma once

#include "app/quality/batchcharts.h"
#include "bins/batchsummary.h"
#include "bins/shiftanalysis.h"
#include "record/recordfilereader.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

class BinTables;
class QChart;
class QChartView;
class QComboBox;
class QDateTimeEdit;
class QFileDialog;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

// The batch window: the records of one data file judged against the current
// BIN limits, as two histograms with the BINs drawn as bands, a scatter plot of
// resistance against voltage coloured by BIN pair, and a table per quantity
// with count, share, mean, spread and range per BIN. The data file stores no
// BIN, so the window says that the BINs come from the current limits. A second
// tab shows the cells' stability (I-MR charts with run rules), capability and
// yield per hour over a chosen time range, which the shift report prints.
//
// Reading runs on a worker thread with a progress bar and CANCEL; the file is
// never changed. takeAppended() reads only what was added since the last read,
// so the window can follow a running session cell by cell. It is not modal and
// deletes itself when closed.
class QualityWindow : public QDialog
{
    Q_OBJECT
public:
    // The two tables are the program-wide ones: their limits are copied at
    // every full read and checked again before every appended read.
    QualityWindow(const BinTables &binTables, QString path, QWidget *parent = nullptr);
    ~QualityWindow() override;

    const QString &path() const { return m_path; }

    // Reads what was appended to the file since the last read and adds it. When
    // the limits have changed meanwhile, the whole file is judged again; when
    // the file was cut, it is read again from the start. While a read runs the
    // request waits for it; after CANCEL nothing is read until RELOAD.
    void takeAppended();
    // RELOAD: reads the whole file again with the current limits.
    void reload();
    // CANCEL: stops a running read; what was shown before stays.
    void cancelReading();

    bool isReading() const { return m_watcher.isRunning(); }
    const BatchSummary &summary() const { return m_summary; }
    // Control limits, run rules, capability and hourly yield of the cells read.
    const ShiftAnalysis &analysis() const { return m_analysis; }
    const std::vector<RecordReading> &readings() const { return *m_readings; }
    qint64 linesNotRead() const { return m_linesNotRead; }

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
    enum class Range { All, ThisShift, Today, LastEightHours, FromTo };
    void setRange(Range range);

    // Where the stability tab's cells come from: the data file read here, the
    // bench's journal, or the line's central database (with the line view:
    // one row per bench, summed up by the server). The databases are read on a
    // worker thread, each pass on a connection of its own.
    enum class Source { DataFile, Journal, Central };
    // The journal file and the folder of Database.ini.
    void setRecordPlaces(QString journalPath, QString settingsFolder);
    void setSource(Source source);
    // Empty: all benches.
    void setBench(const QString &bench);
    // The line view's rows of the last analysis of the central database.
    const std::vector<BenchFigures> &lineView() const { return m_lineView; }
    QString sourceError() const { return m_sourceError; }

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
    using Readings = std::shared_ptr<const std::vector<RecordReading>>;

    // What a read hands back: everything the window shows, worked out on the
    // reading thread so that the user-interface thread only draws it.
    // What a database source's analysis hands back.
    struct SourceView
    {
        ShiftAnalysis analysis;
        std::vector<BenchFigures> line;
        QStringList benches;
        QString error;
        bool lineOnly = false; // the line view, before the analysis
    };

    struct Pass
    {
        RecordTail tail; // without its readings, which are in `readings`
        QString error;   // the file could not be opened or read
        Readings readings;
        BatchSummary summary;
        batchcharts::Plots plots;
        ShiftAnalysis analysis;
    };

    void buildUi();
    void startPass(qint64 fromOffset, const BatchSummary &base);
    void passEnded();
    void showAll();
    void showStatus();
    void describeCharts();
    void fillTable(QTableWidget *table, int t);
    QWidget *buildStabilityTab();
    void showStability();
    // The range chosen; *notice says when Shifts.ini was refused.
    RecordFilter rangeFilter(QString *notice) const;
    void analyseRange();
    void analyseSource();
    void sourceEnded();
    void lineViewReady(int index);
    void showLineView();
    void showRangeBounds(const RecordFilter &filter);
    // The source's state in the stability tab, with a refused Shifts.ini below.
    void showSourceText(const QString &text);
    bool limitsChanged() const;
    enum class Export { Plots, Table, Report };
    void askExportPath(Export what);
    void exportTo(Export what, const QString &path);
    void tell(const QString &text);

    const BinTables &m_binTables;
    QString m_path;

    Readings m_readings;
    BatchSummary m_summary;
    batchcharts::Plots m_plots;
    ShiftAnalysis m_analysis;
    QFutureWatcher<ShiftAnalysis> m_analysisWatcher;
    Readings m_analysedReadings;
    bool m_rangeWaiting = false;
    qint64 m_offset = 0;
    qint64 m_linesNotRead = 0;
    std::optional<regularfile::Identity> m_fileRead; // the file m_offset is in
    bool m_appendedWaiting = false;
    bool m_reloadWaiting = false; // a read from the start follows the one being cancelled
    bool m_stopped = false;
    QString m_readError;
    QFutureWatcher<Pass> m_watcher;

    QLabel *m_bannerLabel = nullptr;
    QLabel *m_statusLabel = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QPushButton *m_reloadButton = nullptr;
    QPushButton *m_exportPlotsButton = nullptr;
    QPushButton *m_exportTableButton = nullptr;
    QPushButton *m_exportReportButton = nullptr;
    QChart *m_histogramR = nullptr;
    QChart *m_histogramV = nullptr;
    QChart *m_scatter = nullptr;
    QChartView *m_histogramRView = nullptr;
    QChartView *m_histogramVView = nullptr;
    QChartView *m_scatterView = nullptr;
    QLabel *m_scatterLegend = nullptr;
    QTableWidget *m_tableR = nullptr;
    QTableWidget *m_tableV = nullptr;
    // Stability: individuals and moving range of resistance and voltage.
    std::array<QChart *, 4> m_controlCharts{};
    QPlainTextEdit *m_stabilityText = nullptr;
    QComboBox *m_rangeBox = nullptr;
    QDateTimeEdit *m_fromEdit = nullptr;
    QDateTimeEdit *m_toEdit = nullptr;
    QTableWidget *m_yieldTable = nullptr;
    QComboBox *m_sourceBox = nullptr;
    QComboBox *m_benchBox = nullptr;
    QLabel *m_sourceLabel = nullptr;
    QTableWidget *m_lineTable = nullptr;
    QString m_journalPath;
    QString m_settingsFolder;
    QFutureWatcher<SourceView> m_sourceWatcher;
    std::vector<BenchFigures> m_lineView;
    QString m_sourceError;
    QString m_rangeNotice;
    QPointer<QFileDialog> m_exportDialog;
};

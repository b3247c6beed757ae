#pragma once

#include "app/quality/sourcechoice.h"
#include "bins/shiftanalysis.h"
#include "record/databasesources.h"

#include <QFutureWatcher>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <vector>

class BackgroundPool;
class BatchReading;
class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QTabWidget;
class QTableWidget;
class SpecificationBar;

// The quality window's second tab, "Stability and capability", of the cells
// its source choice takes. Its pages:
// - "Control charts": the individuals and moving-range charts (I-MR) of
//   resistance and voltage of one bench at a time, chosen under "Charts of
//   bench" (each bench's cells in their time order, its own limits and run
//   rules), above a table of every bench's figures;
// - "Capability": per quantity a histogram against the limits with the
//   normal curve, and Cp/Cpk, Pp/Ppk with bounds and the normality statement
//   as text, with each bench's control limits;
// - "Marked cells": every point that breaks a run rule, with bench, time,
//   cell ID and rule;
// - "Yield per hour".
// The specification bar above them gives the limits capability is judged
// against (Specification.ini); from the shared database a line view of one
// row per bench comes first.
//
// The data file's cells are those the window's reading holds, analysed on the
// window's pool; the journal and the shared database are read there, each
// pass on a connection of its own. One analysis runs at a time: a change
// meanwhile is analysed once it has ended. Nothing waits for an analysis: one
// no longer wanted is cancelled and ends on its thread.
class StabilityTab : public QWidget
{
    Q_OBJECT
public:
    StabilityTab(BatchReading &reading, BackgroundPool &pool, QWidget *parent = nullptr);
    ~StabilityTab() override;

    SourceChoice &choice() { return *m_choice; }
    SpecificationBar &specification() { return *m_specification; }
    // The journal file and the folder of Database.ini, Shifts.ini,
    // Specification.ini and TesterProfile.ini.
    void setRecordPlaces(QString journalPath, QString settingsFolder);
    // Chooses the bench (empty: all) and analyses it.
    void setBench(const QString &bench);
    // Shows the charts of the analysis's stream with this name.
    void showStream(const QString &name);

    const ShiftAnalysis &analysis() const { return m_analysis; }
    const std::vector<BenchFigures> &lineView() const { return m_lineView; }
    QString sourceError() const { return m_sourceError; }
    // The pass and fail words of the tester profile in use, which a data
    // file's fifth field may hold instead of a cell ID.
    QStringList testerWords() const { return m_testerWords; }
    // "default (built-in)", for the report.
    QString profileText() const { return m_profileText; }

    // The range a pass over the data file analyses along with it.
    RecordFilter rangeOfPass();
    // A pass over the data file has read it; with the data file chosen its
    // analysis is the one showAnalysis() draws.
    void takeAnalysisOfPass(const ShiftAnalysis &analysis);
    // The reading has ended: a change that waited for it is analysed now.
    void readingEnded();
    // Draws the analysis held.
    void showAnalysis();

Q_SIGNALS:
    // The tab shows the analysis of the range chosen.
    void analysisShown();
    // The line view shows the shared database's rows of the range chosen,
    // before the charts when they take longer.
    void lineViewShown();

private:
    // What a database source's analysis hands back.
    struct SourceView
    {
        ShiftAnalysis analysis;
        std::vector<BenchFigures> line;
        QStringList benches;
        QString error;
        bool lineOnly = false; // the line view, before the analysis
    };

    QWidget *buildChartsPage();
    QWidget *buildCapabilityPage();
    bool busy() const;
    void analyseRange();
    void analyseSource();
    void onAnalysisFinished();
    void onSourceFinished();
    void onLineViewReady(int index);
    void showLineView();
    void showStreamCharts();
    void showStreamsTable();
    void showMarks();
    void showCapability();
    // The source's state, with a refused Shifts.ini below it.
    void showSourceText(const QString &text);

    BatchReading &m_reading;
    BackgroundPool &m_pool;
    QString m_journalPath;
    QString m_settingsFolder;
    QStringList m_testerWords;
    QString m_profileText;

    ShiftAnalysis m_analysis;
    std::vector<BenchFigures> m_lineView;
    QString m_sourceError;
    QString m_rangeNotice;
    bool m_rangeWaiting = false;
    std::shared_ptr<const std::vector<RecordReading>> m_analysedReadings;
    QFutureWatcher<ShiftAnalysis> m_analysisWatcher;
    QFutureWatcher<SourceView> m_sourceWatcher;

    SourceChoice *m_choice = nullptr;
    SpecificationBar *m_specification = nullptr;
    QLabel *m_sourceLabel = nullptr;
    QTableWidget *m_lineTable = nullptr;
    QTabWidget *m_pages = nullptr;
    QComboBox *m_streamBox = nullptr;
    QLabel *m_streamNote = nullptr;
    QTableWidget *m_streamsTable = nullptr;
    std::array<QChart *, 4> m_controlCharts{};
    std::array<QChartView *, 4> m_controlViews{};
    std::array<QChart *, 2> m_histograms{};
    std::array<QChartView *, 2> m_histogramViews{};
    QPlainTextEdit *m_stabilityText = nullptr;
    QTableWidget *m_marksTable = nullptr;
    QTableWidget *m_yieldTable = nullptr;
};

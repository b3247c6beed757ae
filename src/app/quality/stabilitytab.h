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
class QLabel;
class QPlainTextEdit;
class QTableWidget;

// The quality window's second tab, "Stability and capability": individuals
// and moving-range charts of resistance and voltage with the run rules
// marked, capability, control limits and marked cells as text, and the yield
// per hour, of the cells its source choice takes. From the shared database a
// line view of one row per bench comes first.
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
    // The journal file and the folder of Database.ini and Shifts.ini.
    void setRecordPlaces(QString journalPath, QString settingsFolder);
    // Chooses the bench (empty: all) and analyses it.
    void setBench(const QString &bench);

    const ShiftAnalysis &analysis() const { return m_analysis; }
    const std::vector<BenchFigures> &lineView() const { return m_lineView; }
    QString sourceError() const { return m_sourceError; }

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

    bool busy() const;
    void analyseRange();
    void analyseSource();
    void onAnalysisFinished();
    void onSourceFinished();
    void onLineViewReady(int index);
    void showLineView();
    // The source's state, with a refused Shifts.ini below it.
    void showSourceText(const QString &text);

    BatchReading &m_reading;
    BackgroundPool &m_pool;
    QString m_journalPath;
    QString m_settingsFolder;

    ShiftAnalysis m_analysis;
    std::vector<BenchFigures> m_lineView;
    QString m_sourceError;
    QString m_rangeNotice;
    bool m_rangeWaiting = false;
    std::shared_ptr<const std::vector<RecordReading>> m_analysedReadings;
    QFutureWatcher<ShiftAnalysis> m_analysisWatcher;
    QFutureWatcher<SourceView> m_sourceWatcher;

    SourceChoice *m_choice = nullptr;
    QLabel *m_sourceLabel = nullptr;
    QTableWidget *m_lineTable = nullptr;
    std::array<QChart *, 4> m_controlCharts{};
    std::array<QChartView *, 4> m_controlViews{};
    QPlainTextEdit *m_stabilityText = nullptr;
    QTableWidget *m_yieldTable = nullptr;
};

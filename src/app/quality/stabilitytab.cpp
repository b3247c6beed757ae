#include "app/quality/stabilitytab.h"

#include "app/quality/batchcharts.h"
#include "app/quality/batchreading.h"
#include "app/quality/controlcharts.h"
#include "common/backgroundpool.h"
#include "settings/centralsettings.h"

#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QVBoxLayout>

#include <memory>

StabilityTab::StabilityTab(BatchReading &reading, BackgroundPool &pool, QWidget *parent)
    : QWidget(parent), m_reading(reading), m_pool(pool)
{
    auto *outer = new QVBoxLayout(this);
    m_choice = new SourceChoice(this);
    outer->addWidget(m_choice);
    m_sourceLabel = new QLabel(this);
    m_sourceLabel->setObjectName(QStringLiteral("sourceLabel"));
    m_sourceLabel->setTextFormat(Qt::PlainText);
    m_sourceLabel->setWordWrap(true);
    outer->addWidget(m_sourceLabel);
    m_lineTable = new QTableWidget(0, 6, this);
    m_lineTable->setObjectName(QStringLiteral("lineTable"));
    m_lineTable->setAccessibleName(tr("Line view: one row per bench"));
    m_lineTable->setHorizontalHeaderLabels({tr("Bench"), tr("Cells"), tr("Yield %"), tr("Cpk R"), tr("Cpk V"),
                                            tr("Last record")});
    m_lineTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_lineTable->verticalHeader()->setVisible(false);
    m_lineTable->verticalHeader()->setDefaultSectionSize(20);
    m_lineTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_lineTable->setMaximumHeight(160);
    m_lineTable->setVisible(false);
    outer->addWidget(m_lineTable);

    auto *grid = new QGridLayout;
    outer->addLayout(grid, 1);
    const char *const names[4] = {"individualsR", "movingRangeR", "individualsV", "movingRangeV"};
    const QString spoken[4] = {tr("Individuals chart of resistance"), tr("Moving-range chart of resistance"),
                               tr("Individuals chart of voltage"), tr("Moving-range chart of voltage")};
    for (int i = 0; i < 4; ++i) {
        QChartView *view = batchcharts::makeChartView(this, QLatin1String(names[i]), QString(),
                                                      m_controlCharts[std::size_t(i)]);
        view->setAccessibleName(spoken[i]);
        view->setMinimumSize(360, 200);
        m_controlCharts[std::size_t(i)]->legend()->setAlignment(Qt::AlignBottom);
        grid->addWidget(view, i % 2, i / 2);
    }
    grid->setRowStretch(0, 3);
    grid->setRowStretch(1, 2);
    m_stabilityText = new QPlainTextEdit(this);
    m_stabilityText->setObjectName(QStringLiteral("stabilityText"));
    m_stabilityText->setAccessibleName(tr("Capability, control limits, run rules and marked cells"));
    m_stabilityText->setReadOnly(true);
    m_stabilityText->setLineWrapMode(QPlainTextEdit::NoWrap);
    grid->addWidget(m_stabilityText, 2, 0);
    m_yieldTable = new QTableWidget(0, 4, this);
    m_yieldTable->setObjectName(QStringLiteral("yieldTable"));
    m_yieldTable->setAccessibleName(tr("Yield per hour"));
    m_yieldTable->setHorizontalHeaderLabels({tr("Hour"), tr("Cells"), tr("In BIN"), tr("Yield %")});
    m_yieldTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_yieldTable->verticalHeader()->setVisible(false);
    m_yieldTable->verticalHeader()->setDefaultSectionSize(20);
    m_yieldTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->addWidget(m_yieldTable, 2, 1);
    grid->setRowStretch(2, 2);

    connect(m_choice, &SourceChoice::changed, this, [this] {
        m_lineTable->setVisible(m_choice->source() == SourceChoice::Source::Central);
        analyseRange();
    });
    connect(&m_analysisWatcher, &QFutureWatcher<ShiftAnalysis>::finished, this, &StabilityTab::onAnalysisFinished);
    connect(&m_sourceWatcher, &QFutureWatcher<SourceView>::finished, this, &StabilityTab::onSourceFinished);
    connect(&m_sourceWatcher, &QFutureWatcher<SourceView>::resultReadyAt, this, &StabilityTab::onLineViewReady);
}

StabilityTab::~StabilityTab()
{
    // The analyses work on their own copies; a database that does not answer
    // keeps one on its thread, and nothing here waits for it. Nothing the
    // children do while they are deleted starts another.
    m_choice->disconnect(this);
    for (QFutureWatcherBase *watcher : {static_cast<QFutureWatcherBase *>(&m_analysisWatcher),
                                        static_cast<QFutureWatcherBase *>(&m_sourceWatcher)}) {
        watcher->disconnect(this);
        watcher->cancel();
    }
}

void StabilityTab::setRecordPlaces(QString journalPath, QString settingsFolder)
{
    m_journalPath = std::move(journalPath);
    m_settingsFolder = std::move(settingsFolder);
}

void StabilityTab::setBench(const QString &bench)
{
    m_choice->setBench(bench);
    analyseRange();
}

RecordFilter StabilityTab::rangeOfPass()
{
    QString notice;
    const RecordFilter filter = m_choice->rangeFilter(m_settingsFolder, &notice);
    if (m_choice->source() == SourceChoice::Source::DataFile) {
        m_rangeNotice = notice;
        showSourceText(QString());
    }
    return filter;
}

void StabilityTab::takeAnalysisOfPass(const ShiftAnalysis &analysis)
{
    if (m_choice->source() == SourceChoice::Source::DataFile)
        m_analysis = analysis;
}

void StabilityTab::readingEnded()
{
    if (m_rangeWaiting && !m_reading.isReading())
        analyseRange();
}

bool StabilityTab::busy() const
{
    return m_analysisWatcher.isRunning() || m_sourceWatcher.isRunning();
}

void StabilityTab::analyseRange()
{
    if (m_choice->source() != SourceChoice::Source::DataFile) {
        analyseSource();
        return;
    }
    // A read under way analyses the range when it ends; one analysis at a time.
    if (m_reading.isReading() || busy()) {
        m_rangeWaiting = true;
        return;
    }
    m_rangeWaiting = false;
    const BatchReading::Readings readings = m_reading.readings();
    m_analysedReadings = readings;
    const RecordFilter filter = m_choice->rangeFilter(m_settingsFolder, &m_rangeNotice);
    m_choice->showBounds(filter);
    showSourceText(QString());
    const BatchSummary tables(m_reading.summary().table(0), m_reading.summary().table(1));
    const QString path = m_reading.path();
    m_analysisWatcher.setFuture(
        m_pool.run<ShiftAnalysis>([readings, filter, tables, path](QPromise<ShiftAnalysis> &promise) {
            const KeepGoing keepGoing = [&promise] { return !promise.isCanceled(); };
            ReadingsSource source(*readings, tr("Data file %1").arg(QDir::toNativeSeparators(path)),
                                  QFileInfo(path).completeBaseName());
            source.setKeepGoing(keepGoing);
            // Readings in memory fail only when cancelled.
            if (Result<ShiftAnalysis> analysis = analyseShift(source, filter, tables.table(0), tables.table(1),
                                                              controlcharts::kWindowPoints, keepGoing))
                promise.addResult(std::move(*analysis));
        }));
}

void StabilityTab::onAnalysisFinished()
{
    // Readings replaced meanwhile are analysed afresh.
    if (m_analysisWatcher.future().resultCount() > 0 && m_analysedReadings == m_reading.readings()
        && m_choice->source() == SourceChoice::Source::DataFile) {
        m_analysis = m_analysisWatcher.future().result();
        showAnalysis();
    } else {
        m_rangeWaiting = true;
    }
    if (m_rangeWaiting)
        analyseRange();
    else
        Q_EMIT analysisShown();
}

void StabilityTab::analyseSource()
{
    if (busy()) {
        m_rangeWaiting = true;
        return;
    }
    m_rangeWaiting = false;
    const SourceChoice::Source kind = m_choice->source();
    RecordFilter filter = m_choice->rangeFilter(m_settingsFolder, &m_rangeNotice);
    m_choice->showBounds(filter);
    filter.bench = m_choice->bench();
    const BatchSummary tables(m_reading.summary().table(0), m_reading.summary().table(1));
    const QString journalPath = m_journalPath;
    const StoredCentralSettings stored = loadCentralSettings(m_settingsFolder);
    const CentralSettings settings = stored.settings;
    const QString settingsProblem = stored.problem;
    showSourceText(tr("Reading %1...")
                       .arg(kind == SourceChoice::Source::Journal ? tr("the local journal")
                                                                  : tr("the shared database")));
    m_sourceWatcher.setFuture(m_pool.run<SourceView>([kind, filter, tables, journalPath,
                                                      settings, settingsProblem](QPromise<SourceView> &promise) {
        const KeepGoing keepGoing = [&promise] { return !promise.isCanceled(); };
        SourceView view;
        std::unique_ptr<RecordSource> source;
        if (kind == SourceChoice::Source::Journal) {
            auto journal = std::make_unique<JournalSource>(journalPath);
            if (const Status loaded = journal->load(); !loaded) {
                view.error = loaded.errorString();
                promise.addResult(std::move(view));
                return;
            }
            source = std::move(journal);
        } else {
            if (!settingsProblem.isEmpty()) {
                view.error = settingsProblem;
                promise.addResult(std::move(view));
                return;
            }
            auto central = std::make_unique<CentralSource>(settings);
            const Status loaded = central->load();
            if (!loaded || !keepGoing()) {
                view.error = loaded.errorString();
                promise.addResult(std::move(view));
                return;
            }
            const Result<std::vector<LineRow>> rows = readLineView(settings, filter);
            if (!rows) {
                view.error = rows.errorString();
                promise.addResult(std::move(view));
                return;
            }
            for (const LineRow &row : *rows)
                view.line.push_back(benchFigures(row, tables.table(0), tables.table(1)));
            // The line view is shown while the charts' cells are read.
            view.benches = central->benches();
            SourceView lineOnly = view;
            lineOnly.lineOnly = true;
            promise.addResult(std::move(lineOnly));
            source = std::move(central);
        }
        if (!keepGoing())
            return;
        source->setKeepGoing(keepGoing);
        view.benches = source->benches();
        if (Result<ShiftAnalysis> analysis = analyseShift(*source, filter, tables.table(0), tables.table(1),
                                                          controlcharts::kWindowPoints, keepGoing))
            view.analysis = std::move(*analysis);
        else
            view.error = analysis.errorString();
        promise.addResult(std::move(view));
    }));
}

void StabilityTab::onLineViewReady(int index)
{
    const SourceView view = m_sourceWatcher.future().resultAt(index);
    if (!view.lineOnly || m_rangeWaiting || m_choice->source() != SourceChoice::Source::Central)
        return;
    m_lineView = view.line;
    showLineView();
    showSourceText(tr("Reading the cells for the charts..."));
    Q_EMIT lineViewShown();
}

void StabilityTab::onSourceFinished()
{
    const QFuture<SourceView> future = m_sourceWatcher.future();
    const bool dataFile = m_choice->source() == SourceChoice::Source::DataFile;
    if (!dataFile && future.resultCount() > 0) {
        const SourceView view = future.resultAt(future.resultCount() - 1);
        m_sourceError = view.error;
        m_choice->addBenches(view.benches);
        if (view.error.isEmpty()) {
            m_analysis = view.analysis;
            m_lineView = view.line;
            showSourceText(tr("%1: %n cell(s).", nullptr, int(m_analysis.summary.count())).arg(m_analysis.source));
        } else {
            m_analysis = ShiftAnalysis{};
            m_lineView.clear();
            showSourceText(tr("The cells cannot be read: %1").arg(view.error));
        }
        showAnalysis();
        showLineView();
    }
    if (m_rangeWaiting || dataFile)
        analyseRange();
    else
        Q_EMIT analysisShown();
}

void StabilityTab::showAnalysis()
{
    for (int i = 0; i < 4; ++i) {
        controlcharts::fillControlChart(m_controlCharts[std::size_t(i)], i / 2, i % 2 == 1,
                                        m_analysis.quantities[std::size_t(i / 2)], m_analysis.pointStep);
    }
    QStringList text{tr("Capability against the outer BIN limits")};
    for (int t = 0; t < 2; ++t)
        text << controlcharts::capabilityText(t, m_analysis.quantities[std::size_t(t)]);
    text << QString() << tr("Control limits and run rules");
    for (int t = 0; t < 2; ++t)
        text << controlcharts::limitsText(t, m_analysis.quantities[std::size_t(t)]);
    text << QString() << tr("Marked cells");
    for (int t = 0; t < 2; ++t) {
        const QString marks = controlcharts::marksText(t, m_analysis.quantities[std::size_t(t)], 200);
        if (!marks.isEmpty())
            text << marks;
    }
    m_stabilityText->setPlainText(text.join(QLatin1Char('\n')));

    const auto &hours = m_analysis.yield.hours();
    m_yieldTable->setRowCount(int(hours.size()) + 1);
    int row = 0;
    auto put = [this, &row](const QString &caption, const spc::HourYield &y) {
        m_yieldTable->setItem(row, 0, batchcharts::figureItem(caption));
        m_yieldTable->setItem(row, 1, batchcharts::figureItem(QString::number(y.cells)));
        m_yieldTable->setItem(row, 2, batchcharts::figureItem(QString::number(y.inBins)));
        m_yieldTable->setItem(row, 3, batchcharts::figureItem(QString::number(y.percent(), 'f', 2)));
        ++row;
    };
    for (const auto &[start, y] : hours)
        put(controlcharts::hourCaption(start), y);
    put(tr("Total"), m_analysis.yield.total());
}

void StabilityTab::showSourceText(const QString &text)
{
    QStringList lines{text, m_rangeNotice};
    lines.removeAll(QString());
    m_sourceLabel->setText(lines.join(QLatin1Char('\n')));
}

void StabilityTab::showLineView()
{
    m_lineTable->setRowCount(int(m_lineView.size()));
    int row = 0;
    for (const BenchFigures &b : m_lineView) {
        QTableWidgetItem *bench = batchcharts::figureItem(b.unnamed ? tr("%1 (no bench name set)").arg(b.bench) : b.bench);
        if (b.unnamed)
            bench->setToolTip(tr("This bench's cells carry its host name: no bench name was set in Settings > "
                                 "Central record..."));
        m_lineTable->setItem(row, 0, bench);
        m_lineTable->setItem(row, 1, batchcharts::figureItem(QString::number(b.cells)));
        m_lineTable->setItem(row, 2, batchcharts::figureItem(QString::number(b.yieldPercent(), 'f', 2)));
        m_lineTable->setItem(row, 3, batchcharts::figureItem(controlcharts::indexText(b.capability[0].cpk)));
        m_lineTable->setItem(row, 4, batchcharts::figureItem(controlcharts::indexText(b.capability[1].cpk)));
        m_lineTable->setItem(row, 5, batchcharts::figureItem(controlcharts::timeCaption(b.lastStamp)));
        ++row;
    }
}

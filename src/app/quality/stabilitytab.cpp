#include "app/quality/stabilitytab.h"

#include "app/quality/batchcharts.h"
#include "app/quality/batchreading.h"
#include "app/quality/controlcharts.h"
#include "app/quality/shiftreport.h"
#include "app/quality/specificationbar.h"
#include "common/backgroundpool.h"
#include "settings/centralsettings.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <memory>

namespace {

// Marked cells the window lists, the earliest first.
constexpr std::size_t kListedMarks = 2000;

QTableWidget *figureTable(QWidget *parent, const char *name, const QString &accessibleName, const QStringList &columns)
{
    auto *table = new QTableWidget(0, int(columns.size()), parent);
    table->setObjectName(QLatin1String(name));
    table->setAccessibleName(accessibleName);
    table->setHorizontalHeaderLabels(columns);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(20);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return table;
}

QTableWidgetItem *textItem(const QString &text)
{
    QTableWidgetItem *item = batchcharts::figureItem(text);
    item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return item;
}

} // namespace

StabilityTab::StabilityTab(BatchReading &reading, BackgroundPool &pool, QWidget *parent)
    : QWidget(parent), m_reading(reading), m_pool(pool)
{
    auto *outer = new QVBoxLayout(this);
    m_choice = new SourceChoice(this);
    outer->addWidget(m_choice);
    m_specification = new SpecificationBar(this);
    outer->addWidget(m_specification);
    m_sourceLabel = new QLabel(this);
    m_sourceLabel->setObjectName(QStringLiteral("sourceLabel"));
    m_sourceLabel->setTextFormat(Qt::PlainText);
    m_sourceLabel->setWordWrap(true);
    outer->addWidget(m_sourceLabel);
    m_lineTable = figureTable(this, "lineTable", tr("Line view: one row per bench and channel"),
                              {tr("Bench"), tr("Cells"), tr("Channel"), tr("Cells/h"), tr("Yield %"), tr("Cpk R"),
                               tr("Cpk V"), tr("Last record")});
    m_lineTable->setMaximumHeight(160);
    m_lineTable->setVisible(false);
    outer->addWidget(m_lineTable);

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("stabilityPages"));
    m_pages->setAccessibleName(tr("Control charts, capability, marked cells or yield"));
    m_pages->addTab(buildChartsPage(), tr("Control charts"));
    m_pages->addTab(buildCapabilityPage(), tr("Capability"));
    m_marksTable = figureTable(this, "marksTable", tr("Marked cells"),
                               {tr("Time"), tr("Bench"), tr("Cell ID"), tr("Cell"), tr("Quantity"), tr("Value"),
                                tr("Rule broken")});
    m_marksTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_marksTable->horizontalHeader()->setStretchLastSection(true);
    m_pages->addTab(m_marksTable, tr("Marked cells"));
    m_yieldTable = figureTable(this, "yieldTable", tr("Yield per hour"),
                               {tr("Hour"), tr("Cells"), tr("In BIN"), tr("Yield %")});
    m_pages->addTab(m_yieldTable, tr("Yield per hour"));
    outer->addWidget(m_pages, 1);

    connect(m_choice, &SourceChoice::changed, this, [this] {
        m_lineTable->setVisible(m_choice->source() == SourceChoice::Source::Central);
        showStreamsTable();
        analyseRange();
    });
    connect(m_specification, &SpecificationBar::changed, this, [this] {
        // Capability needs no pass over the cells.
        judgeCapability(m_analysis, m_specification->specification());
        showAnalysis();
    });
    connect(&m_analysisWatcher, &QFutureWatcher<ShiftAnalysis>::finished, this, &StabilityTab::onAnalysisFinished);
    connect(&m_sourceWatcher, &QFutureWatcher<SourceView>::finished, this, &StabilityTab::onSourceFinished);
    connect(&m_sourceWatcher, &QFutureWatcher<SourceView>::resultReadyAt, this, &StabilityTab::onLineViewReady);
}

QWidget *StabilityTab::buildChartsPage()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    auto *row = new QHBoxLayout;
    auto *caption = new QLabel(tr("Charts of &bench:"), page);
    m_streamBox = new QComboBox(page);
    m_streamBox->setObjectName(QStringLiteral("streamBox"));
    m_streamBox->setAccessibleName(tr("Charts of bench"));
    m_streamBox->setMinimumContentsLength(12);
    caption->setBuddy(m_streamBox);
    row->addWidget(caption);
    row->addWidget(m_streamBox);
    m_streamNote = new QLabel(page);
    m_streamNote->setObjectName(QStringLiteral("streamNote"));
    m_streamNote->setTextFormat(Qt::PlainText);
    m_streamNote->setWordWrap(true);
    row->addWidget(m_streamNote, 1);
    layout->addLayout(row);
    m_streamsTable = figureTable(page, "streamsTable", tr("Figures per bench"),
                                 {tr("Bench"), tr("Cells"), tr("Yield %"), tr("Mean R"), tr("Cpk R"), tr("Mean V"),
                                  tr("Cpk V"), tr("Marked")});
    m_streamsTable->setMaximumHeight(110);
    layout->addWidget(m_streamsTable);
    auto *grid = new QGridLayout;
    layout->addLayout(grid, 1);
    const char *const names[4] = {"individualsR", "movingRangeR", "individualsV", "movingRangeV"};
    const QString spoken[4] = {tr("Individuals chart of resistance"), tr("Moving-range chart of resistance"),
                               tr("Individuals chart of voltage"), tr("Moving-range chart of voltage")};
    for (int i = 0; i < 4; ++i) {
        m_controlViews[std::size_t(i)] = batchcharts::makeChartView(page, QLatin1String(names[i]), QString(),
                                                                    m_controlCharts[std::size_t(i)]);
        m_controlViews[std::size_t(i)]->setAccessibleName(spoken[i]);
        m_controlViews[std::size_t(i)]->setMinimumSize(360, 180);
        m_controlCharts[std::size_t(i)]->legend()->setAlignment(Qt::AlignBottom);
        grid->addWidget(m_controlViews[std::size_t(i)], i % 2, i / 2);
    }
    // Alike heights: a moving-range chart kept lower has no room for its
    // axis title and labels.
    grid->setRowStretch(0, 1);
    grid->setRowStretch(1, 1);
    connect(m_streamBox, &QComboBox::currentIndexChanged, this, &StabilityTab::showStreamCharts);
    return page;
}

QWidget *StabilityTab::buildCapabilityPage()
{
    auto *page = new QWidget(this);
    auto *grid = new QGridLayout(page);
    const char *const names[2] = {"capabilityHistogramR", "capabilityHistogramV"};
    const QString spoken[2] = {tr("Capability histogram of resistance"), tr("Capability histogram of voltage")};
    for (int t = 0; t < 2; ++t) {
        m_histogramViews[std::size_t(t)] = batchcharts::makeChartView(page, QLatin1String(names[t]), QString(),
                                                                      m_histograms[std::size_t(t)]);
        m_histogramViews[std::size_t(t)]->setAccessibleName(spoken[t]);
        m_histogramViews[std::size_t(t)]->setMinimumSize(360, 240);
        m_histograms[std::size_t(t)]->legend()->setAlignment(Qt::AlignBottom);
        grid->addWidget(m_histogramViews[std::size_t(t)], 0, t);
    }
    m_stabilityText = new QPlainTextEdit(page);
    m_stabilityText->setObjectName(QStringLiteral("stabilityText"));
    m_stabilityText->setAccessibleName(tr("Capability, normality and control limits"));
    m_stabilityText->setReadOnly(true);
    m_stabilityText->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    grid->addWidget(m_stabilityText, 1, 0, 1, 2);
    grid->setRowStretch(0, 3);
    grid->setRowStretch(1, 2);
    return page;
}

StabilityTab::~StabilityTab()
{
    // The analyses work on their own copies; a database that does not answer
    // keeps one on its thread, and nothing here waits for it. Nothing the
    // children do while they are deleted starts another.
    m_choice->disconnect(this);
    m_specification->disconnect(this);
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
    const ProfileInUse profile = profileInUse(m_settingsFolder);
    m_testerWords = profile.testerWords;
    m_profileText = profile.text;
    m_specification->load(m_settingsFolder);
    judgeCapability(m_analysis, m_specification->specification());
    showAnalysis();
}

void StabilityTab::setBench(const QString &bench)
{
    m_choice->setBench(bench);
    analyseRange();
}

void StabilityTab::showStream(const QString &name)
{
    const int index = m_streamBox->findText(name);
    if (index >= 0)
        m_streamBox->setCurrentIndex(index);
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
    if (m_choice->source() == SourceChoice::Source::DataFile) {
        m_analysis = analysis;
        judgeCapability(m_analysis, m_specification->specification());
    }
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
    const QStringList words = m_testerWords;
    m_analysisWatcher.setFuture(
        m_pool.run<ShiftAnalysis>([readings, filter, tables, path, words](QPromise<ShiftAnalysis> &promise) {
            const KeepGoing keepGoing = [&promise] { return !promise.isCanceled(); };
            ReadingsSource source(*readings, tr("Data file %1").arg(QDir::toNativeSeparators(path)),
                                  QFileInfo(path).completeBaseName(), path, words);
            source.setKeepGoing(keepGoing);
            // Readings in memory fail only when cancelled (the cells' IDs
            // come from the file: one gone leaves them out).
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
        judgeCapability(m_analysis, m_specification->specification());
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
            judgeCapability(m_analysis, m_specification->specification());
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
    // The bench whose charts were shown stays chosen when it is still there.
    const QString shown = m_streamBox->currentText();
    {
        const QSignalBlocker blocker(m_streamBox);
        m_streamBox->clear();
        for (const StreamAnalysis &s : m_analysis.streams) {
            if (s.charted)
                m_streamBox->addItem(s.name);
        }
        m_streamBox->setCurrentIndex(std::max(0, m_streamBox->findText(shown)));
    }
    m_streamBox->setEnabled(m_streamBox->count() > 1);
    const int charted = m_streamBox->count();
    const int streams = int(m_analysis.streams.size());
    m_streamNote->setText(streams > charted
                                  ? tr("Charts of the first %1 of %2 benches; the table lists every bench.")
                                            .arg(charted)
                                            .arg(streams)
                                  : (streams > 1 ? tr("Each bench is charted on its own: its cells in time order, "
                                                      "its own limits; no moving range spans two benches.")
                                                 : QString()));
    showStreamCharts();
    showStreamsTable();
    showCapability();
    showMarks();

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

void StabilityTab::showStreamCharts()
{
    const QString name = m_streamBox->currentText();
    const auto found = std::find_if(m_analysis.streams.begin(), m_analysis.streams.end(),
                                    [&name](const StreamAnalysis &s) { return s.charted && s.name == name; });
    for (int i = 0; i < 4; ++i) {
        QChart *chart = m_controlCharts[std::size_t(i)];
        if (found == m_analysis.streams.end()) {
            batchcharts::clearChart(chart);
            chart->setTitle(tr("No cells in the range chosen"));
            m_controlViews[std::size_t(i)]->setAccessibleDescription(chart->title());
            continue;
        }
        controlcharts::fillControlChart(chart, i / 2, i % 2 == 1, *found);
        m_controlViews[std::size_t(i)]->setAccessibleDescription(
                controlcharts::controlChartDescription(i / 2, i % 2 == 1, *found));
    }
}

void StabilityTab::showStreamsTable()
{
    // One bench needs no table, and the line view above lists the shared
    // database's benches: the charts keep the room.
    m_streamsTable->setVisible(m_analysis.streams.size() > 1 && m_choice->source() != SourceChoice::Source::Central);
    m_streamsTable->setRowCount(int(m_analysis.streams.size()));
    int row = 0;
    for (const StreamAnalysis &s : m_analysis.streams) {
        const QStringList cells = QStringList{s.name, QString::number(s.cells)} + controlcharts::streamFigures(s);
        for (int c = 0; c < int(cells.size()); ++c)
            m_streamsTable->setItem(row, c, c == 0 ? textItem(cells.at(c)) : batchcharts::figureItem(cells.at(c)));
        ++row;
    }
}

void StabilityTab::showCapability()
{
    QStringList text;
    const int streams = int(m_analysis.streams.size());
    for (int t = 0; t < 2; ++t) {
        const QuantityAnalysis &q = m_analysis.quantities[std::size_t(t)];
        controlcharts::fillCapabilityHistogram(m_histograms[std::size_t(t)], t, q);
        m_histogramViews[std::size_t(t)]->setAccessibleDescription(controlcharts::histogramDescription(t, q));
        text << controlcharts::capabilityLines(t, q, streams) << QString();
    }
    text << tr("Control limits and run rules of each bench");
    for (const StreamAnalysis &s : m_analysis.streams) {
        for (int t = 0; t < 2; ++t)
            text << controlcharts::limitsText(t, s);
    }
    m_stabilityText->setPlainText(text.join(QLatin1Char('\n')));
}

void StabilityTab::showMarks()
{
    std::vector<controlcharts::MarkRow> rows = controlcharts::markRows(m_analysis);
    // The earliest ones; a table of tens of thousands of rows helps nobody.
    if (rows.size() > kListedMarks)
        rows.resize(kListedMarks);
    m_marksTable->setRowCount(int(rows.size()));
    int row = 0;
    for (const controlcharts::MarkRow &mark : rows) {
        m_marksTable->setItem(row, 0, textItem(mark.stamp != 0 ? controlcharts::timeCaption(mark.stamp) : QString()));
        m_marksTable->setItem(row, 1, textItem(mark.bench));
        m_marksTable->setItem(row, 2, textItem(mark.cellId));
        m_marksTable->setItem(row, 3, batchcharts::figureItem(QString::number(mark.cell)));
        m_marksTable->setItem(row, 4, textItem(controlcharts::quantityName(mark.quantity)));
        m_marksTable->setItem(row, 5, batchcharts::figureItem(QStringLiteral("%1 %2").arg(
                                              controlcharts::number(mark.quantity, mark.value),
                                              controlcharts::unit(mark.quantity))));
        m_marksTable->setItem(row, 6, textItem(controlcharts::ruleNames(mark.rules)));
        ++row;
    }
    qint64 marked = 0;
    for (const QuantityAnalysis &q : m_analysis.quantities)
        marked += q.markedPoints;
    m_pages->setTabText(2, marked > qint64(rows.size())
                                   ? tr("Marked cells (%1 of %2 listed)").arg(rows.size()).arg(marked)
                                   : tr("Marked cells (%1)").arg(marked));
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
        const std::optional<double> pace = b.cellsPerHour();
        QTableWidgetItem *bench = batchcharts::figureItem(b.unnamed ? tr("%1 (no bench name set)").arg(b.bench) : b.bench);
        if (b.unnamed)
            bench->setToolTip(tr("This bench's cells carry its host name: no bench name was set in Settings > "
                                 "Central record..."));
        m_lineTable->setItem(row, 0, bench);
        m_lineTable->setItem(row, 1, batchcharts::figureItem(QString::number(b.cells)));
        m_lineTable->setItem(row, 2, batchcharts::figureItem(QString::number(b.channel)));
        m_lineTable->setItem(row, 3, batchcharts::figureItem(pace ? QString::number(*pace, 'f', 0) : tr("-")));
        m_lineTable->setItem(row, 4, batchcharts::figureItem(QString::number(b.yieldPercent(), 'f', 2)));
        m_lineTable->setItem(row, 5, batchcharts::figureItem(controlcharts::indexText(b.capability[0].cpk)));
        m_lineTable->setItem(row, 6, batchcharts::figureItem(controlcharts::indexText(b.capability[1].cpk)));
        m_lineTable->setItem(row, 7, batchcharts::figureItem(controlcharts::timeCaption(b.lastStamp)));
        ++row;
    }
}

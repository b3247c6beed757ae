#include "app/quality/qualitywindow.h"

#include "app/quality/batchcharts.h"
#include "app/quality/controlcharts.h"
#include "app/style/programicon.h"
#include "app/quality/shiftreport.h"
#include "bins/bintable.h"
#include "bins/bintables.h"
#include "record/databasesources.h"
#include "settings/centralsettings.h"
#include "settings/shifttimes.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPromise>
#include <QPushButton>
#include <QSaveFile>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <memory>

namespace {
// The translation context of the texts this file shows.
struct BatchTexts
{
    Q_DECLARE_TR_FUNCTIONS(QualityWindow)
};

// More points than this make the scatter plot slow without showing more.
constexpr int kScatterPoints = 2000;
// Points per control chart; more cells are drawn as each stretch's extremes.
constexpr int kControlChartPoints = 4000;
// Reads shorter than this finish too soon for a progress bar to mean anything.
constexpr qint64 kProgressShownFrom = qint64(1) << 20;
constexpr int kProgressSteps = 1000;

// Translated where the tables are made (QualityWindow::tr).
const char *const kColumns[] = {QT_TRANSLATE_NOOP("QualityWindow", "Limits"),  QT_TRANSLATE_NOOP("QualityWindow", "Count"),
                                QT_TRANSLATE_NOOP("QualityWindow", "Share %"), QT_TRANSLATE_NOOP("QualityWindow", "Mean"),
                                QT_TRANSLATE_NOOP("QualityWindow", "Std dev"), QT_TRANSLATE_NOOP("QualityWindow", "Min"),
                                QT_TRANSLATE_NOOP("QualityWindow", "Max")};

QChartView *makeChartView(QWidget *parent, const QString &objectName, const QString &title, QChart *&chart)
{
    chart = new QChart;
    chart->setTitle(title);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setMargins(QMargins(4, 4, 4, 4));
    auto *view = new QChartView(chart, parent);
    view->setObjectName(objectName);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(360, 260);
    return view;
}

QTableWidgetItem *cell(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

QString lineCount(qint64 n)
{
    return n == 1 ? BatchTexts::tr("1 line not read") : BatchTexts::tr("%1 lines not read").arg(n);
}

} // namespace

QualityWindow::QualityWindow(const BinTables &binTables, QString path, QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      m_binTables(binTables),
      m_path(std::move(path)),
      m_readings(std::make_shared<const std::vector<RecordReading>>()),
      m_summary(binTables.resistance(), binTables.voltage()),
      m_plots(batchcharts::preparePlots(*m_readings, m_summary, kScatterPoints))
{
    setObjectName(QStringLiteral("FormBatch"));
    setWindowTitle(tr("BATCH - %1").arg(QFileInfo(m_path).fileName()));
    setWindowIcon(programIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    buildUi();
    connect(&m_watcher, &QFutureWatcher<Pass>::finished, this, &QualityWindow::passEnded);
    connect(&m_sourceWatcher, &QFutureWatcher<SourceView>::finished, this, &QualityWindow::sourceEnded);
    connect(&m_sourceWatcher, &QFutureWatcher<SourceView>::resultReadyAt, this, &QualityWindow::lineViewReady);
    connect(&m_watcher, &QFutureWatcher<Pass>::progressValueChanged, m_progressBar, &QProgressBar::setValue);
    connect(&m_analysisWatcher, &QFutureWatcher<ShiftAnalysis>::finished, this, [this] {
        // Readings replaced meanwhile are analysed afresh.
        if (m_analysisWatcher.future().resultCount() > 0 && m_analysedReadings == m_readings
            && Source(m_sourceBox->currentIndex()) == Source::DataFile) {
            m_analysis = m_analysisWatcher.future().result();
            showStability();
        } else {
            m_rangeWaiting = true;
        }
        if (m_rangeWaiting)
            analyseRange();
        else
            Q_EMIT analysisShown();
    });
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
    showAll();
    reload();
}

QualityWindow::~QualityWindow()
{
    // The worker reads into its own copies; it only has to stop, and nothing
    // here waits for it.
    m_watcher.disconnect(this);
    m_watcher.cancel();
    m_analysisWatcher.disconnect(this);
    m_analysisWatcher.waitForFinished();
    m_sourceWatcher.disconnect(this);
    m_sourceWatcher.waitForFinished();
}

void QualityWindow::buildUi()
{
    auto *layout = new QVBoxLayout(this);

    m_bannerLabel = new QLabel(this);
    m_bannerLabel->setObjectName(QStringLiteral("bannerLabel"));
    m_bannerLabel->setWordWrap(true);
    m_bannerLabel->setTextFormat(Qt::PlainText);
    m_bannerLabel->setText(tr("File: %1\nThe data file stores no BIN: every BIN shown here is worked out "
                              "from the current limits of the BIN set-up panels.")
                               .arg(QDir::toNativeSeparators(m_path)));
    layout->addWidget(m_bannerLabel);

    auto *bar = new QHBoxLayout;
    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setTextFormat(Qt::PlainText);
    bar->addWidget(m_statusLabel, 1);
    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->setRange(0, kProgressSteps);
    m_progressBar->setTextVisible(false);
    m_progressBar->setVisible(false);
    m_progressBar->setAccessibleName(tr("Reading progress"));
    bar->addWidget(m_progressBar);
    auto button = [this, bar](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        bar->addWidget(b);
        return b;
    };
    m_cancelButton = button("cancelButton", tr("&CANCEL"));
    m_reloadButton = button("reloadButton", tr("R&ELOAD"));
    m_exportPlotsButton = button("exportPlotsButton", tr("&PLOTS AS PNG..."));
    m_exportTableButton = button("exportTableButton", tr("&TABLE AS CSV..."));
    m_exportReportButton = button("exportReportButton", tr("RE&PORT AS PDF..."));
    m_cancelButton->setEnabled(false);
    layout->addLayout(bar);

    auto *grid = new QGridLayout;
    m_histogramRView = makeChartView(this, QStringLiteral("histogramR"), tr("Resistance"), m_histogramR);
    m_histogramVView = makeChartView(this, QStringLiteral("histogramV"), tr("Voltage"), m_histogramV);
    m_scatterView = makeChartView(this, QStringLiteral("scatterPlot"), tr("Resistance against voltage"),
                                  m_scatter);
    m_histogramRView->setAccessibleName(tr("Resistance histogram"));
    m_histogramVView->setAccessibleName(tr("Voltage histogram"));
    m_scatterView->setAccessibleName(tr("Resistance against voltage"));
    m_scatterLegend = new QLabel(this);
    m_scatterLegend->setObjectName(QStringLiteral("scatterLegend"));
    m_scatterLegend->setTextFormat(Qt::RichText);
    m_scatterLegend->setWordWrap(true);
    m_scatterLegend->setAccessibleName(tr("Legend of the scatter plot"));
    auto *scatterColumn = new QVBoxLayout;
    scatterColumn->addWidget(m_scatterView, 1);
    scatterColumn->addWidget(m_scatterLegend);
    grid->addWidget(m_histogramRView, 0, 0);
    grid->addWidget(m_histogramVView, 0, 1);
    grid->addLayout(scatterColumn, 1, 0);

    auto *tables = new QVBoxLayout;
    auto makeTable = [this, tables](const char *name, const QString &caption, const QString &accessibleName) {
        auto *label = new QLabel(caption, this);
        tables->addWidget(label);
        QStringList columns;
        for (const char *column : kColumns)
            columns << tr(column);
        auto *table = new QTableWidget(0, int(columns.size()), this);
        table->setObjectName(QLatin1String(name));
        label->setBuddy(table);
        table->setAccessibleName(accessibleName);
        table->setAccessibleDescription(tr("Count, share, mean, standard deviation, minimum and maximum per BIN"));
        table->setHorizontalHeaderLabels(columns);
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
        table->verticalHeader()->setDefaultSectionSize(20);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        tables->addWidget(table);
        return table;
    };
    m_tableR = makeTable("resistanceTable", tr("&RESISTANCE (mOhm)"), tr("Resistance per BIN"));
    m_tableV = makeTable("voltageTable", tr("&VOLTAGE (V)"), tr("Voltage per BIN"));
    grid->addLayout(tables, 1, 1);
    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("batchTabs"));
    tabs->setAccessibleName(tr("Distribution or stability and capability"));
    auto *distribution = new QWidget(tabs);
    distribution->setLayout(grid);
    grid->setContentsMargins(0, 0, 0, 0);
    tabs->addTab(distribution, tr("Distribution"));
    tabs->addTab(buildStabilityTab(), tr("Stability and capability"));
    layout->addWidget(tabs, 1);

    connect(m_cancelButton, &QPushButton::clicked, this, &QualityWindow::cancelReading);
    connect(m_reloadButton, &QPushButton::clicked, this, &QualityWindow::reload);
    connect(m_exportPlotsButton, &QPushButton::clicked, this, [this] { askExportPath(Export::Plots); });
    connect(m_exportTableButton, &QPushButton::clicked, this, [this] { askExportPath(Export::Table); });
    connect(m_exportReportButton, &QPushButton::clicked, this, [this] { askExportPath(Export::Report); });
    resize(1200, 820);
}

QWidget *QualityWindow::buildStabilityTab()
{
    auto *tab = new QWidget(this);
    auto *outer = new QVBoxLayout(tab);
    auto *rangeBar = new QHBoxLayout;
    rangeBar->addWidget(new QLabel(tr("Source:"), tab));
    m_sourceBox = new QComboBox(tab);
    m_sourceBox->setObjectName(QStringLiteral("sourceBox"));
    m_sourceBox->addItems({tr("Data file"), tr("Local journal"), tr("Shared database")});
    rangeBar->addWidget(m_sourceBox);
    rangeBar->addWidget(new QLabel(tr("Bench:"), tab));
    m_benchBox = new QComboBox(tab);
    m_benchBox->setObjectName(QStringLiteral("benchBox"));
    m_benchBox->setMinimumContentsLength(12);
    m_benchBox->addItem(tr("All benches"), QString());
    m_benchBox->setEnabled(false);
    rangeBar->addWidget(m_benchBox);
    connect(m_sourceBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_benchBox->setEnabled(index != int(Source::DataFile));
        m_lineTable->setVisible(index == int(Source::Central));
        analyseRange();
    });
    connect(m_benchBox, &QComboBox::activated, this, [this] { analyseRange(); });
    rangeBar->addWidget(new QLabel(tr("Cells:"), tab));
    m_rangeBox = new QComboBox(tab);
    m_rangeBox->setObjectName(QStringLiteral("rangeBox"));
    m_rangeBox->addItems({tr("All in the file"), tr("This shift"), tr("Today"), tr("Last 8 hours"),
                          tr("From - to")});
    rangeBar->addWidget(m_rangeBox);
    const QDateTime now = QDateTime::currentDateTime();
    auto makeEdit = [tab, rangeBar](const char *name, const QDateTime &value) {
        auto *edit = new QDateTimeEdit(value, tab);
        edit->setObjectName(QLatin1String(name));
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
        edit->setCalendarPopup(true);
        edit->setEnabled(false);
        rangeBar->addWidget(edit);
        return edit;
    };
    m_fromEdit = makeEdit("fromEdit", QDateTime(now.date(), QTime(now.time().hour(), 0)).addSecs(-8 * 3600));
    m_fromEdit->setAccessibleName(tr("Cells from"));
    rangeBar->addWidget(new QLabel(tr("to"), tab));
    m_toEdit = makeEdit("toEdit", QDateTime(now.date(), QTime(now.time().hour(), 0)).addSecs(3600));
    m_toEdit->setAccessibleName(tr("Cells up to"));
    rangeBar->addStretch(1);
    outer->addLayout(rangeBar);
    m_sourceLabel = new QLabel(tab);
    m_sourceLabel->setObjectName(QStringLiteral("sourceLabel"));
    m_sourceLabel->setTextFormat(Qt::PlainText);
    m_sourceLabel->setWordWrap(true);
    outer->addWidget(m_sourceLabel);
    m_lineTable = new QTableWidget(0, 6, tab);
    m_lineTable->setObjectName(QStringLiteral("lineTable"));
    m_lineTable->setAccessibleName(tr("Line view: one row per bench"));
    m_lineTable->setHorizontalHeaderLabels({tr("Bench"), tr("Cells"), tr("Yield %"),
                                            tr("Cpk R"), tr("Cpk V"),
                                            tr("Last record")});
    m_lineTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_lineTable->verticalHeader()->setVisible(false);
    m_lineTable->verticalHeader()->setDefaultSectionSize(20);
    m_lineTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_lineTable->setMaximumHeight(160);
    m_lineTable->setVisible(false);
    outer->addWidget(m_lineTable);
    connect(m_rangeBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_fromEdit->setEnabled(index == int(Range::FromTo));
        m_toEdit->setEnabled(index == int(Range::FromTo));
        analyseRange();
    });
    for (QDateTimeEdit *edit : {m_fromEdit, m_toEdit})
        connect(edit, &QDateTimeEdit::dateTimeChanged, this, [this] {
            if (m_rangeBox->currentIndex() == int(Range::FromTo))
                analyseRange();
        });

    auto *grid = new QGridLayout;
    outer->addLayout(grid, 1);
    const char *const names[4] = {"individualsR", "movingRangeR", "individualsV", "movingRangeV"};
    const QString spoken[4] = {tr("Individuals chart of resistance"), tr("Moving-range chart of resistance"),
                               tr("Individuals chart of voltage"), tr("Moving-range chart of voltage")};
    for (int i = 0; i < 4; ++i) {
        QChartView *view = makeChartView(tab, QLatin1String(names[i]), QString(), m_controlCharts[std::size_t(i)]);
        view->setAccessibleName(spoken[i]);
        view->setMinimumSize(360, 200);
        m_controlCharts[std::size_t(i)]->legend()->setAlignment(Qt::AlignBottom);
        grid->addWidget(view, i % 2, i / 2);
    }
    grid->setRowStretch(0, 3);
    grid->setRowStretch(1, 2);
    m_stabilityText = new QPlainTextEdit(tab);
    m_stabilityText->setObjectName(QStringLiteral("stabilityText"));
    m_stabilityText->setAccessibleName(tr("Capability, control limits, run rules and marked cells"));
    m_stabilityText->setReadOnly(true);
    m_stabilityText->setLineWrapMode(QPlainTextEdit::NoWrap);
    grid->addWidget(m_stabilityText, 2, 0);
    m_yieldTable = new QTableWidget(0, 4, tab);
    m_yieldTable->setObjectName(QStringLiteral("yieldTable"));
    m_yieldTable->setAccessibleName(tr("Yield per hour"));
    m_yieldTable->setHorizontalHeaderLabels(
        {tr("Hour"), tr("Cells"), tr("In BIN"), tr("Yield %")});
    m_yieldTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_yieldTable->verticalHeader()->setVisible(false);
    m_yieldTable->verticalHeader()->setDefaultSectionSize(20);
    m_yieldTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->addWidget(m_yieldTable, 2, 1);
    grid->setRowStretch(2, 2);
    return tab;
}

void QualityWindow::setRange(Range range)
{
    m_rangeBox->setCurrentIndex(int(range));
}

void QualityWindow::setRecordPlaces(QString journalPath, QString settingsFolder)
{
    m_journalPath = std::move(journalPath);
    m_settingsFolder = std::move(settingsFolder);
}

void QualityWindow::setSource(Source source)
{
    m_sourceBox->setCurrentIndex(int(source));
}

void QualityWindow::setBench(const QString &bench)
{
    int index = m_benchBox->findData(bench);
    if (index < 0) {
        m_benchBox->addItem(bench, bench);
        index = m_benchBox->count() - 1;
    }
    m_benchBox->setCurrentIndex(index);
    analyseRange();
}

RecordFilter QualityWindow::rangeFilter(QString *notice) const
{
    auto seconds = [](const QDateTime &t) { return wallClockOf(t); };
    RecordFilter filter;
    const QDateTime now = QDateTime::currentDateTime();
    notice->clear();
    switch (Range(m_rangeBox->currentIndex())) {
    case Range::All:
        break;
    case Range::ThisShift: {
        const ShiftSpan shift = shiftSpan(loadShiftTimes(m_settingsFolder, notice), seconds(now));
        filter.from = shift.from;
        filter.to = shift.to;
        break;
    }
    case Range::Today:
        filter.from = seconds(now.date().startOfDay());
        filter.to = *filter.from + 86400;
        break;
    case Range::LastEightHours:
        filter.from = seconds(now) - 8 * 3600;
        break;
    case Range::FromTo:
        filter.from = seconds(m_fromEdit->dateTime());
        filter.to = seconds(m_toEdit->dateTime());
        break;
    }
    return filter;
}

void QualityWindow::analyseRange()
{
    if (Source(m_sourceBox->currentIndex()) != Source::DataFile) {
        analyseSource();
        return;
    }
    // A read under way analyses the range when it ends; one analysis at a time.
    if (isReading() || m_analysisWatcher.isRunning() || m_sourceWatcher.isRunning()) {
        m_rangeWaiting = true;
        return;
    }
    m_rangeWaiting = false;
    const Readings readings = m_readings;
    m_analysedReadings = readings;
    const RecordFilter filter = rangeFilter(&m_rangeNotice);
    showRangeBounds(filter);
    showSourceText(QString());
    const BatchSummary tables(m_summary.table(0), m_summary.table(1));
    const QString path = m_path;
    m_analysisWatcher.setFuture(QtConcurrent::run([readings, filter, tables, path] {
        ReadingsSource source(*readings, tr("Data file %1").arg(QDir::toNativeSeparators(path)),
                              QFileInfo(path).completeBaseName());
        ShiftAnalysis analysis;
        QString ignored; // readings in memory cannot fail
        analyseShift(source, filter, tables.table(0), tables.table(1), kControlChartPoints, &analysis, &ignored);
        return analysis;
    }));
}

void QualityWindow::analyseSource()
{
    if (m_analysisWatcher.isRunning() || m_sourceWatcher.isRunning()) {
        m_rangeWaiting = true;
        return;
    }
    m_rangeWaiting = false;
    const Source kind = Source(m_sourceBox->currentIndex());
    RecordFilter filter = rangeFilter(&m_rangeNotice);
    showRangeBounds(filter);
    filter.bench = m_benchBox->currentData().toString();
    const BatchSummary tables(m_summary.table(0), m_summary.table(1));
    const QString journalPath = m_journalPath;
    const CentralSettings settings = loadCentralSettings(m_settingsFolder);
    showSourceText(tr("Reading %1...")
                       .arg(kind == Source::Journal ? tr("the local journal") : tr("the shared database")));
    m_sourceWatcher.setFuture(QtConcurrent::run([kind, filter, tables, journalPath, settings](
                                                    QPromise<SourceView> &promise) {
        SourceView view;
        std::unique_ptr<RecordSource> source;
        if (kind == Source::Journal) {
            auto journal = std::make_unique<JournalSource>(journalPath);
            if (const Status loaded = journal->load(); !loaded) {
                view.error = loaded.errorString();
                promise.addResult(std::move(view));
                return;
            }
            source = std::move(journal);
        } else {
            auto central = std::make_unique<CentralSource>(settings);
            const Status loaded = central->load();
            const Result<std::vector<LineRow>> rows =
                    loaded ? readLineView(settings, filter) : Result<std::vector<LineRow>>(loaded.failure());
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
        view.benches = source->benches();
        analyseShift(*source, filter, tables.table(0), tables.table(1), kControlChartPoints, &view.analysis,
                     &view.error);
        promise.addResult(std::move(view));
    }));
}

void QualityWindow::lineViewReady(int index)
{
    const SourceView view = m_sourceWatcher.future().resultAt(index);
    if (!view.lineOnly || m_rangeWaiting || Source(m_sourceBox->currentIndex()) != Source::Central)
        return;
    m_lineView = view.line;
    showLineView();
    showSourceText(tr("Reading the cells for the charts..."));
    Q_EMIT lineViewShown();
}

void QualityWindow::sourceEnded()
{
    const QFuture<SourceView> future = m_sourceWatcher.future();
    const SourceView view = future.resultAt(future.resultCount() - 1);
    const bool dataFile = Source(m_sourceBox->currentIndex()) == Source::DataFile;
    if (!dataFile) {
        m_sourceError = view.error;
        const QString chosen = m_benchBox->currentData().toString();
        for (const QString &bench : view.benches) {
            if (m_benchBox->findData(bench) < 0)
                m_benchBox->addItem(bench, bench);
        }
        m_benchBox->setCurrentIndex(std::max(0, m_benchBox->findData(chosen)));
        if (view.error.isEmpty()) {
            m_analysis = view.analysis;
            m_lineView = view.line;
            showSourceText(tr("%1: %2 cells.").arg(m_analysis.source).arg(m_analysis.summary.count()));
        } else {
            m_analysis = ShiftAnalysis{};
            m_lineView.clear();
            showSourceText(tr("The cells cannot be read: %1").arg(view.error));
        }
        showStability();
        showLineView();
    }
    if (m_rangeWaiting || dataFile)
        analyseRange();
    else
        Q_EMIT analysisShown();
}

void QualityWindow::showRangeBounds(const RecordFilter &filter)
{
    // The boxes, which only "From - to" lets the user change, show which
    // shift or day is taken.
    if (Range(m_rangeBox->currentIndex()) == Range::FromTo || !filter.from || !filter.to)
        return;
    for (auto [edit, stamp] : {std::pair{m_fromEdit, *filter.from}, std::pair{m_toEdit, *filter.to}}) {
        const QSignalBlocker quiet(edit);
        const QDateTime wallClock = QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC).addSecs(stamp);
        edit->setDateTime(QDateTime(wallClock.date(), wallClock.time()));
    }
}

void QualityWindow::showSourceText(const QString &text)
{
    QStringList lines{text, m_rangeNotice};
    lines.removeAll(QString());
    m_sourceLabel->setText(lines.join(QLatin1Char('\n')));
}

void QualityWindow::showLineView()
{
    m_lineTable->setRowCount(int(m_lineView.size()));
    int row = 0;
    for (const BenchFigures &b : m_lineView) {
        m_lineTable->setItem(row, 0, cell(b.bench));
        m_lineTable->setItem(row, 1, cell(QString::number(b.cells)));
        m_lineTable->setItem(row, 2, cell(QString::number(b.yieldPercent(), 'f', 2)));
        m_lineTable->setItem(row, 3, cell(controlcharts::indexText(b.capability[0].cpk)));
        m_lineTable->setItem(row, 4, cell(controlcharts::indexText(b.capability[1].cpk)));
        m_lineTable->setItem(row, 5, cell(controlcharts::timeCaption(b.lastStamp)));
        ++row;
    }
}

// --- Reading ------------------------------------------------------------------------

void QualityWindow::reload()
{
    m_stopped = false;
    m_appendedWaiting = false;
    if (isReading()) {
        // The running read's outcome is dropped and a read from the start
        // follows it; the window does not wait for it to stop.
        m_reloadWaiting = true;
        m_watcher.cancel();
        return;
    }
    m_reloadWaiting = false;
    startPass(0, BatchSummary(m_binTables.resistance(), m_binTables.voltage()));
}

void QualityWindow::takeAppended()
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

void QualityWindow::cancelReading()
{
    if (!isReading())
        return;
    m_stopped = true;
    m_appendedWaiting = false;
    m_reloadWaiting = false;
    m_watcher.cancel();
}

bool QualityWindow::limitsChanged() const
{
    return !sameLimits(m_summary.table(0), m_binTables.resistance())
        || !sameLimits(m_summary.table(1), m_binTables.voltage());
}

void QualityWindow::startPass(qint64 fromOffset, const BatchSummary &base)
{
    const QString path = m_path;
    // Read on only in the file read so far; another one at the path is read
    // from its start.
    const std::optional<regularfile::Identity> readBefore = fromOffset > 0 ? m_fileRead : std::nullopt;
    // A pass from the start judges against fresh copies of the tables.
    const BatchSummary fresh(base.table(0), base.table(1));
    const Readings before = m_readings;
    QString notice;
    const RecordFilter range = rangeFilter(&notice);
    if (Source(m_sourceBox->currentIndex()) == Source::DataFile) {
        m_rangeNotice = notice;
        showSourceText(QString());
    }
    m_progressBar->setValue(0);
    const qint64 size = QFileInfo(m_path).size();
    m_progressBar->setVisible(size - fromOffset >= kProgressShownFrom);
    m_cancelButton->setEnabled(true);
    m_watcher.setFuture(QtConcurrent::run(
        [path, fromOffset, readBefore, base, fresh, before, range](QPromise<Pass> &promise) {
            promise.setProgressRange(0, kProgressSteps);
            Pass pass;
            pass.tail = readRecordFile(path, fromOffset, [&promise](qint64 done, qint64 total) {
                promise.setProgressValue(total > 0 ? int(done * kProgressSteps / total) : kProgressSteps);
                return !promise.isCanceled();
            }, readBefore);
            if (pass.tail.cancelled || !pass.tail.error.isEmpty()) {
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
            pass.plots = batchcharts::preparePlots(*pass.readings, pass.summary, kScatterPoints);
            ReadingsSource source(*pass.readings, tr("Data file %1").arg(QDir::toNativeSeparators(path)),
                                  QFileInfo(path).completeBaseName());
            QString ignored; // the readings are in memory: only CANCEL stops it
            analyseShift(source, range, pass.summary.table(0), pass.summary.table(1), kControlChartPoints,
                         &pass.analysis, &ignored, [&promise] { return !promise.isCanceled(); });
            promise.addResult(std::move(pass));
        }));
}

void QualityWindow::passEnded()
{
    if (m_reloadWaiting) {
        m_reloadWaiting = false;
        startPass(0, BatchSummary(m_binTables.resistance(), m_binTables.voltage()));
        return;
    }
    m_progressBar->setVisible(false);
    m_progressBar->setAccessibleName(tr("Reading progress"));
    m_cancelButton->setEnabled(false);
    QFuture<Pass> future = m_watcher.future();
    if (future.isCanceled() || future.resultCount() == 0) {
        showStatus();
        Q_EMIT readingEnded();
        return;
    }
    // A copy of the handles only: taking the result out would leave the
    // watcher a future that never reports itself finished again.
    const Pass pass = future.result();
    m_readError = pass.tail.error;
    if (pass.tail.error.isEmpty()) {
        if (pass.tail.startOffset == 0)
            m_linesNotRead = 0;
        m_readings = pass.readings;
        m_linesNotRead += pass.tail.linesNotRead;
        m_offset = pass.tail.endOffset;
        m_fileRead = pass.tail.file;
        m_summary = pass.summary;
        m_plots = pass.plots;
        if (Source(m_sourceBox->currentIndex()) == Source::DataFile)
            m_analysis = pass.analysis;
        showAll();
    } else {
        showStatus();
    }

    if (m_appendedWaiting) {
        m_appendedWaiting = false;
        takeAppended();
    }
    if (m_rangeWaiting && !isReading())
        analyseRange();
    Q_EMIT readingEnded();
}

// --- Showing ------------------------------------------------------------------------

void QualityWindow::showAll()
{
    batchcharts::fillHistogram(m_histogramR, 0, m_plots.histograms[0], m_summary);
    batchcharts::fillHistogram(m_histogramV, 1, m_plots.histograms[1], m_summary);
    batchcharts::fillScatter(m_scatter, m_plots.scatter);
    if (m_plots.scatterStep > 1)
        m_scatter->setTitle(tr("Resistance against voltage (every %1 of %2 cells)")
                                .arg(batchcharts::ordinal(qint64(m_plots.scatterStep)))
                                .arg(m_readings->size()));
    else
        m_scatter->setTitle(tr("Resistance against voltage"));
    m_scatterLegend->setText(batchcharts::scatterLegend(m_plots.scatter));
    fillTable(m_tableR, 0);
    fillTable(m_tableV, 1);
    describeCharts();
    showStability();
    showStatus();
}

// What a screen reader says for each chart: what it shows and its main figures.
void QualityWindow::describeCharts()
{
    for (int t = 0; t < 2; ++t) {
        QString (*const format)(float) = t == 0 ? getFormatR : getFormatV;
        const SpreadStats &total = m_summary.total(t);
        QStringList parts;
        parts << tr("%1 cells").arg(total.count);
        if (total.count > 0) {
            parts << tr("from %1 to %2, mean %3").arg(format(total.min), format(total.max), format(float(total.mean)));
        }
        for (int r = 0; r < m_summary.binsInUse(t); ++r)
            parts << tr("%1: %2 cells").arg(slotCaption(r)).arg(m_summary.row(t, r).count);
        parts << tr("+Out: %1 cells").arg(m_summary.row(t, slot::kPlusOut).count);
        parts << tr("-Out: %1 cells").arg(m_summary.row(t, slot::kMinusOut).count);
        (t == 0 ? m_histogramRView : m_histogramVView)
            ->setAccessibleDescription(tr("Histogram of %1 (%2) with the BINs as bands: %3")
                                           .arg(t == 0 ? tr("resistance") : tr("voltage"),
                                                QLatin1String(t == 0 ? "mOhm" : "V"), parts.join(QStringLiteral("; "))));
    }
    QStringList groups;
    for (const auto &[key, points] : m_plots.scatter.groups)
        groups << tr("%1: %2 points").arg(batchcharts::groupName(key)).arg(points.size());
    m_scatterView->setAccessibleDescription(tr("%1. %2").arg(m_scatter->title(), groups.join(QStringLiteral("; "))));
}

void QualityWindow::showStability()
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
        m_yieldTable->setItem(row, 0, cell(caption));
        m_yieldTable->setItem(row, 1, cell(QString::number(y.cells)));
        m_yieldTable->setItem(row, 2, cell(QString::number(y.inBins)));
        m_yieldTable->setItem(row, 3, cell(QString::number(y.percent(), 'f', 2)));
        ++row;
    };
    for (const auto &[start, y] : hours)
        put(controlcharts::hourCaption(start), y);
    put(tr("Total"), m_analysis.yield.total());
}

void QualityWindow::showStatus()
{
    QString text;
    if (!m_readError.isEmpty())
        text = tr("The data file cannot be read: %1. ").arg(m_readError);
    text += tr("%1 cells, %2.").arg(m_summary.count()).arg(lineCount(m_linesNotRead));
    if (isReading())
        text += tr(" Reading...");
    else if (m_stopped)
        text += tr(" Reading cancelled; RELOAD reads the file again.");
    m_statusLabel->setText(text);
}

void QualityWindow::fillTable(QTableWidget *table, int t)
{
    QString (*const format)(float) = t == 0 ? getFormatR : getFormatV;
    auto number = [format](double value) { return format(float(value)); };
    QList<int> slots;
    for (int r = 0; r < m_summary.binsInUse(t); ++r)
        slots << r;
    slots << slot::kPlusOut << slot::kMinusOut;
    if (m_summary.row(t, slot::kOut).count > 0)
        slots << slot::kOut;

    table->setRowCount(int(slots.size()) + 1);
    QStringList captions;
    const BinTable &limits = m_summary.table(t);
    for (int i = 0; i <= int(slots.size()); ++i) {
        const bool total = i == int(slots.size());
        const int s = total ? -1 : slots.at(i);
        const SpreadStats &stats = total ? m_summary.total(t) : m_summary.row(t, s);
        captions << (total ? tr("Total") : slotCaption(s));
        QString range;
        if (!total && s < 9) {
            const float lo = std::min(limits.lowerLimit[std::size_t(s)], limits.upperLimit[std::size_t(s)]);
            const float hi = std::max(limits.lowerLimit[std::size_t(s)], limits.upperLimit[std::size_t(s)]);
            range = QStringLiteral("%1 - %2").arg(format(lo), format(hi));
        }
        table->setItem(i, 0, cell(range));
        table->setItem(i, 1, cell(QString::number(stats.count)));
        table->setItem(i, 2, cell(QString::number(total ? (stats.count > 0 ? 100.0 : 0.0) : m_summary.share(t, s), 'f', 2)));
        table->setItem(i, 3, cell(stats.count > 0 ? number(stats.mean) : QString()));
        table->setItem(i, 4, cell(stats.count > 1 ? number(stats.stdDev()) : QString()));
        table->setItem(i, 5, cell(stats.count > 0 ? number(stats.min) : QString()));
        table->setItem(i, 6, cell(stats.count > 0 ? number(stats.max) : QString()));
        if (!total && s < 9)
            table->item(i, 0)->setForeground(batchcharts::binColour(s).darker(130));
        else if (!total)
            table->item(i, 0)->setForeground(batchcharts::outColour());
    }
    table->setVerticalHeaderLabels(captions);
}

// --- Export -------------------------------------------------------------------------

bool QualityWindow::savePlots(const QString &path, QString *error) const
{
    const QPixmap r = m_histogramRView->grab();
    const QPixmap v = m_histogramVView->grab();
    const QPixmap s = m_scatterView->grab();
    QPixmap picture(r.width() + v.width(), std::max(r.height(), v.height()) + s.height());
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        painter.drawPixmap(0, 0, r);
        painter.drawPixmap(r.width(), 0, v);
        painter.drawPixmap(0, std::max(r.height(), v.height()), s);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG") || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool QualityWindow::saveTable(const QString &path, QString *error) const
{
    QSaveFile file(path);
    const QByteArray csv = summaryCsv(m_summary);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool QualityWindow::saveReport(const QString &path, QString *error) const
{
    // The analysis is done; drawing a report takes the same time for any number of cells.
    return writeShiftReport(m_analysis, path, error);
}

void QualityWindow::askExportPath(Export what)
{
    // One save dialog at a time; an earlier one may still wait for deletion.
    delete m_exportDialog;
    auto *dialog = new QFileDialog(this);
    dialog->setObjectName(QStringLiteral("exportDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    const QFileInfo data(m_path);
    auto offer = [&](const QString &filter, const char *suffix, const char *ending) {
        dialog->setNameFilters({filter});
        dialog->setDefaultSuffix(QLatin1String(suffix));
        dialog->selectFile(data.dir().filePath(data.completeBaseName() + QLatin1String(ending)));
    };
    switch (what) {
    case Export::Plots:
        offer(tr("PNG picture (*.png)"), "png", "-plots.png");
        break;
    case Export::Table:
        offer(tr("CSV table (*.csv)"), "csv", "-bins.csv");
        break;
    case Export::Report:
        offer(tr("PDF document (*.pdf)"), "pdf", "-report.pdf");
        break;
    }
    connect(dialog, &QFileDialog::fileSelected, this, [this, what](const QString &path) { exportTo(what, path); });
    m_exportDialog = dialog;
    dialog->open();
}

void QualityWindow::exportTo(Export what, const QString &path)
{
    QString error;
    const bool saved = what == Export::Plots ? savePlots(path, &error)
                       : what == Export::Table ? saveTable(path, &error)
                                               : saveReport(path, &error);
    if (!saved)
        tell(tr("%1 could not be saved: %2").arg(QDir::toNativeSeparators(path), error));
}

void QualityWindow::tell(const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("batchMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

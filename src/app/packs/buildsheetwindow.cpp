#include "app/packs/buildsheetwindow.h"

#include "app/packs/capacitycolumnsdialog.h"
#include "app/packs/plansheetpdf.h"
#include "app/packs/planview.h"
#include "app/style/programicon.h"
#include "app/style/warninglabel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

BuildSheetWindow::BuildSheetWindow(PackPlaces places, QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint), m_places(std::move(places)), m_cancel(std::make_shared<std::atomic<bool>>(false))
{
    setObjectName(QStringLiteral("buildSheetWindow"));
    setWindowTitle(tr("Build a pack"));
    setWindowIcon(programIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    buildUi();
    connect(&m_planWatcher, &QFutureWatcher<PlanOutcome>::finished, this, &BuildSheetWindow::onPlanned);
    connect(&m_tradeWatcher, &QFutureWatcher<std::vector<WindowTradeRow>>::finished, this, &BuildSheetWindow::onTraded);
    connect(&m_saveWatcher, &QFutureWatcher<SaveOutcome>::finished, this, &BuildSheetWindow::onSaved);
    resize(1100, 760);
}

BuildSheetWindow::~BuildSheetWindow()
{
    // The jobs work on copies: they only have to stop, and nothing waits.
    m_cancel->store(true);
    for (QFutureWatcherBase *watcher : {static_cast<QFutureWatcherBase *>(&m_planWatcher),
                                        static_cast<QFutureWatcherBase *>(&m_tradeWatcher),
                                        static_cast<QFutureWatcherBase *>(&m_saveWatcher)}) {
        watcher->disconnect(this);
        watcher->cancel();
    }
}

void BuildSheetWindow::buildUi()
{
    auto *layout = new QVBoxLayout(this);
    m_choices = new PlanChoices(m_places, this);
    layout->addWidget(m_choices);

    const auto button = [this](const char *name, const QString &text) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    m_planButton = button("planButton", tr("&Plan"));
    m_cancelButton = button("cancelButton", tr("Ca&ncel"));
    m_saveButton = button("saveButton", tr("Save &and reserve"));
    m_saveButton->setToolTip(tr("Saves the plan in the journal or the shared database and reserves its cells, so "
                                "that no other pack, on this bench or another, takes them."));
    m_pdfButton = button("pdfButton", tr("E&xport PDF..."));
    m_csvButton = button("csvButton", tr("Export CS&V..."));
    m_tradeButton = button("tradeButton", tr("Window trade"));
    m_tradeButton->setToolTip(tr("Plans again with a quarter, half, twice and four times the in-group window."));
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {m_planButton, m_cancelButton, m_saveButton, m_pdfButton, m_csvButton, m_tradeButton})
        buttons->addWidget(b);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    auto *statusRow = new QHBoxLayout;
    m_status = new QLabel(tr("Choose the cells and the pack, then Plan."), this);
    m_status->setObjectName(QStringLiteral("planStatus"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_busy = new QProgressBar(this);
    m_busy->setObjectName(QStringLiteral("planBusy"));
    m_busy->setRange(0, 0);
    m_busy->setMaximumWidth(160);
    m_busy->setAccessibleName(tr("Working"));
    m_busy->hide();
    statusRow->addWidget(m_status, 1);
    statusRow->addWidget(m_busy);
    layout->addLayout(statusRow);

    m_view = new PlanView(this);
    layout->addWidget(m_view, 1);

    connect(m_planButton, &QPushButton::clicked, this, &BuildSheetWindow::plan);
    connect(m_cancelButton, &QPushButton::clicked, this, &BuildSheetWindow::cancel);
    connect(m_saveButton, &QPushButton::clicked, this, &BuildSheetWindow::save);
    connect(m_pdfButton, &QPushButton::clicked, this, [this] { askExport(true); });
    connect(m_csvButton, &QPushButton::clicked, this, [this] { askExport(false); });
    connect(m_tradeButton, &QPushButton::clicked, this, &BuildSheetWindow::showTrade);
    connect(m_choices, &PlanChoices::columnsAsked, this, &BuildSheetWindow::askColumns);
    connect(m_choices, &PlanChoices::browseAsked, this, &BuildSheetWindow::askFile);
    updateButtons();
}

bool BuildSheetWindow::isWorking() const
{
    return m_planWatcher.isRunning() || m_tradeWatcher.isRunning() || m_saveWatcher.isRunning();
}

void BuildSheetWindow::updateButtons()
{
    const bool working = isWorking();
    m_planButton->setEnabled(!working);
    m_cancelButton->setEnabled(m_planWatcher.isRunning() || m_tradeWatcher.isRunning());
    m_saveButton->setEnabled(!working && m_hasPlan && m_sheet.packName.isEmpty() && m_request.source.keepsPlans());
    m_pdfButton->setEnabled(!working && m_hasPlan);
    m_csvButton->setEnabled(!working && m_hasPlan);
    m_tradeButton->setEnabled(!working && m_hasPlan);
}

void BuildSheetWindow::showStatus(const QString &text, bool warning)
{
    QPalette palette = m_status->palette();
    palette.setColor(QPalette::WindowText, warning ? warningColour() : this->palette().color(QPalette::WindowText));
    m_status->setPalette(palette);
    m_status->setText(text);
}

void BuildSheetWindow::startWork(const QString &text)
{
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    showStatus(text, false);
    m_busy->show();
    updateButtons();
}

void BuildSheetWindow::endWork()
{
    m_busy->hide();
    updateButtons();
    Q_EMIT workEnded();
}

void BuildSheetWindow::plan()
{
    if (isWorking())
        return;
    const Result<PlanRequest> request = m_choices->request();
    if (!request) {
        showStatus(request.errorString(), true);
        Q_EMIT workEnded();
        return;
    }
    startWork(tr("Reading the cells of %1 and planning %2s%3p...")
                      .arg(request->source.description())
                      .arg(request->settings.series)
                      .arg(request->settings.parallel));
    m_request = *request;
    const std::shared_ptr<std::atomic<bool>> cancel = m_cancel;
    m_planWatcher.setFuture(m_threads.run<PlanOutcome>([req = *request, cancel](QPromise<PlanOutcome> &promise) {
        QElapsedTimer timer;
        timer.start();
        PlanOutcome outcome;
        Result<Pool> pool = readPool(req.source, req.filter, cancel.get());
        if (!pool) {
            outcome.error = BuildSheetWindow::tr("The cells cannot be read: %1").arg(pool.errorString());
            promise.addResult(std::move(outcome));
            return;
        }
        outcome.poolLines = pool->report.lines();
        if (pool->report.records == 0)
            outcome.poolLines << BuildSheetWindow::tr("No record of this source has a cell ID; a pack is placed by "
                                                      "scanning IDs (Settings > Cell IDs...).");
        if (!req.capacityFile.isEmpty()) {
            const Result<CapacityImport> import = readCapacityFile(req.capacityFile, req.columns, pool->knownIds);
            if (!import) {
                outcome.error = BuildSheetWindow::tr("The capacity file cannot be read: %1").arg(import.errorString());
                promise.addResult(std::move(outcome));
                return;
            }
            const int given = applyCapacities(pool->cells, *import);
            outcome.problems = import->problems;
            outcome.capacityLines << BuildSheetWindow::tr("%1: %n cell(s) of the pool with a capacity", nullptr, given)
                                             .arg(QDir::toNativeSeparators(req.capacityFile));
            if (!import->problems.empty())
                outcome.capacityLines << BuildSheetWindow::tr("%n row(s) gave no capacity (listed row by row)", nullptr,
                                                              int(import->problems.size()));
        }
        Result<Plan> plan = planPack(pool->cells, req.settings, cancel.get());
        if (plan)
            outcome.plan = std::move(*plan);
        else
            outcome.error = plan.errorString();
        outcome.pool = std::move(pool->cells);
        outcome.seconds = double(timer.nsecsElapsed()) / 1e9;
        promise.addResult(std::move(outcome));
    }));
}

void BuildSheetWindow::onPlanned()
{
    const QFuture<PlanOutcome> future = m_planWatcher.future();
    if (future.isCanceled() || future.resultCount() == 0) {
        showStatus(tr("Cancelled before a plan was found."), true);
        endWork();
        return;
    }
    const PlanOutcome outcome = future.result();
    m_view->showProblems(outcome.problems);
    m_view->showTrade({}, SpreadUnit::Percent);
    m_pool = outcome.pool;
    if (!outcome.plan) {
        m_hasPlan = false;
        m_sheet = PlanSheet();
        m_view->showGroups({});
        QStringList lines{outcome.error, QString()};
        lines << outcome.poolLines << outcome.capacityLines;
        m_view->showText(lines);
        showStatus(outcome.error, true);
        endWork();
        return;
    }
    m_hasPlan = true;
    m_sheet = PlanSheet();
    m_sheet.plan = *outcome.plan;
    m_sheet.source = m_request.source.description();
    m_sheet.poolLines = outcome.poolLines;
    m_sheet.capacityLines = outcome.capacityLines;
    for (const CapacityRowProblem &problem : outcome.problems)
        m_sheet.capacityLines << tr("Row %1: %2").arg(problem.row).arg(problem.reason);
    m_sheet.made = QDateTime::currentDateTime();
    m_view->showText(sheetLines(m_sheet));
    m_view->showGroups(m_sheet.plan.groups);
    showStatus(tr("Planned in %1 s; %2").arg(QLocale::c().toString(outcome.seconds, 'f', 2), m_sheet.plan.stopText()),
               false);
    endWork();
}

void BuildSheetWindow::cancel()
{
    m_cancel->store(true);
}

void BuildSheetWindow::showTrade()
{
    if (isWorking() || !m_hasPlan)
        return;
    startWork(tr("Planning with narrower and wider in-group windows..."));
    const PlanSettings settings = m_sheet.plan.settings;
    const std::shared_ptr<std::atomic<bool>> cancel = m_cancel;
    m_tradeWatcher.setFuture(m_threads.run<std::vector<WindowTradeRow>>(
            [pool = m_pool, settings, cancel](QPromise<std::vector<WindowTradeRow>> &promise) {
                promise.addResult(windowTrade(pool, settings, tradeWindowsAround(settings.groupWindow), cancel.get()));
            }));
}

void BuildSheetWindow::onTraded()
{
    const QFuture<std::vector<WindowTradeRow>> future = m_tradeWatcher.future();
    if (!future.isCanceled() && future.resultCount() > 0) {
        m_sheet.trade = future.result();
        m_view->showTrade(m_sheet.trade, m_sheet.plan.settings.groupWindowUnit);
        showStatus(m_cancel->load() ? tr("Trade cancelled; the windows planned until then are shown.")
                                    : tr("Narrowing the in-group window costs capacity: the trade is below."),
                   false);
    }
    endWork();
}

void BuildSheetWindow::save()
{
    if (isWorking() || !m_hasPlan || !m_sheet.packName.isEmpty() || !m_request.source.keepsPlans())
        return;
    startWork(tr("Saving the plan and reserving its cells in %1...").arg(m_request.source.description()));
    PlanOrigin origin;
    origin.filter = m_request.filter;
    origin.capacityFile = m_request.capacityFile;
    origin.capacityColumns = m_request.columns;
    const PackLabel label = m_places.label();
    m_saveWatcher.setFuture(m_threads.run<SaveOutcome>([source = m_request.source, plan = m_sheet.plan, origin,
                                                        label](QPromise<SaveOutcome> &promise) {
        SaveOutcome outcome;
        PackStore store(source);
        Status opened = store.open();
        Result<SavedPlan> saved = opened ? store.save(plan, origin, label) : Result<SavedPlan>(opened.failure());
        if (!saved) {
            outcome.error = saved.errorString();
        } else {
            outcome.saved = *saved;
            if (saved->saved()) {
                const Result<StoredPack> stored = store.load(saved->pack);
                outcome.name = stored ? stored->summary.name : saved->pack.toString(QUuid::WithoutBraces);
            }
        }
        promise.addResult(std::move(outcome));
    }));
}

void BuildSheetWindow::onSaved()
{
    const QFuture<SaveOutcome> future = m_saveWatcher.future();
    if (future.isCanceled() || future.resultCount() == 0) {
        endWork();
        return;
    }
    const SaveOutcome outcome = future.result();
    if (!outcome.error.isEmpty()) {
        showStatus(tr("The plan was not saved: %1").arg(outcome.error), true);
    } else if (!outcome.saved.saved()) {
        showStatus(outcome.saved.refusalText(), true);
    } else {
        m_sheet.packName = outcome.name;
        m_view->showText(sheetLines(m_sheet));
        showStatus(tr("Saved as pack %1, with %n cell(s) reserved; File > Pack placement... places them by scan.", nullptr,
                      m_sheet.plan.settings.cellCount())
                           .arg(outcome.name),
                   false);
        Q_EMIT packSaved(outcome.name);
    }
    endWork();
}

void BuildSheetWindow::askExport(bool pdf)
{
    if (!m_hasPlan)
        return;
    delete m_fileDialog;
    auto *dialog = new QFileDialog(this);
    dialog->setObjectName(QStringLiteral("exportDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setNameFilters({pdf ? tr("PDF file (*.pdf)") : tr("CSV table (*.csv)")});
    dialog->setDefaultSuffix(pdf ? QStringLiteral("pdf") : QStringLiteral("csv"));
    const QString shape = QStringLiteral("%1s%2p").arg(m_sheet.plan.settings.series).arg(m_sheet.plan.settings.parallel);
    dialog->selectFile(QDir(m_places.dataDir).filePath(QStringLiteral("pack-%1.%2").arg(shape, pdf ? "pdf" : "csv")));
    connect(dialog, &QFileDialog::fileSelected, this, [this, pdf](const QString &path) { exportTo(path, pdf); });
    m_fileDialog = dialog;
    dialog->open();
}

bool BuildSheetWindow::exportTo(const QString &path, bool pdf)
{
    const Status written = pdf ? writePlanPdf(m_sheet, path) : writePlanCsv(m_sheet, path);
    if (!written) {
        showStatus(tr("The build sheet was not written: %1").arg(written.errorString()), true);
        return false;
    }
    showStatus(tr("Written: %1").arg(QDir::toNativeSeparators(path)), false);
    return true;
}

void BuildSheetWindow::askColumns()
{
    if (m_columnsDialog) {
        m_columnsDialog->raise();
        return;
    }
    auto *dialog = new CapacityColumnsDialog(m_places.settingsDir, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_columnsDialog = dialog;
    dialog->open();
}

void BuildSheetWindow::askFile(bool dataFile)
{
    delete m_fileDialog;
    auto *dialog = new QFileDialog(this);
    dialog->setObjectName(QStringLiteral("openDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setNameFilters({dataFile ? tr("Data file (*.csv)") : tr("Capacity file (*.csv *.txt)"), tr("Any file (*)")});
    dialog->setDirectory(m_places.dataDir);
    connect(dialog, &QFileDialog::fileSelected, this, [this, dataFile](const QString &path) {
        if (dataFile)
            m_choices->setDataFile(path);
        else
            m_choices->setCapacityFile(path);
    });
    m_fileDialog = dialog;
    dialog->open();
}

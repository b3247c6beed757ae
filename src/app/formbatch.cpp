#include "app/formbatch.h"

#include "app/batchcharts.h"
#include "app/programicon.h"
#include "bins/bintables.h"

#include <QChart>
#include <QChartView>
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
#include <QProgressBar>
#include <QPromise>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace {

// More points than this make the scatter plot slow without showing more.
constexpr int kScatterPoints = 2000;
// Reads shorter than this finish too soon for a progress bar to mean anything.
constexpr qint64 kProgressShownFrom = qint64(1) << 20;
constexpr int kProgressSteps = 1000;

const QStringList kColumns{QStringLiteral("Limits"), QStringLiteral("Count"), QStringLiteral("Share %"),
                           QStringLiteral("Mean"), QStringLiteral("Std dev"), QStringLiteral("Min"),
                           QStringLiteral("Max")};

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
    return n == 1 ? QStringLiteral("1 line not read") : QStringLiteral("%1 lines not read").arg(n);
}

} // namespace

FormBatch::FormBatch(const BinTables &binTables, QString path, QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      m_binTables(binTables),
      m_path(std::move(path)),
      m_readings(std::make_shared<const std::vector<RecordReading>>()),
      m_summary(binTables.resistance(), binTables.voltage()),
      m_plots(batchcharts::preparePlots(*m_readings, m_summary, kScatterPoints))
{
    setObjectName(QStringLiteral("FormBatch"));
    setWindowTitle(QStringLiteral("BATCH - %1").arg(QFileInfo(m_path).fileName()));
    setWindowIcon(programIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    buildUi();
    connect(&m_watcher, &QFutureWatcher<Pass>::finished, this, &FormBatch::passEnded);
    connect(&m_watcher, &QFutureWatcher<Pass>::progressValueChanged, m_progressBar, &QProgressBar::setValue);
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

FormBatch::~FormBatch()
{
    // The worker reads into its own copies; it only has to stop.
    m_watcher.disconnect(this);
    m_watcher.cancel();
    m_watcher.waitForFinished();
}

void FormBatch::buildUi()
{
    auto *layout = new QVBoxLayout(this);

    m_bannerLabel = new QLabel(this);
    m_bannerLabel->setObjectName(QStringLiteral("bannerLabel"));
    m_bannerLabel->setWordWrap(true);
    m_bannerLabel->setTextFormat(Qt::PlainText);
    m_bannerLabel->setText(QStringLiteral("File: %1\nThe data file stores no BIN: every BIN shown here is worked out "
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
    bar->addWidget(m_progressBar);
    auto button = [this, bar](const char *name, const char *caption) {
        auto *b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        bar->addWidget(b);
        return b;
    };
    m_cancelButton = button("cancelButton", "CANCEL");
    m_reloadButton = button("reloadButton", "RELOAD");
    m_exportPlotsButton = button("exportPlotsButton", "PLOTS AS PNG...");
    m_exportTableButton = button("exportTableButton", "TABLE AS CSV...");
    m_cancelButton->setEnabled(false);
    layout->addLayout(bar);

    auto *grid = new QGridLayout;
    m_histogramRView = makeChartView(this, QStringLiteral("histogramR"), QStringLiteral("Resistance"), m_histogramR);
    m_histogramVView = makeChartView(this, QStringLiteral("histogramV"), QStringLiteral("Voltage"), m_histogramV);
    m_scatterView = makeChartView(this, QStringLiteral("scatterPlot"), QStringLiteral("Resistance against voltage"),
                                  m_scatter);
    grid->addWidget(m_histogramRView, 0, 0);
    grid->addWidget(m_histogramVView, 0, 1);
    grid->addWidget(m_scatterView, 1, 0);

    auto *tables = new QVBoxLayout;
    auto makeTable = [this, tables](const char *name, const char *caption) {
        auto *label = new QLabel(QString::fromLatin1(caption), this);
        tables->addWidget(label);
        auto *table = new QTableWidget(0, int(kColumns.size()), this);
        table->setObjectName(QLatin1String(name));
        table->setHorizontalHeaderLabels(kColumns);
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
        table->verticalHeader()->setDefaultSectionSize(20);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        tables->addWidget(table);
        return table;
    };
    m_tableR = makeTable("resistanceTable", "RESISTANCE (mOhm)");
    m_tableV = makeTable("voltageTable", "VOLTAGE (V)");
    grid->addLayout(tables, 1, 1);
    layout->addLayout(grid, 1);

    connect(m_cancelButton, &QPushButton::clicked, this, &FormBatch::cancelReading);
    connect(m_reloadButton, &QPushButton::clicked, this, &FormBatch::reload);
    connect(m_exportPlotsButton, &QPushButton::clicked, this, [this] { askExportPath(true); });
    connect(m_exportTableButton, &QPushButton::clicked, this, [this] { askExportPath(false); });
    resize(1200, 820);
}

// --- Reading ------------------------------------------------------------------------

void FormBatch::reload()
{
    m_stopped = false;
    if (isReading()) {
        // The running read's outcome is dropped; this one starts afresh.
        disconnect(&m_watcher, &QFutureWatcher<Pass>::finished, this, &FormBatch::passEnded);
        m_watcher.cancel();
        m_watcher.waitForFinished();
        connect(&m_watcher, &QFutureWatcher<Pass>::finished, this, &FormBatch::passEnded);
    }
    m_appendedWaiting = false;
    startPass(0, BatchSummary(m_binTables.resistance(), m_binTables.voltage()));
}

void FormBatch::takeAppended()
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

void FormBatch::cancelReading()
{
    if (!isReading())
        return;
    m_stopped = true;
    m_appendedWaiting = false;
    m_watcher.cancel();
}

bool FormBatch::limitsChanged() const
{
    return !sameLimits(m_summary.table(0), m_binTables.resistance())
        || !sameLimits(m_summary.table(1), m_binTables.voltage());
}

void FormBatch::startPass(qint64 fromOffset, const BatchSummary &base)
{
    const QString path = m_path;
    // A pass from the start judges against fresh copies of the tables.
    const BatchSummary fresh(base.table(0), base.table(1));
    const Readings before = m_readings;
    m_progressBar->setValue(0);
    const qint64 size = QFileInfo(m_path).size();
    m_progressBar->setVisible(size - fromOffset >= kProgressShownFrom);
    m_cancelButton->setEnabled(true);
    m_watcher.setFuture(QtConcurrent::run(
        [path, fromOffset, base, fresh, before](QPromise<Pass> &promise) {
            promise.setProgressRange(0, kProgressSteps);
            Pass pass;
            pass.tail = readRecordFile(path, fromOffset, [&promise](qint64 done, qint64 total) {
                promise.setProgressValue(total > 0 ? int(done * kProgressSteps / total) : kProgressSteps);
                return !promise.isCanceled();
            });
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
            promise.addResult(std::move(pass));
        }));
}

void FormBatch::passEnded()
{
    m_progressBar->setVisible(false);
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
        m_summary = pass.summary;
        m_plots = pass.plots;
        showAll();
    } else {
        showStatus();
    }

    if (m_appendedWaiting) {
        m_appendedWaiting = false;
        takeAppended();
    }
    Q_EMIT readingEnded();
}

// --- Showing ------------------------------------------------------------------------

void FormBatch::showAll()
{
    batchcharts::fillHistogram(m_histogramR, 0, m_plots.histograms[0], m_summary);
    batchcharts::fillHistogram(m_histogramV, 1, m_plots.histograms[1], m_summary);
    batchcharts::fillScatter(m_scatter, m_plots.scatter);
    if (m_plots.scatterStep > 1)
        m_scatter->setTitle(QStringLiteral("Resistance against voltage (every %1th of %2 cells)")
                                .arg(m_plots.scatterStep)
                                .arg(m_readings->size()));
    else
        m_scatter->setTitle(QStringLiteral("Resistance against voltage"));
    fillTable(m_tableR, 0);
    fillTable(m_tableV, 1);
    showStatus();
}

void FormBatch::showStatus()
{
    QString text;
    if (!m_readError.isEmpty())
        text = QStringLiteral("The data file cannot be read: %1. ").arg(m_readError);
    text += QStringLiteral("%1 cells, %2.").arg(m_summary.count()).arg(lineCount(m_linesNotRead));
    if (isReading())
        text += QStringLiteral(" Reading...");
    else if (m_stopped)
        text += QStringLiteral(" Reading cancelled; RELOAD reads the file again.");
    m_statusLabel->setText(text);
}

void FormBatch::fillTable(QTableWidget *table, int t)
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
        captions << (total ? QStringLiteral("Total") : slotCaption(s));
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

bool FormBatch::savePlots(const QString &path, QString *error) const
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

bool FormBatch::saveTable(const QString &path, QString *error) const
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

void FormBatch::askExportPath(bool plots)
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
    if (plots) {
        dialog->setNameFilters({QStringLiteral("PNG picture (*.png)")});
        dialog->setDefaultSuffix(QStringLiteral("png"));
        dialog->selectFile(data.dir().filePath(data.completeBaseName() + QStringLiteral("-plots.png")));
    } else {
        dialog->setNameFilters({QStringLiteral("CSV table (*.csv)")});
        dialog->setDefaultSuffix(QStringLiteral("csv"));
        dialog->selectFile(data.dir().filePath(data.completeBaseName() + QStringLiteral("-bins.csv")));
    }
    connect(dialog, &QFileDialog::fileSelected, this, [this, plots](const QString &path) { exportTo(plots, path); });
    m_exportDialog = dialog;
    dialog->open();
}

void FormBatch::exportTo(bool plots, const QString &path)
{
    QString error;
    const bool saved = plots ? savePlots(path, &error) : saveTable(path, &error);
    if (!saved)
        tell(QStringLiteral("%1 could not be saved: %2").arg(QDir::toNativeSeparators(path), error));
}

void FormBatch::tell(const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("batchMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

#include "app/quality/qualitywindow.h"

#include "app/quality/batchreading.h"
#include "app/quality/distributiontab.h"
#include "app/quality/qualityexports.h"
#include "app/quality/shiftreport.h"
#include "app/quality/stabilitytab.h"
#include "app/style/programicon.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QString lineCount(qint64 n)
{
    return QualityWindow::tr("%n line(s) not read", nullptr, int(n));
}

} // namespace

QualityWindow::QualityWindow(const BinTables &binTables, QString path, QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FormBatch"));
    m_reading = new BatchReading(binTables, std::move(path), m_pool, this);
    setWindowTitle(tr("BATCH - %1").arg(QFileInfo(m_reading->path()).fileName()));
    setWindowIcon(programIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    buildUi();
    m_exports = new QualityExports(this, m_reading->path(),
                                   [this](QualityExports::Kind kind, const QString &file, QString *error) {
                                       switch (kind) {
                                       case QualityExports::Kind::Plots:
                                           return savePlots(file, error);
                                       case QualityExports::Kind::Table:
                                           return saveTable(file, error);
                                       case QualityExports::Kind::Report:
                                           break;
                                       }
                                       return saveReport(file, error);
                                   });
    m_reading->setRangeOfPass([this] { return m_stability->rangeOfPass(); });
    connect(m_reading, &BatchReading::passStarted, this, &QualityWindow::onPassStarted);
    connect(m_reading, &BatchReading::progressChanged, m_progressBar, &QProgressBar::setValue);
    connect(m_reading, &BatchReading::passEnded, this, &QualityWindow::onPassEnded);
    connect(m_stability, &StabilityTab::analysisShown, this, &QualityWindow::showStatus);
    connect(m_stability, &StabilityTab::analysisShown, this, &QualityWindow::analysisShown);
    connect(m_stability, &StabilityTab::lineViewShown, this, &QualityWindow::lineViewShown);
    showBatch();
    reload();
}

QualityWindow::~QualityWindow()
{
    // The parts go first and cancel their work; the pool then goes without
    // waiting for a read or a database that does not answer, which ends on
    // its thread. A tab deleted changes the current tab: nothing here may
    // answer that any more.
    m_tabs->disconnect(this);
    delete m_stability;
    delete m_reading;
}

void QualityWindow::buildUi()
{
    auto *layout = new QVBoxLayout(this);

    m_bannerLabel = new QLabel(this);
    m_bannerLabel->setObjectName(QStringLiteral("bannerLabel"));
    m_bannerLabel->setWordWrap(true);
    m_bannerLabel->setTextFormat(Qt::PlainText);
    layout->addWidget(m_bannerLabel);

    auto *bar = new QHBoxLayout;
    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setTextFormat(Qt::PlainText);
    bar->addWidget(m_statusLabel, 1);
    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->setRange(0, BatchReading::kProgressSteps);
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
    QPushButton *exportPlots = button("exportPlotsButton", tr("&PLOTS AS PNG..."));
    QPushButton *exportTable = button("exportTableButton", tr("&TABLE AS CSV..."));
    QPushButton *exportReport = button("exportReportButton", tr("REP&ORT AS PDF..."));
    m_cancelButton->setEnabled(false);
    layout->addLayout(bar);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("batchTabs"));
    m_tabs->setAccessibleName(tr("Distribution or stability and capability"));
    m_distribution = new DistributionTab(m_tabs);
    m_stability = new StabilityTab(*m_reading, m_pool, m_tabs);
    m_tabs->addTab(m_distribution, tr("Distribution"));
    m_tabs->addTab(m_stability, tr("Stability and capability"));
    layout->addWidget(m_tabs, 1);
    connect(m_tabs, &QTabWidget::currentChanged, this, &QualityWindow::showStatus);

    connect(m_cancelButton, &QPushButton::clicked, this, &QualityWindow::cancelReading);
    connect(m_reloadButton, &QPushButton::clicked, this, &QualityWindow::reload);
    connect(exportPlots, &QPushButton::clicked, this, [this] { m_exports->ask(QualityExports::Kind::Plots); });
    connect(exportTable, &QPushButton::clicked, this, [this] { m_exports->ask(QualityExports::Kind::Table); });
    connect(exportReport, &QPushButton::clicked, this, [this] { m_exports->ask(QualityExports::Kind::Report); });
    resize(1200, 900);
}

// --- The parts' state -------------------------------------------------------------

const QString &QualityWindow::path() const
{
    return m_reading->path();
}

bool QualityWindow::isReading() const
{
    return m_reading->isReading();
}

const BatchSummary &QualityWindow::summary() const
{
    return m_reading->summary();
}

const ShiftAnalysis &QualityWindow::analysis() const
{
    return m_stability->analysis();
}

const std::vector<RecordReading> &QualityWindow::readings() const
{
    return *m_reading->readings();
}

qint64 QualityWindow::linesNotRead() const
{
    return m_reading->linesNotRead();
}

const std::vector<BenchFigures> &QualityWindow::lineView() const
{
    return m_stability->lineView();
}

QString QualityWindow::sourceError() const
{
    return m_stability->sourceError();
}

void QualityWindow::setRange(Range range)
{
    m_stability->choice().setRange(range);
}

void QualityWindow::setRecordPlaces(QString journalPath, QString settingsFolder)
{
    m_stability->setRecordPlaces(std::move(journalPath), std::move(settingsFolder));
    m_reading->setTesterWords(m_stability->testerWords());
}

void QualityWindow::setSource(Source source)
{
    m_stability->choice().setSource(source);
}

void QualityWindow::setBench(const QString &bench)
{
    m_stability->setBench(bench);
}

// --- Reading ------------------------------------------------------------------------

void QualityWindow::reload()
{
    m_reading->reload();
}

void QualityWindow::takeAppended()
{
    m_reading->takeAppended();
}

void QualityWindow::cancelReading()
{
    m_reading->cancel();
}

void QualityWindow::onPassStarted(bool showsProgress)
{
    m_progressBar->setValue(0);
    m_progressBar->setVisible(showsProgress);
    m_cancelButton->setEnabled(true);
}

void QualityWindow::onPassEnded(bool cancelled, const ShiftAnalysis *analysis)
{
    m_progressBar->setVisible(false);
    m_progressBar->setAccessibleName(tr("Reading progress"));
    m_cancelButton->setEnabled(false);
    if (cancelled) {
        showStatus();
        Q_EMIT readingEnded();
        return;
    }
    if (analysis) {
        m_stability->takeAnalysisOfPass(*analysis);
        showBatch();
    } else {
        showStatus();
    }
    m_reading->takeAppendedAskedFor();
    m_stability->readingEnded();
    Q_EMIT readingEnded();
}

// --- Showing ------------------------------------------------------------------------

void QualityWindow::showBatch()
{
    m_distribution->showBatch(m_reading->summary(), m_reading->plots(), m_reading->readings()->size());
    m_stability->showAnalysis();
    showStatus();
}

void QualityWindow::showStatus()
{
    const SourceChoice &choice = m_stability->choice();
    if (m_tabs->currentWidget() == m_stability && choice.source() != Source::DataFile) {
        const QString source = choice.source() == Source::Journal ? tr("Local journal") : tr("Shared database");
        const QString bench = choice.bench().isEmpty() ? tr("all benches") : tr("bench %1").arg(choice.bench());
        m_bannerLabel->setText(tr("Source: %1, %2\nEvery BIN shown here is worked out from the current limits "
                                  "of the BIN set-up panels.").arg(source, bench));
        m_statusLabel->setText(m_stability->sourceError().isEmpty()
                                   ? tr("%n cell(s).", nullptr, int(m_stability->analysis().summary.count()))
                                   : m_stability->sourceError());
        return;
    }
    m_bannerLabel->setText(tr("File: %1\nThe data file stores no BIN: every BIN shown here is worked out "
                              "from the current limits of the BIN set-up panels.")
                               .arg(QDir::toNativeSeparators(m_reading->path())));
    QString text;
    if (!m_reading->readError().isEmpty())
        text = tr("The data file cannot be read: %1. ").arg(m_reading->readError());
    text += tr("%n cell(s), %1.", nullptr, int(m_reading->summary().count())).arg(lineCount(m_reading->linesNotRead()));
    if (isReading())
        text += tr(" Reading...");
    else if (m_reading->isStopped())
        text += tr(" Reading cancelled; RELOAD reads the file again.");
    m_statusLabel->setText(text);
}

// --- Export -------------------------------------------------------------------------

bool QualityWindow::savePlots(const QString &path, QString *error) const
{
    const QPixmap picture = m_distribution->plotsPicture();
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
    const QByteArray csv = summaryCsv(m_reading->summary());
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
    return writeShiftReport(m_stability->analysis(), path, error, ReportMaker{QString(), m_stability->profileText()});
}

#include "cellidcontrols.h"

#include "cellhistorywindow.h"
#include "cellidoptionsdialog.h"

#include "bins/bintables.h"
#include "common/apperror.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "link/testernumber.h"
#include "record/recordline.h"
#include "bins/judge.h"
#include "session/measurementsession.h"

#include <QAction>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QSysInfo>
#include <QToolBar>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace {

bool sameRecord(const CellHistoryEntry &a, const CellHistoryEntry &b)
{
    return a.cellId == b.cellId && a.measuredAt == b.measuredAt && a.resistanceText == b.resistanceText
        && a.voltageText == b.voltageText;
}

QString binOf(const BinTable &table, double value)
{
    try {
        return recordedBinName(judgeTable(table, float(value), false));
    } catch (const AppError &) {
        // A table the grid cannot show: no BIN to name.
        return QString();
    }
}

} // namespace

QString CellIdControls::noIdText()
{
    return QStringLiteral("No cell ID: scan or type the cell's ID before it is counted. (Settings > Cell IDs "
                          "can allow cells without an ID.)");
}

CellIdControls::CellIdControls(QMainWindow *window, QMenu *settingsMenu, QMenu *fileMenu,
                               MeasurementSession &session, Dialogs &dialogs, Clock &clock,
                               const BinTables &binTables, QString title,
                               QString settingsFolder, std::function<QString()> dataPath,
                               std::function<void()> pressRecCount)
    : QObject(window),
      m_window(window),
      m_session(session),
      m_dialogs(dialogs),
      m_clock(clock),
      m_binTables(binTables),
      m_title(std::move(title)),
      m_settingsFolder(std::move(settingsFolder)),
      m_dataPath(std::move(dataPath)),
      m_pressRecCount(std::move(pressRecCount)),
      m_bench(QSysInfo::machineHostName())
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    m_msecs = [timer] { return timer->elapsed(); };

    m_optionsAction = settingsMenu->addAction(QStringLiteral("Cell &IDs..."));
    m_optionsAction->setObjectName(QStringLiteral("cellIdOptionsAction"));
    connect(m_optionsAction, &QAction::triggered, this, &CellIdControls::openOptionsDialog);
    m_historyAction = new QAction(QStringLiteral("Cell &history..."), fileMenu);
    m_historyAction->setObjectName(QStringLiteral("cellHistoryAction"));
    // With the other windows' items, before the separator above Exit.
    QAction *before = nullptr;
    for (QAction *item : fileMenu->actions()) {
        if (item->isSeparator()) {
            before = item;
            break;
        }
    }
    fileMenu->insertAction(before, m_historyAction);
    connect(m_historyAction, &QAction::triggered, this, &CellIdControls::openHistoryWindow);

    // A strip below the client area, so that the window's own layout stays.
    m_strip = new QToolBar(QStringLiteral("Cell ID"), window);
    m_strip->setObjectName(QStringLiteral("cellIdStrip"));
    m_strip->setMovable(false);
    m_strip->setFloatable(false);
    m_strip->toggleViewAction()->setVisible(false);
    auto *content = new QWidget(m_strip);
    auto *rows = new QVBoxLayout(content);
    rows->setContentsMargins(4, 2, 4, 2);
    auto *row = new QHBoxLayout;
    auto *caption = new QLabel(QStringLiteral("Cell &ID:"), content);
    m_field = new QLineEdit(content);
    m_field->setObjectName(QStringLiteral("cellIdField"));
    m_field->setMaxLength(256);
    m_field->setFixedWidth(220);
    m_field->setAccessibleName(QStringLiteral("Cell ID"));
    caption->setBuddy(m_field);
    m_kValue = new QLabel(content);
    m_kValue->setObjectName(QStringLiteral("kValueLabel"));
    row->addWidget(caption);
    row->addWidget(m_field);
    row->addSpacing(12);
    row->addWidget(m_kValue, 1);
    rows->addLayout(row);
    m_notice = new QLabel(content);
    m_notice->setObjectName(QStringLiteral("cellIdNotice"));
    m_notice->setWordWrap(true);
    rows->addWidget(m_notice);
    m_strip->addWidget(content);
    window->addToolBar(Qt::BottomToolBarArea, m_strip);

    m_field->installEventFilter(this);
    connect(m_field, &QLineEdit::textEdited, this, [this] {
        m_edited = true;
        m_taken.clear();
        m_kValue->clear();
    });
    connect(&m_reader, &QFutureWatcher<CellRecordIndex>::finished, this, &CellIdControls::onHistoryRead);

    m_options = loadCellIdOptions(m_settingsFolder);
    apply();
}

// The window's session is gone by now (a member of the window, this a child):
// it is not touched here.
CellIdControls::~CellIdControls()
{
    // The worker only reads files; its result is dropped.
    m_reader.waitForFinished();
}

void CellIdControls::setOptions(const CellIdOptions &options)
{
    if (options == m_options)
        return;
    const bool reread = options.enabled && !m_options.enabled;
    m_options = options;
    apply();
    if (reread)
        reloadHistory();
    QString reason;
    if (!saveCellIdOptions(m_settingsFolder, m_options, &reason)) {
        m_dialogs.showNotice(QStringLiteral("%1. The cell-ID options apply until the program ends "
                                            "but are not saved.").arg(reason),
                             m_title);
    }
}

void CellIdControls::apply()
{
    m_pattern = cellIdPattern(m_options.pattern);
    m_session.setCellTagger(m_options.enabled ? this : nullptr);
    m_strip->setVisible(m_options.enabled);
}

bool CellIdControls::focusField()
{
    if (!m_options.enabled)
        return false;
    m_field->setFocus(Qt::OtherFocusReason);
    return true;
}

// --- The field ------------------------------------------------------------------

bool CellIdControls::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_field || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const qint64 now = m_msecs();
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (enter || key->key() == Qt::Key_Tab) {
        const bool framed = (!m_options.prefix.isEmpty() || !m_options.suffix.isEmpty())
                         && unframedScan(m_field->text(), m_options.prefix, m_options.suffix);
        const bool scanned = m_scan.ends(now) || framed;
        if (!enter && !scanned)
            return false; // Tab typed by hand moves on as usual
        if (scanned || m_edited)
            takeField();
        else if (m_pressRecCount)
            m_pressRecCount();
        return true;
    }
    if (!key->text().isEmpty() && key->text().front().isPrint())
        m_scan.key(now);
    return false;
}

bool CellIdControls::takeField()
{
    QString text = m_field->text();
    if (const std::optional<QString> unframed = unframedScan(text, m_options.prefix, m_options.suffix))
        text = *unframed;
    m_edited = false;
    m_taken.clear();
    m_kValue->clear();
    const QString id = normalisedCellId(text);
    if (id.isEmpty()) {
        showNotice(QString(), false);
        m_field->clear();
        return false;
    }
    if (const std::optional<QString> problem = cellIdProblem(id, m_pattern)) {
        showNotice(*problem, true);
        m_field->selectAll();
        return false;
    }
    m_taken = id;
    m_field->setText(id);
    m_field->selectAll();
    const std::vector<CellHistoryEntry> records = historyOf(id);
    if (records.empty()) {
        showNotice(m_loading ? QStringLiteral("Cell %1: ready (the earlier records are still being read).").arg(id)
                             : QStringLiteral("Cell %1: ready, no earlier record.").arg(id),
                   false);
    } else {
        showNotice(repeatWarning(id, records), true);
    }
    return true;
}

void CellIdControls::showNotice(const QString &text, bool warning)
{
    QPalette palette = m_notice->palette();
    palette.setColor(QPalette::WindowText, warning ? QColor(0xB0, 0x00, 0x00) : m_window->palette().color(QPalette::WindowText));
    m_notice->setPalette(palette);
    m_notice->setText(text);
    m_refusalShown.clear();
}

// --- CellTagger -------------------------------------------------------------------

bool CellIdControls::mayCount(bool automatic)
{
    // A press takes what was typed without Enter; auto record waits for Enter.
    if (!automatic && m_edited)
        takeField();
    if (!m_taken.isEmpty())
        return true;
    const QString typed = normalisedCellId(m_field->text());
    if (typed.isEmpty() && m_options.allowWithoutId)
        return true;
    QString why = noIdText();
    if (!typed.isEmpty() && m_edited)
        why = QStringLiteral("The cell ID \"%1\" is not taken yet: end it with Enter.").arg(typed);
    else if (!typed.isEmpty())
        why = cellIdProblem(typed, m_pattern).value_or(noIdText());
    if (automatic) {
        // Told once, not with every settled reading.
        if (m_refusalShown != why) {
            showNotice(why, true);
            m_refusalShown = why;
        }
    } else {
        showNotice(why, true);
        m_dialogs.showMessage(why, m_title, Dialogs::Icon::Warning);
    }
    return false;
}

void CellIdControls::readingJudged(double, double voltageV)
{
    if (m_taken.isEmpty())
        return;
    const std::vector<CellHistoryEntry> records = historyOf(m_taken);
    if (records.empty())
        return;
    const CellHistoryEntry &first = records.front();
    const std::optional<double> k =
        kValue(first.voltageV, first.measuredAt, voltageV, m_clock.now(), m_options.minimumRestMinutes * 60);
    const QString text = k ? kValueText(*k, m_options.kLimitMvPerDay)
                           : QStringLiteral("K: rest %1 not reached").arg(restText(m_options.minimumRestMinutes));
    if (m_kValue->text() != text)
        m_kValue->setText(text);
}

CellTag CellIdControls::counted(const CountedCell &cell)
{
    CellHistoryEntry record;
    record.measuredAt = cell.measuredAt;
    record.bench = m_bench;
    record.resistanceText = cell.resistanceText;
    record.voltageText = cell.voltageText;
    // The values as the texts hold them, as they are read back from a data
    // file, rather than the rounded ones the BINs were judged with.
    const auto exact = [](const QString &text, double judged) { return testerNumber(text).value_or(judged); };
    record.resistanceOhm = exact(cell.resistanceText, cell.resistanceOhm);
    record.voltageV = exact(cell.voltageText, cell.voltageV);
    record.resistanceBin = cell.resistanceBin;
    record.voltageBin = cell.voltageBin;
    record.cellId = m_taken;

    CellTag tag{m_taken, m_options.writeToDataFile};
    QString text = QStringLiteral("Counted without an ID.");
    if (!m_taken.isEmpty()) {
        std::vector<CellHistoryEntry> records = historyOf(m_taken);
        records.push_back(record);
        records = withDerivedMarks(std::move(records), m_options.minimumRestMinutes * 60, m_options.kLimitMvPerDay);
        const CellHistoryEntry &marked = records.back();
        text = QStringLiteral("Cell %1 counted%2.").arg(m_taken, marked.retest ? QStringLiteral(" (re-test)") : QString());
        if (marked.kValue)
            text += QLatin1Char(' ') + kValueText(*marked.kValue, m_options.kLimitMvPerDay) + QLatin1Char('.');
        tag.retest = marked.retest;
        tag.kValue = marked.kValue;
        tag.kTooHigh = marked.kTooHigh;
        m_index.add(marked);
        m_counted.push_back(marked);
    }
    m_taken.clear();
    m_edited = false;
    m_scan.reset();
    m_field->clear();
    m_kValue->clear();
    showNotice(text, false);
    return tag;
}

// --- History ----------------------------------------------------------------------

void CellIdControls::reloadHistory()
{
    if (m_loading) {
        m_reloadWanted = true;
        return;
    }
    m_loading = true;
    m_reloadWanted = false;
    const QStringList paths = dataFilesBeside(withDefaultExtension(m_dataPath()));
    const QString bench = m_bench;
    m_reader.setFuture(QtConcurrent::run([paths, bench] { return readCellRecords(paths, bench); }));
}

void CellIdControls::onHistoryRead()
{
    m_loading = false;
    m_loadedOnce = true;
    m_index = m_reader.result();
    for (const CellHistoryEntry &record : m_counted) {
        const std::vector<CellHistoryEntry> known = m_index.recordsOf(record.cellId);
        if (std::none_of(known.begin(), known.end(), [&record](const CellHistoryEntry &k) { return sameRecord(k, record); }))
            m_index.add(record);
    }
    if (m_reloadWanted) {
        reloadHistory();
        return;
    }
    // A cell taken while the files were read gets its warning now.
    if (!m_taken.isEmpty() && !historyOf(m_taken).empty())
        showNotice(repeatWarning(m_taken, historyOf(m_taken)), true);
    Q_EMIT historyLoaded();
}

std::vector<CellHistoryEntry> CellIdControls::historyOf(const QString &cellId) const
{
    std::vector<CellHistoryEntry> records = m_index.recordsOf(cellId);
    for (CellHistoryEntry &record : records) {
        if (record.resistanceBin.isEmpty())
            record.resistanceBin = binOf(m_binTables.resistance(), record.resistanceOhm * 1000.0);
        if (record.voltageBin.isEmpty())
            record.voltageBin = binOf(m_binTables.voltage(), record.voltageV);
    }
    return withDerivedMarks(std::move(records), m_options.minimumRestMinutes * 60, m_options.kLimitMvPerDay);
}

// --- Windows ------------------------------------------------------------------------

CellIdOptionsDialog *CellIdControls::optionsDialog() const
{
    return m_optionsDialog;
}

CellHistoryWindow *CellIdControls::historyWindow() const
{
    return m_historyWindow;
}

void CellIdControls::openOptionsDialog()
{
    if (m_optionsDialog) {
        m_optionsDialog->raise();
        m_optionsDialog->activateWindow();
        return;
    }
    m_optionsDialog = new CellIdOptionsDialog(m_options, m_window);
    m_optionsDialog->setAttribute(Qt::WA_DeleteOnClose);
    m_optionsDialog->setWindowModality(Qt::WindowModal);
    connect(m_optionsDialog, &CellIdOptionsDialog::chosen, this, &CellIdControls::setOptions);
    m_optionsDialog->open();
}

void CellIdControls::openHistoryWindow()
{
    if (m_historyWindow) {
        m_historyWindow->raise();
        m_historyWindow->activateWindow();
        return;
    }
    m_historyWindow = new CellHistoryWindow([this](const QString &typed) {
        CellHistoryWindow::LookUp found;
        found.kLimit = m_options.kLimitMvPerDay;
        QString id = typed;
        if (const std::optional<QString> unframed = unframedScan(id, m_options.prefix, m_options.suffix))
            id = *unframed;
        if (const std::optional<QString> problem = cellIdProblem(id))
            found.problem = *problem;
        else if (m_loading)
            found.problem = QStringLiteral("The data files are still being read; press Show again in a moment.");
        else
            found.records = historyOf(normalisedCellId(id));
        return found;
    }, m_window);
    // With cell IDs off nothing has been read yet.
    if (!m_loadedOnce)
        reloadHistory();
    m_historyWindow->setAttribute(Qt::WA_DeleteOnClose);
    m_historyWindow->show();
}

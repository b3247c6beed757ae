#include "app/cellids/cellidcontrols.h"

#include "app/cellids/cellhistorywindow.h"
#include "app/cellids/cellidoptionsdialog.h"
#include "app/centralrecord/centralrecordcontrols.h"
#include "app/style/warninglabel.h"

#include "platform/clock.h"
#include "platform/dialogs.h"
#include "cellid/cellhistory.h"
#include "cellid/kvalue.h"
#include "record/centraldatabase.h"
#include "session/measurementsession.h"

#include <QAction>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QToolBar>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

QString CellIdControls::noIdText()
{
    return tr("No cell ID: scan or type the cell's ID before it is counted. (Settings > Cell IDs "
              "can allow cells without an ID.)");
}

CellIdControls::CellIdControls(QMainWindow *window, QMenu *settingsMenu, QMenu *fileMenu,
                               MeasurementSession &session, CentralRecordControls &records, Dialogs &dialogs,
                               Clock &clock, QString title, QString settingsFolder,
                               std::function<void()> pressRecCount)
    : QObject(window),
      m_window(window),
      m_session(session),
      m_records(records),
      m_dialogs(dialogs),
      m_clock(clock),
      m_title(std::move(title)),
      m_settingsFolder(std::move(settingsFolder)),
      m_pressRecCount(std::move(pressRecCount))
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    m_msecs = [timer] { return timer->elapsed(); };

    m_optionsAction = settingsMenu->addAction(tr("Cell &IDs..."));
    m_optionsAction->setObjectName(QStringLiteral("cellIdOptionsAction"));
    connect(m_optionsAction, &QAction::triggered, this, &CellIdControls::openOptionsDialog);
    m_historyAction = new QAction(tr("Cell &history..."), fileMenu);
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
    m_strip = new QToolBar(tr("Cell ID"), window);
    m_strip->setObjectName(QStringLiteral("cellIdStrip"));
    m_strip->setAccessibleName(tr("Cell ID"));
    m_strip->setMovable(false);
    m_strip->setFloatable(false);
    m_strip->toggleViewAction()->setVisible(false);
    auto *content = new QWidget(m_strip);
    auto *rows = new QVBoxLayout(content);
    rows->setContentsMargins(4, 2, 4, 2);
    auto *row = new QHBoxLayout;
    auto *caption = new QLabel(tr("Cell &ID:"), content);
    m_field = new QLineEdit(content);
    m_field->setObjectName(QStringLiteral("cellIdField"));
    m_field->setMaxLength(256);
    m_field->setFixedWidth(220);
    m_field->setAccessibleName(tr("Cell ID"));
    m_field->setAccessibleDescription(tr("Scan or type the cell's ID; Enter takes it, Enter again counts the cell."));
    caption->setBuddy(m_field);
    m_kValue = new QLabel(content);
    m_kValue->setObjectName(QStringLiteral("kValueLabel"));
    m_kValue->setAccessibleName(tr("K-value"));
    row->addWidget(caption);
    row->addWidget(m_field);
    row->addSpacing(12);
    row->addWidget(m_kValue, 1);
    rows->addLayout(row);
    m_notice = new QLabel(content);
    m_notice->setObjectName(QStringLiteral("cellIdNotice"));
    m_notice->setAccessibleName(tr("Cell ID notice"));
    m_notice->setWordWrap(true);
    rows->addWidget(m_notice);
    m_strip->addWidget(content);
    window->addToolBar(Qt::BottomToolBarArea, m_strip);

    m_field->installEventFilter(this);
    connect(m_field, &QLineEdit::textEdited, this, [this] {
        m_edited = true;
        m_taken.clear();
        m_takenHistory.clear();
        m_kValue->clear();
    });

    m_options = loadCellIdOptions(m_settingsFolder);
    apply();
}

// The window's session is gone by now (a member of the window, this a child):
// it is not touched here. A question to the shared database still in flight
// finishes on its worker; its answer is dropped.
CellIdControls::~CellIdControls() = default;

void CellIdControls::setOptions(const CellIdOptions &options)
{
    if (options == m_options)
        return;
    m_options = options;
    apply();
    QString reason;
    if (!saveCellIdOptions(m_settingsFolder, m_options, &reason)) {
        m_dialogs.showNotice(tr("%1. The cell-ID options apply until the program ends but are not saved.")
                                     .arg(reason),
                             m_title);
    }
}

void CellIdControls::apply()
{
    m_pattern = cellIdPattern(m_options.pattern);
    m_session.setCellTagger(m_options.enabled ? this : nullptr);
    m_session.setCellIdsInDataFile(m_options.enabled && m_options.writeToDataFile);
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
    m_takenHistory.clear();
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
    askCentral(id);
    showTakenNotice();
    return true;
}

void CellIdControls::showTakenNotice()
{
    const History history = historyOf(m_taken);
    m_takenHistory = history.records;
    QString text = m_takenHistory.empty() ? tr("Cell %1: ready, no earlier record.").arg(m_taken)
                                          : repeatWarning(m_taken, m_takenHistory);
    if (!history.note.isEmpty())
        text += QLatin1Char(' ') + history.note;
    showNotice(text, !m_takenHistory.empty());
}

void CellIdControls::showNotice(const QString &text, bool warning)
{
    QPalette palette = m_notice->palette();
    palette.setColor(QPalette::WindowText, warning ? warningColour() : m_window->palette().color(QPalette::WindowText));
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
        why = tr("The cell ID \"%1\" is not taken yet: end it with Enter.").arg(typed);
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
    if (m_taken.isEmpty() || m_takenHistory.empty())
        return;
    const CellRecord &first = m_takenHistory.front();
    const std::optional<double> k =
        kValue(first.voltageV, first.measuredAt, voltageV, m_clock.now(), m_options.minimumRestMinutes * 60);
    const QString text = k ? kValueText(*k, m_options.kLimitMvPerDay)
                           : tr("K: rest %1 not reached").arg(restText(m_options.minimumRestMinutes));
    if (m_kValue->text() != text)
        m_kValue->setText(text);
}

void CellIdControls::tag(CellRecord &record)
{
    QString text = tr("Counted without an ID.");
    if (!m_taken.isEmpty()) {
        record.cellId = m_taken;
        markAgainstHistory(record, m_takenHistory, m_options.minimumRestMinutes * 60, m_options.kLimitMvPerDay);
        text = tr("Cell %1 counted%2.").arg(m_taken, record.retest ? tr(" (re-test)") : QString());
        if (record.kValue)
            text += QLatin1Char(' ') + kValueText(*record.kValue, m_options.kLimitMvPerDay) + QLatin1Char('.');
    }
    m_taken.clear();
    m_takenHistory.clear();
    m_edited = false;
    m_scan.reset();
    m_field->clear();
    m_kValue->clear();
    showNotice(text, false);
}

// --- History ----------------------------------------------------------------------

CellIdControls::History CellIdControls::historyOf(const QString &cellId)
{
    History history;
    Journal &journal = m_records.journal();
    if (const Result<std::vector<CellRecord>> local = journal.recordsOfCell(cellId)) {
        history.records = *local;
    } else {
        history.note = tr("The record journal could not be read (%1): its records are not listed.")
                               .arg(local.errorString());
    }
    if (!m_records.settings().enabled)
        return history;
    const auto answer = m_central.constFind(cellId);
    if (answer == m_central.constEnd())
        return history;
    QString note;
    if (answer->pending) {
        note = tr("Asking the central record...");
    } else if (!answer->problem.isEmpty()) {
        note = tr("The central record could not be read (%1): records of other benches are not listed.")
                       .arg(answer->problem);
    }
    history.note = QStringList{history.note, note}.join(QLatin1Char(' ')).trimmed();
    history.records = mergedHistory(std::move(history.records), answer->records);
    return history;
}

void CellIdControls::askCentral(const QString &cellId)
{
    if (!m_records.settings().enabled)
        return;
    // An earlier answer stays listed until the new one comes.
    CentralAnswer &answer = m_central[cellId];
    if (answer.pending)
        return;
    answer.pending = true;
    answer.problem.clear();
    const CentralSettings settings = m_records.settings();
    QtConcurrent::run([settings, cellId] {
        CentralAnswer found;
        central::Connection connection(settings);
        if (Result<std::vector<CellRecord>> records = connection.recordsOfCell(cellId))
            found.records = std::move(*records);
        else
            found.problem = connection.reason();
        return found;
    }).then(this, [this, cellId](const CentralAnswer &found) { onCentralAnswer(cellId, found); });
}

void CellIdControls::onCentralAnswer(const QString &cellId, const CentralAnswer &answer)
{
    m_central.insert(cellId, answer);
    if (cellId == m_taken)
        showTakenNotice();
    Q_EMIT centralAnswered(cellId);
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
    m_historyWindow = new CellHistoryWindow([this](const QString &typed, bool ask) {
        CellHistoryWindow::LookUp found;
        QString id = typed;
        if (const std::optional<QString> unframed = unframedScan(id, m_options.prefix, m_options.suffix))
            id = *unframed;
        id = normalisedCellId(id);
        if (const std::optional<QString> problem = cellIdProblem(id)) {
            found.problem = *problem;
            return found;
        }
        if (ask)
            askCentral(id);
        History history = historyOf(id);
        found.records = std::move(history.records);
        found.note = history.note;
        return found;
    }, m_window);
    connect(this, &CellIdControls::centralAnswered, m_historyWindow, [this](const QString &cellId) {
        if (m_historyWindow && m_historyWindow->shownId() == cellId)
            m_historyWindow->refresh();
    });
    m_historyWindow->setAttribute(Qt::WA_DeleteOnClose);
    m_historyWindow->show();
}

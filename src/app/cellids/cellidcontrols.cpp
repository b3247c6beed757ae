#include "app/cellids/cellidcontrols.h"

#include "app/cellids/cellhistorywindow.h"
#include "app/cellids/cellidoptionsdialog.h"
#include "app/cellids/cellidstrip.h"
#include "app/cellids/celltagging.h"
#include "app/centralrecord/centralrecordcontrols.h"
#include "app/style/singlewindow.h"

#include "cellid/cellid.h"
#include "cellid/scandetector.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "session/measurementsession.h"

#include <QAction>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QTimer>

QString CellIdControls::noIdText()
{
    return CellTagging::noIdText();
}

CellIdControls::CellIdControls(QMainWindow *window, QMenu *settingsMenu, QMenu *fileMenu,
                               MeasurementSession &session, CentralRecordControls &records, Dialogs &dialogs,
                               Clock &clock, QString title, QString settingsFolder,
                               std::function<void()> pressRecCount)
    : QObject(window),
      m_window(window),
      m_session(session),
      m_dialogs(dialogs),
      m_clock(clock),
      m_title(std::move(title)),
      m_settingsFolder(std::move(settingsFolder))
{
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

    m_lookUp = new CellHistoryLookUp(records.journal(), records.settings(), this);
    // Below the client area, so that the window's own layout stays.
    m_strip = new CellIdStrip(window);
    window->addToolBar(Qt::BottomToolBarArea, m_strip);
    m_tagging = new CellTagging(*m_strip, *m_lookUp, m_dialogs, clock, m_title, this);

    connect(m_strip, &CellIdStrip::entered, m_tagging, &CellTagging::takeField);
    connect(m_strip, &CellIdStrip::confirmed, m_tagging, [this] { m_tagging->answer(true); });
    connect(m_strip, &CellIdStrip::declined, m_tagging, [this] { m_tagging->answer(false); });
    connect(m_tagging, &CellTagging::heldAnswered, this, [this](bool keep) { m_session.answerHeld(keep); });
    connect(m_strip, &CellIdStrip::countPressed, this, [pressRecCount = std::move(pressRecCount)] {
        if (pressRecCount)
            pressRecCount();
    });
    connect(m_lookUp, &CellHistoryLookUp::answered, this, [this](const QString &cellId) {
        m_tagging->historyAnswered(cellId);
        Q_EMIT centralAnswered(cellId);
    });

    const Result<CellIdOptions> loaded = loadCellIdOptions(m_settingsFolder);
    m_options = loaded.valueOr(CellIdOptions());
    if (!loaded) {
        m_optionsProblem = tr("%1: the cell-ID options cannot be read. No cell is counted until the file is "
                              "mended or cell IDs are switched off in Settings > Cell IDs...")
                                   .arg(loaded.errorString());
        // Told once the window is up, as a refused Settings.ini is.
        QTimer::singleShot(0, this, [this, text = m_optionsProblem] { m_dialogs.showNotice(text, m_title); });
    }
    apply();
}

// The window's session is gone by now (a member of the window, this a child):
// it is not touched here. A question to the shared database still in flight
// ends on the look-up's thread; its answer is dropped.
CellIdControls::~CellIdControls() = default;

void CellIdControls::setOptions(const CellIdOptions &options)
{
    if (options == m_options && m_optionsProblem.isEmpty())
        return;
    m_options = options;
    // Chosen in the dialog: counting follows these options from now on.
    m_optionsProblem.clear();
    apply();
    if (const Status saved = saveCellIdOptions(m_settingsFolder, m_options); !saved) {
        m_dialogs.showNotice(tr("%1. The cell-ID options apply until the program ends but are not saved.")
                                     .arg(saved.errorString()),
                             m_title);
    }
}

void CellIdControls::apply()
{
    const bool refused = !m_optionsProblem.isEmpty();
    m_tagging->setOptions(m_options);
    m_tagging->refuseEveryCount(m_optionsProblem);
    m_session.setCellTagger(m_options.enabled || refused ? m_tagging : nullptr);
    m_session.setCellIdsInDataFile(m_options.enabled && m_options.writeToDataFile);
    m_strip->setVisible(m_options.enabled || refused);
}

bool CellIdControls::focusField()
{
    if (!m_options.enabled)
        return false;
    m_strip->field()->setFocus(Qt::OtherFocusReason);
    // An ID shown is replaced by the next scan, never added to.
    if (!m_strip->isEdited())
        m_strip->field()->selectAll();
    return true;
}

CellIdControls::History CellIdControls::historyOf(const QString &cellId)
{
    return m_lookUp->historyOf(cellId);
}

void CellIdControls::askCentral(const QString &cellId)
{
    m_lookUp->ask(cellId);
}

QString CellIdControls::takenId() const
{
    return m_tagging->takenId();
}

CellIdStrip *CellIdControls::cellIdStrip() const
{
    return m_strip;
}

CellTagging *CellIdControls::tagging() const
{
    return m_tagging;
}

QLineEdit *CellIdControls::field() const
{
    return m_strip->field();
}

QLabel *CellIdControls::notice() const
{
    return m_strip->notice();
}

QLabel *CellIdControls::kValueLabel() const
{
    return m_strip->kValueLabel();
}

QToolBar *CellIdControls::strip() const
{
    return m_strip;
}

void CellIdControls::setKeyClock(std::function<qint64()> msecs)
{
    m_strip->setKeyClock(std::move(msecs));
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
    openOnce(m_optionsDialog, [this] {
        auto *dialog = new CellIdOptionsDialog(m_options, m_window);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::WindowModal);
        connect(dialog, &CellIdOptionsDialog::chosen, this, &CellIdControls::setOptions);
        return dialog;
    });
}

void CellIdControls::openHistoryWindow()
{
    openOnce(m_historyWindow, [this] {
        auto *window = new CellHistoryWindow([this](const QString &typed, bool ask) {
            CellHistoryWindow::LookUp found;
            const QString id = normalisedCellId(unframedScan(typed, m_options.prefix, m_options.suffix).value_or(typed));
            if (const std::optional<QString> problem = cellIdProblem(id)) {
                found.problem = *problem;
                return found;
            }
            if (ask)
                askCentral(id);
            History history = historyOf(id);
            found.records = std::move(history.records);
            found.note = history.note;
            found.now = m_clock.now();
            return found;
        }, m_window);
        connect(this, &CellIdControls::centralAnswered, window, [window](const QString &cellId) {
            if (window->shownId() == cellId)
                window->refresh();
        });
        window->setAttribute(Qt::WA_DeleteOnClose);
        return window;
    });
}

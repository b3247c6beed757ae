#include "app/mainwindow/formmain.h"

#include "app/mainwindow/qualitylauncher.h"
#include "app/packs/packlauncher.h"
#include "app/cellids/cellidcontrols.h"
#include "app/centralrecord/centralrecordcontrols.h"
#include "app/style/warninglabel.h"
#include "app/mainwindow/aboutwindow.h"
#include "app/mainwindow/guidewindow.h"
#include "app/handsfree/handsfreecontrols.h"
#include "app/mainwindow/portchooser.h"
#include "app/mainwindow/profilecontrols.h"
#include "app/style/programicon.h"
#include "app/style/singlewindow.h"
#include "app/mainwindow/setupstore.h"
#include "app/style/uifonts.h"
#include "common/version.h"

#include "bins/binpanellogic.h"
#include "bins/bintables.h"
#include "app/mainwindow/counterwindow.h"
#include "common/logcategories.h"
#include "app/style/colours.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "record/datafile.h"
#include "record/recordline.h"
#include "settings/settingscodec.h"
#include "settings/settingsfile.h"

#include <QAccessible>
#include <QAction>
#include <QCloseEvent>
#include <QColor>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

namespace {

QColor toColor(quint32 bgr)
{
    return QColor(colours::red(bgr), colours::green(bgr), colours::blue(bgr));
}

// True when the colour changed.
bool setBackground(QWidget *widget, quint32 bgr)
{
    // Every reading sets all 20 colours, and most of them are the ones shown
    // already; setting a palette costs far more than comparing one.
    const QColor colour = toColor(bgr);
    QPalette palette = widget->palette();
    if (palette.color(QPalette::Active, QPalette::Window) == colour
        && palette.color(QPalette::Inactive, QPalette::Window) == colour
        && palette.color(QPalette::Disabled, QPalette::Window) == colour)
        return false;
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    return true;
}

bool isEnterKey(const QKeyEvent *event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

} // namespace

QString FormMain::applicationTitle()
{
    return tr("BATTERY KELVANO BIN Measurement");
}

QString FormMain::spokenJudgement(const ReadingJudgement &judgement)
{
    QStringList parts;
    for (size_t t = 0; t < judgement.tables.size(); ++t) {
        const ReadingJudgement::Table &table = judgement.tables[t];
        QStringList bins;
        for (int row = 0; row < 9; ++row) {
            if (table.lit[size_t(row)])
                bins << tr("BIN %1").arg(row + 1);
        }
        switch (table.out) {
        case OutSide::Above:
            bins << tr("+Out");
            break;
        case OutSide::Below:
            bins << tr("-Out");
            break;
        case OutSide::Between:
            bins << tr("Out");
            break;
        case OutSide::None:
            break;
        }
        if (bins.isEmpty())
            bins << tr("no BIN");
        parts << tr("%1 %2").arg(t == 0 ? tr("Resistance") : tr("Voltage"), bins.join(tr(" and ")));
    }
    return parts.join(QStringLiteral(", "));
}

FormMain::FormMain(SerialPort &port, Clock &clock, Dialogs &dialogs,
                   BinTables &binTables, DataFile &dataFile,
                   FileLocations locations, QWidget *parent)
    : QMainWindow(parent),
      m_dialogs(dialogs),
      m_clock(clock),
      m_dataFile(dataFile),
      m_binTables(binTables),
      m_locations(std::move(locations)),
      m_session(port, clock, binTables, dataFile, *this)
{
    setObjectName(QStringLiteral("FormMain"));
    m_ui.setupUi(this);
    buildStateControls();
    // Settings: COMPort..., Tester profile, then the hands-free items.
    m_profiles = new ProfileControls(this, m_ui.settingsMenu, statusBar(), m_dialogs, applicationTitle(),
                                     settingsFolder());
    m_session.setProfileSource([this] { return m_profiles->load(); });
    m_handsFree = new HandsFreeControls(this, m_ui.settingsMenu, statusBar(), m_session, m_dialogs,
                                        applicationTitle(), settingsFolder());
    m_centralRecord = new CentralRecordControls(this, m_ui.settingsMenu, statusBar(), m_dialogs, applicationTitle(),
                                                settingsFolder(),
                                                QDir(m_locations.journalDir).filePath(QStringLiteral("journal.sqlite")));
    // Every counted cell goes to the journal after the data file.
    m_session.addRecordSink(&m_centralRecord->journalSink());
    m_session.setBenchName(m_centralRecord->settings().benchName());
    m_session.setProgramVersion(QStringLiteral("%1.%2.%3").arg(version::kMajor).arg(version::kMinor).arg(version::kRevision));
    connect(m_centralRecord, &CentralRecordControls::benchChanged, this,
            [this](const QString &bench) { m_session.setBenchName(bench); });
    setWindowTitle(applicationTitle());
    setWindowIcon(programIcon());

    connect(m_ui.startButton, &QPushButton::clicked, this, &FormMain::onStartClicked);
    connect(m_ui.stopButton, &QPushButton::clicked, this, &FormMain::onStopClicked);
    connect(m_ui.browseButton, &QPushButton::clicked, this, &FormMain::onBrowseClicked);
    connect(m_ui.recCountButton, &QPushButton::clicked, this, &FormMain::onRecCountClicked);
    connect(m_ui.dataButton, &QPushButton::clicked, this, &FormMain::onDataClicked);
    for (QPushButton *button : {m_ui.startButton, m_ui.stopButton, m_ui.browseButton, m_ui.recCountButton, m_ui.dataButton})
        button->installEventFilter(this);
    for (int i = 0; i < int(m_ui.comPortActions.size()); ++i)
        connect(m_ui.comPortActions[size_t(i)], &QAction::triggered, this, [this, i] { onComPortChosen(qint16(i + 1)); });
    connect(m_ui.exitAction, &QAction::triggered, this, &FormMain::close);
    connect(m_ui.helpAction, &QAction::triggered, this, &FormMain::openReadme);
    connect(m_ui.versionAction, &QAction::triggered, this, &FormMain::showAbout);
    connectPanels();
    // The chooser refuses while the Settings menu is disabled, i.e. during a session.
    m_portChooser = new PortChooser(m_ui.comPortMenu, m_locations.settingsDir, presentSerialDevices,
                                    [this] { return m_ui.settingsMenu->isEnabled(); }, this);
    connect(m_portChooser, &PortChooser::portConnected, this, [this](qint16 port) { setComPort(port); });
    connect(m_portChooser, &PortChooser::problem, this, &FormMain::showError);
    // BATCH and File > Batch...; the launcher passes counted cells on.
    new QualityLauncher(*this, binTables);
    m_cellIds = new CellIdControls(this, m_ui.settingsMenu, m_ui.fileMenu, m_session, *m_centralRecord, m_dialogs,
                                   m_clock, applicationTitle(), settingsFolder(), [this] {
                                       if (m_ui.recCountButton->isEnabled())
                                           m_ui.recCountButton->click();
                                   });
    // File > Build a pack... and Pack placement...
    m_packs = new PackLauncher(this, m_ui.fileMenu, PackPlaces::of(m_locations));

    startUp();
}

FormMain::~FormMain() = default;

void FormMain::setSerialDeviceList(SerialDeviceList devices)
{
    m_portChooser->setDeviceList(std::move(devices));
}

void FormMain::startUp()
{
    // The unit texts of the readings were set up with the session's parser.
    m_ui.dataFilePath->setText(defaultDataPath(m_locations.dataDir, m_clock.now().date()));
    for (QLabel *label : m_ui.valueLabels)
        label->setText(QString());
    for (int n = 1; n <= 9; ++n) {
        const size_t i = size_t(n - 1);
        const QString rowCaption = tr("BIN No. %1").arg(n);
        m_ui.binCells[i]->setText(QString::number(n));
        m_ui.rowCaptions[i]->setText(rowCaption);
        m_ui.binCells[i + 9]->setText(QString::number(n));
        m_ui.rowCaptions[i + 9]->setText(rowCaption);
    }
    for (QLabel *label : m_ui.outLabels)
        label->setText(tr("Out"));
    // The grid and out labels keep the window's background until the first cycle.

    loadSettings();
    // A session started with other limits than these logs the change.
    m_loggedLimits = limitsInUse();
    m_recCountDescription = m_ui.recCountButton->accessibleDescription();
}

// --- Settings and shutdown ---------------------------------------------------------

void FormMain::loadSettings()
{
    // Loading reports nothing, not even a panel entry a table would refuse,
    // except a Settings.ini that is no file at all.
    m_loadingSettings = true;
    removeInterruptedSaves(m_locations.settingsDir);
    const Result<std::optional<QByteArray>> content = readSettingsFile(m_locations.settingsDir);
    if (content && *content) {
        const StoredSettings stored = readSettings(**content);
        m_comPort = stored.comPort;
        setupstore::showStoredSetup(m_ui, *this, stored);
    } else {
        m_comPort = 1;
        setupstore::showFallbackSetup(m_ui);
    }
    // Selecting an option that was already selected changes nothing the panel
    // would notice, and neither does emptying an empty box.
    updateBinTableR();
    updateBinTableV();
    m_loadingSettings = false;
    setComPort(m_comPort);
    if (!content) {
        // Told once the window is up.
        const QString text = tr("%1. The set-up was not read from it and is not saved "
                                "to it; the program starts with the first-run set-up.")
                                     .arg(content.errorString());
        QTimer::singleShot(0, this, [this, text] {
            if (!m_shutDown)
                m_dialogs.showNotice(text, applicationTitle());
        });
    }
}

void FormMain::saveSettings()
{
    // The data file is the only file the program keeps open.
    m_dataFile.close();
    // The user's own folder may not exist before the first save.
    Status saved = m_locations.makeSettingsDir();
    // Saved as in use: a refused panel entry is saved as the entry its table
    // kept, and the window's position within the range it is read back in.
    if (saved)
        saved = writeSettingsFile(m_locations.settingsDir,
                                  writeSettings(setupstore::setupInUse(m_entriesInUse, *this, m_comPort)));
    if (!saved)
        qWarning("%s; the set-up was not saved.", qUtf8Printable(saved.errorString()));
}

void FormMain::shutdown()
{
    m_session.stop();
    closeSecondaryWindows();
    // Cells the central database has not confirmed stay in the journal.
    const QString waiting = m_centralRecord->shutdown();
    if (!waiting.isEmpty())
        qWarning("%s", qUtf8Printable(waiting));
    saveSettings();
    if (m_endsProgram)
        QCoreApplication::exit(0);
}

// The counter window, the About window, the save dialog and any message box
// are children of this window.
void FormMain::closeSecondaryWindows()
{
    for (QDialog *dialog : findChildren<QDialog *>()) {
        if (dialog->isVisible())
            dialog->reject();
    }
}

void FormMain::closeEvent(QCloseEvent *event)
{
    event->accept();
    // Events processed while saving may close the window a second time.
    if (m_shutDown)
        return;
    m_shutDown = true;
    shutdown();
}

// --- BIN set-up panels ---------------------------------------------------------

void FormMain::connectPanels()
{
    for (int t = 0; t < 2; ++t) {
        const auto &options = t == 0 ? m_ui.resistanceModes : m_ui.voltageModes;
        const auto &boxes = t == 0 ? m_ui.resistanceEntries : m_ui.voltageEntries;
        for (QRadioButton *option : options) {
            connect(option, &QRadioButton::toggled, this, [this, t](bool checked) {
                if (checked)
                    updatePanel(t);
            });
        }
        for (QLineEdit *box : boxes)
            connect(box, &QLineEdit::textChanged, this, [this, t] { panelTextChanged(t); });
    }
}

void FormMain::panelTextChanged(int t)
{
    QLineEdit *countBox = t == 0 ? m_ui.resistanceEntries[0] : m_ui.voltageEntries[0];
    // Capping the count is itself a change: it runs this handling again, which
    // finds 9 and updates; the update below then runs as well.
    if (binCountNeedsCap(countBox->text()))
        countBox->setText(QStringLiteral("9"));
    updatePanel(t);
}

void FormMain::updatePanel(int t)
{
    if (t == 0)
        updateBinTableR();
    else
        updateBinTableV();
}

void FormMain::updateBinTableR()
{
    updateBinTableOf(0);
}

void FormMain::updateBinTableV()
{
    updateBinTableOf(1);
}

void FormMain::updateBinTableOf(int t)
{
    const auto &options = t == 0 ? m_ui.resistanceModes : m_ui.voltageModes;
    const auto &boxes = t == 0 ? m_ui.resistanceEntries : m_ui.voltageEntries;
    BinTable table = m_binTables.table(t);
    QString (*const format)(float) = t == 0 ? getFormatR : getFormatV;
    PanelEntries entries;
    for (size_t i = 0; i < 3; ++i)
        entries.modeSelected[i] = options[i]->isChecked();
    entries.binCountText = boxes[0]->text();
    entries.firstText = boxes[1]->text();
    entries.secondText = boxes[2]->text();
    const Result<PanelDisplay> updated = updateBinTable(table, entries, format);
    if (!updated) {
        tellOperator(updated.errorString());
        return;
    }
    const PanelDisplay &display = *updated;
    m_binTables.setTable(t, table);
    m_entriesInUse[size_t(t)] = entries;
    // Each panel has three box captions (the BIN count's and the two
    // entries') and nine rows of limit boxes, the resistance panel's first.
    const size_t caption = size_t(t) * 3;
    m_ui.parameterCaptions[caption + 1]->setText(display.firstCaption);
    m_ui.parameterCaptions[caption + 2]->setText(display.secondCaption);
    boxes[1]->setAccessibleName(FormMainUi::entryName(t, 1, display.firstCaption));
    boxes[2]->setAccessibleName(FormMainUi::entryName(t, 2, display.secondCaption));
    const size_t limits = size_t(t) * 9;
    for (size_t row = 0; row < 9; ++row) {
        m_ui.lowerLimits[limits + row]->setText(display.lower[row]);
        m_ui.upperLimits[limits + row]->setText(display.upper[row]);
    }
}

// A refused entry is reported once the edit has been handled, never from inside
// the box's own change notice, and a message already waiting is not repeated.
void FormMain::tellOperator(const QString &text)
{
    if (m_loadingSettings || m_shutDown || m_pendingMessages.contains(text))
        return;
    m_pendingMessages.append(text);
    QTimer::singleShot(0, this, [this, text] {
        m_pendingMessages.removeOne(text);
        if (m_shutDown)
            return;
        m_dialogs.showMessage(text, applicationTitle(), Dialogs::Icon::Warning);
    });
}

void FormMain::clearCounts()
{
    m_binTables.clearCounts();
}

// --- Data file -------------------------------------------------------------------

void FormMain::selectSaveFile()
{
    SaveDialogSetup setup;
    setup.initialPath = defaultDataPath(m_locations.dataDir, m_clock.now().date());
    setup.filters = QStringList{tr("text (*.csv *.txt *.dat)"), tr("all (*.*)")};
    setup.selectedFilter = 0;
    setup.defaultSuffix = QStringLiteral("csv");
    // Records are appended to a file that exists: nothing is replaced, so
    // nothing asks whether to replace it.
    setup.confirmOverwrite = false;
    setup.note = tr("Data file - records are appended to an existing file");

    QPointer<FormMain> self(this);
    m_dialogs.askSavePath(setup, [self](const SaveDialogResult &result) {
        if (!self || self->m_shutDown)
            return;
        switch (result.outcome) {
        case SaveDialogResult::Outcome::Chosen:
            // START may have run while the dialog was open; the path of a
            // running session stays.
            if (self->m_ui.dataFileFrame->isEnabled())
                self->m_ui.dataFilePath->setText(result.path);
            break;
        case SaveDialogResult::Outcome::Cancelled:
            break;
        case SaveDialogResult::Outcome::Failed:
            self->m_dialogs.showMessage(result.error, applicationTitle(), Dialogs::Icon::None);
            break;
        }
    });
}

// --- Buttons and menus -------------------------------------------------------------

void FormMain::onStartClicked()
{
    logChangedLimits();
    // START traps its own failures.
    m_session.start();
}

void FormMain::logChangedLimits()
{
    const std::array<QString, 2> now = limitsInUse();
    for (size_t t = 0; t < 2; ++t) {
        if (now[t] != m_loggedLimits[t]) {
            qCInfo(lcSetup, "%s BIN limits changed from [%s] to [%s]", t == 0 ? "resistance" : "voltage",
                   qUtf8Printable(m_loggedLimits[t]), qUtf8Printable(now[t]));
        }
    }
    m_loggedLimits = now;
}

std::array<QString, 2> FormMain::limitsInUse() const
{
    return {describeLimits(m_binTables.resistance(), getFormatR), describeLimits(m_binTables.voltage(), getFormatV)};
}

void FormMain::onStopClicked()
{
    m_session.stop();
}

void FormMain::onBrowseClicked()
{
    selectSaveFile();
}

void FormMain::onRecCountClicked()
{
    m_session.recCount();
}

void FormMain::onDataClicked()
{
    showCounterWindow();
}

void FormMain::showCounterWindow()
{
    if (m_shutDown)
        return;
    // One counter window at a time: a second DATA brings the open one forward.
    // The counter window deletes itself when it closes.
    openOnce(m_counterWindow, [this] {
        auto *window = new CounterWindow(m_binTables, this);
        window->setWindowModality(Qt::WindowModal);
        return window;
    });
}

void FormMain::onComPortChosen(qint16 comPort)
{
    setComPort(comPort);
}

QString FormMain::readmePath(const QString &programDir)
{
    QString path = programDir;
    if (!path.endsWith(QLatin1Char('/')) && !path.endsWith(QDir::separator()))
        path += QLatin1Char('/');
    return path + QStringLiteral("readmeE.txt");
}

void FormMain::openReadme()
{
    if (m_shutDown)
        return;
    const QString path = readmePath(m_locations.docDir);
    QFile file(path);
    // A folder opens as a file but reads nothing.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const QString reason = QFileInfo(path).isDir() ? tr("it is a folder") : file.errorString();
        m_dialogs.showMessage(tr("cannot open readme.txt: %1: %2").arg(QDir::toNativeSeparators(path), reason),
                              applicationTitle(), Dialogs::Icon::Warning);
        return;
    }
    // One guide window: a second Help brings it forward.
    openOnce(m_guideWindow, [this, &path, &file] {
        return new GuideWindow(QDir::toNativeSeparators(path), QString::fromUtf8(file.readAll()), this);
    });
}

void FormMain::showAbout()
{
    if (m_shutDown)
        return;
    openOnce(m_aboutWindow, [this] {
        auto *window = new AboutWindow(this);
        window->setTesterProfile(m_profiles->inUseText());
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowModality(Qt::WindowModal);
        return window;
    });
}

void FormMain::setComPort(qint16 comPort)
{
    m_comPort = comPort;
    if (const Status applied = m_session.setComPort(m_comPort); !applied) {
        showError(applied.errorString());
        return;
    }
    // COM1..COM4 carry the mark of their number; a number above 4, which
    // only Settings.ini can bring, marks none.
    for (size_t i = 0; i < m_ui.comPortActions.size(); ++i)
        m_ui.comPortActions[i]->setChecked(m_comPort == qint16(i + 1));
}

// --- Keyboard ------------------------------------------------------------------------

bool FormMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && isEnterKey(static_cast<QKeyEvent *>(event))) {
        if (auto *button = qobject_cast<QPushButton *>(watched)) {
            if (button->isEnabled())
                button->click();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void FormMain::keyPressEvent(QKeyEvent *event)
{
    if (isEnterKey(event)) {
        if (m_ui.recCountButton->isEnabled())
            m_ui.recCountButton->click();
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

// --- SessionView -----------------------------------------------------------------------

void FormMain::showValue(int t, const QString &text)
{
    QLabel *label = m_ui.valueLabels[size_t(t)];
    if (label->text() == text)
        return;
    label->setText(text);
    label->setAccessibleName(FormMainUi::valueName(t, text));
}

void FormMain::showJudgement(const ReadingJudgement &judgement)
{
    for (size_t t = 0; t < judgement.tables.size(); ++t) {
        const ReadingJudgement::Table &table = judgement.tables[t];
        // The lit BIN light green, the other BINs in use white, the rest grey.
        for (int row = 0; row < 9; ++row) {
            const bool lit = table.lit[size_t(row)];
            const bool inUse = row < table.binsInUse;
            const quint32 colour = lit ? colours::kLit : inUse ? colours::kUnlit : colours::kUnused;
            QLabel *cell = m_ui.binCells[t * 9 + size_t(row)];
            // Lighting is colour alone on screen; its name says it.
            if (setBackground(cell, colour)) {
                using State = FormMainUi::CellState;
                cell->setAccessibleName(FormMainUi::cellName(int(t * 9) + row,
                                                             lit ? State::Lit : inUse ? State::NotLit : State::Unused));
            }
        }
        QLabel *outLabel = m_ui.outLabels[t];
        switch (table.out) {
        case OutSide::None:
            outLabel->setText(QString());
            break;
        case OutSide::Above:
            outLabel->setText(QStringLiteral("+Out"));
            break;
        case OutSide::Below:
            outLabel->setText(QStringLiteral("-Out"));
            break;
        case OutSide::Between:
            break; // the caption stays as it is
        }
        setBackground(outLabel, table.out == OutSide::None ? colours::kUnused : colours::kLit);
    }
    announceJudgement(spokenJudgement(judgement));
    // Ready for the next cell: Enter counts it.
    if (judgement.counted)
        focusRecCount();
}

// A changed judgement is told to assistive technology once, not every cycle.
void FormMain::announceJudgement(const QString &text)
{
    if (text == m_spokenJudgement)
        return;
    m_spokenJudgement = text;
    m_ui.resultFrame->setAccessibleDescription(text);
    if (text.isEmpty())
        return;
    // Sent only while a screen reader listens.
    QAccessibleEvent alert(m_ui.resultFrame, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
    Q_EMIT judgementAnnounced(text);
}

void FormMain::clearJudgement()
{
    // Back to the window's background, as before the first reading.
    for (size_t i = 0; i < m_ui.binCells.size(); ++i) {
        QLabel *cell = m_ui.binCells[i];
        cell->setPalette(cell->parentWidget()->palette());
        cell->setAccessibleName(FormMainUi::cellName(int(i), FormMainUi::CellState::NotLit));
    }
    for (QLabel *label : m_ui.outLabels)
        label->setPalette(label->parentWidget()->palette());
    announceJudgement(QString());
}

void FormMain::showStale(const QString &notice)
{
    const bool stale = !notice.isEmpty();
    if (stale)
        clearJudgement();
    // A disabled label draws its text in the palette's grey.
    for (QLabel *value : m_ui.valueLabels)
        value->setEnabled(!stale);
    m_replyNotice->setText(notice);
    m_replyNotice->setVisible(stale);
}

void FormMain::showStatus(const QString &text)
{
    m_statusLine->setText(text);
    m_statusLine->setToolTip(text);
    // The status bar does not ask a wrapped label for its height: it is given.
    m_statusLine->setMinimumHeight(text.isEmpty() ? 0 : m_statusLine->heightForWidth(std::max(m_statusLine->width(), statusBar()->width() / 2)));
    // Good news in green, everything else asks for attention.
    const bool good = text == MeasurementSession::lineBackText(m_comPort);
    QPalette palette = m_statusLine->palette();
    palette.setColor(QPalette::WindowText, good ? QColor(0x00, 0x70, 0x00) : warningColour());
    m_statusLine->setPalette(palette);
    // A full counter greys REC - COUNT: the button says why.
    const bool full = text == MeasurementSession::counterFullText();
    m_ui.recCountButton->setToolTip(full ? text : QString());
    m_ui.recCountButton->setAccessibleDescription(full ? text : m_recCountDescription);
}

void FormMain::buildStateControls()
{
    // Over the BIN grid, which shows nothing while the values are old: large,
    // wrapped, where the operator looks.
    m_replyNotice = new QLabel(m_ui.resultFrame);
    m_replyNotice->setObjectName(QStringLiteral("replyNotice"));
    const QRect firstCell = m_ui.binCells[0]->geometry();
    const QRect lastOut = m_ui.outLabels[1]->geometry();
    m_replyNotice->setGeometry(QRect(firstCell.topLeft(), lastOut.bottomRight()));
    m_replyNotice->setAlignment(Qt::AlignCenter);
    m_replyNotice->setWordWrap(true);
    m_replyNotice->setFrameShape(QFrame::Box);
    m_replyNotice->setLineWidth(2);
    m_replyNotice->setAutoFillBackground(true);
    m_replyNotice->setFont(uifonts::tahoma(14.25, true));
    QPalette palette = m_replyNotice->palette();
    palette.setColor(QPalette::WindowText, warningColour());
    palette.setColor(QPalette::Window, QColor(0xFF, 0xF4, 0xF0));
    m_replyNotice->setPalette(palette);
    m_replyNotice->hide();

    // Below the client area, as wide as the window, wrapped rather than cut.
    m_statusLine = new QLabel(this);
    m_statusLine->setObjectName(QStringLiteral("statusLine"));
    m_statusLine->setWordWrap(true);
    m_statusLine->setFont(uifonts::tahoma(12, true));
    m_statusLine->setTextFormat(Qt::PlainText);
    statusBar()->setObjectName(QStringLiteral("statusBar"));
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(m_statusLine, 1);

    m_testerVerdict = new QLabel(this);
    m_testerVerdict->setObjectName(QStringLiteral("testerVerdict"));
    m_testerVerdict->setAutoFillBackground(true);
    m_testerVerdict->setContentsMargins(4, 0, 4, 0);
    statusBar()->addPermanentWidget(m_testerVerdict);
    m_testerVerdict->hide();
}

void FormMain::showTesterVerdict(const QString &word, TesterVerdict verdict)
{
    if (word.isEmpty()) {
        m_testerVerdict->hide();
        return;
    }
    m_testerVerdict->setText(tr("Tester: %1").arg(word));
    // The grid's colours: lit green for a pass, white for anything else.
    setBackground(m_testerVerdict, verdict == TesterVerdict::Pass ? colours::kLit : colours::kUnlit);
    m_testerVerdict->show();
}

void FormMain::setRecCountEnabled(bool enabled)
{
    // A disabled button hands its focus to the next control, which would make a
    // second Enter press that one (DATA); the window keeps the focus instead, so
    // Enter does nothing until the armed reading has been counted.
    if (!enabled && focusWidget() == m_ui.recCountButton)
        m_ui.centralWidget->setFocus(Qt::OtherFocusReason);
    m_ui.recCountButton->setEnabled(enabled);
}

void FormMain::focusRecCount()
{
    // With cell IDs on, the Cell ID field waits for the next cell's scan.
    if (m_cellIds && m_cellIds->focusField())
        return;
    m_ui.recCountButton->setFocus(Qt::OtherFocusReason);
}

void FormMain::setStartEnabled(bool enabled)
{
    m_ui.startButton->setEnabled(enabled);
}

void FormMain::focusStart()
{
    m_ui.startButton->setFocus(Qt::OtherFocusReason);
}

void FormMain::setSetupEnabled(bool enabled)
{
    m_ui.setupPanels[0]->setEnabled(enabled);
    m_ui.setupPanels[1]->setEnabled(enabled);
    m_ui.dataFileFrame->setEnabled(enabled);
    m_ui.settingsMenu->setEnabled(enabled);
    m_ui.settingsMenu->menuAction()->setEnabled(enabled);
}

QString FormMain::pathText() const
{
    return m_ui.dataFilePath->text();
}

void FormMain::setPathText(const QString &text)
{
    m_ui.dataFilePath->setText(text);
}

void FormMain::showError(const QString &text)
{
    m_dialogs.showMessage(text, applicationTitle(), Dialogs::Icon::None);
}

void FormMain::showRecordNotice(const QString &text)
{
    m_dialogs.showNotice(text, applicationTitle());
}

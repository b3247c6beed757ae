#pragma once

#include "app/mainwindow/formmainui.h"

#include "bins/binpanellogic.h"
#include "platform/filelocations.h"
#include "platform/serialdevices.h"
#include "session/measurementsession.h"
#include "session/sessionview.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <array>

class CellIdControls;
class CentralRecordControls;
class Clock;
class DataFile;
class Dialogs;
class AboutWindow;
class CounterWindow;
class GuideWindow;
class HandsFreeControls;
class PackLauncher;
class PortChooser;
class ProfileControls;
class QLabel;
class SerialPort;
class BinTables;

// The program's main window. It shows the readings and the BIN grid, holds the
// two BIN set-up panels and the data-file path, and forwards START, STOP and
// "REC - COUNT" to its measurement session, which drives the window back
// through SessionView.
//
// Everything it works with is handed in and must outlive it: the serial port
// and the clock the session uses, the dialogs through which it asks and tells
// the operator, the two program-wide BIN tables and the data file. locations
// tells where Settings.ini and the port links live, where the default data
// file goes and where the operator's guide is.
//
// No handler waits: the counter window, the About window, the save dialog and
// message boxes open window-modal and return at once, and the measurement
// ticks go on behind them. A failure a handler meets comes back to it as a
// value and is shown in a window-modal message box or the status line.
//
// Besides the inventory controls the window has two of its own: a notice in
// the result frame (objectName "replyNotice") that says when the reading shown
// is stale, and a status line below the client area ("statusLine") for the
// state of the line and for full counters. Beside it the status bar shows the
// tester's own pass/fail word when its profile reads one ("testerVerdict").
//
// The set-up (port, both panels, window position) is read from Settings.ini in
// the settings folder when the window is made and written there when it closes. Closing
// cannot be refused: it stops a running session, closes the counter and About
// windows, saves the set-up and, for the program's own window, ends the program.
class FormMain : public QMainWindow, public SessionView
{
    Q_OBJECT
public:
    // Title of the window and of every message box.
    static QString applicationTitle();
    // What a judgement is told to assistive technology as:
    // "Resistance BIN 3, Voltage -Out".
    static QString spokenJudgement(const ReadingJudgement &judgement);

    // Builds the controls and runs the start-up: unit texts, the dated default
    // path, the captions of the value labels, grid, row labels and out labels,
    // then the stored set-up: both BIN panels (both tables built), the window
    // position and the port number. Opens nothing.
    FormMain(SerialPort &port, Clock &clock, Dialogs &dialogs,
             BinTables &binTables, DataFile &dataFile,
             FileLocations locations, QWidget *parent = nullptr);
    ~FormMain() override;

    const FormMainUi &ui() const { return m_ui; }
    MeasurementSession &session() { return m_session; }
    // Auto record, the sound cue and their options (Settings menu, status bar).
    HandsFreeControls &handsFree() { return *m_handsFree; }
    // Cell IDs: their options, the Cell ID field and the cell history.
    CellIdControls &cellIds() { return *m_cellIds; }
    // Settings > Tester profile and the profile shown in the status bar.
    ProfileControls &profiles() { return *m_profiles; }
    // File > Build a pack... and Pack placement...
    PackLauncher &packs() { return *m_packs; }
    // The record journal and the central record (Settings menu, status bar).
    CentralRecordControls &centralRecord() { return *m_centralRecord; }
    // The folder Settings.ini and the hands-free options live in.
    QString settingsFolder() const { return m_locations.settingsDir; }
    const QString &programDir() const { return m_locations.programDir; }
    const FileLocations &locations() const { return m_locations; }

    // Settings > COMPort's list of serial devices; the present ones unless set.
    PortChooser &portChooser() { return *m_portChooser; }
    void setSerialDeviceList(SerialDeviceList devices);

    // Rebuilds the resistance (voltage) table from its panel and shows its captions and
    // limits. A number the table cannot hold keeps the previous table and
    // limit texts and tells the operator (one message per refused edit).
    void updateBinTableR();
    void updateBinTableV();

    // "Browse": opens the save dialog for the data file, proposing today's
    // default path. A chosen path goes into the path field once the operator
    // answers; a cancel is silent and a failed dialog is reported.
    void selectSaveFile();

    // Zeroes the counters of both BIN tables (RESET of the BIN counter window).
    void clearCounts();

    // The serial port number (1 = COM1). setComPort stores it, applies it to the
    // port, which must be closed, and moves the check mark of the COM menu (no
    // mark for numbers above 4). A port that refuses the number is reported.
    qint16 comPort() const { return m_comPort; }
    void setComPort(qint16 comPort);

    // When set (the program's own window), closing the window ends the
    // application's event loop, so the program ends at once. Off by default: a
    // window made without it only closes, which leaves a caller's loop alone.
    void setEndsProgram(bool endsProgram) { m_endsProgram = endsProgram; }
    bool isShutDown() const { return m_shutDown; }

    // <programDir>/readmeE.txt, with no second separator when programDir
    // already ends with one.
    static QString readmePath(const QString &programDir);

    // SessionView
    void showValue(int t, const QString &text) override;
    void showJudgement(const ReadingJudgement &judgement) override;
    void clearJudgement() override;
    void showStale(const QString &notice) override;
    void showTesterVerdict(const QString &word, TesterVerdict verdict) override;
    void showStatus(const QString &text) override;
    void setRecCountEnabled(bool enabled) override;
    void focusRecCount() override;
    void setStartEnabled(bool enabled) override;
    void focusStart() override;
    void setSetupEnabled(bool enabled) override;
    QString pathText() const override;
    void setPathText(const QString &text) override;
    void showError(const QString &text) override;
    void showRecordNotice(const QString &text) override;

Q_SIGNALS:
    // A changed judgement was told to assistive technology (an alert from the
    // result frame, whose description holds the text).
    void judgementAnnounced(const QString &text);

protected:
    // Enter or Return presses "REC - COUNT" while it is enabled; on another
    // focused push button it presses that button.
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Start-up: the unit texts, the dated default path, the captions of the
    // value labels, grid, row labels and out labels, then the stored set-up.
    void startUp();
    // Restores the port number, both panels and the window position from
    // Settings.ini, or the first-run set-up when it cannot be read; both tables
    // are rebuilt from the restored panels and the port number is applied.
    // Reports nothing.
    void loadSettings();
    // Closes every open file and writes the set-up to Settings.ini. A file that cannot be written is passed over
    // silently and the previous one stays as it was.
    void saveSettings();
    // The close handling: stops a running session (which drops an outstanding
    // request, stops polling and closes the port), closes the secondary windows, saves
    // the settings and ends the program when asked to.
    void shutdown();
    void closeSecondaryWindows();

    void connectPanels();
    void panelTextChanged(int t);
    void updatePanel(int t);
    // updateBinTableR (t = 0) or updateBinTableV (t = 1).
    void updateBinTableOf(int t);
    void tellOperator(const QString &text);

    void onStartClicked();
    void onStopClicked();
    void onBrowseClicked();
    void onRecCountClicked();
    void onDataClicked();
    // COM1..COM4 of Settings > COMPort....
    void onComPortChosen(qint16 comPort);
    // Help: the operator's guide in the program's own window; a guide that
    // cannot be read is told with its path and the reason.
    void openReadme();
    void announceJudgement(const QString &text);
    // Logs the BIN limits a session starts with when they differ from those
    // the last session (or the start-up) had.
    void logChangedLimits();
    std::array<QString, 2> limitsInUse() const;
    void showAbout();
    void showCounterWindow();
    void buildStateControls();

    FormMainUi m_ui;
    QLabel *m_replyNotice = nullptr;
    QLabel *m_statusLine = nullptr;
    HandsFreeControls *m_handsFree = nullptr;
    CellIdControls *m_cellIds = nullptr;
    PackLauncher *m_packs = nullptr;
    ProfileControls *m_profiles = nullptr;
    QLabel *m_testerVerdict = nullptr;
    CentralRecordControls *m_centralRecord = nullptr;
    QPointer<CounterWindow> m_counterWindow;
    QPointer<AboutWindow> m_aboutWindow;
    QPointer<GuideWindow> m_guideWindow;
    QString m_spokenJudgement;
    QString m_recCountDescription;
    std::array<QString, 2> m_loggedLimits;
    Dialogs &m_dialogs;
    Clock &m_clock;
    DataFile &m_dataFile;
    BinTables &m_binTables;
    FileLocations m_locations;
    PortChooser *m_portChooser = nullptr;
    qint16 m_comPort = 1;
    // The panel entries each BIN table was last built from (resistance first).
    std::array<PanelEntries, 2> m_entriesInUse;
    QStringList m_pendingMessages;
    bool m_loadingSettings = false;
    bool m_shutDown = false;
    bool m_endsProgram = false;
    MeasurementSession m_session;
};

#pragma once

#include "formmainui.h"

#include "session/measurementsession.h"
#include "session/sessionview.h"

#include <QMainWindow>
#include <QString>

#include <functional>

class Clock;
class DataFile;
class Dialogs;
class EventPump;
class SerialPort;
struct BinTable;

// The program's main window. It shows the readings and the BIN grid, holds the
// two BIN set-up panels and the data-file path, and forwards START, STOP and
// "REC - COUNT" to its measurement session, which drives the window back
// through SessionView.
//
// Everything it works with is handed in and must outlive it: the serial port,
// the event pump and the clock the session uses, the dialogs through which it
// asks and tells the operator, the two program-wide BIN tables and the data
// file. programDir is the program's folder (default data path, port links).
//
// The session's wait processes events, so clicks, timer ticks and closing the
// window can run in the middle of a measurement cycle; no handler lets an
// AppError escape into the event loop, and modal windows are opened only
// between cycles.
class FormMain : public QMainWindow, public SessionView
{
    Q_OBJECT
public:
    // Title of the window and of every message box.
    static QString applicationTitle();

    // Builds the controls and runs the start-up: unit texts, the dated default
    // path, the captions of the value labels, grid, row labels and out labels,
    // the BIN panels (both tables built), then the port number. Opens nothing.
    FormMain(SerialPort &port, EventPump &pump, Clock &clock, Dialogs &dialogs,
             BinTable &binTableR, BinTable &binTableV, DataFile &dataFile,
             QString programDir, QWidget *parent = nullptr);
    ~FormMain() override;

    const FormMainUi &ui() const { return m_ui; }
    MeasurementSession &session() { return m_session; }
    const QString &programDir() const { return m_programDir; }

    // Rebuilds binTableR (binTableV) from its panel and shows its captions and
    // limits. A number the table cannot hold keeps the previous table and
    // limit texts and tells the operator (one message per refused edit).
    void updateBinTableR();
    void updateBinTableV();

    // "Browse": asks for the data file, proposing today's default path. True
    // when a path was taken into the path field; false when cancelled (silent)
    // or when the dialog failed (the operator is told why).
    bool selectSaveFile();

    // Zeroes the counters of both BIN tables (RESET of the BIN counter window).
    void clrBinCountRV();

    // The serial port number (1 = COM1). setComPort stores it, applies it to the
    // port, which must be closed, and moves the check mark of the COM menu (no
    // mark for numbers above 4). A port that refuses the number is reported.
    qint16 comPort() const { return m_comPort; }
    void setComPort(qint16 comPort);

    // Runs action now when no measurement cycle is in progress, otherwise as soon
    // as the running cycle has ended. Modal windows are opened through it, so a
    // cycle is never held inside one and the ticks go on while it is open.
    void runBetweenCycles(std::function<void()> action);

    // SessionView
    void showValue(int t, const QString &text) override;
    void setCellColour(int cell, quint32 bgr) override;
    void setOutLabel(int t, const std::optional<QString> &caption, quint32 bgr) override;
    void setRecCountEnabled(bool enabled) override;
    void focusRecCount() override;
    void setStartEnabled(bool enabled) override;
    void focusStart() override;
    void setSetupEnabled(bool enabled) override;
    QString pathText() const override;
    void setPathText(const QString &text) override;
    void showError(const QString &text) override;

protected:
    // Enter or Return presses "REC - COUNT" while it is enabled; on another
    // focused push button it presses that button.
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();
    // Puts both panels into their starting set-up; every change runs the panel's
    // own change handling, so both tables are built from it.
    void restoreSetup();
    // Ends the program's work when the window closes: stops a running session,
    // which closes the port and the data file.
    void shutdown();

    void connectPanels();
    void panelTextChanged(int t);
    void updatePanel(int t);
    void tellOperator(const QString &text);

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void MenuCOM_Click(int index);

    FormMainUi m_ui;
    Dialogs &m_dialogs;
    Clock &m_clock;
    BinTable &m_binTableR;
    BinTable &m_binTableV;
    QString m_programDir;
    qint16 m_comPort = 1;
    QStringList m_pendingMessages;
    MeasurementSession m_session;
};

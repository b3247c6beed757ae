#pragma once

#include "cellid/cellhistorylookup.h"
#include "settings/cellidoptions.h"

#include <QObject>
#include <QPointer>

#include <functional>

class CellHistoryWindow;
class CellIdOptionsDialog;
class CellIdStrip;
class CellTagging;
class CentralRecordControls;
class Clock;
class Dialogs;
class MeasurementSession;
class QAction;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QToolBar;

// Cell IDs at the bench: the "Cell IDs..." options (Settings menu), "Cell
// history..." (File menu) and, while cell IDs are on, the strip below the
// window's client area (CellIdStrip) with the "Cell ID" field, the K-value of
// the cell and a notice line. It wires the strip to the session's tagger
// (CellTagging), which binds scanned IDs to cells, gives counted cells their
// ID, re-test mark and K-value and holds a reading that does not look like
// its cell until the operator has answered, and to the look-up of cells'
// records (CellHistoryLookUp): from the bench's journal at once and, when the
// shared database is on, from the database on a pool of the look-up's own,
// which nothing waits for.
class CellIdControls : public QObject
{
    Q_OBJECT
public:
    CellIdControls(QMainWindow *window, QMenu *settingsMenu, QMenu *fileMenu, MeasurementSession &session,
                   CentralRecordControls &records, Dialogs &dialogs, Clock &clock, QString title,
                   QString settingsFolder, std::function<void()> pressRecCount);
    ~CellIdControls() override;

    const CellIdOptions &options() const { return m_options; }
    // Applies and saves; a file that cannot be written is reported.
    void setOptions(const CellIdOptions &options);

    // Gives the field the focus when cell IDs are on; false when they are off.
    bool focusField();

    using History = CellHistoryLookUp::History;
    // What is known of a cell: its records (oldest first) from the journal
    // and, once it has answered, the shared database; and a note on a source
    // that could not be read or is still being asked.
    History historyOf(const QString &cellId);
    // Asks the shared database (when on) for the cell's records on a worker
    // thread; centralAnswered() tells when they are in.
    void askCentral(const QString &cellId);

    void openOptionsDialog();
    void openHistoryWindow();
    CellIdOptionsDialog *optionsDialog() const;
    CellHistoryWindow *historyWindow() const;

    // The ID taken for the cell on the probes, or else for the next cell;
    // empty when none.
    QString takenId() const;
    CellIdStrip *cellIdStrip() const;
    CellTagging *tagging() const;
    QLineEdit *field() const;
    QLabel *notice() const;
    QLabel *kValueLabel() const;
    QToolBar *strip() const;
    QAction *optionsAction() const { return m_optionsAction; }
    QAction *historyAction() const { return m_historyAction; }
    // The monotonic milliseconds key presses are timed with (tests set it).
    void setKeyClock(std::function<qint64()> msecs);

    static QString noIdText();

Q_SIGNALS:
    void centralAnswered(const QString &cellId);

private:
    void apply();

    QMainWindow *m_window;
    MeasurementSession &m_session;
    Dialogs &m_dialogs;
    Clock &m_clock;
    QString m_title;
    QString m_settingsFolder;
    CellIdOptions m_options;
    // Why CellId.ini could not be read; while there is one every count is
    // refused, until the dialog's options are chosen.
    QString m_optionsProblem;

    CellHistoryLookUp *m_lookUp = nullptr;
    CellIdStrip *m_strip = nullptr;
    CellTagging *m_tagging = nullptr;
    QAction *m_optionsAction = nullptr;
    QAction *m_historyAction = nullptr;
    QPointer<CellIdOptionsDialog> m_optionsDialog;
    QPointer<CellHistoryWindow> m_historyWindow;
};

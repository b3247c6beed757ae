#pragma once

#include "record/cellrecord.h"
#include "cellid/cellid.h"
#include "cellid/scandetector.h"
#include "session/celltagger.h"
#include "settings/cellidoptions.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <functional>
#include <vector>

class CellHistoryWindow;
class CellIdOptionsDialog;
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
// history..." (File menu) and, while cell IDs are on, a strip below the
// window's client area with the "Cell ID" field, the K-value of the cell and
// a notice line. It gives the session's counted cells their ID, re-test mark
// and K-value.
//
// The field has the keyboard focus between counts. Enter in the field:
// - ends a scan or a typed ID: the ID is checked and, when good, taken for the
//   next count; the notice says whether the cell has records already (the
//   repeat warning). Such an Enter never counts, so the warning is seen
//   before the cell is counted;
// - pressed again on a taken ID (nothing typed since, and not the fast end of
//   a scan) counts the cell, as "REC - COUNT" does.
// A scan is the field's text typed as a burst (ScanDetector) or framed by the
// scanner's prefix and suffix; a scanner that ends its codes with Tab ends
// them here as with Enter. A taken ID is selected, so the next scan replaces
// it. REC - COUNT takes an ID typed but not yet ended with Enter.
//
// A cell's records come from the bench's journal at once and, when the shared
// database is on, from the database on a worker thread: the warning, the
// K-value and the history grow when its answer comes. A database that cannot
// be reached is said in the notice, and the journal's records stand.
class CellIdControls : public QObject, public CellTagger
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

    // What is known of a cell: its records (oldest first) from the journal
    // and, once it has answered, the shared database; and a note on a source
    // that could not be read or is still being asked.
    struct History
    {
        std::vector<CellRecord> records;
        QString note;
    };
    History historyOf(const QString &cellId);
    // Asks the shared database (when on) for the cell's records on a worker
    // thread; centralAnswered() tells when they are in.
    void askCentral(const QString &cellId);

    void openOptionsDialog();
    void openHistoryWindow();
    CellIdOptionsDialog *optionsDialog() const;
    CellHistoryWindow *historyWindow() const;

    // The ID taken for the next count; empty when none.
    const QString &takenId() const { return m_taken; }
    QLineEdit *field() const { return m_field; }
    QLabel *notice() const { return m_notice; }
    QLabel *kValueLabel() const { return m_kValue; }
    QToolBar *strip() const { return m_strip; }
    QAction *optionsAction() const { return m_optionsAction; }
    QAction *historyAction() const { return m_historyAction; }
    // The monotonic milliseconds key presses are timed with (tests set it).
    void setKeyClock(std::function<qint64()> msecs) { m_msecs = std::move(msecs); }

    static QString noIdText();

    // CellTagger
    bool mayCount(bool automatic) override;
    void readingJudged(double resistanceMilliohm, double voltageV) override;
    void tag(CellRecord &record) override;

Q_SIGNALS:
    void centralAnswered(const QString &cellId);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct CentralAnswer
    {
        bool pending = false;
        std::vector<CellRecord> records;
        QString problem;
    };

    void apply();
    // Checks the field's text and takes it as the next cell's ID; false (and
    // the notice says why) when it is no good ID.
    bool takeField();
    void showTakenNotice();
    void showNotice(const QString &text, bool warning);
    void onCentralAnswer(const QString &cellId, const CentralAnswer &answer);

    QMainWindow *m_window;
    MeasurementSession &m_session;
    CentralRecordControls &m_records;
    Dialogs &m_dialogs;
    Clock &m_clock;
    QString m_title;
    QString m_settingsFolder;
    std::function<void()> m_pressRecCount;
    std::function<qint64()> m_msecs;
    CellIdOptions m_options;
    QRegularExpression m_pattern;

    QToolBar *m_strip = nullptr;
    QLineEdit *m_field = nullptr;
    QLabel *m_kValue = nullptr;
    QLabel *m_notice = nullptr;
    QAction *m_optionsAction = nullptr;
    QAction *m_historyAction = nullptr;
    QPointer<CellIdOptionsDialog> m_optionsDialog;
    QPointer<CellHistoryWindow> m_historyWindow;

    ScanDetector m_scan;
    QString m_taken;
    // The taken ID's records, looked up when it was taken and again when the
    // shared database answers.
    std::vector<CellRecord> m_takenHistory;
    bool m_edited = false;
    QString m_refusalShown;
    QHash<QString, CentralAnswer> m_central;
};

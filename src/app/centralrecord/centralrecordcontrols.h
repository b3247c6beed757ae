#pragma once

#include "record/forwarder.h"
#include "record/journal.h"
#include "record/journalcheck.h"
#include "record/recordsinks.h"
#include "settings/centralsettings.h"

#include <QObject>
#include <QPointer>

#include <memory>

class BoundedLabel;
class CentralRecordDialog;
class Dialogs;
class QAction;
class QLabel;
class QMenu;
class StatusArea;
class QWidget;

// The bench's record beyond the data file: the local journal, always on, and
// the shared database, on when Database.ini says so. Opens the journal and
// has every page of it checked on a worker thread meanwhile (a damaged one is
// moved aside and the operator told once the window is up or the check has
// found it), offers the journal's sink to the counting path, runs the
// forwarder on a thread of its own while the central record is on (from the
// end of that check, so that it never writes to a journal being moved aside),
// and shows its state in the status area: "Central record: up to date",
// "Central record: 37 cells waiting (reason)", why Database.ini cannot be
// used, nothing when off. Settings >
// "Central record..." opens the dialog.
class CentralRecordControls : public QObject
{
    Q_OBJECT
public:
    CentralRecordControls(QWidget *window, QMenu *settingsMenu, StatusArea &statusArea, Dialogs &dialogs,
                          QString title, QString settingsFolder, QString journalPath);
    ~CentralRecordControls() override;

    RecordSink &journalSink() { return m_sink; }
    Journal &journal() { return m_journal; }
    const CentralSettings &settings() const { return m_settings; }
    // Saves to Database.ini (a file that cannot be written is reported) and
    // starts or stops forwarding accordingly.
    void setSettings(const CentralSettings &settings);

    // Opens the dialog window-modal without waiting; a second call brings the
    // open one forward.
    void openDialog();
    CentralRecordDialog *dialog() const;
    QAction *action() const { return m_action; }
    QLabel *statusLabel() const;
    // How the central record stands (disabled when off): the forwarder's
    // last word on the server, with the cells waiting counted in the journal
    // itself and the counted cells the journal could not keep.
    CentralStatus status();

    // Stops forwarding. With cells waiting, returns "Central record: N cells
    // waiting; they are sent at the next start."; empty otherwise.
    QString shutdown();

Q_SIGNALS:
    // The bench name the records carry changed.
    void benchChanged(const QString &bench);

private:
    void startForwarding();
    void refreshStatus();
    void showStatus(const CentralStatus &status);
    void journalChecked(const Status &verdict);
    // Shows the text, when there is one, once the window is up.
    void tell(const QString &text);

    QWidget *m_window;
    Dialogs &m_dialogs;
    QString m_title;
    QString m_settingsFolder;
    QString m_journalPath;
    CentralSettings m_settings;
    // Why Database.ini could not be used (see StoredCentralSettings); the
    // central record stays off and the status says so until it is mended
    // or the dialog's settings are saved.
    QString m_settingsProblem;
    Journal m_journal;
    JournalSink m_sink;
    JournalCheck m_journalCheck;
    std::unique_ptr<CentralForwarderThread> m_forwarder;
    QAction *m_action = nullptr;
    BoundedLabel *m_statusLabel = nullptr;
    QPointer<CentralRecordDialog> m_dialog;
    qint64 m_notKept = 0;
    QString m_notKeptReason;
};

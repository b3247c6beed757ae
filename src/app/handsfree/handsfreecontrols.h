#pragma once

#include "settings/handsfreeoptions.h"

#include <QObject>
#include <QList>
#include <QPointer>

#include <memory>

class Dialogs;
class HandsFreeDialog;
class MeasurementSession;
class QAction;
class QCheckBox;
class QMenu;
class StatusArea;
class QWidget;
class SoundCue;

// The window's hands-free controls: the items "Auto record", "Sound cue" and
// "Hands-free options..." of the Settings menu, and an "Auto record" check box
// at the right end of the status area, which stays usable during a session
// (the Settings menu does not). Loads the options from the folder Settings.ini lives in, applies
// them to the session, saves every change at once, and plays the cue of each
// recorded cell when the sound is on. Auto record stopped by the session (a
// cell that nothing could keep) shows as off, without being saved so.
class HandsFreeControls : public QObject
{
    Q_OBJECT
public:
    HandsFreeControls(QWidget *window, QMenu *settingsMenu, StatusArea &statusArea,
                      MeasurementSession &session, Dialogs &dialogs, QString title,
                      QString settingsFolder);
    ~HandsFreeControls() override;

    const HandsFreeOptions &options() const { return m_options; }

    // Another channel's session: the options apply to it as well, and its
    // recorded cells sound the cue. Forgotten when the session is destroyed.
    void addSession(MeasurementSession &session);
    // Applies and saves; a file that cannot be written is reported.
    void setOptions(const HandsFreeOptions &options);

    // The sound the cues go to; by default the platform's (QtSoundCue), made
    // on first use. Not owned when set.
    void setSoundCue(SoundCue *sound) { m_sound = sound; }

    // Opens the options dialog window-modal without waiting; a second call
    // brings the open one forward.
    void openDialog();
    HandsFreeDialog *dialog() const;

    QAction *autoRecordAction() const { return m_autoRecordAction; }
    QAction *soundAction() const { return m_soundAction; }
    QAction *optionsAction() const { return m_optionsAction; }
    QCheckBox *autoRecordToggle() const { return m_autoRecordToggle; }

private:
    void apply();
    void applyTo(MeasurementSession &session);
    void onCellRecorded(bool bothInBin);

    QWidget *m_window;
    MeasurementSession &m_session;
    QList<QPointer<MeasurementSession>> m_otherSessions;
    Dialogs &m_dialogs;
    QString m_title;
    QString m_settingsFolder;
    HandsFreeOptions m_options;
    QAction *m_autoRecordAction = nullptr;
    QAction *m_soundAction = nullptr;
    QAction *m_optionsAction = nullptr;
    QCheckBox *m_autoRecordToggle = nullptr;
    QPointer<HandsFreeDialog> m_dialog;
    std::unique_ptr<SoundCue> m_platformSound;
    SoundCue *m_sound = nullptr;
};

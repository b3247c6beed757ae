#pragma once

#include "link/testerprofile.h"

#include <QObject>
#include <QString>

class BoundedLabel;
class Dialogs;
class QActionGroup;
class QLabel;
class QMenu;
class StatusArea;

// Settings > "Tester profile": lists the built-in profiles and the "*.json"
// files in the profiles folder beside Settings.ini (read afresh each time the
// menu opens), keeps the choice in its own INI file, and shows the profile in
// use in the status bar. The session reads the chosen profile through load()
// at every START.
class ProfileControls : public QObject
{
    Q_OBJECT
public:
    ProfileControls(QObject *parent, QMenu *settingsMenu, StatusArea &statusArea, Dialogs &dialogs,
                    QString title, QString settingsFolder);

    // The stored choice: a built-in profile's name or a file name.
    const QString &choice() const { return m_choice; }
    // Chooses, saves and shows; a file that cannot be read is reported at once
    // (and again at START) but stays chosen, so it can be mended in place.
    void choose(const QString &choice);

    // Reads the chosen profile; on success the status bar shows it.
    Result<TesterProfile> load();

    // The text of the status bar and the About window: "default (built-in)",
    // "bench7 (bench7.json)".
    QString inUseText() const { return m_inUse; }

    QMenu *menu() const { return m_menu; }
    QLabel *statusLabel() const;

private:
    void fillMenu();
    void show(const QString &text);

    Dialogs &m_dialogs;
    QString m_title;
    QString m_settingsFolder;
    QString m_choice;
    QString m_inUse;
    QMenu *m_menu = nullptr;
    QActionGroup *m_group = nullptr;
    BoundedLabel *m_label = nullptr;
};

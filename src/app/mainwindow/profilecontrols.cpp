#include "app/mainwindow/profilecontrols.h"

#include "platform/dialogs.h"
#include "settings/testerprofilechoice.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

namespace {
struct ControlTexts
{
    Q_DECLARE_TR_FUNCTIONS(ProfileControls)
};

QString inUseTextOf(const TesterProfile &profile, const QString &choice)
{
    if (choiceIsFile(choice))
        return QStringLiteral("%1 (%2)").arg(profile.name, choice);
    return ControlTexts::tr("%1 (built-in)").arg(profile.name);
}

} // namespace

ProfileControls::ProfileControls(QObject *parent, QMenu *settingsMenu, QStatusBar *statusBar, Dialogs &dialogs,
                                 QString title, QString settingsFolder)
    : QObject(parent), m_dialogs(dialogs), m_title(std::move(title)), m_settingsFolder(std::move(settingsFolder))
{
    m_menu = settingsMenu->addMenu(tr("&Tester profile"));
    m_menu->setObjectName(QStringLiteral("testerProfileMenu"));
    m_group = new QActionGroup(m_menu);
    m_group->setExclusive(true);
    connect(m_menu, &QMenu::aboutToShow, this, &ProfileControls::fillMenu);

    m_label = new QLabel(statusBar);
    m_label->setObjectName(QStringLiteral("testerProfileLabel"));
    statusBar->addPermanentWidget(m_label);

    m_choice = loadProfileChoice(m_settingsFolder);
    fillMenu();
    // What START will use; a file that cannot be read says so only at START.
    const Result<TesterProfile> loaded = loadChosenProfile(m_settingsFolder, m_choice);
    show(loaded ? inUseTextOf(*loaded, m_choice) : m_choice);
}

void ProfileControls::fillMenu()
{
    m_menu->clear();
    for (QAction *action : m_group->actions())
        m_group->removeAction(action);
    const auto add = [this](const QString &text, const QString &choice) {
        QAction *action = m_menu->addAction(text);
        action->setCheckable(true);
        action->setChecked(choice == m_choice);
        action->setData(choice);
        m_group->addAction(action);
        connect(action, &QAction::triggered, this, [this, choice] { choose(choice); });
    };
    for (const TesterProfile &profile : builtInProfiles())
        add(tr("%1 (built-in)").arg(profile.name), profile.name);
    m_menu->addSeparator();
    const QStringList files = profileFiles(m_settingsFolder);
    for (const QString &file : files)
        add(file, file);
    if (files.isEmpty()) {
        QAction *none = m_menu->addAction(tr("No profile files in %1")
                                              .arg(QDir::toNativeSeparators(profilesFolder(m_settingsFolder))));
        none->setEnabled(false);
    }
}

void ProfileControls::choose(const QString &choice)
{
    m_choice = choice;
    if (const Status saved = saveProfileChoice(m_settingsFolder, m_choice); !saved)
        m_dialogs.showNotice(tr("%1. The tester profile applies until the program ends "
                                "but is not saved.").arg(saved.errorString()),
                             m_title);
    const Result<TesterProfile> loaded = loadChosenProfile(m_settingsFolder, m_choice);
    if (loaded) {
        show(inUseTextOf(*loaded, m_choice));
    } else {
        show(m_choice);
        m_dialogs.showNotice(loaded.errorString(), m_title);
    }
}

Result<TesterProfile> ProfileControls::load()
{
    Result<TesterProfile> loaded = loadChosenProfile(m_settingsFolder, m_choice);
    if (loaded)
        show(inUseTextOf(*loaded, m_choice));
    return loaded;
}

void ProfileControls::show(const QString &text)
{
    m_inUse = text;
    m_label->setText(tr("Profile: %1").arg(text));
}

#include "app/handsfree/handsfreecontrols.h"

#include "app/handsfree/handsfreedialog.h"
#include "app/style/singlewindow.h"
#include "app/style/statusarea.h"

#include "platform/dialogs.h"
#include "platform/qtsoundcue.h"
#include "session/measurementsession.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QSignalBlocker>
#include <QTimer>


HandsFreeControls::HandsFreeControls(QWidget *window, QMenu *settingsMenu, StatusArea &statusArea,
                                     MeasurementSession &session, Dialogs &dialogs, QString title,
                                     QString settingsFolder)
    : QObject(window),
      m_window(window),
      m_session(session),
      m_dialogs(dialogs),
      m_title(std::move(title)),
      m_settingsFolder(std::move(settingsFolder))
{
    settingsMenu->addSeparator()->setObjectName(QStringLiteral("handsFreeSeparator"));
    m_autoRecordAction = settingsMenu->addAction(tr("&Auto record"));
    m_autoRecordAction->setObjectName(QStringLiteral("autoRecordAction"));
    m_autoRecordAction->setCheckable(true);
    m_soundAction = settingsMenu->addAction(tr("Sound c&ue"));
    m_soundAction->setObjectName(QStringLiteral("soundCueAction"));
    m_soundAction->setCheckable(true);
    m_optionsAction = settingsMenu->addAction(tr("&Hands-free options..."));
    m_optionsAction->setObjectName(QStringLiteral("handsFreeOptionsAction"));

    m_autoRecordToggle = new QCheckBox(tr("&Auto record"), &statusArea);
    m_autoRecordToggle->setObjectName(QStringLiteral("autoRecordToggle"));
    // Alt+A, Tab and Space, or a click switch it, during a session too. A click
    // leaves the focus where it was, and Enter on it still counts the cell:
    // the check box leaves Enter to the window ("REC - COUNT").
    m_autoRecordToggle->setFocusPolicy(Qt::TabFocus);
    m_autoRecordToggle->setAccessibleDescription(tr("Count and record each cell once its reading has settled"));
    statusArea.addIndicator(m_autoRecordToggle, StatusArea::Place::Last);

    const auto switchAuto = [this](bool on) {
        HandsFreeOptions options = m_options;
        options.autoRecord = on;
        setOptions(options);
    };
    connect(m_autoRecordAction, &QAction::toggled, this, switchAuto);
    connect(m_autoRecordToggle, &QCheckBox::toggled, this, switchAuto);
    connect(m_soundAction, &QAction::toggled, this, [this](bool on) {
        HandsFreeOptions options = m_options;
        options.sound = on;
        setOptions(options);
    });
    connect(m_optionsAction, &QAction::triggered, this, &HandsFreeControls::openDialog);
    connect(&m_session, &MeasurementSession::cellRecorded, this, &HandsFreeControls::onCellRecorded);
    connect(&m_session, &MeasurementSession::autoRecordStopped, this, [this] {
        // Stopped for this run by a cell nothing could keep, not by the
        // operator: the stored option stays as it was.
        m_options.autoRecord = false;
        apply();
    });

    const Result<HandsFreeOptions> loaded = loadHandsFreeOptions(m_settingsFolder);
    m_options = loaded.valueOr(HandsFreeOptions());
    apply();
    if (!loaded) {
        // Told once the window is up, as a refused Settings.ini is.
        const QString text = tr("%1. The hands-free options were not read from it and are not "
                                "saved to it; the program starts with their defaults.")
                                     .arg(loaded.errorString());
        QTimer::singleShot(0, this, [this, text] { m_dialogs.showNotice(text, m_title); });
    }
}

HandsFreeControls::~HandsFreeControls() = default;

void HandsFreeControls::setOptions(const HandsFreeOptions &options)
{
    if (options == m_options)
        return;
    m_options = options;
    apply();
    if (const Status saved = saveHandsFreeOptions(m_settingsFolder, m_options); !saved) {
        m_dialogs.showNotice(tr("%1. The hands-free options apply until the program ends "
                                "but are not saved.").arg(saved.errorString()),
                             m_title);
    }
}

void HandsFreeControls::apply()
{
    const QSignalBlocker blockAction(m_autoRecordAction);
    const QSignalBlocker blockToggle(m_autoRecordToggle);
    const QSignalBlocker blockSound(m_soundAction);
    m_autoRecordAction->setChecked(m_options.autoRecord);
    m_autoRecordToggle->setChecked(m_options.autoRecord);
    m_soundAction->setChecked(m_options.sound);
    applyTo(m_session);
    m_otherSessions.removeAll(nullptr);
    for (MeasurementSession *session : std::as_const(m_otherSessions))
        applyTo(*session);
}

void HandsFreeControls::applyTo(MeasurementSession &session)
{
    // A changed rule starts the run afresh; an unchanged one keeps it.
    if (!(session.arming().detector().rule() == m_options.rule))
        session.setSettleRule(m_options.rule);
    session.setAutoRecord(m_options.autoRecord);
}

void HandsFreeControls::addSession(MeasurementSession &session)
{
    m_otherSessions.removeAll(nullptr);
    m_otherSessions.append(&session);
    connect(&session, &MeasurementSession::cellRecorded, this, &HandsFreeControls::onCellRecorded);
    applyTo(session);
}

HandsFreeDialog *HandsFreeControls::dialog() const
{
    return m_dialog;
}

void HandsFreeControls::openDialog()
{
    openOnce(m_dialog, [this] {
        auto *dialog = new HandsFreeDialog(m_options, m_window);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::WindowModal);
        connect(dialog, &HandsFreeDialog::chosen, this, &HandsFreeControls::setOptions);
        return dialog;
    });
}

void HandsFreeControls::onCellRecorded(bool bothInBin)
{
    if (!m_options.sound)
        return;
    if (!m_sound) {
        m_platformSound = std::make_unique<QtSoundCue>();
        m_sound = m_platformSound.get();
    }
    m_sound->play(bothInBin ? SoundCue::Cue::In : SoundCue::Cue::Out);
}

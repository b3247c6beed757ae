#include "app/centralrecord/centralrecordcontrols.h"

#include "app/centralrecord/centralrecorddialog.h"
#include "app/style/boundedlabel.h"
#include "app/style/singlewindow.h"
#include "app/style/statusarea.h"

#include "platform/dialogs.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QSysInfo>
#include <QTimer>

#include <algorithm>

CentralRecordControls::CentralRecordControls(QWidget *window, QMenu *settingsMenu, StatusArea &statusArea,
                                             Dialogs &dialogs, QString title, QString settingsFolder,
                                             QString journalPath)
    : QObject(window),
      m_window(window),
      m_dialogs(dialogs),
      m_title(std::move(title)),
      m_settingsFolder(std::move(settingsFolder)),
      m_journalPath(std::move(journalPath)),
      m_sink(m_journal)
{
    m_action = settingsMenu->addAction(tr("Central &record..."));
    m_action->setObjectName(QStringLiteral("centralRecordAction"));
    connect(m_action, &QAction::triggered, this, &CentralRecordControls::openDialog);

    // "37 cells waiting" with a long reason is cut; the whole is its tooltip.
    m_statusLabel = statusArea.addTextIndicator(QStringLiteral("centralRecordStatus"), 260);
    m_statusLabel->hide();

    connect(&m_sink, &JournalSink::appended, this, [this] {
        if (m_forwarder)
            m_forwarder->wake();
        refreshStatus();
    });
    connect(&m_sink, &JournalSink::notKept, this, [this](const QString &reason) {
        ++m_notKept;
        m_notKeptReason = reason;
        refreshStatus();
    });
    connect(&m_sink, &JournalSink::restarted, this, [this] {
        if (m_forwarder)
            m_forwarder->reopenJournal();
    });

    QDir().mkpath(QFileInfo(m_journalPath).absolutePath());
    // Reading every page of a large journal would hold up the window.
    const Status opened = m_journal.open(m_journalPath, Journal::FullCheck::Later);
    tell(opened ? m_journal.takeNotice() : opened.errorString());
    connect(&m_journalCheck, &JournalCheck::finished, this, &CentralRecordControls::journalChecked);
    if (m_journal.needsCheck())
        m_journalCheck.start(m_journalPath);

    const StoredCentralSettings stored = loadCentralSettings(m_settingsFolder);
    m_settings = stored.settings;
    m_settingsProblem = stored.problem;
    if (!m_settingsProblem.isEmpty())
        tell(tr("%1. The central record is not started until the file is mended or the settings are "
                "saved again in Settings > Central record...").arg(m_settingsProblem));
    startForwarding();
}

CentralRecordControls::~CentralRecordControls()
{
    m_forwarder.reset();
}

QLabel *CentralRecordControls::statusLabel() const
{
    return m_statusLabel;
}

CentralStatus CentralRecordControls::status()
{
    if (!m_forwarder)
        return CentralStatus();
    // The forwarder's reason, and the journal's own count of what waits:
    // the forwarder may be held up in a statement while cells are counted.
    CentralStatus status = m_forwarder->status();
    if (const Result<qint64> waiting = m_journal.waitingCount())
        status.waiting = std::max<qint64>(0, *waiting - status.sentNotMarked);
    status.notKept = m_notKept;
    status.notKeptReason = m_notKeptReason;
    return status;
}

void CentralRecordControls::refreshStatus()
{
    showStatus(status());
}

void CentralRecordControls::startForwarding()
{
    m_forwarder.reset();
    if (!m_settings.enabled || !m_settingsProblem.isEmpty()) {
        showStatus(CentralStatus());
        return;
    }
    if (m_journalCheck.isRunning()) {
        showStatus(CentralStatus::connecting());
        return;
    }
    m_forwarder = std::make_unique<CentralForwarderThread>(m_journalPath, m_settings);
    connect(m_forwarder.get(), &CentralForwarderThread::statusChanged, this, &CentralRecordControls::refreshStatus);
    connect(m_forwarder.get(), &CentralForwarderThread::batchSent, this, &CentralRecordControls::refreshStatus);
    refreshStatus();
}

void CentralRecordControls::tell(const QString &text)
{
    if (!text.isEmpty())
        QTimer::singleShot(0, this, [this, text] { m_dialogs.showNotice(text, m_title); });
}

void CentralRecordControls::journalChecked(const Status &verdict)
{
    const Status applied = m_journal.checked(verdict);
    tell(applied ? m_journal.takeNotice() : applied.errorString());
    startForwarding();
}

void CentralRecordControls::showStatus(const CentralStatus &status)
{
    const QString text = m_settingsProblem.isEmpty()
            ? status.text()
            : tr("Central record: not started (%1)").arg(m_settingsProblem);
    m_statusLabel->setText(text);
    m_statusLabel->setVisible(!text.isEmpty());
}

void CentralRecordControls::setSettings(const CentralSettings &settings)
{
    if (settings == m_settings && m_settingsProblem.isEmpty())
        return;
    const QString oldBench = m_settings.benchName();
    m_settings = settings;
    // Chosen in the dialog: what the file held no longer matters.
    m_settingsProblem.clear();
    if (const Status saved = saveCentralSettings(m_settingsFolder, m_settings); !saved) {
        m_dialogs.showNotice(tr("%1. The central record settings apply until the program ends "
                                "but are not saved.").arg(saved.errorString()),
                             m_title);
    }
    startForwarding();
    if (m_settings.benchName() != oldBench)
        Q_EMIT benchChanged(m_settings.benchName());
}

CentralRecordDialog *CentralRecordControls::dialog() const
{
    return m_dialog;
}

void CentralRecordControls::openDialog()
{
    openOnce(m_dialog, [this] {
        // Made now when the journal has none yet, so that "Test connection"
        // checks the name for this machine.
        const QString machine = m_journal.machineIdentity().valueOr(QString());
        const qint64 hostNamed = m_journal.waitingCountOf(QSysInfo::machineHostName()).valueOr(0);
        auto *dialog = new CentralRecordDialog(m_settings, machine, hostNamed, m_window);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::WindowModal);
        connect(dialog, &CentralRecordDialog::chosen, this, &CentralRecordControls::setSettings);
        return dialog;
    });
}

QString CentralRecordControls::shutdown()
{
    if (m_dialog)
        m_dialog->close();
    m_journalCheck.cancel();
    const bool enabled = m_forwarder != nullptr;
    // Stopped first, without waiting: a batch still in flight counts as
    // waiting, and should the server commit it after all, the next start
    // finds it there and keeps it once.
    const qint64 waiting = enabled ? status().waiting : 0;
    m_forwarder.reset();
    if (waiting <= 0)
        return QString();
    return tr("Central record: %n cell(s) waiting; they are sent at the next start.", nullptr, int(waiting));
}

#include "app/centralrecord/centralrecorddialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSysInfo>
#include <QVBoxLayout>

#include <climits>

QString CentralRecordDialog::benchNameNote(const QString &typed, const QString &hostName, qint64 hostNamed)
{
    const QString name = typed.trimmed();
    QString note = name.isEmpty()
            ? tr("No bench name is set: cells counted from now on carry this machine's host name \"%1\".").arg(hostName)
            : tr("Cells counted from now on carry the bench name \"%1\".").arg(name);
    if (hostNamed > 0) {
        note += QLatin1Char(' ')
              + tr("The journal holds %n cell(s) counted without a bench name; they keep the host name \"%1\" "
                   "in the central record.", nullptr, int(qMin<qint64>(hostNamed, INT_MAX)))
                        .arg(hostName);
    }
    return note;
}

CentralRecordDialog::CentralRecordDialog(const CentralSettings &settings, QString machine, qint64 hostNamed,
                                         QWidget *parent)
    : QDialog(parent), m_machine(std::move(machine)), m_hostNamed(hostNamed)
{
    setObjectName(QStringLiteral("centralRecordDialog"));
    setWindowTitle(tr("Central record"));

    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(tr("Every counted cell is kept in this bench's journal. With the central "
                                "record on, it is also sent to a shared PostgreSQL database; cells "
                                "wait in the journal while the database cannot be reached."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    m_enabledBox = new QCheckBox(tr("&Send counted cells to the central database"), this);
    m_enabledBox->setObjectName(QStringLiteral("enabledBox"));
    layout->addWidget(m_enabledBox);

    auto *form = new QFormLayout;
    const auto lineEdit = [this](const char *name) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        edit->setMaxLength(255);
        return edit;
    };
    m_hostEdit = lineEdit("hostEdit");
    m_hostEdit->setPlaceholderText(tr("the local server's socket"));
    form->addRow(tr("&Host or socket folder:"), m_hostEdit);
    m_portBox = new QSpinBox(this);
    m_portBox->setObjectName(QStringLiteral("portBox"));
    m_portBox->setRange(1, 65535);
    form->addRow(tr("&Port:"), m_portBox);
    m_databaseEdit = lineEdit("databaseEdit");
    form->addRow(tr("&Database:"), m_databaseEdit);
    m_userEdit = lineEdit("userEdit");
    form->addRow(tr("&User:"), m_userEdit);
    m_benchEdit = lineEdit("benchEdit");
    m_benchEdit->setPlaceholderText(QSysInfo::machineHostName());
    form->addRow(tr("&Bench name:"), m_benchEdit);
    m_benchNote = new QLabel(this);
    m_benchNote->setObjectName(QStringLiteral("benchNameNote"));
    m_benchNote->setWordWrap(true);
    form->addRow(QString(), m_benchNote);
    connect(m_benchEdit, &QLineEdit::textChanged, this, [this](const QString &typed) {
        m_benchNote->setText(benchNameNote(typed, QSysInfo::machineHostName(), m_hostNamed));
    });
    m_sslModeBox = new QComboBox(this);
    m_sslModeBox->setObjectName(QStringLiteral("sslModeBox"));
    m_sslModeBox->addItems(sslModes());
    form->addRow(tr("&TLS mode (sslmode):"), m_sslModeBox);
    layout->addLayout(form);

    auto *password = new QLabel(tr("No password is stored here. The database client reads it from "
                                   "~/.pgpass, or from the file the PGPASSFILE variable names: one "
                                   "line host:port:database:user:password, the file readable by "
                                   "you alone (chmod 0600)."),
                                this);
    password->setObjectName(QStringLiteral("passwordNote"));
    password->setWordWrap(true);
    layout->addWidget(password);

    m_testButton = new QPushButton(tr("T&est connection"), this);
    m_testButton->setObjectName(QStringLiteral("testButton"));
    m_testButton->setAutoDefault(false);
    layout->addWidget(m_testButton, 0, Qt::AlignLeft);
    m_testResult = new QLabel(this);
    m_testResult->setObjectName(QStringLiteral("testResult"));
    m_testResult->setWordWrap(true);
    m_testResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Hidden until it has something to say: an empty label that takes the
    // focus would be a stop without a name.
    m_testResult->hide();
    layout->addWidget(m_testResult);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CentralRecordDialog::onOk);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_testButton, &QPushButton::clicked, this, &CentralRecordDialog::onTest);
    connect(&m_probe, &QFutureWatcher<Result<QString>>::finished, this, &CentralRecordDialog::onTested);

    m_enabledBox->setChecked(settings.enabled);
    m_hostEdit->setText(settings.host);
    m_portBox->setValue(settings.port);
    m_databaseEdit->setText(settings.database);
    m_userEdit->setText(settings.user);
    m_benchEdit->setText(settings.bench);
    m_benchNote->setText(benchNameNote(settings.bench, QSysInfo::machineHostName(), m_hostNamed));
    m_sslModeBox->setCurrentIndex(qMax(0, int(sslModes().indexOf(settings.sslMode))));
}

CentralRecordDialog::~CentralRecordDialog()
{
    // A test still running finishes on its own thread; its answer is dropped.
    disconnect(&m_probe, nullptr, this, nullptr);
    m_probe.cancel();
}

CentralSettings CentralRecordDialog::settings() const
{
    CentralSettings settings;
    settings.enabled = m_enabledBox->isChecked();
    settings.host = m_hostEdit->text().trimmed();
    settings.port = m_portBox->value();
    settings.database = m_databaseEdit->text().trimmed();
    settings.user = m_userEdit->text().trimmed();
    settings.bench = m_benchEdit->text().trimmed();
    settings.sslMode = m_sslModeBox->currentText();
    return settings;
}

void CentralRecordDialog::tellResult(const QString &text)
{
    m_testResult->setText(text);
    m_testResult->show();
}

void CentralRecordDialog::onTest()
{
    if (m_probe.isRunning())
        return;
    const CentralSettings tried = settings();
    m_testButton->setEnabled(false);
    tellResult(tr("Connecting..."));
    m_probe.setFuture(m_pool.run<Result<QString>>([tried, machine = m_machine](QPromise<Result<QString>> &promise) {
        promise.addResult(central::probe(tried, machine));
    }));
}

void CentralRecordDialog::onTested()
{
    const Result<QString> outcome = m_probe.result();
    m_testButton->setEnabled(true);
    tellResult(outcome ? *outcome : tr("Not connected: %1").arg(outcome.errorString()));
    Q_EMIT tested(outcome);
}

void CentralRecordDialog::onOk()
{
    const CentralSettings chosenSettings = settings();
    if (chosenSettings.enabled && (chosenSettings.database.isEmpty() || chosenSettings.user.isEmpty())) {
        tellResult(tr("Give the database and the user."));
        (chosenSettings.database.isEmpty() ? m_databaseEdit : m_userEdit)->setFocus();
        return;
    }
    Q_EMIT chosen(chosenSettings);
    accept();
}

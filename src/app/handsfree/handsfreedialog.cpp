#include "app/handsfree/handsfreedialog.h"

#include "app/style/warninglabel.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

HandsFreeDialog::HandsFreeDialog(const HandsFreeOptions &options, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("handsFreeDialog"));
    setWindowTitle(tr("Hands-free options"));

    auto *layout = new QVBoxLayout(this);
    m_autoRecordBox = new QCheckBox(tr("&Auto record: count and record a cell once its reading settles"), this);
    m_autoRecordBox->setObjectName(QStringLiteral("autoRecordBox"));
    layout->addWidget(m_autoRecordBox);

    auto *form = new QFormLayout;
    const auto &infos = settleParameterInfos();
    for (size_t i = 0; i < infos.size(); ++i) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(infos[i].key));
        edit->setMaxLength(16);
        const QString caption = infos[i].unit.isEmpty()
            ? infos[i].label
            : QStringLiteral("%1 (%2)").arg(infos[i].label, infos[i].unit);
        form->addRow(caption + QLatin1Char(':'), edit);
        m_fields[i] = edit;
    }
    layout->addLayout(form);

    m_soundBox = new QCheckBox(tr("&Sound cue when a cell is recorded"), this);
    m_soundBox->setObjectName(QStringLiteral("soundCueBox"));
    layout->addWidget(m_soundBox);

    m_errorText = newDialogErrorLabel(this);
    layout->addWidget(m_errorText);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel
                                             | QDialogButtonBox::RestoreDefaults, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &HandsFreeDialog::onOk);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this, [this] {
        HandsFreeOptions defaults;
        defaults.autoRecord = m_autoRecordBox->isChecked();
        defaults.sound = m_soundBox->isChecked();
        showOptions(defaults);
    });

    showOptions(options);
}

QLineEdit *HandsFreeDialog::field(SettleParameter parameter) const
{
    const auto &infos = settleParameterInfos();
    for (size_t i = 0; i < infos.size(); ++i) {
        if (infos[i].parameter == parameter)
            return m_fields[i];
    }
    return nullptr;
}

void HandsFreeDialog::showOptions(const HandsFreeOptions &options)
{
    m_autoRecordBox->setChecked(options.autoRecord);
    m_soundBox->setChecked(options.sound);
    const auto &infos = settleParameterInfos();
    for (size_t i = 0; i < infos.size(); ++i)
        m_fields[i]->setText(parameterText(options.rule, infos[i].parameter));
    m_errorText->clear();
    m_errorText->hide();
}

void HandsFreeDialog::onOk()
{
    HandsFreeOptions options;
    options.autoRecord = m_autoRecordBox->isChecked();
    options.sound = m_soundBox->isChecked();
    QStringList errors;
    QLineEdit *firstBad = nullptr;
    const auto &infos = settleParameterInfos();
    for (size_t i = 0; i < infos.size(); ++i) {
        if (const Status read = setParameterFromText(m_fields[i]->text(), infos[i].parameter, options.rule); !read) {
            errors << read.errorString();
            if (!firstBad)
                firstBad = m_fields[i];
        }
    }
    if (firstBad) {
        m_errorText->setText(errors.join(QLatin1Char('\n')));
        m_errorText->show();
        firstBad->setFocus(Qt::OtherFocusReason);
        firstBad->selectAll();
        return;
    }
    Q_EMIT chosen(options);
    accept();
}

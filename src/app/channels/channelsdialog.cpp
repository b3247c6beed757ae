#include "app/channels/channelsdialog.h"

#include "app/channels/channelpanel.h"
#include "app/style/warninglabel.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

ChannelsDialog::ChannelsDialog(const BenchChannels &channels, const QStringList &profiles, QWidget *parent)
    : QDialog(parent), m_channels(channels)
{
    setObjectName(QStringLiteral("channelsDialog"));
    setWindowTitle(tr("Channels"));
    auto *layout = new QVBoxLayout(this);

    auto *form = new QFormLayout;
    m_count = new QSpinBox(this);
    m_count->setObjectName(QStringLiteral("channelCount"));
    m_count->setRange(1, kMaxChannels);
    m_count->setValue(channels.count);
    form->addRow(tr("&Channels on this bench:"), m_count);
    auto *first = new QLabel(tr("Channel 1: the main window; its port under Settings > COMPort, its profile under "
                                "Settings > Tester profile, counted with Enter."),
                             this);
    first->setWordWrap(true);
    form->addRow(first);

    for (int n = 2; n <= kMaxChannels; ++n) {
        auto *row = new QWidget(this);
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        auto *port = new QLineEdit(channels.channel(n).port.text(), row);
        port->setObjectName(QStringLiteral("channelPort_%1").arg(n));
        port->setPlaceholderText(tr("COM%1, host:port or /dev/usbtmc0").arg(n));
        port->setAccessibleName(tr("Channel %1 port").arg(n));
        auto *profile = new QComboBox(row);
        profile->setObjectName(QStringLiteral("channelProfile_%1").arg(n));
        profile->setAccessibleName(tr("Channel %1 tester profile").arg(n));
        profile->addItems(profiles);
        // A choice whose file has gone stays shown, so it is not changed unseen.
        if (!profiles.contains(channels.channel(n).profile))
            profile->addItem(channels.channel(n).profile);
        profile->setCurrentText(channels.channel(n).profile);
        rowLayout->addWidget(port, 2);
        rowLayout->addWidget(profile, 1);
        auto *label = new QLabel(tr("Channel %1 (%2):").arg(n).arg(ChannelPanel::countKey(n).toString(QKeySequence::NativeText)),
                                 this);
        label->setBuddy(port);
        form->addRow(label, row);
        m_ports[size_t(n - 2)] = port;
        m_profiles[size_t(n - 2)] = profile;
        m_rows[size_t(n - 2)] = row;
        // The label hides with its row.
        connect(m_count, &QSpinBox::valueChanged, label, [label, n](int count) { label->setVisible(n <= count); });
        label->setVisible(n <= channels.count);
    }
    layout->addLayout(form);
    m_errorText = newDialogErrorLabel(this);
    layout->addWidget(m_errorText);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ChannelsDialog::onOk);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_count, &QSpinBox::valueChanged, this, &ChannelsDialog::showRows);
    showRows(channels.count);
}

void ChannelsDialog::showRows(int count)
{
    for (int n = 2; n <= kMaxChannels; ++n)
        m_rows[size_t(n - 2)]->setVisible(n <= count);
}

void ChannelsDialog::onOk()
{
    BenchChannels chosenChannels = m_channels;
    chosenChannels.count = m_count->value();
    // Channels beyond the count keep their set-up for when they come back.
    for (int n = 2; n <= kMaxChannels; ++n) {
        QLineEdit *field = portField(n);
        const Result<PortAddress> port = PortAddress::parse(field->text());
        if (!port) {
            if (n > chosenChannels.count)
                continue;
            m_errorText->setText(tr("Channel %1: %2.").arg(n).arg(port.errorString()));
            m_errorText->show();
            field->setFocus(Qt::OtherFocusReason);
            field->selectAll();
            return;
        }
        chosenChannels.channel(n).port = *port;
        chosenChannels.channel(n).profile = profileBox(n)->currentText();
    }
    m_errorText->hide();
    Q_EMIT chosen(chosenChannels);
    accept();
}

#pragma once

#include "settings/benchchannels.h"

#include <QDialog>
#include <QStringList>

#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// Settings > "Channels...": how many test heads the bench runs (1 to 4) and,
// for channels 2 to 4, each one's port (COMn, host:port or a USB-TMC device)
// and tester profile. Channel 1 keeps Settings > COMPort and Settings >
// Tester profile. OK checks every port it shows and hands the channels over
// through chosen(); a port that cannot be read keeps the dialog open, says
// why and takes the focus.
class ChannelsDialog : public QDialog
{
    Q_OBJECT
public:
    // profiles: the choices offered, built-in names and profile files.
    ChannelsDialog(const BenchChannels &channels, const QStringList &profiles, QWidget *parent = nullptr);

    QSpinBox *countBox() const { return m_count; }
    // Channel n's fields, n from 2 to kMaxChannels.
    QLineEdit *portField(int n) const { return m_ports[size_t(n - 2)]; }
    QComboBox *profileBox(int n) const { return m_profiles[size_t(n - 2)]; }
    QLabel *errorText() const { return m_errorText; }

Q_SIGNALS:
    void chosen(const BenchChannels &channels);

private:
    void showRows(int count);
    void onOk();

    BenchChannels m_channels;
    QSpinBox *m_count = nullptr;
    std::array<QLineEdit *, kMaxChannels - 1> m_ports{};
    std::array<QComboBox *, kMaxChannels - 1> m_profiles{};
    std::array<QWidget *, kMaxChannels - 1> m_rows{};
    QLabel *m_errorText = nullptr;
};

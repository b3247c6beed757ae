#pragma once

#include "session/sessionview.h"

#include <QGroupBox>
#include <QString>

#include <array>
#include <functional>

class Dialogs;
class QLabel;
class QPushButton;

// What channel 2, 3 or 4 of the bench shows, beside channel 1's main window:
// its reading, its two rows of BINs with their out labels, whether the
// reading is stale and why, the state of its line, and its own REC - COUNT
// button, which its key (F2 for channel 2, ...) presses too.
//
// The session drives it through SessionView. What the main window shows in a
// message box, the panel shows in its own status line, so a channel that cannot
// start never holds up the others; a record that was not saved is told through
// the dialogs, as for channel 1.
class ChannelPanel : public QGroupBox, public SessionView
{
    Q_OBJECT
public:
    // dataPath gives channel 1's data-file path; this channel's is derived
    // from it (channelDataPath).
    ChannelPanel(int channel, Dialogs &dialogs, QString title, std::function<QString()> dataPath,
                 QWidget *parent = nullptr);

    int channel() const { return m_channel; }
    // The caption: "Channel 2 - lab7:5025 (F2)".
    void setPortName(const QString &portName);

    // The key that counts this channel's cell: F2 for channel 2, ...
    static QKeySequence countKey(int channel);

    QPushButton *recCountButton() const { return m_recCount; }
    QLabel *valueLabel(int t) const { return m_values[size_t(t)]; }
    // Row t's cells 0..8 and its out label at 9.
    QLabel *gridCell(int t, int index) const { return m_cells[size_t(t)][size_t(index)]; }
    QLabel *notice() const { return m_notice; }
    QLabel *statusLine() const { return m_status; }

    // SessionView
    void showValue(int t, const QString &text) override;
    void showJudgement(const ReadingJudgement &judgement) override;
    void clearJudgement() override;
    void showStale(const QString &notice) override;
    void showStatus(const QString &text) override;
    void setRecCountEnabled(bool enabled) override;
    void focusRecCount() override {}
    void setStartEnabled(bool enabled) override { Q_UNUSED(enabled); }
    void focusStart() override {}
    void setSetupEnabled(bool enabled) override { Q_UNUSED(enabled); }
    QString pathText() const override;
    void setPathText(const QString &text) override { Q_UNUSED(text); }
    void showError(const QString &text) override;
    void showRecordNotice(const QString &text) override;

Q_SIGNALS:
    void recCountClicked();

private:
    QString rowName(int t) const;

    int m_channel;
    Dialogs &m_dialogs;
    QString m_title;
    std::function<QString()> m_dataPath;
    std::array<QLabel *, 2> m_values{};
    std::array<std::array<QLabel *, 10>, 2> m_cells{};
    QLabel *m_notice = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_recCount = nullptr;
};

#pragma once

#include "settings/benchchannels.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class BinTables;
class CentralRecordControls;
class ChannelPanel;
class ChannelsDialog;
class Clock;
class DataFile;
class Dialogs;
class HandsFreeControls;
class MeasurementSession;
class QAction;
class QDockWidget;
class QLabel;
class QMainWindow;
class QMenu;
class QShortcut;
class QtSerialPort;
class WirePort;

// The bench's channels beyond the first: Settings > "Channels...", the
// channels' set-up in Channels.ini, and for each of channels 2 to 4 a tester
// of its own (port, profile, data file, measurement session) with a panel
// below the main window and its key. Channel 1 is the main window's own
// session, untouched here but for its port when that is no serial port.
//
// With one channel nothing of this shows: no panel, no key, no file, and the
// window is as it always was. START and STOP of the main window start and
// stop every channel. Each channel polls, times out, loses and regains its
// line on its own, so a channel whose line is lost never holds up the others;
// all of them judge against the bench's two BIN tables and count into the
// same counters, and each record carries its channel.
class ChannelsControls : public QObject
{
    Q_OBJECT
public:
    struct Bench
    {
        QMainWindow *window;
        QMenu *settingsMenu;
        HandsFreeControls &handsFree;
        CentralRecordControls &centralRecord;
        Dialogs &dialogs;
        Clock &clock;
        BinTables &binTables;
        QString title;
        QString settingsFolder;
        QString programVersion;
        // Channel 1's data-file path, from which the others' are made.
        std::function<QString()> dataPath;
    };

    ChannelsControls(Bench bench, QObject *parent = nullptr);
    ~ChannelsControls() override;

    const BenchChannels &channels() const { return m_channels; }
    // Applies and saves (Channels.ini); a file that cannot be written is
    // reported. Only while no session runs.
    void setChannels(const BenchChannels &channels);

    // Channel 1's port when it is no serial port; saved with the channels.
    std::optional<PortAddress> firstPort() const { return m_channels.firstPort; }
    void setFirstPort(const std::optional<PortAddress> &port);

    // START and STOP of every channel beyond the first.
    void start();
    void stop();

    int count() const { return m_channels.count; }
    // Channel n's session and panel, n from 2 to count(); none beyond.
    MeasurementSession *session(int n) const;
    ChannelPanel *panel(int n) const;
    // The panels' place below the main window; none with one channel.
    QDockWidget *dock() const { return m_dock; }

    QAction *menuAction() const { return m_action; }
    // Opens the dialog window-modal without waiting; a second call brings the
    // open one forward.
    void openDialog();
    ChannelsDialog *dialog() const;

private:
    struct Channel;

    void rebuild();
    void save();

    Bench m_bench;
    BenchChannels m_channels;
    std::vector<std::unique_ptr<Channel>> m_extra;
    QDockWidget *m_dock = nullptr;
    QLabel *m_firstLabel = nullptr;
    QAction *m_action = nullptr;
    QPointer<ChannelsDialog> m_dialog;
};

#include "app/channels/channelscontrols.h"

#include "app/centralrecord/centralrecordcontrols.h"
#include "app/channels/channelpanel.h"
#include "app/channels/channelsdialog.h"
#include "app/handsfree/handsfreecontrols.h"
#include "app/style/singlewindow.h"
#include "platform/dialogs.h"
#include "platform/qtserialport.h"
#include "platform/wireport.h"
#include "record/datafile.h"
#include "session/measurementsession.h"
#include "settings/testerprofilechoice.h"

#include <QAction>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

// One channel beyond the first. Members go in reverse order: the session
// first, while its port, file and panel are still there.
struct ChannelsControls::Channel
{
    QtSerialPort serial;
    WirePort port;
    DataFile dataFile;
    ChannelPanel *panel;
    std::unique_ptr<QShortcut> key;
    std::unique_ptr<MeasurementSession> session;

    Channel(const QString &linkDir, ChannelPanel *panel) : serial(linkDir), port(serial), panel(panel) {}
};

ChannelsControls::ChannelsControls(Bench bench, QObject *parent) : QObject(parent), m_bench(std::move(bench))
{
    m_action = m_bench.settingsMenu->addAction(tr("Channel&s..."));
    m_action->setObjectName(QStringLiteral("channelsAction"));
    connect(m_action, &QAction::triggered, this, &ChannelsControls::openDialog);

    const Result<BenchChannels> loaded = loadBenchChannels(m_bench.settingsFolder);
    m_channels = loaded.valueOr(BenchChannels());
    if (!loaded) {
        const QString text = tr("%1. The channels were not read from it and are not saved to it; the bench runs "
                                "one channel.")
                                     .arg(loaded.errorString());
        QTimer::singleShot(0, this, [this, text] { m_bench.dialogs.showNotice(text, m_bench.title); });
    }
    rebuild();
}

ChannelsControls::~ChannelsControls()
{
    stop();
    // The sessions go before the panels that are their views.
    m_extra.clear();
}

void ChannelsControls::setChannels(const BenchChannels &channels)
{
    if (channels == m_channels)
        return;
    stop();
    m_channels = channels;
    save();
    rebuild();
}

void ChannelsControls::setFirstPort(const std::optional<PortAddress> &port)
{
    if (port == m_channels.firstPort)
        return;
    m_channels.firstPort = port;
    save();
}

void ChannelsControls::save()
{
    if (const Status saved = saveBenchChannels(m_bench.settingsFolder, m_channels); !saved)
        m_bench.dialogs.showNotice(tr("%1. The channels apply until the program ends but are not saved.")
                                           .arg(saved.errorString()),
                                   m_bench.title);
}

void ChannelsControls::rebuild()
{
    m_extra.clear();
    if (m_channels.count <= 1) {
        // One channel: the window as it has always been.
        delete m_dock;
        m_dock = nullptr;
        return;
    }
    if (!m_dock) {
        m_dock = new QDockWidget(m_bench.window);
        m_dock->setObjectName(QStringLiteral("channelsDock"));
        m_dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
        m_dock->setTitleBarWidget(new QWidget(m_dock));
        m_dock->setWindowTitle(tr("Channels"));
        m_bench.window->addDockWidget(Qt::BottomDockWidgetArea, m_dock);
    }
    auto *contents = new QWidget(m_dock);
    auto *column = new QVBoxLayout(contents);
    column->setContentsMargins(6, 2, 6, 4);
    m_firstLabel = new QLabel(tr("Channel 1: the readings above, counted with Enter."), contents);
    m_firstLabel->setObjectName(QStringLiteral("firstChannelLabel"));
    column->addWidget(m_firstLabel);
    auto *row = new QHBoxLayout;
    column->addLayout(row);

    for (int n = 2; n <= m_channels.count; ++n) {
        const ChannelSetup &setup = m_channels.channel(n);
        auto *panel = new ChannelPanel(n, m_bench.dialogs, m_bench.title, m_bench.dataPath, contents);
        row->addWidget(panel);
        auto channel = std::make_unique<Channel>(m_bench.settingsFolder, panel);
        if (const Status set = channel->port.setAddress(setup.port); !set)
            panel->showStatus(set.errorString());
        panel->setPortName(channel->port.portName());
        channel->session = std::make_unique<MeasurementSession>(channel->port, m_bench.clock, m_bench.binTables,
                                                                channel->dataFile, *panel);
        MeasurementSession &session = *channel->session;
        session.setChannel(n);
        const QString folder = m_bench.settingsFolder;
        const QString profile = setup.profile;
        session.setProfileSource([folder, profile] { return loadChosenProfile(folder, profile); });
        session.addRecordSink(&m_bench.centralRecord.journalSink());
        session.setBenchName(m_bench.centralRecord.settings().benchName());
        session.setProgramVersion(m_bench.programVersion);
        connect(&m_bench.centralRecord, &CentralRecordControls::benchChanged, &session,
                [&session](const QString &bench) { session.setBenchName(bench); });
        m_bench.handsFree.addSession(session);
        connect(panel, &ChannelPanel::recCountClicked, &session, &MeasurementSession::recCount);
        // The channel's key works wherever the focus is in the main window.
        channel->key = std::make_unique<QShortcut>(ChannelPanel::countKey(n), m_bench.window);
        connect(channel->key.get(), &QShortcut::activated, panel, [panel] {
            if (panel->recCountButton()->isEnabled())
                panel->recCountButton()->click();
        });
        m_extra.push_back(std::move(channel));
    }
    delete m_dock->widget();
    m_dock->setWidget(contents);
}

void ChannelsControls::start()
{
    for (const auto &channel : m_extra) {
        channel->panel->showStatus(QString());
        channel->panel->setPortName(channel->port.portName());
        // A channel that cannot start says why in its panel; the others run.
        channel->session->start();
    }
}

void ChannelsControls::stop()
{
    for (const auto &channel : m_extra) {
        channel->session->stop();
        channel->panel->setRecCountEnabled(false);
    }
}

MeasurementSession *ChannelsControls::session(int n) const
{
    if (n < 2 || n - 2 >= int(m_extra.size()))
        return nullptr;
    return m_extra[size_t(n - 2)]->session.get();
}

ChannelPanel *ChannelsControls::panel(int n) const
{
    if (n < 2 || n - 2 >= int(m_extra.size()))
        return nullptr;
    return m_extra[size_t(n - 2)]->panel;
}

ChannelsDialog *ChannelsControls::dialog() const
{
    return m_dialog;
}

void ChannelsControls::openDialog()
{
    openOnce(m_dialog, [this] {
        QStringList profiles;
        for (const TesterProfile &profile : builtInProfiles())
            profiles << profile.name;
        profiles << profileFiles(m_bench.settingsFolder);
        auto *dialog = new ChannelsDialog(m_channels, profiles, m_bench.window);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::WindowModal);
        connect(dialog, &ChannelsDialog::chosen, this, &ChannelsControls::setChannels);
        return dialog;
    });
}

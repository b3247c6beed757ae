#pragma once

#include "replies.h"

#include "common/result.h"
#include "link/testerprofile.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <deque>
#include <memory>

struct SimOptions
{
    // Where the program finds the tester: a pseudo-terminal linked as COMn,
    // a TCP socket, or a pseudo-terminal that stands in for a USB-TMC device
    // file (each reply in one write, as one read of the driver returns it).
    enum class Endpoint { Pty, Tcp, UsbTmc };

    Endpoint endpoint = Endpoint::Pty;
    QString dir;                         // where the COMn link goes
    int port = 1;                        // n of COMn
    QString tcpHost = QStringLiteral("127.0.0.1");
    quint16 tcpPort = 0;                 // 0: one the system chooses
    QString usbTmcPath;                  // where the USB-TMC stand-in's link goes
    QString logPrefix;                   // before every log line, for several testers in one process
    std::chrono::milliseconds delay{0};  // from ":fetch?" to the first byte of the reply
    int split = 0;                       // write replies in pieces of this many bytes
    bool silent = false;                 // never answer
    bool doubled = false;                // two lines in one write
    bool flood = false;                  // once asked, send bytes without a line end for ever
    int floodChunk = 16;                 // bytes per flood write, one write every kFloodInterval
    int dropReply = -1;                  // leave request number N (1-based) unanswered
    int hangupAfter = -1;                // hang up instead of giving reply number N + 1
    int emptyAfter = -1;                 // answer CR LF alone from reply number N + 1 on
    int resetAfter = -1;                 // TCP: send half of reply N + 1, then reset the connection
    // What the tester understands and how it answers; the built-in default
    // unless --profile says otherwise.
    TesterProfile profile = *builtInProfile(kDefaultProfileName);
};

// Replies of another source, written the way a profile's tester writes them:
// the source's lines are in the default notation ("<ohms>,<volts>" CR LF).
// A tester that judges says its pass word for up to kPassBelowOhms.
class ProfileReplies : public ReplySource
{
public:
    static constexpr double kPassBelowOhms = 0.040;

    ProfileReplies(std::unique_ptr<ReplySource> source, TesterProfile profile)
        : m_source(std::move(source)), m_profile(std::move(profile))
    {
    }
    QByteArray next() override;

private:
    std::unique_ptr<ReplySource> m_source;
    TesterProfile m_profile;
};

// A battery tester on a pseudo-terminal or a TCP socket. Reads command lines,
// logs each one and answers the profile's request (":fetch?") from its reply
// source, shaped by the options. A tester whose profile pushes its readings
// writes one every kPushInterval without being asked. On TCP it serves one
// connection at a time: a new one replaces the one before, as a tester whose
// old connection died unseen.
class TesterSim : public QObject
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kSplitGap{5};
    static constexpr std::chrono::milliseconds kFloodInterval{16};
    static constexpr std::chrono::milliseconds kPushInterval{100};

    TesterSim(SimOptions options, std::unique_ptr<ReplySource> replies, QRandomGenerator &random);
    ~TesterSim() override;

    // Opens the pseudo-terminal and links it, or listens; a failure says why.
    Status start();
    // The TCP port listened on (the chosen one when asked for 0).
    quint16 tcpPort() const { return m_server.serverPort(); }
    // Removes the link and closes the pseudo-terminal; safe to call twice.
    void shutdown();

    QString linkPath() const { return m_linkPath; }
    QString devicePath() const { return m_devicePath; }

private:
    struct Piece
    {
        Clock::time_point due;
        QByteArray bytes;
        bool hangup = false;
        bool reset = false; // write the bytes, then reset the connection
    };

    Status startPty();
    Status startTcp();
    void onReadable();
    void onConnection();
    void onBytes(const QByteArray &bytes);
    void handleCommand(const QByteArray &line);
    void resetConnection(const QByteArray &half);
    void answerFetch();
    void schedule(Piece piece);
    void sendDue();
    void sendFlood();
    void writeBytes(const QByteArray &bytes);
    void hangup();
    void log(const QString &text) const;

    SimOptions m_options;
    std::unique_ptr<ReplySource> m_replies;
    QRandomGenerator &m_random;
    int m_master = -1;
    int m_slave = -1;
    QString m_linkPath;
    QString m_devicePath;
    QByteArray m_received;
    int m_repliesSent = 0;
    int m_fetches = 0;
    bool m_hungUp = false;
    bool m_resetDone = false;
    QTcpServer m_server;
    QTcpSocket *m_client = nullptr;
    std::deque<Piece> m_outbox;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_sendTimer;
    QTimer m_floodTimer;
    QTimer m_pushTimer;
};

QString printable(const QByteArray &bytes);

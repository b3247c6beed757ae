#pragma once

#include "replies.h"

#include "common/result.h"
#include "link/testerprofile.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <chrono>
#include <deque>
#include <memory>

struct SimOptions
{
    QString dir;                         // where the COMn link goes
    int port = 1;                        // n of COMn
    std::chrono::milliseconds delay{0};  // from ":fetch?" to the first byte of the reply
    int split = 0;                       // write replies in pieces of this many bytes
    bool silent = false;                 // never answer
    bool doubled = false;                // two lines in one write
    bool flood = false;                  // once asked, send bytes without a line end for ever
    int floodChunk = 16;                 // bytes per flood write, one write every kFloodInterval
    int dropReply = -1;                  // leave request number N (1-based) unanswered
    int hangupAfter = -1;                // hang up instead of giving reply number N + 1
    int emptyAfter = -1;                 // answer CR LF alone from reply number N + 1 on
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

// A battery tester on a pseudo-terminal. Reads command lines, logs each one and
// answers the profile's request (":fetch?") from its reply source, shaped by
// the options. A tester whose profile pushes its readings writes one every
// kPushInterval without being asked.
class TesterSim : public QObject
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kSplitGap{5};
    static constexpr std::chrono::milliseconds kFloodInterval{16};
    static constexpr std::chrono::milliseconds kPushInterval{100};

    TesterSim(SimOptions options, std::unique_ptr<ReplySource> replies, QRandomGenerator &random);
    ~TesterSim() override;

    // Opens the pseudo-terminal and links it; a failure says why.
    Status start();
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
    };

    void onReadable();
    void handleCommand(const QByteArray &line);
    void answerFetch();
    void schedule(Piece piece);
    void sendDue();
    void sendFlood();
    void writeBytes(const QByteArray &bytes);
    void hangup();
    static void log(const QString &text);

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
    std::deque<Piece> m_outbox;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_sendTimer;
    QTimer m_floodTimer;
    QTimer m_pushTimer;
};

QString printable(const QByteArray &bytes);

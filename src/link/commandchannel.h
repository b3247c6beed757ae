#pragma once

#include "platform/serialport.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <optional>

// The command channel to the tester: one request at a time, answered by one
// line or given up after the reply time-out. Nothing here waits; the channel is
// a small state machine (idle / awaiting a reply / listening) driven by the
// port's dataArrived() and its own time-out timer, and it finishes every
// request with exactly one of replyReceived, badReply or timedOut.
//
// A tester that answers after the time-out still answers: its late line would
// pass for the reply to the next request. So a request that timed out (or was
// cancelled while outstanding) is owed one line, which is dropped when it
// comes; after one more reply time-out without it, nothing more is owed.
//
// A tester that sends its readings by itself is listened to instead: the
// channel keeps the latest complete line for takeLatest() and reports
// timedOut when no complete line came for a whole reply time-out. Nothing is
// owed there: every pushed line is a reading of its own moment.
//
// The line ends and the time-out come from the tester's profile (setFraming);
// by default commands end in CR LF, replies in LF and the time-out is
// kReplyTimeout.
class CommandChannel : public QObject
{
    Q_OBJECT
public:
    // How long a request waits for its complete line.
    static constexpr std::chrono::milliseconds kReplyTimeout{1000};
    // How long a line is still owed after its request was given up, unless
    // the profile's reply time-out replaces it (setFraming).
    static constexpr std::chrono::milliseconds kLateReplyWait{1000};
    // The port's receive buffer: a reply line longer than this is not a reading.
    static constexpr qsizetype kMaxReplyLength = SerialPort::kReceiveBufferSize;

    struct Framing
    {
        QByteArray commandEnd = QByteArrayLiteral("\r\n");
        char replyTerminator = '\n';
        std::chrono::milliseconds replyTimeout = kReplyTimeout;
    };

    explicit CommandChannel(SerialPort &port, QObject *parent = nullptr);

    // Takes effect with the next command; drops an outstanding request.
    void setFraming(const Framing &framing);
    const Framing &framing() const { return m_framing; }

    // Discards unread input, then sends command followed by the command line
    // end. Expects no reply. Fails with the port's failure (8018 on a closed
    // port).
    Status sendCommand(const QString &command);

    // Sends command like sendCommand, as a query (SerialPort::query), and
    // waits for its reply line. Fails like sendCommand, and then no request
    // is outstanding. Must not be called while one is.
    Status request(const QString &command);

    // Starts listening to a tester that sends readings by itself. What came
    // before the first line end is the tail of a line begun earlier and is
    // dropped.
    void listen();
    // The newest complete line since the last call, without its line end.
    std::optional<QString> takeLatest();

    // Drops the outstanding request or stops listening: nothing that arrives
    // is reported.
    void cancel();

    bool awaitingReply() const { return m_state == State::AwaitingReply; }
    bool listening() const { return m_state == State::Listening; }
    // No request outstanding and no late line owed: the next request's reply
    // cannot be mistaken for an older one.
    bool ready() const { return m_state == State::Idle && m_owedLines == 0; }

    // The line without the CR and LF characters that end it. When more than
    // one line arrived at once, all of them up to the last line end.
    static QString replyText(const QByteArray &received);

Q_SIGNALS:
    void replyReceived(const QString &line);
    // The reply was longer than kMaxReplyLength; it is dropped unread.
    void badReply();
    // No complete line within the reply time-out.
    void timedOut();

private:
    enum class State { Idle, AwaitingReply, Listening };

    void onDataArrived();
    void takeListenedLines();
    void onTimeout();
    void finish();
    // The outstanding request is given up; its line, if it comes, is dropped.
    void oweLine();
    // Drops owed lines from the front of the buffer.
    void dropOwedLines();

    SerialPort &m_port;
    Framing m_framing;
    State m_state = State::Idle;
    QByteArray m_buffer;
    std::optional<QString> m_latest;
    bool m_inStep = false; // listening: a line end has been seen
    QTimer m_replyTimer;
    int m_owedLines = 0;
    QTimer m_owedTimer;
};

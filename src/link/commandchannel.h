#pragma once

#include "platform/serialport.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

// The command channel to the tester: one request at a time, answered by one
// line or given up after kReplyTimeout. Nothing here waits; the channel is a
// small state machine (idle / awaiting a reply) driven by the port's
// dataArrived() and its own time-out timer, and it finishes every request with
// exactly one of replyReceived, badReply or timedOut.
//
// A tester that answers after the time-out still answers: its late line would
// pass for the reply to the next request. So a request that timed out (or was
// cancelled while outstanding) is owed one line, which is dropped when it
// comes; after kLateReplyWait without it, nothing more is owed.
class CommandChannel : public QObject
{
    Q_OBJECT
public:
    // How long a request waits for its complete line.
    static constexpr std::chrono::milliseconds kReplyTimeout{1000};
    // How long a line is still owed after its request was given up.
    static constexpr std::chrono::milliseconds kLateReplyWait{1000};
    // The port's receive buffer: a reply line longer than this is not a reading.
    static constexpr qsizetype kMaxReplyLength = SerialPort::kReceiveBufferSize;

    explicit CommandChannel(SerialPort &port, QObject *parent = nullptr);

    // Discards unread input, then sends command followed by CR LF. Expects no
    // reply. Throws the port's AppError (8018 on a closed port).
    void sendCommand(const QString &command);

    // Sends command like sendCommand and waits for its reply line. Throws like
    // sendCommand, and then no request is outstanding. Must not be called while
    // one is.
    void request(const QString &command);

    // Drops the outstanding request, if any: nothing it brings is reported.
    void cancel();

    bool awaitingReply() const { return m_state == State::AwaitingReply; }
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
    // No complete line within kReplyTimeout.
    void timedOut();

private:
    enum class State { Idle, AwaitingReply };

    void onDataArrived();
    void onTimeout();
    void finish();
    // The outstanding request is given up; its line, if it comes, is dropped.
    void oweLine();
    // Drops owed lines from the front of the buffer.
    void dropOwedLines();

    SerialPort &m_port;
    State m_state = State::Idle;
    QByteArray m_buffer;
    QTimer m_replyTimer;
    int m_owedLines = 0;
    QTimer m_owedTimer;
};

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
class CommandChannel : public QObject
{
    Q_OBJECT
public:
    // How long a request waits for its complete line.
    static constexpr std::chrono::milliseconds kReplyTimeout{1000};
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

    SerialPort &m_port;
    State m_state = State::Idle;
    QByteArray m_buffer;
    QTimer m_replyTimer;
};

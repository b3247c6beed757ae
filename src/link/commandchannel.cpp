#include "link/commandchannel.h"

#include "common/apperror.h"
#include "platform/serialport.h"

CommandChannel::CommandChannel(SerialPort &port, QObject *parent) : QObject(parent), m_port(port)
{
    m_replyTimer.setSingleShot(true);
    m_replyTimer.setInterval(kReplyTimeout);
    connect(&m_replyTimer, &QTimer::timeout, this, &CommandChannel::onTimeout);
    connect(&m_port, &SerialPort::dataArrived, this, &CommandChannel::onDataArrived);
}

void CommandChannel::sendCommand(const QString &command)
{
    m_port.clearInBuffer();
    m_port.output((command + QStringLiteral("\r\n")).toLatin1());
}

void CommandChannel::request(const QString &command)
{
    cancel();
    sendCommand(command);
    m_state = State::AwaitingReply;
    m_replyTimer.start();
}

void CommandChannel::cancel()
{
    m_state = State::Idle;
    m_replyTimer.stop();
    m_buffer.clear();
}

QString CommandChannel::replyText(const QByteArray &received)
{
    qsizetype end = received.size();
    while (end > 0 && (received.at(end - 1) == '\r' || received.at(end - 1) == '\n'))
        --end;
    return QString::fromLatin1(received.constData(), end);
}

void CommandChannel::onDataArrived()
{
    QByteArray arrived;
    try {
        arrived = m_port.input();
    } catch (const AppError &) {
        return; // the port closed under us; portLost tells the session
    }
    // Bytes with no request outstanding answer nothing the program asked.
    if (m_state != State::AwaitingReply)
        return;

    m_buffer += arrived;
    const qsizetype lineEnd = m_buffer.lastIndexOf('\n');
    if (lineEnd < 0) {
        if (m_buffer.size() > kMaxReplyLength) {
            finish();
            Q_EMIT badReply();
        }
        return;
    }
    // Whatever follows the last line end belongs to no request of ours.
    const QByteArray line = m_buffer.left(lineEnd + 1);
    finish();
    if (line.size() > kMaxReplyLength + 2)
        Q_EMIT badReply();
    else
        Q_EMIT replyReceived(replyText(line));
}

void CommandChannel::onTimeout()
{
    if (m_state != State::AwaitingReply)
        return;
    finish();
    Q_EMIT timedOut();
}

void CommandChannel::finish()
{
    m_state = State::Idle;
    m_replyTimer.stop();
    m_buffer.clear();
}

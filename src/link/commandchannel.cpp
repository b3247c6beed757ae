#include "link/commandchannel.h"

#include "common/apperror.h"
#include "platform/serialport.h"

CommandChannel::CommandChannel(SerialPort &port, QObject *parent) : QObject(parent), m_port(port)
{
    m_replyTimer.setSingleShot(true);
    m_replyTimer.setInterval(kReplyTimeout);
    connect(&m_replyTimer, &QTimer::timeout, this, &CommandChannel::onTimeout);
    m_owedTimer.setSingleShot(true);
    m_owedTimer.setInterval(kLateReplyWait);
    connect(&m_owedTimer, &QTimer::timeout, this, [this] {
        m_owedLines = 0;
        if (m_state == State::Idle)
            m_buffer.clear();
    });
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
    if (m_state == State::AwaitingReply)
        oweLine();
    else
        finish();
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
    // Bytes with no request outstanding and no line owed answer nothing the
    // program asked.
    if (m_state != State::AwaitingReply && m_owedLines == 0)
        return;

    m_buffer += arrived;
    dropOwedLines();
    if (m_state != State::AwaitingReply) {
        if (m_owedLines == 0 || m_buffer.size() > kMaxReplyLength)
            m_buffer.clear();
        return;
    }
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

void CommandChannel::dropOwedLines()
{
    while (m_owedLines > 0) {
        const qsizetype lineEnd = m_buffer.indexOf('\n');
        if (lineEnd < 0)
            return;
        m_buffer.remove(0, lineEnd + 1);
        if (--m_owedLines == 0)
            m_owedTimer.stop();
    }
}

void CommandChannel::onTimeout()
{
    if (m_state != State::AwaitingReply)
        return;
    oweLine();
    Q_EMIT timedOut();
}

void CommandChannel::oweLine()
{
    m_state = State::Idle;
    m_replyTimer.stop();
    // A part of the late line that has come already is dropped with its rest.
    ++m_owedLines;
    m_owedTimer.start();
}

void CommandChannel::finish()
{
    m_state = State::Idle;
    m_replyTimer.stop();
    m_buffer.clear();
}

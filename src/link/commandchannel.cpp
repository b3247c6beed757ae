#include "link/commandchannel.h"

#include "platform/serialport.h"

#include <utility>

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

void CommandChannel::setFraming(const Framing &framing)
{
    cancel();
    m_framing = framing;
    m_replyTimer.setInterval(framing.replyTimeout);
    // A late line is owed as long again as a reply is awaited.
    m_owedTimer.setInterval(framing.replyTimeout);
}

Status CommandChannel::sendCommand(const QString &command)
{
    if (Status cleared = m_port.clearInBuffer(); !cleared)
        return cleared;
    return m_port.output(command.toLatin1() + m_framing.commandEnd);
}

Status CommandChannel::request(const QString &command)
{
    cancel();
    if (Status cleared = m_port.clearInBuffer(); !cleared)
        return cleared;
    if (Status sent = m_port.query(command.toLatin1() + m_framing.commandEnd); !sent)
        return sent;
    m_state = State::AwaitingReply;
    m_replyTimer.start();
    return {};
}

void CommandChannel::listen()
{
    cancel();
    // Pushed lines answer no request: nothing is owed while listening.
    m_owedLines = 0;
    m_owedTimer.stop();
    m_state = State::Listening;
    m_inStep = false;
    m_replyTimer.start();
}

std::optional<QString> CommandChannel::takeLatest()
{
    return std::exchange(m_latest, std::nullopt);
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
    const Result<QByteArray> input = m_port.input();
    if (!input)
        return; // the port closed under us; portLost tells the session
    const QByteArray &arrived = *input;
    if (m_state == State::Listening) {
        m_buffer += arrived;
        takeListenedLines();
        return;
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
    const qsizetype lineEnd = m_buffer.lastIndexOf(m_framing.replyTerminator);
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

void CommandChannel::takeListenedLines()
{
    const qsizetype lineEnd = m_buffer.lastIndexOf(m_framing.replyTerminator);
    if (lineEnd < 0) {
        if (m_buffer.size() > kMaxReplyLength) {
            // A line that never ends: nothing in it can be read.
            m_buffer.clear();
            m_inStep = true;
            Q_EMIT badReply();
        }
        return;
    }
    // The newest complete line that holds something; a line begun before the
    // first line end seen is only its tail.
    qsizetype end = lineEnd;
    std::optional<QByteArray> newest;
    while (end >= 0) {
        const qsizetype previous = end > 0 ? m_buffer.lastIndexOf(m_framing.replyTerminator, end - 1) : -1;
        const qsizetype start = previous + 1;
        if (start == 0 && !m_inStep)
            break;
        // A CR LF tester read with a CR line end leaves the LF at the start.
        QByteArray line = m_buffer.mid(start, end - start);
        while (line.startsWith('\n') || line.startsWith('\r'))
            line.remove(0, 1);
        if (!replyText(line).isEmpty()) {
            newest = line;
            break;
        }
        end = start - 1;
    }
    m_buffer.remove(0, lineEnd + 1);
    m_inStep = true;
    if (!newest)
        return;
    m_replyTimer.start();
    if (newest->size() > kMaxReplyLength)
        Q_EMIT badReply();
    else
        m_latest = replyText(*newest);
}

void CommandChannel::dropOwedLines()
{
    while (m_owedLines > 0) {
        const qsizetype lineEnd = m_buffer.indexOf(m_framing.replyTerminator);
        if (lineEnd < 0)
            return;
        m_buffer.remove(0, lineEnd + 1);
        if (--m_owedLines == 0)
            m_owedTimer.stop();
    }
}

void CommandChannel::onTimeout()
{
    if (m_state == State::Listening) {
        // Silence: told once per reply time-out while it lasts.
        m_replyTimer.start();
        Q_EMIT timedOut();
        return;
    }
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
    m_latest.reset();
}

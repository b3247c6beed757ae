#include "link/commandchannel.h"

#include "common/apperror.h"
#include "platform/eventpump.h"
#include "platform/serialport.h"

namespace {
constexpr QLatin1Char kLineFeed('\n');
constexpr qsizetype kLineEndLength = 2;
} // namespace

CommandChannel::CommandChannel(SerialPort &port, EventPump &pump) : m_port(port), m_pump(pump) {}

void CommandChannel::sendCommand(const QString &command)
{
    m_port.clearInBuffer();
    m_port.output((command + QStringLiteral("\r\n")).toLatin1());
}

QString CommandChannel::readResponse()
{
    return readReply().text;
}

Reply CommandChannel::readReply()
{
    Reply reply;
    QString buffer;
    for (;;) {
        if (stopRequested)
            break;
        m_pump.processOnceWaiting();
        if (!m_port.portOpen())
            break;
        try {
            buffer += QString::fromLatin1(m_port.input());
        } catch (const AppError &) {
            // A port that fails while being read ends the wait like a closed one.
            break;
        }
        if (!buffer.isEmpty() && buffer.back() == kLineFeed) {
            reply.complete = true;
            break;
        }
    }
    // The last two characters go unseen: the CR LF of a complete line, or
    // whatever had arrived last when STOP or a closed port ended the wait.
    if (buffer.size() > kLineEndLength)
        reply.text = buffer.left(buffer.size() - kLineEndLength);
    return reply;
}

std::array<bool, 4> setComPort(SerialPort &port, qint16 comPort)
{
    port.setCommPort(comPort);
    std::array<bool, 4> checked{};
    if (comPort >= 1 && comPort <= static_cast<qint16>(checked.size()))
        checked[static_cast<std::size_t>(comPort - 1)] = true;
    return checked;
}

#pragma once

#include <QString>

#include <array>

class SerialPort;
class EventPump;

// One reply as collected by the wait.
struct Reply
{
    QString text;          // without its last two characters; empty when 2 or fewer arrived
    bool complete = false; // the wait ended on an LF as the last character read
};

// The command channel to the tester: one exchange at a time, no time-out.
class CommandChannel
{
public:
    CommandChannel(SerialPort &port, EventPump &pump);

    // Discards unread input, then sends command followed by CR LF.
    // Throws the port's AppError (8018 on a closed port).
    void sendCommand(const QString &command);

    // Collects one reply line; ends on an LF as the last character read, a stop
    // request or a closed port. Never throws.
    QString readResponse();
    Reply readReply();

    // Set by STOP, cleared by START; ends the wait at its next check.
    bool stopRequested = false;

private:
    SerialPort &m_port;
    EventPump &m_pump;
};

// Applies comPort to the port (closed) and returns the check marks of the menu
// items COM1..COM4: only item comPort-1 for 1..4, none otherwise.
std::array<bool, 4> setComPort(SerialPort &port, qint16 comPort);

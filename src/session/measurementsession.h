#pragma once

#include "link/commandchannel.h"
#include "link/readingparser.h"
#include "record/recordnotices.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <optional>

class Clock;
class DataFile;
class EventPump;
class SerialPort;
class SessionView;
struct BinTable;

// A measurement session: START and STOP, the 300 ms measurement cycle that
// shows, judges, counts and records the tester's readings, and "REC - COUNT",
// which arms the next cycle to count and record. The main window forwards the
// clicks of its buttons here; the session drives the window through SessionView.
//
// Everything runs on the user-interface thread. The cycle lets the window
// process its events while it waits for the reply and after showing it, so
// stop() and recCount() may run in the middle of a cycle.
class MeasurementSession : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kPollInterval{300};

    MeasurementSession(SerialPort &port, EventPump &pump, Clock &clock,
                       BinTable &binTableR, BinTable &binTableV, DataFile &dataFile,
                       SessionView &view, QObject *parent = nullptr);

    // START: disables the set-up, opens the data file for appending (".csv"
    // appended to a path without any "."), opens the port, sets the tester up and
    // starts the timer. A failure shows the component's description (silently
    // for an operation on a closed port), closes file and port and enables the
    // set-up again. A leftover arming of an earlier session is dropped.
    void start();

    // STOP: ends the wait of a running cycle, stops the timer, closes the data
    // file and the port, enables the set-up. Leaves an arming alone.
    void stop();

    // "REC - COUNT": while a session runs, arms the next complete reading to be
    // counted and recorded and disables the button until that happens.
    void recCount();

    // One measurement cycle. Throws the AppError of a failing step; what was
    // shown or written back before it stays. Returns at once while another cycle
    // is in progress (a tick that falls due during the wait). A cycle whose wait
    // did not end on a complete, non-empty reply ends after the wait: nothing is
    // shown, judged, counted or recorded, and an arming waits for the next one.
    // A cycle that finds the session stopped after showing the reading ends there.
    void measure();

    // The tick of Timer1: measure() with every AppError ending the tick silently,
    // except that a port found closed under a running session is reported once.
    void Timer1_Timer();

    bool timerEnabled() const { return m_timer1.isActive(); }
    bool recordArmed() const { return m_recordArmed; }
    bool cycleRunning() const { return m_inCycle; }
    const std::array<QString, 2> &readingFields() const { return m_parser.readingFields(); }

    CommandChannel &channel() { return m_channel; }
    ReadingParser &parser() { return m_parser; }
    const ReadingParser &parser() const { return m_parser; }

    // Applies the port number to the port, which must be closed (the COM menu is
    // disabled during a session); returns the check marks of COM1..COM4. START
    // opens the port with the number applied last.
    std::array<bool, 4> setComPort(qint16 comPort);
    qint16 comPort() const;

Q_SIGNALS:
    // A cycle has counted a reading (and tried to record it); the counters of
    // both tables changed.
    void readingCounted();

private:
    // The cycle itself; returns what the operator is to be told about its
    // record (not saved, or saved in a data file opened afresh).
    std::optional<QString> runCycle();
    void judge(int t, BinTable &table);
    void closePort();
    void enableSetup();

    SerialPort &m_port;
    EventPump &m_pump;
    Clock &m_clock;
    BinTable &m_binTableR;
    BinTable &m_binTableV;
    DataFile &m_dataFile;
    SessionView &m_view;

    CommandChannel m_channel;
    ReadingParser m_parser;
    QTimer m_timer1;
    bool m_recordArmed = false;
    bool m_inCycle = false;
    bool m_lineLossReported = false;
    RecordNotices m_recordNotices;
};

#pragma once

#include "link/commandchannel.h"
#include "link/readingparser.h"
#include "link/testerprofile.h"
#include "record/recordsinks.h"
#include "session/celltagger.h"
#include "session/recordarming.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

class Clock;
class DataFile;
class SerialPort;
class SessionView;
class BinTables;
struct Judgement;

// A measurement session: START and STOP, the 300 ms measurement cycle that
// shows, judges, counts and records the tester's readings, and "REC - COUNT",
// which arms the next reading to be counted and recorded. The main window
// forwards the clicks of its buttons here; the session drives the window
// through SessionView.
//
// How the tester is talked to comes from its profile (TesterProfile), read
// afresh at every START: a profile that cannot be read stops START with a
// message that names the file, the key and the fault.
//
// Everything runs on the user-interface thread and nothing waits: a tick sends
// the profile's request (":fetch?") when no request is outstanding, and the
// reply (or its time-out) arrives later as a signal of the channel. STOP drops
// the outstanding request, so nothing it brings is shown, counted or recorded.
// A tester that sends readings by itself is listened to instead, and each tick
// takes the newest complete line that came since the tick before.
//
// A request left unanswered for the profile's reply time-out (silence as long
// in push mode) marks the reading on screen as stale until the next complete
// reply. A port lost under a running
// session is reopened every kReconnectInterval, the tester set up again and
// polling resumed, until STOP. A port whose connection is made after it opens
// (a LAN tester) is set up once the connection is there; one that cannot be
// made is a lost line like any other, retried after kReconnectInterval.
class MeasurementSession : public QObject
{
    Q_OBJECT
public:
    // The default profile's poll interval.
    static constexpr std::chrono::milliseconds kPollInterval{300};
    static constexpr std::chrono::milliseconds kReconnectInterval{1000};

    // Gives the profile to use, or why there is none; called at every START.
    using ProfileSource = std::function<Result<TesterProfile>()>;

    MeasurementSession(SerialPort &port, Clock &clock, BinTables &binTables, DataFile &dataFile, SessionView &view, QObject *parent = nullptr);

    // Where START takes the tester's profile from; the built-in default until set.
    void setProfileSource(ProfileSource source) { m_profileSource = std::move(source); }
    // The profile of the running (or last) session.
    const TesterProfile &profile() const { return m_parser.profile(); }

    // START: reads the tester's profile, disables the set-up, opens the data
    // file for appending (".csv" appended to a path without any "."), opens the
    // port with the profile's line settings, sets the tester up and starts the
    // timer. A failure shows the failing step's text (silently for an
    // operation on a closed port), closes file and port and enables the set-up
    // again. A leftover arming of an earlier session is dropped.
    void start();

    // STOP: drops the outstanding request, stops polling and reconnecting,
    // closes the data file and the port, enables the set-up. Leaves an arming
    // alone.
    void stop();

    // "REC - COUNT": while a session runs, arms the next reading to be counted
    // and recorded and disables the button until that happens.
    void recCount();

    // Auto record: a cell is counted and recorded, as if "REC - COUNT" had been
    // pressed, once its reading has settled (RecordArming, SettleDetector).
    // May be switched at any time; switched off, nothing more is recorded
    // without a press.
    void setAutoRecord(bool enabled);
    bool autoRecord() const { return m_arming.autoRecord(); }
    void setSettleRule(const SettleRule &rule) { m_arming.setRule(rule); }
    const RecordArming &arming() const { return m_arming; }

    // Cell IDs: told the probes' changes, asked before each count and before
    // a count takes its reading, and given every counted cell; none (the
    // default) counts cells without an ID. Not owned.
    void setCellTagger(CellTagger *tagger) { m_tagger = tagger; }
    // The tagger held a count's reading for the operator's confirmation:
    // keep counts and records it as it was read (its time, its fields), no
    // further reading being counted meanwhile; otherwise it is dropped. STOP
    // drops it as well.
    void answerHeld(bool keep);
    bool holdingReading() const { return m_held.has_value(); }
    // The counted cell's ID goes into its data-file line (off: the line has
    // no ID field).
    void setCellIdsInDataFile(bool on) { m_dataFileSink.setWriteCellIds(on); }

    // The poll timer's tick: sends the profile's request unless one is
    // outstanding, the late reply to one that timed out may still come, or the
    // line is being reconnected; for a pushing tester, takes its newest line.
    void onPollTick();

    bool running() const { return m_running; }
    bool timerEnabled() const { return m_pollTimer.isActive(); }
    bool recordArmed() const { return m_arming.pressed(); }
    bool awaitingReply() const { return m_channel.awaitingReply(); }
    bool stale() const { return m_stale; }
    bool reconnecting() const { return m_reconnecting; }
    // Replies that carried no reading: empty, over-long or unreadable lines.
    int badReplies() const { return m_badReplies; }
    const std::array<QString, 2> &readingFields() const { return m_parser.readingFields(); }

    CommandChannel &channel() { return m_channel; }
    ReadingParser &parser() { return m_parser; }
    const ReadingParser &parser() const { return m_parser; }

    // Applies the port number to the port, which must be closed (the COM menu is
    // disabled during a session). START opens the port with the number applied
    // last. Fails with the port's failure when it refuses the number.
    Status setComPort(qint16 comPort);
    qint16 comPort() const;
    // What the operator knows the port by ("COM1", "lab7:5025").
    QString portName() const;

    // The bench's channel this session measures (1 to 4); every record
    // carries it. 1 unless set.
    void setChannel(int channel) { m_channelNumber = channel; }
    int channel() const { return m_channelNumber; }
    // The connection to the tester is being made: nothing is sent until it is.
    bool connecting() const { return m_connecting; }

    // Counting a cell hands its record to the data file and then to each
    // sink added here (the journal), in order. Not owned.
    void addRecordSink(RecordSink *sink) { m_sinks.push_back(sink); }
    // What every record carries: the bench's name and the program's version.
    void setBenchName(const QString &bench) { m_benchName = bench; }
    void setProgramVersion(const QString &version) { m_programVersion = version; }

    // The status-line texts.
    static QString lineLostText(qint16 comPort, const QString &reason);
    static QString lineBackText(qint16 comPort);
    static QString lineLostText(const QString &portName, const QString &reason);
    static QString lineBackText(const QString &portName);
    static QString connectingText(const QString &portName);
    static QString counterFullText();
    static QString noAnswerText();
    static QString badReplyText();
    static QString stoppedText();
    static QString autoRecordStoppedText();
    // "Cell 128 counted: R BIN 3, V +Out"; the BINs as the record names them.
    static QString countedText(int cell, const QString &resistanceBin, const QString &voltageBin);
    // Auto record: a cell lifted before it was recorded; a settled cell that
    // waits for its cell ID.
    static QString skippedText();
    static QString waitingForIdText();
    // START with a table of no BINs: which, and where to set them.
    static QString noBinsText(bool resistance, bool voltage);

    // How the status line's text is to be taken.
    enum class StatusKind {
        Problem, // something is wrong or waits for the operator
        Good,    // a cell counted, the line back
        Info,    // the session stopped
    };
    StatusKind statusKind() const { return m_statusKind; }
    // Cells counted since START.
    int sessionCells() const { return m_sessionCells; }

Q_SIGNALS:
    // A reading has been counted (and its record tried); the counters of both
    // tables changed.
    void readingCounted();
    // A cell was counted and recorded (by a press or automatically) in the
    // data file or the journal; bothInBin when each reading lit a BIN of its
    // table, false when either was Out.
    void cellRecorded(bool bothInBin);
    // A cell counted by auto record was kept nowhere, and auto record was
    // switched off (the notice says so).
    void autoRecordStopped();

private:
    void onReply(const QString &line);
    void onBadReply();
    void onTimedOut();
    void onPortLost(const QString &reason);
    void onPortOpened();
    // The tester is set up and polled: at START, or when the line is back.
    void beginMeasuring();
    void loseLine(const QString &reason);
    void tryReconnect();
    // START's steps up to the first poll; the first that fails ends them.
    Status startSession();
    Status setUpTester();
    void applyProfile(const TesterProfile &profile);
    void markStale(const QString &notice);
    void setStatus(const QString &text, StatusKind kind = StatusKind::Problem);
    // Judges the reading in readingFields; counts and records it when armed.
    void judgeReading();
    // Hands the counted reading's record to every sink; what became of it,
    // told in one notice. False when no sink kept it: auto record is then
    // switched off.
    bool recordCell(const QDateTime &timeStamp, const std::array<QString, 2> &fields, const QString &testerWord,
                    const Judgement &judgedR, const Judgement &judgedV);
    TaggedReading taggedReading(const std::array<QString, 2> &fields, const ProbeSample &sample) const;
    void closePort();
    void enableSetup();

    SerialPort &m_port;
    Clock &m_clock;
    BinTables &m_binTables;
    DataFile &m_dataFile;
    SessionView &m_view;
    ProfileSource m_profileSource;

    CommandChannel m_channel;
    ReadingParser m_parser;
    QTimer m_pollTimer;
    QTimer m_reconnectTimer;
    bool m_running = false;
    RecordArming m_arming;
    bool m_stale = false;
    bool m_reconnecting = false;
    bool m_connecting = false;
    int m_channelNumber = 1;
    bool m_counterFullTold = false;
    int m_badReplies = 0;
    QString m_status;
    StatusKind m_statusKind = StatusKind::Problem;
    int m_sessionCells = 0;
    DataFileSink m_dataFileSink;
    RecordNotices m_notices;
    std::vector<RecordSink *> m_sinks;
    QString m_benchName;
    QString m_programVersion;
    CellTagger *m_tagger = nullptr;
    // A count's reading the tagger holds for the operator's confirmation.
    struct HeldReading
    {
        std::array<QString, 2> fields;
        float valueR = 0; // as judged
        float valueV = 0;
        QString testerWord;
        QDateTime readAt;
        ProbeSample sample;
        int placement = 0; // the cell it was read of (SettleDetector::placements)
    };
    std::optional<HeldReading> m_held;
};

#include "session/measurementsession.h"

#include "bins/bintables.h"
#include "bins/judge.h"
#include "common/logcategories.h"
#include "link/testernumber.h"
#include "platform/clock.h"
#include "platform/serialport.h"
#include "record/datafile.h"
#include "record/recordline.h"
#include "bins/setuphash.h"
#include "record/binsetup.h"
#include "record/cellrecord.h"
#include "session/celltagger.h"
#include "session/sessionview.h"
#include "session/settlerule.h"

#include <QStringList>
#include <QUuid>

#include <optional>
#include <utility>

namespace {

// The BIN a counted reading went into: "1".."9" ("2,3" for a reading in two
// overlapping BINs, each of which counted it), "+Out" or "-Out", and "Out"
// for a reading between BINs.
QString countedBin(const Judgement &judgement)
{
    QStringList bins;
    for (size_t row = 0; row < judgement.lit.size(); ++row) {
        if (judgement.lit.test(row))
            bins << QString::number(row + 1);
    }
    if (!bins.isEmpty())
        return bins.join(QLatin1Char(','));
    switch (judgement.out) {
    case OutSide::Above:
        return QStringLiteral("+Out");
    case OutSide::Below:
        return QStringLiteral("-Out");
    default:
        return QStringLiteral("Out");
    }
}

} // namespace

MeasurementSession::MeasurementSession(SerialPort &port, Clock &clock, BinTables &binTables,
                                       DataFile &dataFile, SessionView &view,
                                       QObject *parent)
    : QObject(parent),
      m_port(port),
      m_clock(clock),
      m_binTables(binTables),
      m_dataFile(dataFile),
      m_view(view),
      m_channel(port),
      m_dataFileSink(dataFile)
{
    m_pollTimer.setObjectName(QStringLiteral("Timer1"));
    m_pollTimer.setInterval(kPollInterval);
    connect(&m_pollTimer, &QTimer::timeout, this, &MeasurementSession::onPollTick);
    m_reconnectTimer.setInterval(kReconnectInterval);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &MeasurementSession::tryReconnect);
    connect(&m_channel, &CommandChannel::replyReceived, this, &MeasurementSession::onReply);
    connect(&m_channel, &CommandChannel::badReply, this, &MeasurementSession::onBadReply);
    connect(&m_channel, &CommandChannel::timedOut, this, &MeasurementSession::onTimedOut);
    connect(&m_port, &SerialPort::portLost, this, &MeasurementSession::onPortLost);
    connect(&m_port, &SerialPort::portOpened, this, &MeasurementSession::onPortOpened);
}

QString MeasurementSession::lineLostText(qint16 comPort, const QString &reason)
{
    return lineLostText(QStringLiteral("COM%1").arg(comPort), reason);
}

QString MeasurementSession::lineBackText(qint16 comPort)
{
    return lineBackText(QStringLiteral("COM%1").arg(comPort));
}

QString MeasurementSession::lineLostText(const QString &portName, const QString &reason)
{
    return tr("line lost, retrying %1 (%2)").arg(portName, reason);
}

QString MeasurementSession::lineBackText(const QString &portName)
{
    return tr("line back on %1, measuring again").arg(portName);
}

QString MeasurementSession::connectingText(const QString &portName)
{
    return tr("connecting to the tester at %1").arg(portName);
}

QString MeasurementSession::counterFullText()
{
    return tr("A BIN counter is full (32767): readings are not counted. "
              "Press DATA, then RESET to clear the counters.");
}

QString MeasurementSession::noAnswerText()
{
    return tr("The tester does not answer - the values shown are old.");
}

QString MeasurementSession::badReplyText()
{
    return tr("The tester's reply cannot be read - the values shown are old.");
}

QString MeasurementSession::stoppedText()
{
    return tr("Stopped");
}

QString MeasurementSession::countedText(int cell, const QString &resistanceBin, const QString &voltageBin)
{
    // "3" or "2,3" is a BIN; "+Out", "-Out" and "Out" stand as they are.
    const auto shown = [](const QString &bin) {
        return bin.front().isDigit() ? tr("BIN %1").arg(bin) : bin;
    };
    return tr("Cell %1 counted: R %2, V %3").arg(cell).arg(shown(resistanceBin), shown(voltageBin));
}

QString MeasurementSession::skippedText()
{
    return tr("A cell was lifted before its reading settled: not counted. Put it back on the probes, "
              "or press REC - COUNT while it is on them.");
}

QString MeasurementSession::waitingForIdText()
{
    return tr("The cell on the probes has settled but is not counted yet: it waits for its cell ID.");
}

QString MeasurementSession::noBinsText(bool resistance, bool voltage)
{
    if (resistance && voltage)
        return tr("No BINs are set: every cell reads Out. To sort, press STOP and set BINs =, MIN = and "
                  "MAX = in the RESISTANCE and VOLTAGE panels.");
    if (resistance)
        return tr("No resistance BINs are set: every resistance reads Out. Press STOP and set BINs =, "
                  "MIN = and MAX = in the RESISTANCE panel.");
    return tr("No voltage BINs are set: every voltage reads Out. Press STOP and set BINs =, MIN = and "
              "MAX = in the VOLTAGE panel.");
}

QString MeasurementSession::autoRecordStoppedText()
{
    return tr("Auto record was switched off, so that no more cells are counted unsaved: switch it on again "
              "once they can be saved.");
}

void MeasurementSession::start()
{
    const Status started = startSession();
    if (started)
        return;
    if (started.kind() != ErrorKind::PortNotOpen)
        m_view.showError(started.errorString());
    m_dataFile.close();
    closePort();
    enableSetup();
    m_view.showSessionRunning(false);
}

Status MeasurementSession::startSession()
{
    // Before anything is opened: a profile that cannot be read starts nothing.
    const Result<TesterProfile> profile =
            m_profileSource ? m_profileSource() : Result<TesterProfile>(*builtInProfile(kDefaultProfileName));
    if (!profile)
        return profile.failure();
    if (const std::optional<Wire> wire = profile->transport.wire; wire && *wire != m_port.wire())
        return Failure(tr("The tester of profile %1 is on the %2 (transport.wire \"%3\"), but the port chosen is %4 "
                          "on the %5: choose the tester's port in Settings > COMPort, or another profile.")
                               .arg(profile->displayName(), wireName(*wire), wireKey(*wire), m_port.portName(),
                                    wireName(m_port.wire())));
    if (profile->pushes() && !m_port.canListen())
        return Failure(tr("The tester of profile %1 sends its readings unasked, which a tester on %2 (%3) "
                          "cannot: choose a profile that asks for each reading.")
                               .arg(profile->displayName(), m_port.portName(), wireName(m_port.wire())));
    applyProfile(*profile);

    m_view.setStartEnabled(false);
    m_view.setSetupEnabled(false);
    // A press left armed by the previous session belongs to a cell of that
    // session; dropping it also makes the button focusable again.
    m_arming.reset();
    m_held.reset();
    if (m_tagger)
        m_tagger->beginSession();
    m_view.setRecCountEnabled(true);
    m_view.focusRecCount();
    setStatus(QString());
    if (m_stale) {
        m_stale = false;
        m_view.showStale(QString());
    }

    const QString path = withDefaultExtension(m_view.pathText());
    if (path != m_view.pathText())
        m_view.setPathText(path);
    m_dataFile.close();
    if (const Status opened = m_dataFile.open(path); !opened)
        return opened;

    if (!m_port.portOpen()) {
        if (const Status opened = m_port.setPortOpen(true); !opened)
            return opened;
    }
    m_channel.cancel();
    m_connecting = m_port.portPending();
    if (!m_connecting) {
        if (const Status setUp = setUpTester(); !setUp)
            return setUp;
    }

    m_running = true;
    m_reconnecting = false;
    m_counterFullTold = false;
    m_notices.reset();
    m_dataFileSink.beginSession();
    for (RecordSink *sink : m_sinks)
        sink->beginSession();
    m_sessionCells = 0;
    m_view.showCellCount(0);
    m_view.showSessionRunning(true);
    if (m_connecting)
        setStatus(connectingText(m_port.portName()));
    else
        m_pollTimer.start();
    // It starts all the same: a reading is shown, judged Out and may be counted.
    const bool noResistanceBins = m_binTables.resistance().numBins <= 0;
    const bool noVoltageBins = m_binTables.voltage().numBins <= 0;
    if (noResistanceBins || noVoltageBins)
        setStatus(noBinsText(noResistanceBins, noVoltageBins));
    return {};
}

void MeasurementSession::stop()
{
    // First, so that nothing the outstanding request brings is taken.
    m_channel.cancel();
    const bool wasRunning = m_running;
    m_running = false;
    m_connecting = false;
    m_pollTimer.stop();
    m_reconnectTimer.stop();
    m_reconnecting = false;
    m_dataFile.close();
    closePort();
    enableSetup();
    // The data file is closed: a reading still waiting for its confirmation
    // can no longer be recorded.
    if (m_held) {
        m_held.reset();
        if (m_tagger)
            m_tagger->heldDropped();
    }
    if (m_tagger)
        m_tagger->endSession();
    m_view.showSessionRunning(false);
    if (wasRunning)
        setStatus(stoppedText(), StatusKind::Info);
}

void MeasurementSession::recCount()
{
    if (!m_running || m_arming.pressed())
        return;
    if (m_tagger && !m_tagger->mayCount(false))
        return;
    m_arming.press();
    m_view.setRecCountEnabled(false);
}

void MeasurementSession::setAutoRecord(bool enabled)
{
    m_arming.setAutoRecord(enabled);
}

void MeasurementSession::applyProfile(const TesterProfile &profile)
{
    m_parser.setProfile(profile);
    m_port.setLineSettings(profile.line);
    m_port.setWireSettings(profile.wireSettings());
    m_channel.setFraming({profile.requestEnd, profile.replyTerminator(), profile.replyTimeout});
    m_pollTimer.setInterval(profile.pollInterval);
    m_view.showTesterVerdict(QString(), TesterVerdict::None);
}

void MeasurementSession::onPollTick()
{
    if (!m_running || m_reconnecting || m_connecting)
        return;
    if (profile().pushes()) {
        if (const std::optional<QString> line = m_channel.takeLatest())
            onReply(*line);
        return;
    }
    // A late reply to an earlier request still owed would pass for the
    // answer to this one.
    if (!m_channel.ready())
        return;
    // The port closed or refuses to write: the line is gone.
    if (const Status sent = m_channel.request(profile().request); !sent)
        loseLine(sent.errorString());
}

Status MeasurementSession::setComPort(qint16 comPort)
{
    return m_port.setCommPort(comPort);
}

qint16 MeasurementSession::comPort() const
{
    return m_port.commPort();
}

QString MeasurementSession::portName() const
{
    return m_port.portName();
}

Status MeasurementSession::setUpTester()
{
    for (const QString &command : profile().setupCommands) {
        if (const Status sent = m_channel.sendCommand(command); !sent)
            return sent;
    }
    if (profile().pushes())
        m_channel.listen();
    return {};
}

void MeasurementSession::onReply(const QString &line)
{
    if (!m_running)
        return;
    if (!m_parser.parseReading(line)) {
        // An empty line answers the request but carries no reading: what is
        // on screen is as old as after a time-out.
        ++m_badReplies;
        m_arming.fires(ProbeSample::none());
        markStale(badReplyText());
        return;
    }
    if (m_stale) {
        m_stale = false;
        m_view.showStale(QString());
    }
    m_view.showValue(0, m_parser.displayText(0));
    m_view.showValue(1, m_parser.displayText(1));
    if (profile().judgement.present())
        m_view.showTesterVerdict(m_parser.testerWord(), m_parser.testerVerdict());
    judgeReading();
}

void MeasurementSession::judgeReading()
{
    const auto &fields = m_parser.readingFields();
    const ProbeSample sample = classifyReading(fields);
    // A settled reading arms itself; a press armed already is the same arming.
    const bool fired = m_arming.fires(sample);
    if (m_tagger)
        m_tagger->probesChanged(m_arming.detector().change());
    // A full counter is the news while it lasts.
    if (m_arming.skippedCell() && !m_counterFullTold)
        setStatus(skippedText());
    // While a reading waits for the operator's confirmation, no other is counted.
    bool armed = !m_held && (m_arming.pressed() || fired);
    const bool automatic = armed && !m_arming.pressed();
    // A settled cell without the ID it needs waits; it fires again with its
    // next settled reading, once the ID has come.
    if (automatic && m_tagger && !m_tagger->mayCount(true)) {
        armed = false;
        setStatus(waitingForIdText());
    }
    const std::optional<float> valueR = readingValueOf(fields[0], Quantity::Resistance);
    const std::optional<float> valueV = readingValueOf(fields[1], Quantity::Voltage);
    if (!valueR || !valueV) {
        // Shown as text, but no reading to judge, count or record; an arming
        // waits for a real one.
        m_view.clearJudgement();
        return;
    }
    const TaggedReading tagged = taggedReading(fields, sample);
    if (m_tagger)
        m_tagger->readingJudged(tagged);

    // Both tables are judged before either is written back, so the counters of
    // the two tables and the data file never disagree.
    const Result<Judgement> resistance = judgeTable(m_binTables.resistance(), *valueR, armed);
    const Result<Judgement> voltage = judgeTable(m_binTables.voltage(), *valueV, armed);
    if (!resistance || !voltage) {
        // A table the grid cannot show (more BINs than cells): the reading stays
        // on screen unjudged and an arming waits.
        m_view.clearJudgement();
        return;
    }
    const Judgement &judgedR = *resistance;
    const Judgement &judgedV = *voltage;
    const bool counted = armed && !judgedR.counterFull && !judgedV.counterFull;
    ReadingJudgement shown;
    for (const auto &[t, judgement] : {std::pair{0, &judgedR}, std::pair{1, &judgedV}})
        shown.tables[size_t(t)] = ReadingJudgement::Table{judgement->lit, judgement->binsInUse, judgement->out};

    if (armed && !counted) {
        m_view.showJudgement(shown);
        // A full counter: a press waits until the counters are cleared; an
        // automatic record comes again with the next settled reading.
        if (!m_counterFullTold) {
            m_counterFullTold = true;
            setStatus(counterFullText());
        }
        return;
    }
    if (counted && m_tagger) {
        switch (m_tagger->takeReading(tagged, automatic)) {
        case CellTagger::Take::Record:
            break;
        case CellTagger::Take::Wait:
            m_view.showJudgement(shown);
            return;
        case CellTagger::Take::Hold:
            m_held = HeldReading{fields, *valueR, *valueV, m_parser.testerWord(), m_clock.now(), sample,
                                 m_arming.detector().placements()};
            [[fallthrough]];
        case CellTagger::Take::Drop:
            m_arming.cancelPress();
            m_view.setRecCountEnabled(true);
            m_view.showJudgement(shown);
            return;
        }
    }
    m_view.setRecCountEnabled(true);
    if (!counted) {
        m_view.showJudgement(shown);
        return;
    }

    m_binTables.setTables(judgedR.table, judgedV.table);
    shown.counted = true;
    m_view.showJudgement(shown);
    m_counterFullTold = false;
    const bool kept = recordCell(m_clock.now(), fields, m_parser.testerWord(), judgedR, judgedV);
    m_arming.recorded(sample);
    Q_EMIT readingCounted();
    if (kept)
        Q_EMIT cellRecorded(judgedR.matched() && judgedV.matched());
}

void MeasurementSession::answerHeld(bool keep)
{
    if (!m_held)
        return;
    const HeldReading held = *std::exchange(m_held, std::nullopt);
    if (!keep)
        return;
    if (!m_running) {
        if (m_tagger)
            m_tagger->heldDropped();
        return;
    }
    const Result<Judgement> resistance = judgeTable(m_binTables.resistance(), held.valueR, true);
    const Result<Judgement> voltage = judgeTable(m_binTables.voltage(), held.valueV, true);
    if (!resistance || !voltage || resistance->counterFull || voltage->counterFull) {
        // Confirmed, but a counter filled up meanwhile: not counted, as any
        // reading while a counter is full.
        setStatus(counterFullText());
        m_counterFullTold = true;
        if (m_tagger)
            m_tagger->heldDropped();
        return;
    }
    m_binTables.setTables(resistance->table, voltage->table);
    const bool kept = recordCell(held.readAt, held.fields, held.testerWord, *resistance, *voltage);
    // Still on the probes: auto record waits for its lift, as after any record.
    const SettleDetector &probes = m_arming.detector();
    if (probes.onCell() && probes.placements() == held.placement)
        m_arming.recorded(held.sample);
    Q_EMIT readingCounted();
    if (kept)
        Q_EMIT cellRecorded(resistance->matched() && voltage->matched());
}

TaggedReading MeasurementSession::taggedReading(const std::array<QString, 2> &fields, const ProbeSample &sample) const
{
    TaggedReading reading;
    reading.ohms = testerNumber(fields[0]).value_or(0.0);
    reading.volts = testerNumber(fields[1]).value_or(0.0);
    reading.resistanceText = fields[0];
    reading.voltageText = fields[1];
    reading.statedVoltageResolution = profile().voltage.resolution;
    reading.ofCell = sample.kind == ProbeSample::Kind::Reading && !m_arming.detector().lifts(sample);
    return reading;
}

bool MeasurementSession::recordCell(const QDateTime &timeStamp, const std::array<QString, 2> &fields,
                                    const QString &testerWord, const Judgement &judgedR, const Judgement &judgedV)
{
    CellRecord record;
    record.id = QUuid::createUuid();
    record.bench = m_benchName;
    record.measuredAt = timeStamp;
    record.resistanceText = fields[0];
    record.voltageText = fields[1];
    record.resistanceOhm = testerNumber(fields[0]).value_or(0.0);
    record.voltageV = testerNumber(fields[1]).value_or(0.0);
    record.resistanceBin = countedBin(judgedR);
    record.voltageBin = countedBin(judgedV);
    const BinSetup setup = binSetupOf(m_binTables.resistance(), m_binTables.voltage());
    record.setupHash = setup.hash;
    record.programVersion = m_programVersion;
    record.testerWord = testerWord;
    record.channel = m_channelNumber;
    if (m_tagger)
        m_tagger->tag(record);

    // What became of the record in each store, told together in one story.
    std::vector<StoreOutcome> outcomes;
    outcomes.push_back(m_dataFileSink.keep(record, setup));
    for (RecordSink *sink : m_sinks)
        outcomes.push_back(sink->keep(record, setup));
    std::optional<QString> notice = m_notices.after(outcomes);
    const bool kept = !RecordNotices::keptNowhere(outcomes);
    if (!kept && m_arming.autoRecord()) {
        // Counting on by itself would count cells that nothing keeps.
        m_arming.setAutoRecord(false);
        notice = notice.value_or(QString()) + QLatin1Char(' ') + autoRecordStoppedText();
        Q_EMIT autoRecordStopped();
    }
    if (notice)
        m_view.showRecordNotice(*notice);
    if (kept) {
        ++m_sessionCells;
        m_view.showCellCount(m_sessionCells);
        setStatus(countedText(m_sessionCells, record.resistanceBin, record.voltageBin), StatusKind::Good);
    }
    return kept;
}

void MeasurementSession::onBadReply()
{
    if (!m_running)
        return;
    ++m_badReplies;
    m_arming.fires(ProbeSample::none());
    markStale(badReplyText());
}

void MeasurementSession::onTimedOut()
{
    if (!m_running)
        return;
    m_arming.fires(ProbeSample::none());
    markStale(noAnswerText());
}

void MeasurementSession::setStatus(const QString &text, StatusKind kind)
{
    if (text == m_status)
        return;
    m_status = text;
    m_statusKind = kind;
    m_view.showStatus(text);
}

void MeasurementSession::markStale(const QString &notice)
{
    m_stale = true;
    m_view.showStale(notice);
}

void MeasurementSession::onPortLost(const QString &reason)
{
    if (!m_running)
        return;
    if (m_reconnecting && m_connecting) {
        // The attempt to connect again failed: the next one comes later.
        m_connecting = false;
        setStatus(lineLostText(m_port.portName(), reason));
        m_reconnectTimer.start();
        return;
    }
    if (!m_reconnecting)
        loseLine(reason);
}

void MeasurementSession::onPortOpened()
{
    if (!m_running || !m_connecting)
        return;
    m_connecting = false;
    if (const Status setUp = setUpTester(); !setUp) {
        if (m_reconnecting) {
            if (m_port.portOpen())
                static_cast<void>(m_port.setPortOpen(false));
            setStatus(lineLostText(m_port.portName(), setUp.errorString()));
            m_reconnectTimer.start();
        } else {
            loseLine(setUp.errorString());
        }
        return;
    }
    beginMeasuring();
}

void MeasurementSession::beginMeasuring()
{
    if (m_reconnecting) {
        m_reconnecting = false;
        m_reconnectTimer.stop();
        setStatus(lineBackText(m_port.portName()), StatusKind::Good);
        qCInfo(lcLine, "line to the tester back on %s", qUtf8Printable(m_port.portName()));
    } else if (m_status == connectingText(m_port.portName())) {
        setStatus(QString());
    }
    m_pollTimer.start();
}

void MeasurementSession::loseLine(const QString &reason)
{
    m_connecting = false;
    m_channel.cancel();
    m_pollTimer.stop();
    m_reconnecting = true;
    m_arming.fires(ProbeSample::none());
    // A port that will not close is no news: reopening below tells whether it
    // can still be used.
    if (m_port.portOpen())
        static_cast<void>(m_port.setPortOpen(false));
    markStale(noAnswerText());
    setStatus(lineLostText(m_port.portName(), reason));
    qCWarning(lcLine, "line to the tester lost on %s (%s); retrying", qUtf8Printable(m_port.portName()),
              qUtf8Printable(reason));
    m_reconnectTimer.start();
}

void MeasurementSession::tryReconnect()
{
    if (!m_running || !m_reconnecting) {
        m_reconnectTimer.stop();
        return;
    }
    // The device the session started on, never another one behind the
    // operator's back.
    Status back = m_port.reopen();
    if (back && m_port.portPending()) {
        // The connection is being made: portOpened() or portLost() tells.
        m_connecting = true;
        m_reconnectTimer.stop();
        return;
    }
    if (back)
        back = setUpTester();
    if (!back) {
        if (m_port.portOpen())
            static_cast<void>(m_port.setPortOpen(false));
        setStatus(lineLostText(m_port.portName(), back.errorString()));
        return;
    }
    beginMeasuring();
}

void MeasurementSession::closePort()
{
    if (!m_port.portOpen())
        return;
    if (const Status closed = m_port.setPortOpen(false); !closed)
        m_view.showError(closed.errorString());
}

void MeasurementSession::enableSetup()
{
    m_view.setStartEnabled(true);
    m_view.setSetupEnabled(true);
    m_view.focusStart();
}

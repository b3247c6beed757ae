#include "session/measurementsession.h"

#include "bins/bintable.h"
#include "common/apperror.h"
#include "platform/clock.h"
#include "platform/eventpump.h"
#include "platform/serialport.h"
#include "record/datafile.h"
#include "record/recordline.h"
#include "record/recordnotices.h"
#include "session/judge.h"
#include "session/sessionview.h"

namespace {

// Showing a reading lets the window redraw both labels before judging starts.
constexpr int kRedrawPasses = 5;

// Marks the cycle as running for as long as it is in scope, also when a step
// throws.
class CycleGuard
{
public:
    explicit CycleGuard(bool &flag) : m_flag(flag) { m_flag = true; }
    ~CycleGuard() { m_flag = false; }
    CycleGuard(const CycleGuard &) = delete;
    CycleGuard &operator=(const CycleGuard &) = delete;

private:
    bool &m_flag;
};

} // namespace

MeasurementSession::MeasurementSession(SerialPort &port, EventPump &pump, Clock &clock,
                                       BinTable &binTableR, BinTable &binTableV,
                                       DataFile &dataFile, SessionView &view, QObject *parent)
    : QObject(parent),
      m_port(port),
      m_pump(pump),
      m_clock(clock),
      m_binTableR(binTableR),
      m_binTableV(binTableV),
      m_dataFile(dataFile),
      m_view(view),
      m_channel(port, pump)
{
    m_timer1.setInterval(kPollInterval);
    connect(&m_timer1, &QTimer::timeout, this, &MeasurementSession::Timer1_Timer);
}

void MeasurementSession::start()
{
    try {
        m_view.setStartEnabled(false);
        m_view.setSetupEnabled(false);
        // A press left armed by the previous session belongs to a cell of that
        // session; dropping it also makes the button focusable again.
        m_recordArmed = false;
        m_view.setRecCountEnabled(true);
        m_view.focusRecCount();

        const QString path = withDefaultExtension(m_view.pathText());
        if (path != m_view.pathText())
            m_view.setPathText(path);
        m_dataFile.close();
        m_dataFile.open(path);

        if (!m_port.portOpen())
            m_port.setPortOpen(true);
        m_channel.sendCommand(QStringLiteral("func rv"));
        m_channel.sendCommand(QStringLiteral("trig:sour imm"));

        m_channel.stopRequested = false;
        m_lineLossReported = false;
        m_recordNotices.reset();
        m_timer1.start();
    } catch (const AppError &error) {
        if (error.number() != errors::kPortNotOpen)
            m_view.showError(error.description());
        m_dataFile.close();
        closePort();
        enableSetup();
    }
}

void MeasurementSession::stop()
{
    // First, so that a cycle waiting for its reply leaves the wait at its next check.
    m_channel.stopRequested = true;
    m_timer1.stop();
    m_dataFile.close();
    closePort();
    enableSetup();
}

void MeasurementSession::recCount()
{
    if (!m_timer1.isActive())
        return;
    m_recordArmed = true;
    m_view.setRecCountEnabled(false);
}

void MeasurementSession::measure()
{
    if (m_inCycle)
        return;
    std::optional<QString> recordNotice;
    {
        CycleGuard guard(m_inCycle);
        recordNotice = runCycle();
    }
    // Showing it may process events; the next ticks may run meanwhile.
    if (recordNotice)
        m_view.showRecordNotice(*recordNotice);
}

void MeasurementSession::Timer1_Timer()
{
    try {
        measure();
    } catch (const AppError &error) {
        // A failed cycle ends quietly; the next tick starts afresh. A port that
        // closed under a running session (adapter pulled out, tester hung up)
        // would otherwise leave frozen readings and a REC - COUNT that never
        // counts: say so once, until the next START.
        if (error.number() == errors::kPortNotOpen && m_timer1.isActive()
            && !m_channel.stopRequested && !m_lineLossReported) {
            m_lineLossReported = true;
            m_view.showError(QStringLiteral("The tester can no longer be reached. %1. "
                                            "Press STOP, check the connection, then press START.")
                                 .arg(error.description()));
        }
    }
}

std::array<bool, 4> MeasurementSession::setComPort(qint16 comPort)
{
    return ::setComPort(m_port, comPort);
}

qint16 MeasurementSession::comPort() const
{
    return m_port.commPort();
}

std::optional<QString> MeasurementSession::runCycle()
{
    m_channel.sendCommand(QStringLiteral(":fetch?"));
    const Reply reply = m_channel.readReply();
    // A wait ended by STOP or a closed port holds at best a cut-off line, and an
    // empty reply carries no reading: neither may be shown, counted or recorded.
    if (!reply.complete || reply.text.isEmpty())
        return std::nullopt;
    if (!m_parser.parseReading(reply.text))
        return std::nullopt;

    m_view.showValue(0, m_parser.displayText(0));
    m_view.showValue(1, m_parser.displayText(1));
    for (int pass = 0; pass < kRedrawPasses; ++pass)
        m_pump.processPending();
    // STOP ran while the reading was on its way to the screen: the file is
    // closed, so the reading is neither counted nor recorded.
    if (m_channel.stopRequested)
        return std::nullopt;

    judge(0, m_binTableR);
    judge(1, m_binTableV);

    m_view.setRecCountEnabled(true);
    if (!m_recordArmed)
        return std::nullopt;

    const auto &fields = m_parser.readingFields();
    const RecordOutcome outcome = m_dataFile.writeRecord(m_clock.now(), fields[0], fields[1]);
    m_recordArmed = false;
    m_view.focusRecCount();
    Q_EMIT readingCounted();
    return m_recordNotices.after(outcome);
}

// Judges readingFields[t] against table and writes the table back only when
// the whole judging of that table succeeded.
void MeasurementSession::judge(int t, BinTable &table)
{
    const float value = judgedValueOf(m_parser.readingFields()[t], t);
    const Judgement judgement = judgeTable(table, value, m_recordArmed);
    for (int row = 0; row < 9; ++row)
        m_view.setCellColour(t * 9 + row, judgement.cellColours[row]);
    m_view.setOutLabel(t, judgement.outCaption, judgement.outColour);
    table = judgement.table;
}

void MeasurementSession::closePort()
{
    if (!m_port.portOpen())
        return;
    try {
        m_port.setPortOpen(false);
    } catch (const AppError &error) {
        m_view.showError(error.description());
    }
}

void MeasurementSession::enableSetup()
{
    m_view.setStartEnabled(true);
    m_view.setSetupEnabled(true);
    m_view.focusStart();
}

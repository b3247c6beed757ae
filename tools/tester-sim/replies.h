#pragma once

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>

#include <chrono>
#include <functional>

#include "cellline.h"
#include "link/testernumber.h"


// Decodes \r \n \t \\ and \xHH in a text given on the command line.
QByteArray decodeEscapes(const QByteArray &text);

// Where the reply lines come from. next() gives the bytes of one reply, line end
// included.
class ReplySource
{
public:
    virtual ~ReplySource() = default;
    virtual QByteArray next() = 0;
};

// The same line every time.
class FixedReplies : public ReplySource
{
public:
    explicit FixedReplies(QByteArray reply) : m_reply(std::move(reply)) {}
    QByteArray next() override { return m_reply; }

private:
    QByteArray m_reply;
};

// The lines of a script in turn, starting over after the last.
class ScriptReplies : public ReplySource
{
public:
    explicit ScriptReplies(QList<QByteArray> lines) : m_lines(std::move(lines)) {}
    QByteArray next() override;

private:
    QList<QByteArray> m_lines;
    qsizetype m_next = 0;
};

// Printable and binary junk of random length, ended by CR LF.
class GarbageReplies : public ReplySource
{
public:
    explicit GarbageReplies(QRandomGenerator &random) : m_random(random) {}
    QByteArray next() override;

private:
    QRandomGenerator &m_random;
};

// A bench: every few seconds the operator puts a cell on the probes, holds it
// for a while and takes it away. A cell has its own resistance (15 to 60 mOhm)
// and voltage (3.0 to 4.2 V); every reading adds a little noise. Open probes
// read as overflow.
class BenchScenario : public ReplySource
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr const char *kOpenProbes = "+9.9E+37,+9.9E+37\r\n";

    explicit BenchScenario(QRandomGenerator &random);
    QByteArray next() override;

private:
    void advanceTo(Clock::time_point now);

    QRandomGenerator &m_random;
    bool m_cellPresent = false;
    Clock::time_point m_phaseEnds;
    double m_ohms = 0;
    double m_volts = 0;
};

// The cell line (CellLine) in real time from the first request: every reply
// reads the cell on the probes at that moment. With a step, the line's time
// is simulated instead: the first request reads it at 0 ms, each further
// request `step` ms later, however fast the requests come. Each cell is
// handed to `announce` as it is made, and `done` is called once after the
// last cell of a finite line has been lifted.
class CellLineReplies : public ReplySource
{
public:
    using Clock = std::chrono::steady_clock;

    CellLineReplies(CellLine::Settings settings, quint32 seed,
                    std::function<void(const CellLine::Cell &)> announce,
                    std::function<void()> done, double stepMs = 0);
    QByteArray next() override;

private:
    CellLine m_line;
    std::function<void()> m_done;
    double m_stepMs = 0;
    qint64 m_requests = 0;
    bool m_started = false;
    bool m_doneTold = false;
    Clock::time_point m_start;
};

#include "replies.h"

#include <cmath>

QByteArray decodeEscapes(const QByteArray &text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const char e = text.at(++i);
        switch (e) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '\\': out += '\\'; break;
        case 'x': {
            bool ok = false;
            const int byte = text.mid(i + 1, 2).toInt(&ok, 16);
            if (ok && i + 2 < text.size()) {
                out += static_cast<char>(byte);
                i += 2;
            } else {
                out += "\\x";
            }
            break;
        }
        default:
            out += '\\';
            out += e;
        }
    }
    return out;
}

QByteArray ScriptReplies::next()
{
    if (m_lines.isEmpty())
        return QByteArrayLiteral("\r\n");
    const QByteArray line = m_lines.at(m_next);
    m_next = (m_next + 1) % m_lines.size();
    return line;
}

QByteArray GarbageReplies::next()
{
    const int length = static_cast<int>(m_random.bounded(1, 41));
    QByteArray junk;
    junk.reserve(length + 2);
    for (int i = 0; i < length; ++i) {
        char c = static_cast<char>(m_random.bounded(256));
        // The junk must not end the line early; only the final CR LF does.
        if (c == '\n')
            c = '?';
        junk += c;
    }
    return junk + "\r\n";
}

BenchScenario::BenchScenario(QRandomGenerator &random)
    : m_random(random), m_phaseEnds(Clock::now())
{
}

void BenchScenario::advanceTo(Clock::time_point now)
{
    while (now >= m_phaseEnds) {
        m_cellPresent = !m_cellPresent;
        const auto hold = m_cellPresent ? std::chrono::milliseconds(m_random.bounded(1500, 3500))
                                        : std::chrono::milliseconds(m_random.bounded(500, 2000));
        m_phaseEnds += hold;
        if (m_cellPresent) {
            m_ohms = (15.0 + 45.0 * m_random.generateDouble()) / 1000.0;
            m_volts = 3.0 + 1.2 * m_random.generateDouble();
        }
    }
}

QByteArray BenchScenario::next()
{
    advanceTo(Clock::now());
    if (!m_cellPresent)
        return QByteArray(kOpenProbes);
    const double ohms = m_ohms * (1.0 + 0.004 * (m_random.generateDouble() - 0.5));
    const double volts = m_volts + 0.001 * (m_random.generateDouble() - 0.5);
    return testerNotation(ohms).toLatin1() + ',' + testerNotation(volts).toLatin1() + "\r\n";
}

CellLineReplies::CellLineReplies(CellLine::Settings settings, quint32 seed,
                                 std::function<void(const CellLine::Cell &)> announce,
                                 std::function<void()> done, double stepMs)
    : m_line(std::move(settings), seed), m_done(std::move(done)), m_stepMs(stepMs)
{
    m_line.onCell = std::move(announce);
}

QByteArray CellLineReplies::next()
{
    const auto now = Clock::now();
    if (!m_started) {
        m_started = true;
        m_start = now;
    }
    const double t = m_stepMs > 0 ? double(m_requests++) * m_stepMs
                                  : std::chrono::duration<double, std::milli>(now - m_start).count();
    const QByteArray reply = m_line.replyAt(t);
    if (!m_doneTold && m_line.finished(t)) {
        m_doneTold = true;
        if (m_done)
            m_done();
    }
    return reply;
}

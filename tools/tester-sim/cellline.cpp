#include "cellline.h"

#include "replies.h"

#include <cmath>

namespace {

// Noise of one reading, relative to the value: +-0.1 % on the resistance,
// +-0.01 % on the voltage.
constexpr double kOhmsNoise = 0.001;
constexpr double kVoltsNoise = 0.0001;
// A reading counts as settled in the ground truth once its transient is within
// a tenth of the default tolerances (1 % and 0.2 %).
constexpr double kSettledOhms = 0.001;
constexpr double kSettledVolts = 0.0002;

} // namespace

CellLine::CellLine(Settings settings, quint32 seed) : m_settings(std::move(settings)), m_random(seed) {}

double CellLine::uniform(double low, double high)
{
    return low + (high - low) * m_random.generateDouble();
}

QString CellLine::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Held: return QStringLiteral("held");
    case Kind::Brief: return QStringLiteral("brief");
    case Kind::Creeping: return QStringLiteral("creep");
    }
    return QString();
}

bool CellLine::parsePattern(const QString &text, QList<Kind> *pattern)
{
    pattern->clear();
    for (const QString &name : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString kind = name.trimmed().toLower();
        if (kind == QLatin1String("held"))
            pattern->append(Kind::Held);
        else if (kind == QLatin1String("brief"))
            pattern->append(Kind::Brief);
        else if (kind == QLatin1String("creep"))
            pattern->append(Kind::Creeping);
        else
            return false;
    }
    return true;
}

QByteArray CellLine::truthLine(const Cell &cell)
{
    const QByteArray settled = cell.settledMs < 0 ? QByteArray("never") : QByteArray::number(cell.settledMs, 'f', 0);
    return "cell," + QByteArray::number(cell.number) + ',' + kindName(cell.kind).toLatin1()
        + ",contact," + QByteArray::number(cell.contactMs, 'f', 0) + ",settled," + settled
        + ",lift," + QByteArray::number(cell.liftMs, 'f', 0) + ",ohms," + testerNotation(cell.ohms).toLatin1()
        + ",volts," + testerNotation(cell.volts).toLatin1()
        + (cell.bounceMs < 0 ? QByteArray()
                             : ",bounce," + QByteArray::number(cell.bounceMs, 'f', 0) + ','
                                   + QByteArray::number(cell.bounceEndMs, 'f', 0))
        + ",id," + cell.id.toLatin1();
}

void CellLine::makeCell(double after)
{
    Cell cell;
    cell.number = int(m_cells.size()) + 1;
    const bool placed = !m_settings.placements.empty();
    if (placed) {
        cell.kind = m_settings.placements[size_t(cell.number - 1)].kind;
    } else if (!m_settings.pattern.isEmpty()) {
        cell.kind = m_settings.pattern.at((cell.number - 1) % m_settings.pattern.size());
    } else {
        const double draw = m_random.generateDouble();
        cell.kind = draw < m_settings.briefShare ? Kind::Brief
            : draw < m_settings.briefShare + m_settings.creepShare ? Kind::Creeping
                                                                    : Kind::Held;
    }
    if (placed) {
        cell.contactMs = m_settings.placements[size_t(cell.number - 1)].contactMs;
        cell.liftMs = m_settings.placements[size_t(cell.number - 1)].liftMs;
    } else {
        cell.contactMs = after + uniform(m_settings.gapMinMs, m_settings.gapMaxMs);
        const double drawn = cell.kind == Kind::Brief ? uniform(m_settings.briefMinMs, m_settings.briefMaxMs)
                                                      : uniform(m_settings.holdMinMs, m_settings.holdMaxMs);
        cell.liftMs = cell.contactMs + drawn;
    }
    const double hold = cell.liftMs - cell.contactMs;
    cell.ohms = uniform(15.0, 60.0) / 1000.0;
    cell.volts = uniform(3.0, 4.2);
    cell.tauMs = uniform(m_settings.settleTauMinMs, m_settings.settleTauMaxMs);
    cell.ohmsExcess = uniform(0.2, 0.8);
    cell.voltsDeficit = uniform(0.01, 0.05);
    const int cycle = m_settings.idCycle;
    const int identity = cycle > 0 ? (cell.number - 1) % cycle + 1 : cell.number;
    cell.id = m_settings.idPrefix + QStringLiteral("%1").arg(identity, 6, 10, QLatin1Char('0'));
    if (identity != cell.number) {
        // The same cell once more: its own resistance and its first voltage,
        // less what it lost since.
        const Cell &earlier = m_cells[size_t(identity - 1)];
        cell.ohms = earlier.ohms;
        cell.volts = earlier.volts + m_settings.driftVoltsPerDay * earlier.contactMs / m_settings.dayMs;
    }
    cell.volts -= m_settings.driftVoltsPerDay * cell.contactMs / m_settings.dayMs;
    if (cell.kind == Kind::Creeping) {
        // Rising from the first contact on, so that no stretch of it looks flat.
        cell.creepPerSecond = uniform(0.03, 0.06);
        cell.ohmsExcess = 0;
    }
    const double settle = cell.tauMs * std::max(std::log(std::max(cell.ohmsExcess, kSettledOhms) / kSettledOhms),
                                                std::log(cell.voltsDeficit / kSettledVolts));
    if (cell.kind != Kind::Creeping && settle < hold)
        cell.settledMs = cell.contactMs + settle;
    // Drawn only when asked for, so that a line without bounces stays as it was.
    const bool bounces = m_settings.bounceShare > 0 && m_random.generateDouble() < m_settings.bounceShare;
    const double bounceAt = bounces ? m_random.generateDouble() : 0;
    const double bounceLength = bounces ? uniform(m_settings.bounceMinMs, m_settings.bounceMaxMs) : 0;
    if (bounces && cell.kind == Kind::Held && cell.settledMs >= 0) {
        // Somewhere between settling and half a second before the lift.
        const double latest = cell.liftMs - 500 - bounceLength;
        if (latest > cell.settledMs) {
            cell.bounceMs = cell.settledMs + bounceAt * (latest - cell.settledMs);
            cell.bounceEndMs = cell.bounceMs + bounceLength;
        }
    }
    m_cells.push_back(cell);
    if (onCell)
        onCell(m_cells.back());
}

void CellLine::advanceTo(double t)
{
    m_lastT = std::max(m_lastT, t);
    if (m_cells.empty())
        makeCell(0);
    while (m_lastT >= m_cells.back().liftMs && (m_settings.cells <= 0 || int(m_cells.size()) < m_settings.cells)
           && (m_settings.placements.empty() || m_cells.size() < m_settings.placements.size()))
        makeCell(m_cells.back().liftMs);
}

const CellLine::Cell *CellLine::cellAt(double t)
{
    advanceTo(t);
    const Cell &cell = m_cells.back();
    return t >= cell.contactMs && t < cell.liftMs ? &cell : nullptr;
}

bool CellLine::finished(double t)
{
    advanceTo(t);
    const bool lastMade = (m_settings.cells > 0 && int(m_cells.size()) >= m_settings.cells)
        || (!m_settings.placements.empty() && m_cells.size() >= m_settings.placements.size());
    return lastMade && t >= m_cells.back().liftMs;
}

bool CellLine::readingAt(double t, double *ohms, double *volts)
{
    const Cell *cell = cellAt(t);
    if (!cell || (t >= cell->bounceMs && t < cell->bounceEndMs))
        return false;
    const double since = t - cell->contactMs;
    const double transient = std::exp(-since / cell->tauMs);
    *ohms = cell->ohms * (1.0 + cell->ohmsExcess * transient + cell->creepPerSecond * since / 1000.0)
        * (1.0 + kOhmsNoise * (2.0 * m_random.generateDouble() - 1.0));
    *volts = cell->volts * (1.0 - cell->voltsDeficit * transient)
        * (1.0 + kVoltsNoise * (2.0 * m_random.generateDouble() - 1.0));
    return true;
}

QByteArray CellLine::replyAt(double t)
{
    double ohms = 0;
    double volts = 0;
    if (!readingAt(t, &ohms, &volts))
        return QByteArray(kOpenReply);
    return testerNotation(ohms).toLatin1() + ',' + testerNotation(volts).toLatin1() + "\r\n";
}

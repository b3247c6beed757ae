#pragma once

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>
#include <QString>

#include <functional>
#include <vector>

// A sorting bench as the tester sees it: cells put on the probes one after the
// other, in virtual milliseconds from the line's start. Seeded, so a run can be
// played again. Used by tester-sim's cell-line mode and by the benchmarks.
//
// A cell's reading settles from its first contact over a few hundred
// milliseconds (the resistance falls, the voltage rises, each towards its
// settled value) and carries a little noise; the cell is held for a while and
// lifted, the probes read open (an overflow) for a gap, then the next cell comes.
class CellLine
{
public:
    enum class Kind {
        Held,     // settles and is held long enough to be recorded
        Brief,    // lifted before its reading settles
        Creeping, // the resistance keeps drifting: it never settles
    };

    // When a cell goes on the probes and comes off, decided elsewhere (by a
    // model of an operator who serves several test heads).
    struct Placement
    {
        Kind kind = Kind::Held;
        double contactMs = 0;
        double liftMs = 0;
    };

    struct Settings
    {
        QList<Kind> pattern;       // kinds in turn; empty: a random mix
        int cells = 0;             // cells in the line; 0 for no end
        double briefShare = 0.04;  // of the random mix
        double creepShare = 0.03;
        double gapMinMs = 500, gapMaxMs = 2000;   // open probes before a cell
        double holdMinMs = 1500, holdMaxMs = 3500; // a held or creeping cell
        double briefMinMs = 100, briefMaxMs = 400;
        double settleTauMinMs = 30, settleTauMaxMs = 90; // time constant of the settling
        // Each cell's ID: the prefix and its number, "SIM-000001". With a
        // cycle of n, cell n + 1 is cell 1 again (same ID, same cell), so a line
        // measures its cells more than once.
        QString idPrefix = QStringLiteral("SIM-");
        int idCycle = 0;
        // The voltage of every cell falls this much per simulated day, and a
        // simulated day lasts dayMs of the line's time.
        double driftVoltsPerDay = 0;
        double dayMs = 86'400'000.0;
        // Contact bounce: this share of held cells loses contact once after
        // settling, for a time shorter than a poll, and reads open meanwhile.
        double bounceShare = 0;
        double bounceMinMs = 50, bounceMaxMs = 250;
        // Cells at these times and of these kinds, instead of drawn gaps and
        // holds; the line ends after the last.
        std::vector<Placement> placements;
    };

    struct Cell
    {
        int number = 0;       // 1-based
        Kind kind = Kind::Held;
        double contactMs = 0; // probes on
        double settledMs = -1; // reading within a tenth of the default tolerance; -1 never
        double liftMs = 0;    // probes off
        QString id;
        double bounceMs = -1;     // contact lost at this time; -1 never
        double bounceEndMs = -1;  // and back at this time
        double ohms = 0;      // settled values
        double volts = 0;     // at contact, drift included
        // Shape of this cell's settling.
        double tauMs = 50;
        double ohmsExcess = 0;  // relative, at contact
        double voltsDeficit = 0;
        double creepPerSecond = 0;
    };

    static constexpr const char *kOpenReply = "+9.9E+37,+9.9E+37\r\n";

    CellLine(Settings settings, quint32 seed);

    // The tester's reply (CR LF included) to a request at virtual time t; t
    // must not go back.
    QByteArray replyAt(double t);
    // The values the tester reads at t: false for open probes.
    bool readingAt(double t, double *ohms, double *volts);
    // The cell on the probes at t, or nullptr; t must not go back.
    const Cell *cellAt(double t);
    // True once the last cell of a finite line has been lifted.
    bool finished(double t);

    // Every cell made so far, in order (made when the previous one is lifted).
    const std::vector<Cell> &cells() const { return m_cells; }
    // Called for each new cell as it is made.
    std::function<void(const Cell &)> onCell;

    static QString kindName(Kind kind);
    // One line of the ground-truth log:
    // "cell,<n>,<kind>,contact,<ms>,settled,<ms or never>,lift,<ms>,ohms,<text>,volts,<text>",
    // followed by ",bounce,<ms>,<ms>" for a cell that bounces, then ",id,<ID>"
    static QByteArray truthLine(const Cell &cell);
    // Parses a kind list such as "held,brief,creep"; false on an unknown name.
    static bool parsePattern(const QString &text, QList<Kind> *pattern);

private:
    void advanceTo(double t);
    void makeCell(double after);
    double uniform(double low, double high);

    Settings m_settings;
    QRandomGenerator m_random;
    std::vector<Cell> m_cells;
    double m_lastT = 0;
};

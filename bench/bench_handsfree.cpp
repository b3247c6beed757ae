// bench_handsfree: a shift of cells at a sorting bench, in simulated time.
// Prints figures, judges nothing.
//
//   bench_handsfree [--cells N] [--seed S] [--latency-ms L] [--press-ms P] [--bounce-percent B]
//
// The cell line of the simulated tester (CellLine: random gaps, readings that
// settle with noise, random holds, a few cells lifted before they settle and a
// few whose reading creeps) is polled every 300 ms of virtual time, as the
// program polls the tester. Each reply goes through the program's own reply
// sorting (classifyReading) and its own arming (RecordArming, the rule behind
// both "REC - COUNT" and auto record), so an hour's shift runs in a moment.
//
// Two runs over the same seeded line, side by side:
//   auto:     auto record on with the default settle rule, no presses;
//   operator: auto record off, the operator presses REC - COUNT P ms (default
//             800) after each contact, for every cell still on the probes then.
// With B above 0, B % of the held cells bounce once after settling: the probes
// lose contact for 50 to 250 ms (less than a poll) and read open meanwhile.
// A reply is taken L ms (default 25: a reply line at 9600 baud) after its
// request; the record's time is when the reply is taken.
//
// Figures: cells recorded, missed (held cells not recorded; the aim counts held
// cells held at least 1.5 s), doubled, recorded before settling (before the
// cell's settled time, or values outside the tolerance of its settled values,
// or a cell that never settles), the time from the settled reading to the
// record (median, 95th percentile), records later than one poll after the N-th
// settled reading, and cells recorded per hour.

#include "benchsupport.h"

#include "cellline.h"
#include "session/recordarming.h"
#include "session/settlerule.h"

#include <QCoreApplication>

#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

namespace {

constexpr double kPollMs = 300;

struct Figures
{
    int cells = 0;
    int heldLong = 0;       // held cells held at least 1.5 s
    int recorded = 0;       // cells with a record
    int missed = 0;         // held cells held at least 1.5 s without a record
    int missedAnyHeld = 0;  // any held cell without a record
    int doubled = 0;        // cells with more than one record
    int unsettled = 0;      // records before settling
    int stray = 0;          // records with no cell on the probes
    int late = 0;           // later than one poll after the N-th settled reading
    int bounced = 0;        // cells that bounce
    int bouncesSeen = 0;    // bounces that a poll read as open probes
    std::vector<double> latencyMs;
    double hours = 0;
};

struct Run
{
    bool autoRecord = false;
    double pressAfterMs = -1; // operator's press after contact; -1 none
};

Figures play(const CellLine::Settings &settings, quint32 seed, const Run &run, double latencyMs)
{
    CellLine line(settings, seed);
    RecordArming arming;
    const SettleRule rule;
    arming.setRule(rule);
    arming.setAutoRecord(run.autoRecord);

    std::map<int, std::vector<double>> recordTimes; // cell number -> record times
    Figures figures;
    int pressedCell = 0;
    for (double t = kPollMs;; t += kPollMs) {
        if (line.finished(t))
            break;
        // The operator presses once per cell, P ms after contact, if the cell
        // is still on then.
        if (run.pressAfterMs >= 0) {
            const CellLine::Cell &latest = line.cells().back();
            const double pressAt = latest.contactMs + run.pressAfterMs;
            if (latest.number != pressedCell && pressAt <= t && pressAt < latest.liftMs) {
                arming.press();
                pressedCell = latest.number;
            }
        }
        const QList<QByteArray> fields = line.replyAt(t).trimmed().split(',');
        const CellLine::Cell *cell = line.cellAt(t);
        if (cell && t >= cell->bounceMs && t < cell->bounceEndMs)
            ++figures.bouncesSeen;
        const ProbeSample sample = classifyReading({QString::fromLatin1(fields.value(0)),
                                                    QString::fromLatin1(fields.value(1))});
        const bool fired = arming.fires(sample);
        if (!fired && !(arming.pressed() && sample.kind == ProbeSample::Kind::Reading))
            continue;
        arming.recorded(sample);
        const double at = t + latencyMs;
        if (!cell) {
            ++figures.stray;
            continue;
        }
        recordTimes[cell->number].push_back(at);
        const bool settledValues = std::fabs(sample.ohms - cell->ohms) <= rule.resistanceTolerance(cell->ohms)
            && std::fabs(sample.volts - cell->volts) <= rule.voltageTolerance(cell->volts);
        if (cell->settledMs < 0 || t < cell->settledMs || !settledValues)
            ++figures.unsettled;
    }

    figures.cells = int(line.cells().size());
    figures.hours = line.cells().back().liftMs / 3.6e6;
    for (const CellLine::Cell &cell : line.cells()) {
        const auto found = recordTimes.find(cell.number);
        const int records = found == recordTimes.end() ? 0 : int(found->second.size());
        const bool held = cell.kind == CellLine::Kind::Held;
        const bool heldLong = held && cell.liftMs - cell.contactMs >= 1500;
        figures.heldLong += heldLong ? 1 : 0;
        figures.bounced += cell.bounceMs >= 0 ? 1 : 0;
        if (records > 0)
            ++figures.recorded;
        if (records > 1)
            ++figures.doubled;
        if (records == 0 && heldLong)
            ++figures.missed;
        if (records == 0 && held)
            ++figures.missedAnyHeld;
        if (records > 0 && held && cell.settledMs >= 0) {
            const double first = found->second.front();
            figures.latencyMs.push_back(first - cell.settledMs);
            // The N-th poll at or after the settled time, its reply, one poll more.
            const double firstSettledPoll = std::ceil(cell.settledMs / kPollMs) * kPollMs;
            const double deadline = firstSettledPoll + (rule.settleCount - 1) * kPollMs + latencyMs + kPollMs;
            if (first > deadline)
                ++figures.late;
        }
    }
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    CellLine::Settings settings;
    settings.cells = intArgument(arguments, QStringLiteral("--cells"), 1000);
    const auto seed = static_cast<quint32>(intArgument(arguments, QStringLiteral("--seed"), 4870));
    const double latencyMs = intArgument(arguments, QStringLiteral("--latency-ms"), 25);
    const double pressMs = intArgument(arguments, QStringLiteral("--press-ms"), 800);
    settings.bounceShare = intArgument(arguments, QStringLiteral("--bounce-percent"), 0) / 100.0;

    const Figures autoRun = play(settings, seed, Run{true, -1}, latencyMs);
    const Figures operatorRun = play(settings, seed, Run{false, pressMs}, latencyMs);

    std::printf("simulated shift: %d cells (seed %u), poll %.0f ms, reply after %.0f ms, %.2f h\n",
                autoRun.cells, seed, kPollMs, latencyMs, autoRun.hours);
    std::printf("held cells held at least 1.5 s: %d\n", autoRun.heldLong);
    std::printf("cells that bounce: %d, bounces read open by a poll: %d\n\n", autoRun.bounced, autoRun.bouncesSeen);
    std::printf("%-44s %12s %12s\n", "", "auto record", "press 0.8 s");
    const auto row = [](const char *name, double a, double b, const char *format) {
        std::printf("%-44s ", name);
        std::printf(format, a);
        std::printf(" ");
        std::printf(format, b);
        std::printf("\n");
    };
    row("cells recorded", autoRun.recorded, operatorRun.recorded, "%12.0f");
    row("missed (held >= 1.5 s, not recorded)", autoRun.missed, operatorRun.missed, "%12.0f");
    row("missed (any held cell)", autoRun.missedAnyHeld, operatorRun.missedAnyHeld, "%12.0f");
    row("doubled", autoRun.doubled, operatorRun.doubled, "%12.0f");
    row("recorded before settling", autoRun.unsettled, operatorRun.unsettled, "%12.0f");
    row("records with no cell on the probes", autoRun.stray, operatorRun.stray, "%12.0f");
    row("settled -> record, median (ms)", percentile(autoRun.latencyMs, 0.5), percentile(operatorRun.latencyMs, 0.5), "%12.0f");
    row("settled -> record, p95 (ms)", percentile(autoRun.latencyMs, 0.95), percentile(operatorRun.latencyMs, 0.95), "%12.0f");
    row("later than one poll after N-th settled", autoRun.late, operatorRun.late, "%12.0f");
    row("cells recorded per hour", autoRun.recorded / autoRun.hours, operatorRun.recorded / operatorRun.hours, "%12.0f");
    return 0;
}

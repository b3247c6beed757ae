// bench_channels: one test head against two on one bench, in one run.
// Prints figures, judges nothing.
//
//   bench_channels [--minutes M] [--seed S] [--cycles N] [--delay-ms MS] [--phase one|two]
//
// Part 1, cells per hour, in simulated time (the model of bench_handsfree):
// the cell line's handling gaps (500 to 2000 ms, the operator lifting a cell
// and putting the next one on) and holds (1500 to 3500 ms, the cell on the
// probes, settling and recorded) are drawn alike for one head and for two.
// With two heads one operator serves both in turn: a head's next cell goes on
// once its hold is over and the operator has finished the other head, so the
// handling of one head overlaps the hold of the other. Each head is polled
// every 300 ms (the second 150 ms out of step) through the program's reply
// sorting and auto record (RecordArming, default settle rule), and its
// records are counted against the cells it held. M minutes of the line
// (default 480, a shift) for each.
//
// Part 2, the user-interface thread, in real time: the main window (channel 1)
// and a second channel's session and panel as the program builds them, each
// against its own tester on a pseudo-terminal that answers ":fetch?" after MS
// ms (default 10) at the pace of a 9600 baud line. First channel 1 alone for
// N cycles (default 200), then both channels together until each has N more:
// the CPU seconds of the UI thread per 100 cycles of one channel, and the time
// from a reply's last byte to its judgement set on that channel's grid,
// median and 95th percentile. --phase one measures channel 1 alone only,
// --phase two both channels only, so that an instruction count of the UI
// thread (valgrind --tool=callgrind, two runs of different N) can be taken
// for each.

#include "benchsupport.h"
#include "benchwindow.h"

#include "app/channels/channelpanel.h"
#include "app/mainwindow/formmain.h"
#include "bins/bintables.h"
#include "cellline.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/qtserialport.h"
#include "platform/wireport.h"
#include "record/datafile.h"
#include "session/recordarming.h"
#include "session/settlerule.h"

#include <QApplication>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// --- Part 1: cells per hour ------------------------------------------------------------

constexpr double kPollMs = 300;

struct LineFigures
{
    int cells = 0;
    int heldLong = 0;  // held at least 1.5 s
    int recorded = 0;
    int missed = 0;    // held at least 1.5 s, not recorded
    int doubled = 0;
    double operatorBusyShare = 0;
};

// One operator serving `heads` test heads in turn for `spanMs`: the
// placements of each head's cells.
std::vector<std::vector<CellLine::Placement>> operatorSchedule(int heads, double spanMs, quint32 seed,
                                                               double *busyShare)
{
    const CellLine::Settings drawn;
    QRandomGenerator random(seed);
    const auto uniform = [&random](double low, double high) { return low + (high - low) * random.generateDouble(); };
    std::vector<std::vector<CellLine::Placement>> schedule(static_cast<size_t>(heads));
    std::vector<double> earliestLift(static_cast<size_t>(heads), 0.0);
    double free = 0;
    double busy = 0;
    for (int swap = 0;; ++swap) {
        const size_t head = size_t(swap % heads);
        // The operator lifts the cell on this head once it may come off and
        // he is done with the other head, then puts the next one on.
        const double start = std::max(earliestLift[head], free);
        if (start >= spanMs)
            break;
        if (!schedule[head].empty())
            schedule[head].back().liftMs = start;
        const double gap = uniform(drawn.gapMinMs, drawn.gapMaxMs);
        busy += gap;
        CellLine::Placement cell;
        const double draw = random.generateDouble();
        cell.kind = draw < drawn.briefShare ? CellLine::Kind::Brief
            : draw < drawn.briefShare + drawn.creepShare ? CellLine::Kind::Creeping
                                                          : CellLine::Kind::Held;
        cell.contactMs = start + gap;
        const double hold = cell.kind == CellLine::Kind::Brief ? uniform(drawn.briefMinMs, drawn.briefMaxMs)
                                                               : uniform(drawn.holdMinMs, drawn.holdMaxMs);
        cell.liftMs = cell.contactMs + hold;
        earliestLift[head] = cell.liftMs;
        free = cell.contactMs;
        schedule[head].push_back(cell);
    }
    *busyShare = busy / spanMs;
    return schedule;
}

LineFigures playHead(const std::vector<CellLine::Placement> &placements, quint32 seed, double phaseMs)
{
    LineFigures figures;
    if (placements.empty())
        return figures;
    CellLine::Settings settings;
    settings.placements = placements;
    CellLine line(settings, seed);
    RecordArming arming;
    arming.setRule(SettleRule{});
    arming.setAutoRecord(true);
    std::map<int, int> records;
    for (double t = phaseMs + kPollMs; !line.finished(t); t += kPollMs) {
        const QList<QByteArray> fields = line.replyAt(t).trimmed().split(',');
        const ProbeSample sample = classifyReading({QString::fromLatin1(fields.value(0)), QString::fromLatin1(fields.value(1))});
        if (!arming.fires(sample))
            continue;
        arming.recorded(sample);
        if (const CellLine::Cell *cell = line.cellAt(t))
            ++records[cell->number];
    }
    for (const CellLine::Cell &cell : line.cells()) {
        const int n = records.count(cell.number) ? records[cell.number] : 0;
        const bool heldLong = cell.kind == CellLine::Kind::Held && cell.liftMs - cell.contactMs >= 1500;
        figures.heldLong += heldLong;
        figures.recorded += n > 0;
        figures.doubled += n > 1;
        figures.missed += heldLong && n == 0;
    }
    figures.cells = int(line.cells().size());
    return figures;
}

// --- Part 2: the user-interface thread ---------------------------------------------------

// Notes when a channel's judgement has been set on its grid.
struct Judged
{
    int count = 0;
    SteadyClock::time_point at;
    void note()
    {
        ++count;
        at = SteadyClock::now();
    }
};

class BenchWindow : public FormMain
{
public:
    using FormMain::FormMain;
    void showJudgement(const ReadingJudgement &judgement) override
    {
        FormMain::showJudgement(judgement);
        judged.note();
    }
    Judged judged;
};

class BenchPanel : public ChannelPanel
{
public:
    using ChannelPanel::ChannelPanel;
    void showJudgement(const ReadingJudgement &judgement) override
    {
        ChannelPanel::showJudgement(judgement);
        judged.note();
    }
    Judged judged;
};

double micros(SteadyClock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

struct ChannelFigures
{
    int cycles = 0;
    std::vector<double> latencyUs;
};

// Runs until each channel in `channels` has judged `cycles` more replies;
// the UI thread's CPU seconds come back.
double measure(const std::vector<std::pair<Judged *, ThreadTester *>> &channels, int cycles,
               std::vector<ChannelFigures> &figures)
{
    std::vector<int> first;
    for (const auto &[judged, tester] : channels)
        first.push_back(judged->count);
    const double cpuStart = threadCpuSeconds();
    std::vector<int> seen = first;
    const auto done = [&] {
        for (size_t i = 0; i < channels.size(); ++i) {
            if (channels[i].first->count < first[i] + cycles)
                return false;
        }
        return true;
    };
    while (!done()) {
        const std::vector<int> before = seen;
        waitUntil([&] {
            for (size_t i = 0; i < channels.size(); ++i) {
                if (channels[i].first->count != before[i])
                    return true;
            }
            return false;
        }, 5s);
        bool moved = false;
        for (size_t i = 0; i < channels.size(); ++i) {
            Judged &judged = *channels[i].first;
            if (judged.count == seen[i])
                continue;
            moved = true;
            seen[i] = judged.count;
            if (judged.count <= first[i] + cycles) {
                figures[i].latencyUs.push_back(micros(judged.at - channels[i].second->lastByte()));
                ++figures[i].cycles;
            }
        }
        if (!moved)
            break; // a tester stopped answering: report what there is
    }
    return threadCpuSeconds() - cpuStart;
}

void setBins(const FormMainUi &ui)
{
    // 3 BINs from 10 to 40 mOhm, 2 from 3 to 4 V: the two replies light
    // different cells in both rows.
    ui.resistanceEntries[0]->setText(QStringLiteral("3"));
    ui.resistanceEntries[1]->setText(QStringLiteral("10"));
    ui.resistanceEntries[2]->setText(QStringLiteral("40"));
    ui.voltageEntries[0]->setText(QStringLiteral("2"));
    ui.voltageEntries[1]->setText(QStringLiteral("3"));
    ui.voltageEntries[2]->setText(QStringLiteral("4"));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const double spanMs = std::max(1, intArgument(arguments, QStringLiteral("--minutes"), 480)) * 60000.0;
    const auto seed = static_cast<quint32>(intArgument(arguments, QStringLiteral("--seed"), 4870));
    const int cycles = std::max(1, intArgument(arguments, QStringLiteral("--cycles"), 200));
    const auto delay = std::chrono::milliseconds(std::max(0, intArgument(arguments, QStringLiteral("--delay-ms"), 10)));
    const qsizetype phaseAt = arguments.indexOf(QStringLiteral("--phase"));
    const QString phase = phaseAt >= 0 ? arguments.value(phaseAt + 1) : QString();

    // Part 1.
    double busyOne = 0;
    double busyTwo = 0;
    const auto one = operatorSchedule(1, spanMs, seed, &busyOne);
    const auto two = operatorSchedule(2, spanMs, seed, &busyTwo);
    const LineFigures alone = playHead(one[0], seed, 0);
    const LineFigures first = playHead(two[0], seed, 0);
    const LineFigures second = playHead(two[1], seed + 1, kPollMs / 2);
    const double hours = spanMs / 3.6e6;
    std::printf("Cells per hour, simulated time: %.1f h of the line, seed %u, poll %.0f ms, auto record\n\n", hours,
                seed, kPollMs);
    std::printf("%-40s %12s %12s %12s %12s\n", "", "one head", "two: head 1", "two: head 2", "two: bench");
    const auto row = [](const char *name, double a, double b, double c, double d) {
        std::printf("%-40s %12.0f %12.0f %12.0f %12.0f\n", name, a, b, c, d);
    };
    row("cells put on the probes", alone.cells, first.cells, second.cells, first.cells + second.cells);
    row("held at least 1.5 s", alone.heldLong, first.heldLong, second.heldLong, first.heldLong + second.heldLong);
    row("recorded", alone.recorded, first.recorded, second.recorded, first.recorded + second.recorded);
    row("missed (held >= 1.5 s, not recorded)", alone.missed, first.missed, second.missed, first.missed + second.missed);
    row("doubled", alone.doubled, first.doubled, second.doubled, first.doubled + second.doubled);
    row("cells recorded per hour", alone.recorded / hours, first.recorded / hours, second.recorded / hours,
        (first.recorded + second.recorded) / hours);
    std::printf("%-40s %12.2f %38s %12.2f\n", "operator busy handling, share of time", busyOne, "", busyTwo);
    std::printf("%-40s %51.2f x\n\n", "two heads against one", double(first.recorded + second.recorded) / alone.recorded);

    // Part 2.
    const std::vector<std::string> replies{"15.000E-3,3.2000E+0\r\n", "25.000E-3,3.7000E+0\r\n"};
    ThreadTester tester1(delay, true, replies);
    ThreadTester tester2(delay, true, replies, 2);
    if (!tester1.isValid() || !tester2.isValid()) {
        std::fprintf(stderr, "bench_channels: cannot set up the pseudo-terminals\n");
        return 1;
    }
    std::vector<ChannelFigures> aloneFigures(1);
    std::vector<ChannelFigures> bothFigures(2);
    double cpuAlone = 0;
    double cpuBoth = 0;
    QStringList messages;
    {
        QtSerialPort port(tester1.folder());
        SystemClock clock;
        QuietDialogs dialogs;
        BinTables binTables;
        DataFile dataFile;
        BenchWindow window(port, clock, dialogs, binTables, dataFile, tester1.folder());
        setBins(window.ui());
        window.show();

        // The second channel as ChannelsControls builds it: its own serial port,
        // wire, data file, session and panel, sharing the tables and the clock.
        QtSerialPort serial2(tester2.folder());
        WirePort port2(serial2);
        static_cast<void>(port2.setCommPort(2));
        DataFile dataFile2;
        auto *panel = new BenchPanel(2, dialogs, FormMain::applicationTitle(),
                                     [&window] { return window.ui().dataFilePath->text(); });
        panel->show();
        MeasurementSession session2(port2, clock, binTables, dataFile2, *panel);
        session2.setChannel(2);

        window.session().start();
        waitUntil([&] { return window.judged.count >= 3; }, 10s);
        if (phase != QLatin1String("two"))
            cpuAlone = measure({{&window.judged, &tester1}}, cycles, aloneFigures);
        if (phase != QLatin1String("one")) {
            session2.start();
            waitUntil([&] { return panel->judged.count >= 3; }, 10s);
            cpuBoth = measure({{&window.judged, &tester1}, {&panel->judged, &tester2}}, cycles, bothFigures);
        }
        session2.stop();
        window.session().stop();
        messages = dialogs.messages;
        delete panel;
    }

    std::printf("User-interface thread, real time: testers answer after %lld ms at 9600 baud, %d cycles\n\n",
                static_cast<long long>(delay.count()), cycles);
    std::printf("%-52s %12s %12s %12s\n", "", "one channel", "two: ch 1", "two: ch 2");
    const int both = bothFigures[0].cycles + bothFigures[1].cycles;
    std::printf("%-52s %12d %12d %12d\n", "cycles measured", aloneFigures[0].cycles, bothFigures[0].cycles,
                bothFigures[1].cycles);
    std::printf("%-52s %12.4f %25.4f\n", "CPU s per 100 cycles of one channel (UI thread)",
                aloneFigures[0].cycles ? 100.0 * cpuAlone / aloneFigures[0].cycles : 0.0,
                both ? 100.0 * cpuBoth / both : 0.0);
    std::printf("%-52s %12.1f %12.1f %12.1f\n", "last byte -> judgement on its grid, median us",
                percentile(aloneFigures[0].latencyUs, 0.5), percentile(bothFigures[0].latencyUs, 0.5),
                percentile(bothFigures[1].latencyUs, 0.5));
    std::printf("%-52s %12.1f %12.1f %12.1f\n", "last byte -> judgement on its grid, p95 us",
                percentile(aloneFigures[0].latencyUs, 0.95), percentile(bothFigures[0].latencyUs, 0.95),
                percentile(bothFigures[1].latencyUs, 0.95));
    std::printf("%-52s %12.1f %12.1f %12.1f\n", "last byte -> judgement on its grid, max us",
                percentile(aloneFigures[0].latencyUs, 1.0), percentile(bothFigures[0].latencyUs, 1.0),
                percentile(bothFigures[1].latencyUs, 1.0));
    for (const QString &message : messages)
        std::printf("window message: %s\n", qPrintable(message));
    return 0;
}

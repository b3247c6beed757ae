// bench_session: the real main window, headless, against a tester on a
// pseudo-terminal inside this process. Prints figures, judges nothing.
//
//   bench_session [--cycles N] [--delay-ms MS] [--silent-seconds S] [--unpaced]
//
// The window runs its measurement cycle as the program does, driven by the
// port's data signal and its timers from the application's event loop. It
// prints
//   - CPU seconds of the user-interface thread per 100 cycles, live tester;
//   - CPU seconds over S seconds of a session on a silent tester (every
//     request ends in its time-out);
//   - the time from the reply's last byte to the judgement on the grid, median
//     and 95th percentile, in two steps: "set" is when the window has coloured
//     its last grid element for the reading (the voltage out label, through the
//     window's own SessionView call), "painted" is when the first grid cell whose
//     colour changed has been painted afterwards. The tester notes the time just
//     before it writes the last byte, so both figures are upper bounds by the
//     duration of one write call;
// and once: the start-up time to the first painted window, and the peak
// resident memory of the whole run.
//
// The tester answers every ":fetch?" after MS milliseconds (default 10) and,
// unless --unpaced, writes its reply byte by byte at the pace of a 9600 baud
// line (about 1.04 ms per byte), so the wait wakes up as often as it would on
// the real line. Replies alternate between two readings in different BINs so
// that the grid changes in every cycle.

#include "benchsupport.h"
#include "benchwindow.h"
#include "app/mainwindow/formmain.h"
#include "bins/bintables.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/qtserialport.h"
#include "record/datafile.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

const SteadyClock::time_point kMainEntered = SteadyClock::now();

double micros(SteadyClock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

// The program's window, noting when a reading's judgement reaches the grid.
class BenchWindow : public FormMain
{
public:
    using FormMain::FormMain;

    void showJudgement(const ReadingJudgement &judgement) override
    {
        std::vector<QColor> before;
        for (QLabel *label : ui().binCells)
            before.push_back(label->palette().color(QPalette::Window));
        FormMain::showJudgement(judgement);
        for (std::size_t i = 0; i < ui().binCells.size(); ++i) {
            if (ui().binCells[i]->palette().color(QPalette::Window) != before[i])
                m_changed.push_back(ui().binCells[i]);
        }
        ++judged;
        judgementSet = SteadyClock::now();
        paintedThisCycle = false;
        m_awaitPaint = m_changed;
        m_changed.clear();
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_awaitPaint.empty()
            && std::find(m_awaitPaint.begin(), m_awaitPaint.end(), watched) != m_awaitPaint.end()) {
            m_awaitPaint.clear();
            judgementPainted = SteadyClock::now();
            paintedThisCycle = true;
        }
        if (event->type() == QEvent::Paint && watched == this && !firstPaint)
            firstPaint = SteadyClock::now();
        return FormMain::eventFilter(watched, event);
    }

    void watchPaints()
    {
        installEventFilter(this);
        for (QLabel *cell : ui().binCells)
            cell->installEventFilter(this);
    }

    int judged = 0;
    bool paintedThisCycle = false;
    SteadyClock::time_point judgementSet;
    SteadyClock::time_point judgementPainted;
    std::optional<SteadyClock::time_point> firstPaint;

private:
    std::vector<QObject *> m_changed;
    std::vector<QObject *> m_awaitPaint;
};

struct Figures
{
    double liveCpuPer100 = 0;
    double liveWallPer100 = 0;
    double setMedianUs = 0;
    double setP95Us = 0;
    double paintedMedianUs = 0;
    double paintedP95Us = 0;
    int unpainted = 0;
    double silentCpu = 0;
    double silentWall = 0;
    QStringList messages;
};

// Everything the window works with, built in the program's order.
struct Program
{
    explicit Program(const QString &dir) : port(dir)
    {
        window = std::make_unique<BenchWindow>(port, clock, dialogs, binTables, dataFile, dir);
        window->watchPaints();
    }
    ~Program() { window.reset(); }

    QtSerialPort port;
    SystemClock clock;
    QuietDialogs dialogs;
    BinTables binTables;
    DataFile dataFile;
    std::unique_ptr<BenchWindow> window;
};

Figures measure(Program &program, ThreadTester &tester, int cycles, std::chrono::seconds silentFor)
{
    Figures figures;
    BenchWindow &window = *program.window;
    const FormMainUi &ui = window.ui();
    // 3 BINs from 10 to 40 mOhm, 2 BINs from 3 to 4 V: the two replies light
    // different cells in both rows.
    ui.resistanceEntries[0]->setText(QStringLiteral("3"));
    ui.resistanceEntries[1]->setText(QStringLiteral("10"));
    ui.resistanceEntries[2]->setText(QStringLiteral("40"));
    ui.voltageEntries[0]->setText(QStringLiteral("2"));
    ui.voltageEntries[1]->setText(QStringLiteral("3"));
    ui.voltageEntries[2]->setText(QStringLiteral("4"));

    tester.setSilent(false);
    window.session().start();
    // A few cycles first, so that nothing is measured cold.
    waitUntil([&] { return window.judged >= 3; }, 10s);

    std::vector<double> set;
    std::vector<double> painted;
    const int first = window.judged;
    const double cpuStart = threadCpuSeconds();
    const auto wallStart = SteadyClock::now();
    while (window.judged < first + cycles) {
        const int before = window.judged;
        waitUntil([&] { return window.judged > before; }, 5s);
        if (window.judged == before)
            break; // the tester stopped answering: report what there is
        const auto lastByte = tester.lastByte();
        set.push_back(micros(window.judgementSet - lastByte));
        // The paint follows once the cycle has returned to the event loop.
        waitUntil([&] { return window.paintedThisCycle || window.judged > before + 1; }, 1s);
        if (window.paintedThisCycle && window.judged == before + 1)
            painted.push_back(micros(window.judgementPainted - lastByte));
        else
            ++figures.unpainted;
    }
    const int done = window.judged - first;
    const double scale = done > 0 ? 100.0 / done : 0;
    figures.liveCpuPer100 = (threadCpuSeconds() - cpuStart) * scale;
    figures.liveWallPer100 = std::chrono::duration<double>(SteadyClock::now() - wallStart).count() * scale;
    figures.setMedianUs = percentile(set, 0.5);
    figures.setP95Us = percentile(set, 0.95);
    figures.paintedMedianUs = percentile(painted, 0.5);
    figures.paintedP95Us = percentile(painted, 0.95);
    window.session().stop();

    // A session on a tester that never answers: request after request times out.
    tester.setSilent(true);
    window.session().start();
    double silentCpuStart = 0;
    SteadyClock::time_point silentStart;
    bool stopped = false;
    QTimer::singleShot(MeasurementSession::kPollInterval + 200ms, &window, [&] {
        silentCpuStart = threadCpuSeconds();
        silentStart = SteadyClock::now();
        QTimer::singleShot(silentFor, &window, [&] {
            figures.silentCpu = threadCpuSeconds() - silentCpuStart;
            figures.silentWall = std::chrono::duration<double>(SteadyClock::now() - silentStart).count();
            window.session().stop();
            stopped = true;
        });
    });
    waitUntil([&] { return stopped; }, silentFor + 10s);
    tester.setSilent(false);
    figures.messages = program.dialogs.messages;
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int cycles = std::max(1, intArgument(arguments, QStringLiteral("--cycles"), 100));
    const auto delay = std::chrono::milliseconds(std::max(0, intArgument(arguments, QStringLiteral("--delay-ms"), 10)));
    const auto silentFor = std::chrono::seconds(std::max(1, intArgument(arguments, QStringLiteral("--silent-seconds"), 10)));
    const bool paced = !arguments.contains(QStringLiteral("--unpaced"));

    // Two readings in different BINs, in turn, so that the grid changes in every cycle.
    ThreadTester tester(delay, paced, {"15.000E-3,3.2000E+0\r\n", "25.000E-3,3.7000E+0\r\n"});
    if (!tester.isValid()) {
        std::fprintf(stderr, "bench_session: cannot set up a pseudo-terminal\n");
        return 1;
    }

    Figures waiting;
    double startupFromMain = 0;
    double startupFromExec = 0;
    {
        Program program(tester.folder());
        program.window->show();
        waitUntil([&] { return program.window->firstPaint.has_value(); }, 30s);
        if (program.window->firstPaint) {
            startupFromMain = std::chrono::duration<double, std::milli>(*program.window->firstPaint - kMainEntered).count();
            startupFromExec = 1000.0 * secondsSinceExec()
                - std::chrono::duration<double, std::milli>(SteadyClock::now() - *program.window->firstPaint).count();
        }
        waiting = measure(program, tester, cycles, silentFor);
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);

    std::printf("cycles: %d, tester answers after %lld ms, %s; silent tester for %lld s\n\n", cycles,
                static_cast<long long>(delay.count()), paced ? "paced at 9600 baud" : "unpaced",
                static_cast<long long>(silentFor.count()));
    std::printf("%-52s %14s\n", "", "event-driven");
    std::printf("%-52s %14.4f\n", "CPU s per 100 cycles, live tester (UI thread)", waiting.liveCpuPer100);
    std::printf("%-52s %14.2f\n", "  that is, % of one core",
                waiting.liveWallPer100 > 0 ? 100.0 * waiting.liveCpuPer100 / waiting.liveWallPer100 : 0.0);
    std::printf("%-52s %14.3f\n", "wall s per 100 cycles", waiting.liveWallPer100);
    std::printf("%-52s %14.4f\n", "CPU s on a silent tester", waiting.silentCpu);
    std::printf("%-52s %14.2f\n", "  that is, % of one core",
                waiting.silentWall > 0 ? 100.0 * waiting.silentCpu / waiting.silentWall : 0.0);
    std::printf("%-52s %14.1f\n", "last byte -> judgement set on the grid, median us", waiting.setMedianUs);
    std::printf("%-52s %14.1f\n", "last byte -> judgement set on the grid, p95 us", waiting.setP95Us);
    std::printf("%-52s %14.1f\n", "last byte -> changed cell painted, median us", waiting.paintedMedianUs);
    std::printf("%-52s %14.1f\n", "last byte -> changed cell painted, p95 us", waiting.paintedP95Us);
    std::printf("%-52s %14d\n", "cycles without a paint of a changed cell", waiting.unpainted);
    std::printf("\n%-52s %14.1f\n", "start-up: main() -> first window painted, ms", startupFromMain);
    std::printf("%-52s %14.1f\n", "start-up: process start -> first window painted, ms", startupFromExec);
    std::printf("%-52s %14ld\n", "peak resident memory, KiB (ru_maxrss)", usage.ru_maxrss);
    for (const QString &message : waiting.messages)
        std::printf("window message: %s\n", qPrintable(message));
    return 0;
}

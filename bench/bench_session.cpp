// bench_session: the real main window, headless, against a tester on a
// pseudo-terminal inside this process. Prints figures, judges nothing.
//
//   bench_session [--cycles N] [--delay-ms MS] [--silent-seconds S] [--unpaced]
//
// The window runs its measurement cycle twice: once with the program's own
// event pump, which sleeps until serial data or another event arrives, and once
// with a reference pump that polls without ever sleeping. For both it prints
//   - CPU seconds of the user-interface thread per 100 cycles, live tester;
//   - CPU seconds over S seconds of a session waiting on a silent tester;
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

#include "app/formmain.h"
#include "bins/bintable.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/qteventpump.h"
#include "platform/qtserialport.h"
#include "record/datafile.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

const SteadyClock::time_point kMainEntered = SteadyClock::now();

double threadCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Seconds since the kernel started this process, from /proc (clock ticks).
double secondsSinceExec()
{
    std::ifstream stat("/proc/self/stat");
    std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold blanks.
    const auto close = content.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::vector<std::string> fields;
    std::string field;
    for (const char c : content.substr(close + 2)) {
        if (c == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    // starttime is field 22 of the line, the 20th after the command name.
    if (fields.size() < 20)
        return -1;
    const double started = std::stod(fields[19]) / double(::sysconf(_SC_CLK_TCK));
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9 - started;
}

double micros(SteadyClock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::size_t(fraction * double(values.size() - 1) + 0.5)];
}

// The reference: processes the events without waiting and reads again at once.
class BusyPump : public EventPump
{
public:
    void processOnceWaiting() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
    void processPending() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
};

class QuietDialogs : public Dialogs
{
public:
    void showMessage(const QString &text, const QString &, Icon) override { messages << text; }
    SaveDialogResult askSavePath(const SaveDialogSetup &) override { return {}; }
    bool startEditor(const QString &) override { return false; }
    QStringList messages;
};

// A tester on its own thread at the master end of a pseudo-terminal, linked as
// COM1 in a folder of its own.
class ThreadTester
{
public:
    ThreadTester(std::chrono::milliseconds delay, bool paced) : m_delay(delay), m_paced(paced)
    {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            return;
        termios settings{};
        ::tcgetattr(m_slave, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(m_slave, TCSANOW, &settings);
        m_ok = m_folder.isValid()
            && QFile::link(QString::fromLocal8Bit(name), QDir(m_folder.path()).filePath(QStringLiteral("COM1")));
        m_thread = std::thread([this] { run(); });
    }

    ~ThreadTester()
    {
        m_quit = true;
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_master);
        ::close(m_slave);
    }

    bool isValid() const { return m_ok; }
    QString folder() const { return m_folder.path(); }
    void setSilent(bool silent) { m_silent = silent; }
    SteadyClock::time_point lastByte() const { return SteadyClock::time_point(SteadyClock::duration(m_lastByte.load())); }
    int replies() const { return m_replies.load(); }

private:
    void run()
    {
        std::string received;
        while (!m_quit) {
            pollfd fd{m_master, POLLIN, 0};
            if (::poll(&fd, 1, 50) <= 0)
                continue;
            char chunk[256];
            const ssize_t n = ::read(m_master, chunk, sizeof chunk);
            if (n <= 0)
                continue;
            received.append(chunk, std::size_t(n));
            for (auto end = received.find('\n'); end != std::string::npos; end = received.find('\n')) {
                const bool fetch = received.compare(0, end + 1, ":fetch?\r\n") == 0;
                received.erase(0, end + 1);
                if (fetch && !m_silent)
                    answer();
            }
        }
    }

    void answer()
    {
        static constexpr const char *kReplies[] = {"15.000E-3,3.2000E+0\r\n", "25.000E-3,3.7000E+0\r\n"};
        const std::string reply = kReplies[m_replies % 2];
        std::this_thread::sleep_for(m_delay);
        const std::size_t head = m_paced ? reply.size() - 1 : 0;
        auto next = SteadyClock::now();
        for (std::size_t at = 0; at < head; ++at) {
            [[maybe_unused]] const auto w = ::write(m_master, reply.data() + at, 1);
            next += 1042us; // 10 bits at 9600 baud
            std::this_thread::sleep_until(next);
        }
        m_lastByte = SteadyClock::now().time_since_epoch().count();
        [[maybe_unused]] const auto w = ::write(m_master, reply.data() + head, reply.size() - head);
        ++m_replies;
    }

    QTemporaryDir m_folder;
    std::chrono::milliseconds m_delay;
    bool m_paced;
    int m_master = -1;
    int m_slave = -1;
    bool m_ok = false;
    std::atomic<bool> m_quit{false};
    std::atomic<bool> m_silent{false};
    std::atomic<int> m_replies{0};
    std::atomic<SteadyClock::rep> m_lastByte{0};
    std::thread m_thread;
};

// The program's window, noting when a reading's judgement reaches the grid.
class BenchWindow : public FormMain
{
public:
    using FormMain::FormMain;

    void setCellColour(int cell, quint32 bgr) override
    {
        QLabel *label = ui().Label7[std::size_t(cell)];
        if (label->palette().color(QPalette::Window).rgb() != QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF)).rgb())
            m_changed.push_back(label);
        FormMain::setCellColour(cell, bgr);
    }

    void setOutLabel(int t, const std::optional<QString> &caption, quint32 bgr) override
    {
        FormMain::setOutLabel(t, caption, bgr);
        if (t != 1)
            return;
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
        for (QLabel *cell : ui().Label7)
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
    Program(EventPump &eventPump, const QString &dir) : port(dir), pump(eventPump)
    {
        window = std::make_unique<BenchWindow>(port, pump, clock, dialogs, binTableR, binTableV, dataFile, dir);
        window->watchPaints();
    }
    ~Program() { window.reset(); }

    QtSerialPort port;
    EventPump &pump;
    SystemClock clock;
    QuietDialogs dialogs;
    BinTable binTableR;
    BinTable binTableV;
    DataFile dataFile;
    std::unique_ptr<BenchWindow> window;
};

void waitUntil(const std::function<bool()> &done, std::chrono::seconds limit)
{
    const auto until = SteadyClock::now() + limit;
    QTimer wake;
    wake.start(50); // never sleep past the limit
    while (!done() && SteadyClock::now() < until)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

Figures measure(Program &program, ThreadTester &tester, int cycles, std::chrono::seconds silentFor)
{
    Figures figures;
    BenchWindow &window = *program.window;
    const FormMainUi &ui = window.ui();
    // 3 BINs from 10 to 40 mOhm, 2 BINs from 3 to 4 V: the two replies light
    // different cells in both rows.
    ui.Text2[0]->setText(QStringLiteral("3"));
    ui.Text2[1]->setText(QStringLiteral("10"));
    ui.Text2[2]->setText(QStringLiteral("40"));
    ui.Text6[0]->setText(QStringLiteral("2"));
    ui.Text6[1]->setText(QStringLiteral("3"));
    ui.Text6[2]->setText(QStringLiteral("4"));

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

    // A session on a tester that never answers: the cycle waits until STOP.
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

int intArgument(const QStringList &arguments, const QString &name, int fallback)
{
    const auto at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : fallback;
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

    ThreadTester tester(delay, paced);
    if (!tester.isValid()) {
        std::fprintf(stderr, "bench_session: cannot set up a pseudo-terminal\n");
        return 1;
    }

    QtEventPump sleeping;
    BusyPump busy;
    Figures waiting;
    double startupFromMain = 0;
    double startupFromExec = 0;
    {
        Program program(sleeping, tester.folder());
        program.window->show();
        waitUntil([&] { return program.window->firstPaint.has_value(); }, 30s);
        if (program.window->firstPaint) {
            startupFromMain = std::chrono::duration<double, std::milli>(*program.window->firstPaint - kMainEntered).count();
            startupFromExec = 1000.0 * secondsSinceExec()
                - std::chrono::duration<double, std::milli>(SteadyClock::now() - *program.window->firstPaint).count();
        }
        waiting = measure(program, tester, cycles, silentFor);
    }
    Figures polling;
    {
        Program program(busy, tester.folder());
        program.window->show();
        waitUntil([&] { return program.window->firstPaint.has_value(); }, 30s);
        polling = measure(program, tester, cycles, silentFor);
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);

    std::printf("cycles: %d, tester answers after %lld ms, %s; silent tester for %lld s\n\n", cycles,
                static_cast<long long>(delay.count()), paced ? "paced at 9600 baud" : "unpaced",
                static_cast<long long>(silentFor.count()));
    std::printf("%-52s %14s %14s %8s\n", "", "sleeping wait", "busy polling", "ratio");
    std::printf("%-52s %14.4f %14.4f %8.1f\n", "CPU s per 100 cycles, live tester (UI thread)", waiting.liveCpuPer100,
                polling.liveCpuPer100, waiting.liveCpuPer100 > 0 ? polling.liveCpuPer100 / waiting.liveCpuPer100 : 0.0);
    std::printf("%-52s %14.3f %14.3f\n", "wall s per 100 cycles", waiting.liveWallPer100, polling.liveWallPer100);
    std::printf("%-52s %14.4f %14.4f %8.1f\n", "CPU s while waiting on a silent tester", waiting.silentCpu,
                polling.silentCpu, waiting.silentCpu > 0 ? polling.silentCpu / waiting.silentCpu : 0.0);
    std::printf("%-52s %14.2f %14.2f\n", "  that is, % of one core",
                waiting.silentWall > 0 ? 100.0 * waiting.silentCpu / waiting.silentWall : 0.0,
                polling.silentWall > 0 ? 100.0 * polling.silentCpu / polling.silentWall : 0.0);
    std::printf("%-52s %14.1f %14.1f\n", "last byte -> judgement set on the grid, median us", waiting.setMedianUs, polling.setMedianUs);
    std::printf("%-52s %14.1f %14.1f\n", "last byte -> judgement set on the grid, p95 us", waiting.setP95Us, polling.setP95Us);
    std::printf("%-52s %14.1f %14.1f\n", "last byte -> changed cell painted, median us", waiting.paintedMedianUs, polling.paintedMedianUs);
    std::printf("%-52s %14.1f %14.1f\n", "last byte -> changed cell painted, p95 us", waiting.paintedP95Us, polling.paintedP95Us);
    std::printf("%-52s %14d %14d\n", "cycles without a paint of a changed cell", waiting.unpainted, polling.unpainted);
    std::printf("\n%-52s %14.1f\n", "start-up: main() -> first window painted, ms", startupFromMain);
    std::printf("%-52s %14.1f\n", "start-up: process start -> first window painted, ms", startupFromExec);
    std::printf("%-52s %14ld\n", "peak resident memory, KiB (ru_maxrss)", usage.ru_maxrss);
    for (const QString &message : waiting.messages + polling.messages)
        std::printf("window message: %s\n", qPrintable(message));
    return 0;
}

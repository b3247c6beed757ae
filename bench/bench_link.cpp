// bench_link: what the wait for a reply costs. Runs the same request/reply
// exchange over a pseudo-terminal with the sleeping wait the program uses and
// with a busy-polling loop for reference, and prints for both the CPU time per
// 100 exchanges, the time from the reply's last byte to readResponse returning,
// and the CPU time spent waiting on a silent tester.
//
//   bench_link [--exchanges N] [--delay-ms MS] [--silent-seconds S]

#include "link/commandchannel.h"
#include "platform/qteventpump.h"
#include "platform/qtserialport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <pty.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

double threadCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The reference: process the events without waiting and read again at once.
class BusyPump : public EventPump
{
public:
    void processOnceWaiting() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
    void processPending() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
};

// A tester on its own thread, at the master end of a pseudo-terminal: answers
// every ":fetch?" after `delay` and notes when the reply's last byte was written.
class ThreadTester
{
public:
    explicit ThreadTester(std::chrono::milliseconds delay) : m_delay(delay)
    {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            return;
        termios settings{};
        ::tcgetattr(m_slave, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(m_slave, TCSANOW, &settings);
        m_ok = QFile::link(QString::fromLocal8Bit(name), QDir(m_folder.path()).filePath(QStringLiteral("COM1")));
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
    Clock::time_point lastWrite() const { return Clock::time_point(Clock::duration(m_lastWrite.load())); }

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
            received.append(chunk, static_cast<size_t>(n));
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
        static constexpr char kReply[] = "23.456E-3,3.9876E+0\r\n";
        std::this_thread::sleep_for(m_delay);
        // Noted before the write, so that the reader can never finish first; the
        // figures include the write itself and are an upper bound.
        m_lastWrite = Clock::now().time_since_epoch().count();
        [[maybe_unused]] const auto written = ::write(m_master, kReply, sizeof kReply - 1);
    }

    QTemporaryDir m_folder;
    std::chrono::milliseconds m_delay;
    int m_master = -1;
    int m_slave = -1;
    bool m_ok = false;
    std::atomic<bool> m_quit{false};
    std::atomic<bool> m_silent{false};
    std::atomic<Clock::rep> m_lastWrite{0};
    std::thread m_thread;
};

struct Figures
{
    double cpuPer100 = 0;
    double wallPer100 = 0;
    double medianUs = 0;
    double p95Us = 0;
    int failed = 0;
    double silentCpu = 0;
    double silentWall = 0;
};

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

Figures measure(ThreadTester &tester, EventPump &pump, int exchanges, std::chrono::seconds silentFor)
{
    Figures figures;
    QtSerialPort port(tester.folder());
    CommandChannel channel(port, pump);
    port.setPortOpen(true);

    // A few exchanges first, so that nothing is measured cold.
    for (int i = 0; i < 3; ++i) {
        channel.sendCommand(QStringLiteral(":fetch?"));
        channel.readResponse();
    }

    std::vector<double> latencies;
    const double cpuStart = threadCpuSeconds();
    const auto wallStart = Clock::now();
    for (int i = 0; i < exchanges; ++i) {
        channel.sendCommand(QStringLiteral(":fetch?"));
        const QString reply = channel.readResponse();
        const auto returned = Clock::now();
        if (reply != QLatin1String("23.456E-3,3.9876E+0")) {
            ++figures.failed;
            continue;
        }
        latencies.push_back(std::chrono::duration<double, std::micro>(returned - tester.lastWrite()).count());
    }
    const double scale = 100.0 / exchanges;
    figures.cpuPer100 = (threadCpuSeconds() - cpuStart) * scale;
    figures.wallPer100 = std::chrono::duration<double>(Clock::now() - wallStart).count() * scale;
    figures.medianUs = percentile(latencies, 0.5);
    figures.p95Us = percentile(latencies, 0.95);

    // A tester that never answers: the wait lasts until STOP.
    tester.setSilent(true);
    QTimer stop;
    stop.setSingleShot(true);
    stop.setInterval(silentFor);
    QObject::connect(&stop, &QTimer::timeout, &stop, [&channel] { channel.stopRequested = true; });
    channel.sendCommand(QStringLiteral(":fetch?"));
    const double silentCpuStart = threadCpuSeconds();
    const auto silentStart = Clock::now();
    stop.start();
    channel.readResponse();
    figures.silentCpu = threadCpuSeconds() - silentCpuStart;
    figures.silentWall = std::chrono::duration<double>(Clock::now() - silentStart).count();
    tester.setSilent(false);
    port.setPortOpen(false);
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
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int exchanges = std::max(1, intArgument(arguments, QStringLiteral("--exchanges"), 100));
    const auto delay = std::chrono::milliseconds(std::max(0, intArgument(arguments, QStringLiteral("--delay-ms"), 20)));
    const auto silentFor = std::chrono::seconds(std::max(1, intArgument(arguments, QStringLiteral("--silent-seconds"), 10)));

    ThreadTester tester(delay);
    if (!tester.isValid()) {
        std::fprintf(stderr, "bench_link: cannot set up a pseudo-terminal\n");
        return 1;
    }

    QtEventPump sleeping;
    BusyPump busy;
    const Figures waiting = measure(tester, sleeping, exchanges, silentFor);
    const Figures polling = measure(tester, busy, exchanges, silentFor);

    std::printf("exchanges: %d, tester answers after %lld ms, silent tester for %lld s\n\n", exchanges,
                static_cast<long long>(delay.count()), static_cast<long long>(silentFor.count()));
    std::printf("%-44s %14s %14s\n", "", "sleeping wait", "busy polling");
    std::printf("%-44s %14.4f %14.4f\n", "CPU s per 100 exchanges (UI thread)", waiting.cpuPer100, polling.cpuPer100);
    std::printf("%-44s %14.3f %14.3f\n", "wall s per 100 exchanges", waiting.wallPer100, polling.wallPer100);
    std::printf("%-44s %14.1f %14.1f\n", "last byte -> readResponse returns, median us", waiting.medianUs, polling.medianUs);
    std::printf("%-44s %14.1f %14.1f\n", "last byte -> readResponse returns, p95 us", waiting.p95Us, polling.p95Us);
    std::printf("%-44s %14.4f %14.4f\n", "CPU s while the tester is silent", waiting.silentCpu, polling.silentCpu);
    std::printf("%-44s %14.2f %14.2f\n", "  that is, % of one core",
                100.0 * waiting.silentCpu / waiting.silentWall, 100.0 * polling.silentCpu / polling.silentWall);
    std::printf("%-44s %14d %14d\n", "wrong replies", waiting.failed, polling.failed);
    return waiting.failed + polling.failed == 0 ? 0 : 1;
}

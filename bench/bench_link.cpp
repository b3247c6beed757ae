// bench_link: what the wait for a reply costs. Runs the same request/reply
// exchange over a pseudo-terminal with the sleeping wait the program uses and
// with a busy-polling loop for reference, and prints for both the CPU time per
// 100 exchanges, the time from the reply's last byte to readResponse returning,
// and the CPU time spent waiting on a silent tester.
//
//   bench_link [--exchanges N] [--delay-ms MS] [--silent-seconds S]

#include "benchsupport.h"
#include "link/commandchannel.h"
#include "platform/qteventpump.h"
#include "platform/qtserialport.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

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
        latencies.push_back(std::chrono::duration<double, std::micro>(returned - tester.lastByte()).count());
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int exchanges = std::max(1, intArgument(arguments, QStringLiteral("--exchanges"), 100));
    const auto delay = std::chrono::milliseconds(std::max(0, intArgument(arguments, QStringLiteral("--delay-ms"), 20)));
    const auto silentFor = std::chrono::seconds(std::max(1, intArgument(arguments, QStringLiteral("--silent-seconds"), 10)));

    // Answers every ":fetch?" after `delay` with the whole reply at once.
    ThreadTester tester(delay, false, {"23.456E-3,3.9876E+0\r\n"});
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

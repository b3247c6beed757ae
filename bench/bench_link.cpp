// bench_link: what a request/reply exchange costs. Runs request after request
// over a pseudo-terminal through the program's channel, driven by the event
// loop, and prints the CPU time per 100 exchanges, the time from the reply's
// last byte to the channel's replyReceived signal, and the CPU time spent on a
// silent tester (requests timing out one after the other).
//
//   bench_link [--exchanges N] [--delay-ms MS] [--silent-seconds S]

#include "benchsupport.h"
#include "link/commandchannel.h"
#include "platform/qtserialport.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
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
    int timeouts = 0;
};

void runUntil(const std::function<bool()> &done)
{
    QTimer wake;
    wake.start(50);
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

Result<Figures> measure(ThreadTester &tester, int exchanges, std::chrono::seconds silentFor)
{
    Figures figures;
    QtSerialPort port(tester.folder());
    CommandChannel channel(port);
    if (const Status opened = port.setPortOpen(true); !opened)
        return opened.failure();

    std::vector<double> latencies;
    int answered = 0;
    // A request the port refuses ends the run: nothing would answer it.
    Status link;
    const auto ask = [&] {
        if (link)
            link = channel.request(QStringLiteral(":fetch?"));
    };
    QObject context;
    QObject::connect(&channel, &CommandChannel::replyReceived, &context, [&](const QString &reply) {
        const auto now = Clock::now();
        ++answered;
        if (reply != QLatin1String("23.456E-3,3.9876E+0"))
            ++figures.failed;
        else if (answered > 3) // the first few warm up
            latencies.push_back(std::chrono::duration<double, std::micro>(now - tester.lastByte()).count());
        if (answered < exchanges + 3)
            ask();
    });
    QObject::connect(&channel, &CommandChannel::timedOut, &context, [&] {
        ++figures.timeouts;
        if (tester.silent())
            ask();
    });

    ask();
    runUntil([&] { return answered >= 3 || !link; });
    const double cpuStart = threadCpuSeconds();
    const auto wallStart = Clock::now();
    runUntil([&] { return answered >= exchanges + 3 || figures.timeouts > 0 || !link; });
    const double scale = 100.0 / exchanges;
    figures.cpuPer100 = (threadCpuSeconds() - cpuStart) * scale;
    figures.wallPer100 = std::chrono::duration<double>(Clock::now() - wallStart).count() * scale;
    figures.medianUs = percentile(latencies, 0.5);
    figures.p95Us = percentile(latencies, 0.95);

    // A tester that never answers: every request ends in its time-out.
    tester.setSilent(true);
    figures.timeouts = 0;
    ask();
    const double silentCpuStart = threadCpuSeconds();
    const auto silentStart = Clock::now();
    runUntil([&] { return Clock::now() - silentStart >= silentFor; });
    figures.silentCpu = threadCpuSeconds() - silentCpuStart;
    figures.silentWall = std::chrono::duration<double>(Clock::now() - silentStart).count();
    channel.cancel();
    tester.setSilent(false);
    if (!link)
        return link.failure();
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

    const Result<Figures> measured = measure(tester, exchanges, silentFor);
    if (!measured) {
        std::fprintf(stderr, "bench_link: %s\n", qPrintable(measured.errorString()));
        return 1;
    }
    const Figures &f = *measured;

    std::printf("exchanges: %d, tester answers after %lld ms, silent tester for %lld s\n\n", exchanges,
                static_cast<long long>(delay.count()), static_cast<long long>(silentFor.count()));
    std::printf("%-48s %14.4f\n", "CPU s per 100 exchanges (UI thread)", f.cpuPer100);
    std::printf("%-48s %14.3f\n", "wall s per 100 exchanges", f.wallPer100);
    std::printf("%-48s %14.1f\n", "last byte -> replyReceived, median us", f.medianUs);
    std::printf("%-48s %14.1f\n", "last byte -> replyReceived, p95 us", f.p95Us);
    std::printf("%-48s %14.4f\n", "CPU s while the tester is silent", f.silentCpu);
    std::printf("%-48s %14.2f\n", "  that is, % of one core", 100.0 * f.silentCpu / f.silentWall);
    std::printf("%-48s %14d\n", "requests timed out while silent", f.timeouts);
    std::printf("%-48s %14d\n", "wrong replies", f.failed);
    return f.failed == 0 ? 0 : 1;
}

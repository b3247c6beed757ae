#pragma once

// What the benchmarks share: a tester on its own thread at the master end of a
// pseudo-terminal, the CPU time of the calling thread, percentiles and
// command-line numbers.

#include "benchdata.h"
#include "processfigures.h"
#include "ptypair.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

// The value at `fraction` (0.5 the median, 0.95 the 95th percentile) of the
// sorted values, nearest rank; 0 for none.
inline double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

// A tester on its own thread at the master end of a pseudo-terminal, linked as
// COM1 (or COMn) in a folder of its own. It answers every ":fetch?" line after `delay`
// with the next of `replies` in turn. Paced, it writes all but the last byte at
// the pace of a 9600 baud line (about 1.04 ms a byte); unpaced, the whole reply
// at once. It notes the time just before it writes the last byte, so figures
// measured from it are upper bounds by the duration of one write call.
class ThreadTester
{
public:
    using SteadyClock = std::chrono::steady_clock;

    // port: the n of the COMn link.
    ThreadTester(std::chrono::milliseconds delay, bool paced, std::vector<std::string> replies, int port = 1)
        : m_pty(port), m_delay(delay), m_paced(paced), m_replies(std::move(replies))
    {
        if (m_pty.isValid() && !m_replies.empty())
            m_thread = std::thread([this] { run(); });
    }

    ~ThreadTester()
    {
        m_quit = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    ThreadTester(const ThreadTester &) = delete;
    ThreadTester &operator=(const ThreadTester &) = delete;

    bool isValid() const { return m_thread.joinable(); }
    QString folder() const { return m_pty.folder(); }
    int answered() const { return m_answered; }
    void setSilent(bool silent) { m_silent = silent; }
    bool silent() const { return m_silent; }
    SteadyClock::time_point lastByte() const { return SteadyClock::time_point(SteadyClock::duration(m_lastByte.load())); }

private:
    void run()
    {
        std::string received;
        while (!m_quit) {
            pollfd fd{m_pty.master(), POLLIN, 0};
            if (::poll(&fd, 1, 50) <= 0)
                continue;
            char chunk[256];
            const ssize_t n = ::read(m_pty.master(), chunk, sizeof chunk);
            if (n <= 0)
                continue;
            received.append(chunk, static_cast<std::size_t>(n));
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
        using namespace std::chrono_literals;
        const std::string &reply = m_replies[static_cast<std::size_t>(m_answered.load()) % m_replies.size()];
        std::this_thread::sleep_for(m_delay);
        const std::size_t head = m_paced ? reply.size() - 1 : 0;
        auto next = SteadyClock::now();
        for (std::size_t at = 0; at < head; ++at) {
            send(reply.data() + at, 1);
            next += 1042us; // 10 bits at 9600 baud
            std::this_thread::sleep_until(next);
        }
        // Noted before the write, so that the reader can never finish first.
        m_lastByte = SteadyClock::now().time_since_epoch().count();
        send(reply.data() + head, reply.size() - head);
        ++m_answered;
    }

    void send(const char *data, std::size_t size) const
    {
        [[maybe_unused]] const auto written = ::write(m_pty.master(), data, size);
    }

    PtyPair m_pty;
    std::chrono::milliseconds m_delay;
    bool m_paced;
    std::vector<std::string> m_replies;
    std::atomic<bool> m_quit{false};
    std::atomic<bool> m_silent{false};
    std::atomic<int> m_answered{0};
    std::atomic<SteadyClock::rep> m_lastByte{0};
    std::thread m_thread;
};

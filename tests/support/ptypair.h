#pragma once

// A pseudo-terminal for tests: the test holds the master end and plays the
// tester; the slave end is linked as COMn in a temporary program folder.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class PtyPair
{
public:
    explicit PtyPair(int port = 1)
    {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            return;
        termios settings{};
        ::tcgetattr(m_slave, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(m_slave, TCSANOW, &settings);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_device = QString::fromLocal8Bit(name);
        m_ok = m_folder.isValid()
            && QFile::link(m_device, QDir(m_folder.path()).filePath(QStringLiteral("COM%1").arg(port)));
    }

    ~PtyPair()
    {
        closeMaster();
        if (m_slave >= 0)
            ::close(m_slave);
    }

    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_ok; }
    QString folder() const { return m_folder.path(); }
    QString device() const { return m_device; }
    int master() const { return m_master; }

    bool write(const QByteArray &bytes) const
    {
        return ::write(m_master, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    }

    // Appends what the program has sent so far to m_sent and returns all of it.
    QByteArray sent()
    {
        char chunk[512];
        for (;;) {
            const ssize_t n = ::read(m_master, chunk, sizeof chunk);
            if (n <= 0)
                break;
            m_sent.append(chunk, n);
        }
        return m_sent;
    }

    // The far end goes away, as when a USB adapter is pulled out. The test's
    // own slave descriptor goes too, so that only the program holds the line.
    void closeMaster()
    {
        if (m_slave >= 0) {
            ::close(m_slave);
            m_slave = -1;
        }
        if (m_master >= 0) {
            ::close(m_master);
            m_master = -1;
        }
    }

private:
    QTemporaryDir m_folder;
    QString m_device;
    QByteArray m_sent;
    int m_master = -1;
    int m_slave = -1;
    bool m_ok = false;
};

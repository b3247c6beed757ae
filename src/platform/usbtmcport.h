#pragma once

#include "platform/serialport.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>

class QThread;

// A USB-TMC tester through Linux's usbtmc driver: the device file
// (/dev/usbtmcN) takes one command per write, and one read fetches one reply.
// Both are USB transfers that block until the device has answered or the
// driver's time-out (set to the reply time-out) has passed, so they run on a
// thread of the port's own, in order; the port is used like the serial line
// from the thread that owns it and nothing there waits.
//
// A reply is fetched only after query(): the device has nothing to say unasked
// (canListen() is false). A device that is unplugged or fails a transfer is
// closed and told once by portLost(); a read that times out is no failure
// (the command channel's own time-out tells it).
//
// A file that is not the driver's (it refuses the driver's time-out) is waited
// on with poll() for at most the reply time-out before each read, so a
// stand-in such as a pseudo-terminal behaves like the device.
class UsbTmcPort : public SerialPort
{
    Q_OBJECT
public:
    // A reply longer than this is taken in several reads.
    static constexpr qsizetype kReadSize = 4096;

    explicit UsbTmcPort(QObject *parent = nullptr);
    ~UsbTmcPort() override;

    UsbTmcPort(const UsbTmcPort &) = delete;
    UsbTmcPort &operator=(const UsbTmcPort &) = delete;

    // Only while the port is closed.
    Status setDevice(const QString &path);

    Status setCommPort(qint16 port) override;
    qint16 commPort() const override { return 0; }
    Wire wire() const override { return Wire::UsbTmc; }
    QString portName() const override { return m_device; }

    void setWireSettings(const WireSettings &settings) override { m_settings = settings; }

    bool portOpen() const override { return m_worker != nullptr; }
    Status setPortOpen(bool open) override;
    bool canListen() const override { return false; }

    Status clearInBuffer() override;
    Status output(const QByteArray &data) override;
    Status query(const QByteArray &data) override;
    Result<QByteArray> input() override;

    // True when the device took the driver's read time-out (the usbtmc driver).
    bool driverTimeout() const { return m_driverTimeout; }

private:
    Status transfer(const QByteArray &data, bool fetchReply);
    void onReplied(quint64 generation, const QByteArray &bytes);
    void onFailed(quint64 generation, const QString &reason);
    void close();
    Failure notOpen(const char *operation) const;

    QString m_device;
    WireSettings m_settings;
    class Worker;
    Worker *m_worker = nullptr;
    QThread *m_thread = nullptr;
    quint64 m_generation = 0;
    QByteArray m_buffer;
    QString m_closedBecause;
    bool m_driverTimeout = false;
    bool m_moreAnnounced = false;
};

// The port's thread: does one transfer after the other. Lives on that thread;
// the port talks to it only by queued calls and hears from it by signals.
class UsbTmcPort::Worker : public QObject
{
    Q_OBJECT
public:
    Worker(int fd, int wakeFd, bool driverTimeout, std::chrono::milliseconds readTimeout, quint64 generation);
    ~Worker() override;

    // Writes the command whole; with fetchReply, then reads one reply.
    void transfer(const QByteArray &command, bool fetchReply);
    // Called from the port's thread: no more transfers, and a wait under way
    // ends at once.
    void stop();

Q_SIGNALS:
    void replied(quint64 generation, const QByteArray &bytes);
    void failed(quint64 generation, const QString &reason);

private:
    void readReply();
    void fail(const QString &reason);

    int m_fd;
    int m_wakeFd;
    bool m_driverTimeout;
    std::chrono::milliseconds m_readTimeout;
    quint64 m_generation;
    std::atomic<bool> m_stopped{false};
    bool m_dead = false;
};

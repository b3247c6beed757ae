#include "platform/usbtmcport.h"

#include "common/releasedwork.h"
#include "platform/porterrors.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/usb/tmc.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
struct UsbTmcTexts
{
    Q_DECLARE_TR_FUNCTIONS(UsbTmcPort)
};

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString openFailureText(const QString &device, int error)
{
    if (error == ENOENT || error == ENODEV || error == ENXIO)
        return UsbTmcTexts::tr("Cannot open USB-TMC device %1: it does not exist (%2). "
                               "Plug the tester in and switch it on, or choose another device in Settings > COMPort.")
            .arg(device, systemError(error));
    if (error == EACCES) {
        const std::optional<DeviceRights> rights = deviceRights(device);
        const DeviceRights shown = rights.value_or(DeviceRights{});
        return UsbTmcTexts::tr("Cannot open USB-TMC device %1: permission denied. It belongs to owner %2, group %3, "
                               "mode %4: ask the administrator to let a group of yours read and write it "
                               "(mode 0660, for instance with a udev rule).")
            .arg(device, shown.owner.isEmpty() ? QStringLiteral("?") : shown.owner,
                 shown.group.isEmpty() ? QStringLiteral("?") : shown.group,
                 QStringLiteral("0%1").arg(shown.mode, 3, 8, QLatin1Char('0')));
    }
    return UsbTmcTexts::tr("Cannot open USB-TMC device %1: %2").arg(device, systemError(error));
}
} // namespace

// --- Worker ---------------------------------------------------------------------------

UsbTmcPort::Worker::Worker(int fd, int wakeFd, bool driverTimeout, std::chrono::milliseconds readTimeout,
                           quint64 generation)
    : m_fd(fd), m_wakeFd(wakeFd), m_driverTimeout(driverTimeout), m_readTimeout(readTimeout), m_generation(generation)
{
}

UsbTmcPort::Worker::~Worker()
{
    ::close(m_fd);
    ::close(m_wakeFd);
}

void UsbTmcPort::Worker::stop()
{
    m_stopped = true;
    const quint64 one = 1;
    // A full counter is awake already.
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

void UsbTmcPort::Worker::transfer(const QByteArray &command, bool fetchReply)
{
    if (m_stopped || m_dead)
        return;
    // The driver sends one write as one message: the command must go whole.
    qsizetype done = 0;
    while (done < command.size()) {
        const ssize_t n = ::write(m_fd, command.constData() + done, size_t(command.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            fail(n < 0 ? systemError(errno) : UsbTmcTexts::tr("the device took nothing"));
            return;
        }
        done += n;
    }
    if (fetchReply)
        readReply();
}

void UsbTmcPort::Worker::readReply()
{
    if (!m_driverTimeout) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        int ready = 0;
        do {
            ready = ::poll(fds, 2, int(m_readTimeout.count()));
        } while (ready < 0 && errno == EINTR);
        if (m_stopped || ready == 0)
            return; // no reply in time: the command channel's time-out tells it
        if (ready < 0) {
            fail(systemError(errno));
            return;
        }
        if (!(fds[0].revents & POLLIN)) {
            fail(UsbTmcTexts::tr("the device went away"));
            return;
        }
    }
    char buffer[kReadSize];
    ssize_t n = 0;
    do {
        n = ::read(m_fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    if (m_stopped)
        return;
    if (n < 0 && errno == ETIMEDOUT)
        return; // the driver gave up waiting: a silent tester, not a lost one
    if (n <= 0) {
        fail(n < 0 ? systemError(errno) : UsbTmcTexts::tr("the device went away"));
        return;
    }
    Q_EMIT replied(m_generation, QByteArray(buffer, n));
}

void UsbTmcPort::Worker::fail(const QString &reason)
{
    m_dead = true;
    if (!m_stopped)
        Q_EMIT failed(m_generation, reason);
}

// --- Port -----------------------------------------------------------------------------

UsbTmcPort::UsbTmcPort(QObject *parent) : SerialPort(parent) {}

UsbTmcPort::~UsbTmcPort()
{
    close();
}

Status UsbTmcPort::setDevice(const QString &path)
{
    if (portOpen())
        return Failure(ErrorKind::PortOpenFailed,
                       UsbTmcTexts::tr("Cannot change the device while %1 is open").arg(m_device));
    m_device = path;
    return {};
}

Status UsbTmcPort::setCommPort(qint16 port)
{
    return Failure(ErrorKind::PortOpenFailed,
                   UsbTmcTexts::tr("%1 is a USB-TMC device, not serial port COM%2").arg(m_device).arg(port));
}

Status UsbTmcPort::setPortOpen(bool open)
{
    if (!open) {
        close();
        return {};
    }
    if (portOpen())
        return {};
    if (m_device.isEmpty())
        return Failure(ErrorKind::PortOpenFailed, UsbTmcTexts::tr("Cannot open a USB-TMC device: no device given"));
    const int fd = ::open(QFile::encodeName(m_device).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Failure(ErrorKind::PortOpenFailed, openFailureText(m_device, errno));
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        const int error = errno;
        ::close(fd);
        return Failure(ErrorKind::PortOpenFailed, openFailureText(m_device, error));
    }
    // The driver's own time-out bounds each transfer; it defaults to 5 s and
    // takes nothing below 100 ms.
    __u32 timeout = __u32(std::max<qint64>(100, m_settings.replyTimeout.count()));
    m_driverTimeout = ::ioctl(fd, USBTMC_IOCTL_SET_TIMEOUT, &timeout) == 0;
    m_buffer.clear();
    m_closedBecause.clear();

    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("usbtmc"));
    m_worker = new Worker(fd, wakeFd, m_driverTimeout, m_settings.replyTimeout, ++m_generation);
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &Worker::replied, this, &UsbTmcPort::onReplied);
    connect(m_worker, &Worker::failed, this, &UsbTmcPort::onFailed);
    m_thread->start();
    return {};
}

void UsbTmcPort::close()
{
    if (!m_worker)
        return;
    // A transfer under way ends on the thread, which then quits and is freed;
    // nothing waits for it here. What it still reports belongs to an older
    // generation and is dropped.
    m_worker->stop();
    m_worker = nullptr;
    m_thread->quit();
    ReleasedWork::adopt(m_thread);
    m_thread = nullptr;
    m_buffer.clear();
}

Status UsbTmcPort::clearInBuffer()
{
    if (!portOpen())
        return notOpen(QT_TRANSLATE_NOOP("UsbTmcPort", "clear the input of"));
    m_buffer.clear();
    return {};
}

Status UsbTmcPort::output(const QByteArray &data)
{
    return transfer(data, false);
}

Status UsbTmcPort::query(const QByteArray &data)
{
    return transfer(data, true);
}

Status UsbTmcPort::transfer(const QByteArray &data, bool fetchReply)
{
    if (!portOpen())
        return notOpen(QT_TRANSLATE_NOOP("UsbTmcPort", "write to"));
    if (data.size() > kTransmitBufferSize)
        return Failure(ErrorKind::PortIoFailed,
                       UsbTmcTexts::tr("Cannot write to %1: %2 bytes do not fit the transmit buffer (%3 bytes)")
                           .arg(m_device)
                           .arg(data.size())
                           .arg(kTransmitBufferSize));
    Worker *worker = m_worker;
    QMetaObject::invokeMethod(worker, [worker, data, fetchReply] { worker->transfer(data, fetchReply); },
                              Qt::QueuedConnection);
    return {};
}

Result<QByteArray> UsbTmcPort::input()
{
    if (!portOpen())
        return notOpen(QT_TRANSLATE_NOOP("UsbTmcPort", "read from"));
    QByteArray data = m_buffer.left(kReceiveBufferSize);
    m_buffer.remove(0, data.size());
    if (!m_buffer.isEmpty() && !m_moreAnnounced) {
        m_moreAnnounced = true;
        QMetaObject::invokeMethod(this, [this] {
                m_moreAnnounced = false;
                if (portOpen() && !m_buffer.isEmpty())
                    Q_EMIT dataArrived();
            },
                                  Qt::QueuedConnection);
    }
    return data;
}

void UsbTmcPort::onReplied(quint64 generation, const QByteArray &bytes)
{
    if (generation != m_generation || !portOpen())
        return;
    // Like a serial port's driver, nothing beyond a few receive buffers is
    // kept for a reader that does not read.
    if (m_buffer.size() < 4 * kReceiveBufferSize)
        m_buffer += bytes;
    Q_EMIT dataArrived();
}

void UsbTmcPort::onFailed(quint64 generation, const QString &reason)
{
    if (generation != m_generation || !portOpen())
        return;
    m_closedBecause = reason;
    close();
    Q_EMIT portLost(reason);
}

Failure UsbTmcPort::notOpen(const char *operation) const
{
    QString text = UsbTmcTexts::tr("Cannot %1 %2: the device is not open")
                       .arg(QCoreApplication::translate("UsbTmcPort", operation), m_device);
    if (!m_closedBecause.isEmpty())
        text += UsbTmcTexts::tr(" (closed after: %1)").arg(m_closedBecause);
    return Failure(ErrorKind::PortNotOpen, text);
}

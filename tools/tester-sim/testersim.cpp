#include "testersim.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>

#include <cerrno>
#include <cmath>
#include <limits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

QString printable(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            text += QStringLiteral("\\r");
        else if (c == '\n')
            text += QStringLiteral("\\n");
        else if (c == '\\')
            text += QStringLiteral("\\\\");
        else if (u < 0x20 || u >= 0x7f)
            text += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            text += QLatin1Char(c);
    }
    return text;
}

TesterSim::TesterSim(SimOptions options, std::unique_ptr<ReplySource> replies,
                     QRandomGenerator &random)
    : m_options(std::move(options)), m_replies(std::move(replies)), m_random(random)
{
    m_sendTimer.setSingleShot(true);
    m_sendTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_sendTimer, &QTimer::timeout, this, &TesterSim::sendDue);
    m_floodTimer.setInterval(kFloodInterval);
    connect(&m_floodTimer, &QTimer::timeout, this, &TesterSim::sendFlood);
    m_pushTimer.setInterval(kPushInterval);
    connect(&m_pushTimer, &QTimer::timeout, this, &TesterSim::answerFetch);
}

QByteArray ProfileReplies::next()
{
    const QByteArray line = m_source->next();
    static const TesterProfile plain = *builtInProfile(kDefaultProfileName);
    const DecodedReply reading = decodeReply(plain, QString::fromLatin1(line).trimmed());
    // From the overflow mark up, the probes are open.
    const auto value = [](const QString &field) {
        const double v = field.toDouble();
        return std::fabs(v) >= 1e9 ? std::numeric_limits<double>::quiet_NaN() : v;
    };
    const double ohms = value(reading.fields[0]);
    const double volts = value(reading.fields[1]);
    QString word;
    if (m_profile.judgement.present())
        word = ohms < kPassBelowOhms ? m_profile.judgement.passWords.first() : m_profile.judgement.failWords.first();
    return encodeReply(m_profile, ohms, volts, word);
}

TesterSim::~TesterSim()
{
    shutdown();
}

Status TesterSim::start()
{
    const Status started = m_options.endpoint == SimOptions::Endpoint::Tcp ? startTcp() : startPty();
    if (started && m_options.profile.pushes())
        m_pushTimer.start();
    return started;
}

Status TesterSim::startTcp()
{
    QHostAddress address;
    if (!address.setAddress(m_options.tcpHost))
        return Failure(QStringLiteral("%1 is no IP address to listen on").arg(m_options.tcpHost));
    if (!m_server.listen(address, m_options.tcpPort))
        return Failure(QStringLiteral("Cannot listen on %1:%2: %3").arg(m_options.tcpHost).arg(m_options.tcpPort)
                               .arg(m_server.errorString()));
    connect(&m_server, &QTcpServer::newConnection, this, &TesterSim::onConnection);
    std::printf("%sready tcp %s:%u\n", qPrintable(m_options.logPrefix), qPrintable(m_options.tcpHost),
                unsigned(m_server.serverPort()));
    std::fflush(stdout);
    return {};
}

void TesterSim::onConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_client) {
            log(QStringLiteral("connection replaced"));
            m_client->disconnect(this);
            m_client->abort();
            m_client->deleteLater();
        }
        m_client = socket;
        m_client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        log(QStringLiteral("connection from %1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort()));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onBytes(socket->readAll()); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (m_client != socket)
                return;
            log(QStringLiteral("connection closed"));
            m_client = nullptr;
            socket->deleteLater();
            m_outbox.clear();
            m_received.clear();
        });
    }
}

Status TesterSim::startPty()
{
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
        return Failure(QStringLiteral("Cannot open a pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    m_devicePath = QString::fromLocal8Bit(name);

    // Raw, so that nothing is echoed or translated; the program sets its own
    // line settings again when it opens the port.
    termios settings{};
    ::tcgetattr(m_slave, &settings);
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    ::tcsetattr(m_slave, TCSANOW, &settings);
    // The slave end stays open here as well: without any holder of it, every
    // read of the master fails until the program opens the port.
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);

    m_linkPath = m_options.endpoint == SimOptions::Endpoint::UsbTmc
        ? QFileInfo(m_options.usbTmcPath).absoluteFilePath()
        : QDir(m_options.dir).absoluteFilePath(QStringLiteral("COM%1").arg(m_options.port));
    const QFileInfo existing(m_linkPath);
    if (existing.isSymLink()) {
        QFile::remove(m_linkPath); // left behind by a simulator that was killed
    } else if (existing.exists()) {
        const QString path = std::exchange(m_linkPath, QString());
        return Failure(QStringLiteral("%1 exists and is not a link").arg(path));
    }
    if (!QFile::link(m_devicePath, m_linkPath)) {
        const QString path = std::exchange(m_linkPath, QString());
        return Failure(QStringLiteral("Cannot create the link %1 -> %2").arg(path, m_devicePath));
    }

    m_notifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &TesterSim::onReadable);
    std::printf("%sready %s -> %s\n", qPrintable(m_options.logPrefix), qPrintable(m_linkPath), qPrintable(m_devicePath));
    std::fflush(stdout);
    return {};
}

void TesterSim::shutdown()
{
    m_sendTimer.stop();
    m_floodTimer.stop();
    m_pushTimer.stop();
    m_notifier.reset();
    if (m_client) {
        m_client->disconnect(this);
        m_client->abort();
        delete m_client;
        m_client = nullptr;
    }
    m_server.close();
    if (!m_linkPath.isEmpty()) {
        // Remove the link only while it is still ours.
        if (QFileInfo(m_linkPath).symLinkTarget() == m_devicePath)
            QFile::remove(m_linkPath);
        m_linkPath.clear();
    }
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
}

void TesterSim::onReadable()
{
    char chunk[4096];
    const ssize_t n = ::read(m_master, chunk, sizeof chunk);
    if (n <= 0) {
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        log(QStringLiteral("read failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        m_notifier->setEnabled(false);
        return;
    }
    onBytes(QByteArray(chunk, n));
}

void TesterSim::onBytes(const QByteArray &bytes)
{
    m_received.append(bytes);
    // A command ends at CR, LF or both, whichever the profile uses.
    for (qsizetype end = m_received.indexOf('\n'); ; end = m_received.indexOf('\n')) {
        const qsizetype cr = m_received.indexOf('\r');
        if (cr >= 0 && (end < 0 || cr < end))
            end = cr;
        if (end < 0)
            break;
        const QByteArray line = m_received.left(end);
        m_received.remove(0, end + 1);
        if (!line.isEmpty())
            handleCommand(line);
    }
}

void TesterSim::handleCommand(const QByteArray &line)
{
    const QByteArray command = line.trimmed().toLower();
    const TesterProfile &profile = m_options.profile;
    if (!profile.pushes() && command == profile.request.toLatin1().toLower()) {
        log(QStringLiteral("rx %1").arg(printable(line)));
        answerFetch();
    } else if (command == "func rv" && profile.name == kDefaultProfileName) {
        log(QStringLiteral("rx %1 (function: resistance and voltage)").arg(printable(line)));
    } else if (command == "trig:sour imm" && profile.name == kDefaultProfileName) {
        log(QStringLiteral("rx %1 (trigger: immediate)").arg(printable(line)));
    } else if (const qsizetype step = profile.setupCommands.indexOf(QString::fromLatin1(line.trimmed())); step >= 0) {
        log(QStringLiteral("rx %1 (set-up command %2)").arg(printable(line)).arg(step + 1));
    } else {
        log(QStringLiteral("rx %1 (unknown command, ignored)").arg(printable(line)));
    }
}

void TesterSim::answerFetch()
{
    if (m_options.silent || m_hungUp)
        return;
    if (++m_fetches == m_options.dropReply) {
        log(QStringLiteral("dropped reply to request %1").arg(m_fetches));
        return;
    }
    const auto due = Clock::now() + m_options.delay;
    if (m_options.hangupAfter >= 0 && m_repliesSent >= m_options.hangupAfter) {
        m_hungUp = true;
        schedule({due, {}, true});
        return;
    }
    if (m_client && !m_resetDone && m_options.resetAfter >= 0 && m_repliesSent >= m_options.resetAfter) {
        m_resetDone = true;
        const QByteArray reply = m_replies->next();
        schedule({due, reply.left(reply.size() / 2), false, true});
        return;
    }
    if (m_options.flood) {
        if (!m_floodTimer.isActive())
            m_floodTimer.start();
        return;
    }
    QByteArray reply = m_options.emptyAfter >= 0 && m_repliesSent >= m_options.emptyAfter
        ? m_options.profile.replyEnd
        : m_replies->next();
    if (m_options.doubled)
        reply += m_replies->next();
    ++m_repliesSent;
    if (m_options.split <= 0) {
        schedule({due, reply});
        return;
    }
    auto pieceDue = due;
    for (qsizetype at = 0; at < reply.size(); at += m_options.split) {
        schedule({pieceDue, reply.mid(at, m_options.split)});
        pieceDue += kSplitGap;
    }
}

void TesterSim::schedule(Piece piece)
{
    // Pieces leave in order: none overtakes one queued before it.
    if (!m_outbox.empty() && piece.due < m_outbox.back().due)
        piece.due = m_outbox.back().due;
    m_outbox.push_back(std::move(piece));
    sendDue();
}

void TesterSim::sendDue()
{
    while (!m_outbox.empty()) {
        const auto now = Clock::now();
        Piece &front = m_outbox.front();
        if (front.due > now) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(front.due - now);
            m_sendTimer.start(wait);
            return;
        }
        if (front.hangup) {
            hangup();
            return;
        }
        if (front.reset) {
            resetConnection(front.bytes);
            m_outbox.pop_front();
            continue;
        }
        writeBytes(front.bytes);
        m_outbox.pop_front();
    }
}

void TesterSim::sendFlood()
{
    QByteArray bytes;
    for (int i = 0; i < m_options.floodChunk; ++i)
        bytes += static_cast<char>(m_random.bounded('!', '~' + 1));
    writeBytes(bytes);
}

void TesterSim::resetConnection(const QByteArray &half)
{
    if (!m_client)
        return;
    writeBytes(half);
    m_client->flush();
    // No lingering: closing sends a reset instead of an orderly end.
    const linger abrupt{1, 0};
    ::setsockopt(int(m_client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
    log(QStringLiteral("connection reset after %1 of %2 reply bytes").arg(half.size()).arg(half.size() * 2));
    QTcpSocket *client = std::exchange(m_client, nullptr);
    client->disconnect(this);
    client->abort();
    client->deleteLater();
    m_received.clear();
}

void TesterSim::writeBytes(const QByteArray &bytes)
{
    if (m_options.endpoint == SimOptions::Endpoint::Tcp) {
        if (!m_client) {
            log(QStringLiteral("tx dropped %1 bytes: no connection").arg(bytes.size()));
            return;
        }
        m_client->write(bytes);
        m_client->flush();
        if (!m_floodTimer.isActive())
            log(QStringLiteral("tx %1").arg(printable(bytes)));
        return;
    }
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // Nobody reads the other end and its buffer is full: drop the rest,
            // as a real line would lose it.
            log(QStringLiteral("tx dropped %1 bytes: %2")
                    .arg(bytes.size() - done)
                    .arg(QString::fromLocal8Bit(std::strerror(errno))));
            return;
        }
        done += n;
    }
    if (!m_floodTimer.isActive())
        log(QStringLiteral("tx %1").arg(printable(bytes)));
}

void TesterSim::hangup()
{
    log(QStringLiteral("hangup after %1 replies").arg(m_repliesSent));
    m_outbox.clear();
    shutdown();
    QCoreApplication::exit(0);
}

void TesterSim::log(const QString &text) const
{
    std::printf("%s%s %s\n", qPrintable(m_options.logPrefix),
                qPrintable(QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz"))), qPrintable(text));
    std::fflush(stdout);
}

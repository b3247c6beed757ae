// The reply framing fed the same bytes in random pieces, each announced as the
// port does: a request finishes exactly once at the first piece that brings an
// LF (with the text up to the last LF so far, its trailing CR and LF removed),
// as a bad reply once more than the receive buffer has arrived without one, and
// not at all otherwise. Nothing after the request has finished is reported.
#include "link/commandchannel.h"
#include "platform/serialport.h"

#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

class ChunkedPort : public SerialPort
{
public:
    QByteArray ready;

    void setCommPort(qint16) override {}
    qint16 commPort() const override { return 1; }
    bool portOpen() const override { return true; }
    void setPortOpen(bool) override {}
    void clearInBuffer() override { ready.clear(); }
    void output(const QByteArray &) override {}
    QByteArray input() override { return std::exchange(ready, QByteArray()); }

    void arrive(const QByteArray &bytes)
    {
        ready += bytes;
        Q_EMIT dataArrived();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // First byte: seed for the piece sizes; the rest: the bytes on the line.
    unsigned seed = data[0];
    const QByteArray line(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    ChunkedPort port;
    CommandChannel channel(port);
    int finishes = 0;
    QString text;
    bool bad = false;
    QObject context;
    QObject::connect(&channel, &CommandChannel::replyReceived, &context, [&](const QString &reply) {
        ++finishes;
        text = reply;
    });
    QObject::connect(&channel, &CommandChannel::badReply, &context, [&] {
        ++finishes;
        bad = true;
    });
    channel.request(QStringLiteral(":fetch?"));

    // What the channel should have taken: pieces up to the first one with an LF
    // or the one that takes the buffer past its limit.
    QByteArray consumed;
    int expectedFinishes = 0;
    bool expectedBad = false;
    QString expectedText;
    for (qsizetype at = 0; at < line.size();) {
        seed = seed * 1103515245u + 12345u;
        const qsizetype piece = 1 + qsizetype((seed >> 16) % 64);
        const QByteArray bytes = line.mid(at, piece);
        at += piece;
        if (expectedFinishes == 0) {
            consumed += bytes;
            const qsizetype lf = consumed.lastIndexOf('\n');
            if (lf >= 0) {
                expectedFinishes = 1;
                const QByteArray upToLf = consumed.left(lf + 1);
                expectedBad = upToLf.size() > CommandChannel::kMaxReplyLength + 2;
                expectedText = expectedBad ? QString() : CommandChannel::replyText(upToLf);
            } else if (consumed.size() > CommandChannel::kMaxReplyLength) {
                expectedFinishes = 1;
                expectedBad = true;
            }
        }
        port.arrive(bytes);
    }
    if (finishes != expectedFinishes || bad != expectedBad || (!bad && text != expectedText))
        std::abort();
    if (!bad && (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r'))))
        std::abort();
    if (channel.awaitingReply() != (expectedFinishes == 0))
        std::abort();
    return 0;
}

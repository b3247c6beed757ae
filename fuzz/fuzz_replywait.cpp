// The reply wait fed the same bytes in random pieces: it always ends, it is
// complete exactly when the last piece read ends in LF, and it returns the
// collected text without its last two characters.
#include "link/commandchannel.h"
#include "platform/eventpump.h"
#include "platform/serialport.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

class ChunkedPort : public SerialPort
{
public:
    std::vector<QByteArray> chunks;
    size_t next = 0;
    bool open = true;

    void setCommPort(qint16) override {}
    qint16 commPort() const override { return 1; }
    bool portOpen() const override { return open; }
    void setPortOpen(bool o) override { open = o; }
    void clearInBuffer() override {}
    void output(const QByteArray &) override {}
    QByteArray input() override
    {
        if (next < chunks.size())
            return chunks[next++];
        open = false; // the far end has nothing more: as if it hung up
        return {};
    }
};

class NoEvents : public EventPump
{
public:
    void processOnceWaiting() override {}
    void processPending() override {}
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
    for (qsizetype at = 0; at < line.size();) {
        seed = seed * 1103515245u + 12345u;
        const qsizetype piece = 1 + qsizetype((seed >> 16) % 8);
        port.chunks.push_back(line.mid(at, piece));
        at += piece;
    }
    NoEvents pump;
    CommandChannel channel(port, pump);
    const Reply reply = channel.readReply();

    // What the wait consumed: pieces up to the first one that ends in LF.
    QByteArray consumed;
    bool endedOnLf = false;
    for (const QByteArray &piece : port.chunks) {
        consumed += piece;
        if (consumed.endsWith('\n')) {
            endedOnLf = true;
            break;
        }
    }
    if (reply.complete != endedOnLf)
        std::abort();
    const QString expected = consumed.size() <= 2 ? QString()
                                                  : QString::fromLatin1(consumed.left(consumed.size() - 2));
    if (reply.text != expected)
        std::abort();
    return 0;
}

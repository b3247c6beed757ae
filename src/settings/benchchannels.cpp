#include "settings/benchchannels.h"

#include "link/testerprofile.h"
#include "settings/optionsfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {
const QString kCountKey = QStringLiteral("Channels/Count");

QString portKey(int n)
{
    return QStringLiteral("Channels/Port%1").arg(n);
}

QString profileKey(int n)
{
    return QStringLiteral("Channels/Profile%1").arg(n);
}
} // namespace

BenchChannels::BenchChannels()
{
    for (int n = 2; n <= kMaxChannels; ++n)
        channel(n) = ChannelSetup{PortAddress::serial(qint16(n)), kDefaultProfileName};
}

QString benchChannelsPath(const QString &folder)
{
    return QDir(folder).filePath(QString::fromLatin1(kChannelsFileName));
}

Result<BenchChannels> loadBenchChannels(const QString &folder)
{
    BenchChannels channels;
    const QString path = benchChannelsPath(folder);
    const QFileInfo info(path);
    if (!info.exists())
        return channels;
    if (const QString refused = optionsFileRefusal(info); !refused.isEmpty())
        return Failure(ErrorKind::FileIo, refused);
    const QSettings stored(path, QSettings::IniFormat);
    bool ok = false;
    const int count = stored.value(kCountKey).toString().trimmed().toInt(&ok);
    if (ok && count >= 1 && count <= kMaxChannels)
        channels.count = count;
    if (const QString first = stored.value(portKey(1)).toString(); !first.trimmed().isEmpty()) {
        // Channel 1's serial port is Settings.ini's: only another wire is kept here.
        if (const Result<PortAddress> port = PortAddress::parse(first); port && port->wire != Wire::Serial)
            channels.firstPort = *port;
    }
    for (int n = 2; n <= kMaxChannels; ++n) {
        if (const Result<PortAddress> port = PortAddress::parse(stored.value(portKey(n)).toString()); port)
            channels.channel(n).port = *port;
        if (const QString profile = stored.value(profileKey(n)).toString().trimmed(); !profile.isEmpty())
            channels.channel(n).profile = profile;
    }
    return channels;
}

Status saveBenchChannels(const QString &folder, const BenchChannels &channels)
{
    return saveOptionsFile(benchChannelsPath(folder), [&channels](QSettings &stored) {
        stored.setValue(kCountKey, channels.count);
        if (channels.firstPort)
            stored.setValue(portKey(1), channels.firstPort->text());
        else
            stored.remove(portKey(1));
        for (int n = 2; n <= kMaxChannels; ++n) {
            stored.setValue(portKey(n), channels.channel(n).port.text());
            stored.setValue(profileKey(n), channels.channel(n).profile);
        }
    });
}

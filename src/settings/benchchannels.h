#pragma once

#include "common/result.h"
#include "platform/portaddress.h"

#include <QString>

#include <array>
#include <optional>

// The bench's channels: one to four test heads, each a tester with its own
// port and profile. They live in their own INI file beside Settings.ini
// (kChannelsFileName), so that Settings.ini stays as it is and keeps
// describing channel 1: its line 1 is channel 1's serial port, and
// TesterProfile.ini its profile. The file is written only when the operator
// changes the channels, so a bench of one serial channel never has one.
//
//   [Channels]
//   Count=2
//   Port1=lab7:5025        ; channel 1 when it is not on a serial port
//   Port2=COM2
//   Profile2=default       ; a built-in profile's name or a profile file
inline constexpr const char *kChannelsFileName = "Channels.ini";
inline constexpr int kMaxChannels = 4;

struct ChannelSetup
{
    PortAddress port;
    QString profile;

    bool operator==(const ChannelSetup &other) const { return port == other.port && profile == other.profile; }
};

struct BenchChannels
{
    int count = 1;
    // Channel 1's port when it is a LAN tester or a USB-TMC device; none:
    // the serial port of Settings.ini.
    std::optional<PortAddress> firstPort;
    // Channels 2 to 4: COM2..COM4 with the default profile until set.
    std::array<ChannelSetup, kMaxChannels - 1> extra;

    BenchChannels();
    // Channel n's set-up, n from 2 to kMaxChannels.
    ChannelSetup &channel(int n) { return extra[size_t(n - 2)]; }
    const ChannelSetup &channel(int n) const { return extra[size_t(n - 2)]; }

    bool operator==(const BenchChannels &other) const
    {
        return count == other.count && firstPort == other.firstPort && extra == other.extra;
    }
};

// <folder>/Channels.ini
QString benchChannelsPath(const QString &folder);

// The stored channels; a missing file gives one channel, and a missing or
// unreadable value its default (a count outside 1..4 one channel, a port that
// cannot be read the channel's COM port). A file that is no regular file or
// too large is not read: that fails with a text naming the path.
Result<BenchChannels> loadBenchChannels(const QString &folder);

// Writes every value; fails with the reason when the file cannot be written.
Status saveBenchChannels(const QString &folder, const BenchChannels &channels);

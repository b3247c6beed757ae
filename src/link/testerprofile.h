#pragma once

#include "common/result.h"
#include "link/testernumber.h"
#include "platform/serialport.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <chrono>
#include <optional>

// How the program talks to one family of testers: the line settings, the
// commands that set the tester up at START, how a reading is asked for (or
// that the tester sends its readings by itself), and how a reply line is read.
// A profile is data: the built-in ones below, or a JSON file an engineer writes
// (the keys are described in docs/readmeE.txt) and that is checked at START.
//
// Reading a reply turns it into the program's own notation: the resistance
// text in ohms and the voltage text in volts, overflow and no-reading in the
// marks the rest of the program knows. A field the profile leaves as it is
// (scale 1, the program's own thresholds) keeps its text byte for byte.
struct TesterProfile
{
    // One number field of the reply: its place and its factor to ohms or volts.
    struct Field
    {
        int index = 0;
        double scale = 1.0;
        // The tester's step of this quantity in ohms or volts, when the
        // profile states it (the voltage only: it bounds the K-value's
        // uncertainty); otherwise the last digit of each reading tells it.
        std::optional<double> resolution;
    };

    // When a field means overflow or that there is no reading: from a value
    // (of the number as the tester wrote it) or one of the words.
    struct Mark
    {
        double from;
        QStringList words;
    };

    // An optional field that carries the tester's own pass/fail word.
    struct JudgementField
    {
        int index = -1; // -1: the tester does not judge
        QStringList passWords;
        QStringList failWords;

        bool present() const { return index >= 0; }
    };

    enum class Mode { Query, Push };

    // The wire the tester is on, and how that wire is driven. Without a wire
    // the tester is reached over whichever wire the port chosen names (a
    // serial port unless the operator chose otherwise).
    struct Transport
    {
        std::optional<Wire> wire;
        WireSettings settings; // its replyTimeout is the profile's
    };

    // Field indexes run from 0 to kMaxFieldIndex: a reply is read as ten fields.
    static constexpr int kMaxFieldIndex = 9;

    QString name;
    QString description;
    // "built-in", or the path of the file the profile came from.
    QString origin;

    LineSettings line;
    Transport transport;
    QByteArray requestEnd = QByteArrayLiteral("\r\n");
    QByteArray replyEnd = QByteArrayLiteral("\r\n");
    QStringList setupCommands;
    Mode mode = Mode::Query;
    QString request; // empty in push mode
    std::chrono::milliseconds pollInterval{300};
    std::chrono::milliseconds replyTimeout{1000};

    QString separator = QStringLiteral(",");
    Field resistance{0, 1.0, std::nullopt};
    Field voltage{1, 1.0, std::nullopt};
    // The program's own number rules unless the profile says otherwise.
    Mark overflow{kOverflowFrom, {}};
    Mark noReading{kNoReadingFrom, {}};
    JudgementField judgement;

    bool pushes() const { return mode == Mode::Push; }
    // The byte that ends a reply line: the last one of replyEnd.
    char replyTerminator() const { return replyEnd.back(); }
    // "default (built-in)" or "bench7.json (/path/profiles/bench7.json)".
    QString displayName() const;
    // The wire settings in force: the transport's, with the reply time-out.
    WireSettings wireSettings() const;
};

// What the tester said about the cell in its own words.
enum class TesterVerdict { None, Pass, Fail, Unknown };

// One reply line read with a profile.
struct DecodedReply
{
    // 0: resistance text in ohms, 1: voltage text in volts.
    std::array<QString, 2> fields;
    // The judgement field as the tester wrote it (blanks around it removed),
    // empty when the profile has none or the reply lacks it.
    QString testerWord;
    TesterVerdict verdict = TesterVerdict::None;
};

// "serial", "tcp" or "usbtmc", as a profile names a wire.
QString wireKey(Wire wire);
// What the operator calls a wire: "serial line", "LAN", "USB-TMC".
QString wireName(Wire wire);

// Reads one reply line (without its line end) with the profile.
DecodedReply decodeReply(const TesterProfile &profile, const QString &line);

// The reply line a tester of this profile sends for a reading (line end
// included): the numbers in the profile's units, the judgement word when the
// profile has a field for it. ohms or volts of NaN stand for open probes and
// are written as the profile's no-reading word (or a number from its
// no-reading value). Used by the simulated tester and the tests.
QByteArray encodeReply(const TesterProfile &profile, double ohms, double volts, const QString &testerWord = {});

// Reads a profile from its JSON text. origin names the file in messages.
// Every key is checked: a missing or unknown key, a wrong type, a value out of
// range or keys that contradict each other refuse the whole profile, with a
// text that names the file, the key and what is wrong with it.
Result<TesterProfile> parseTesterProfile(const QByteArray &json, const QString &origin);

// Reads a profile file (a regular file of at most kMaxProfileFileSize bytes).
Result<TesterProfile> readTesterProfileFile(const QString &path);
inline constexpr qint64 kMaxProfileFileSize = 64 * 1024;

// The profiles the program brings: "default" (today's tester, first),
// "query-judging" and "push".
const QList<TesterProfile> &builtInProfiles();
std::optional<TesterProfile> builtInProfile(const QString &name);
// The JSON text a built-in profile is read from (an example for a new file).
QByteArray builtInProfileJson(const QString &name);
inline const QString kDefaultProfileName = QStringLiteral("default");

// tester-sim: a battery tester on a pseudo-terminal, for trying the program and
// its tests without an instrument. See --help.

#include "replies.h"
#include "platform/filelocations.h"
#include "settings/settingscodec.h"
#include "settings/settingsfile.h"
#include "testersim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTime>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto ignored = ::write(g_signalPipe[1], &byte, 1);
}

// The message with its control characters shown as escapes (a NUL as \0,
// the rest as \xHH), so that a NUL a profile holds does not end the line
// early and no byte of a profile reaches the terminal as a control.
QString visible(const QString &message)
{
    QString shown;
    for (const QChar c : message) {
        if (c.unicode() == 0)
            shown += QLatin1String("\\0");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "tester-sim: %s\n", qPrintable(visible(message)));
    std::exit(2);
}

int intOption(const QCommandLineParser &parser, const QString &name, int minimum)
{
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < minimum)
        fail(QStringLiteral("--%1 needs a whole number of at least %2").arg(name).arg(minimum));
    return value;
}

// A "min:max" pair of milliseconds.
void rangeOption(const QCommandLineParser &parser, const QString &name, double *low, double *high)
{
    if (!parser.isSet(name))
        return;
    const QStringList parts = parser.value(name).split(QLatin1Char(':'));
    bool okLow = false;
    bool okHigh = false;
    const double first = parts.value(0).toDouble(&okLow);
    const double second = parts.value(1).toDouble(&okHigh);
    if (parts.size() != 2 || !okLow || !okHigh || first < 0 || second < first)
        fail(QStringLiteral("--%1 needs min:max in milliseconds, min not above max").arg(name));
    *low = first;
    *high = second;
}

std::unique_ptr<ReplySource> cellLineReplies(const QCommandLineParser &parser, QRandomGenerator &random,
                                             const QString &truthSuffix)
{
    CellLine::Settings settings;
    const QString kinds = parser.value(QStringLiteral("cell-line"));
    if (kinds != QLatin1String("random") && (!CellLine::parsePattern(kinds, &settings.pattern) || settings.pattern.isEmpty()))
        fail(QStringLiteral("--cell-line needs \"random\" or kinds held, brief, creep separated by \",\""));
    if (parser.isSet(QStringLiteral("cells")))
        settings.cells = intOption(parser, QStringLiteral("cells"), 1);
    rangeOption(parser, QStringLiteral("gap-ms"), &settings.gapMinMs, &settings.gapMaxMs);
    rangeOption(parser, QStringLiteral("hold-ms"), &settings.holdMinMs, &settings.holdMaxMs);
    if (parser.isSet(QStringLiteral("id-prefix")))
        settings.idPrefix = parser.value(QStringLiteral("id-prefix"));
    if (parser.isSet(QStringLiteral("id-cycle")))
        settings.idCycle = intOption(parser, QStringLiteral("id-cycle"), 1);
    if (parser.isSet(QStringLiteral("drift-mv-per-day"))) {
        bool ok = false;
        settings.driftVoltsPerDay = parser.value(QStringLiteral("drift-mv-per-day")).toDouble(&ok) / 1000.0;
        if (!ok || !std::isfinite(settings.driftVoltsPerDay))
            fail(QStringLiteral("--drift-mv-per-day needs a number"));
    }
    if (parser.isSet(QStringLiteral("day-ms")))
        settings.dayMs = intOption(parser, QStringLiteral("day-ms"), 1);
    if (parser.isSet(QStringLiteral("bounce"))) {
        bool ok = false;
        settings.bounceShare = parser.value(QStringLiteral("bounce")).toDouble(&ok);
        if (!ok || settings.bounceShare < 0 || settings.bounceShare > 1)
            fail(QStringLiteral("--bounce needs a share from 0 to 1"));
    }
    rangeOption(parser, QStringLiteral("bounce-ms"), &settings.bounceMinMs, &settings.bounceMaxMs);

    // The ground truth, flushed line by line so that a reader sees every cell
    // as soon as it is made; each tester of several has a file of its own.
    auto truth = std::make_shared<QFile>();
    if (parser.isSet(QStringLiteral("truth"))) {
        truth->setFileName(parser.value(QStringLiteral("truth")) + truthSuffix);
        if (!truth->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
            fail(QStringLiteral("cannot write %1: %2").arg(truth->fileName(), truth->errorString()));
    }
    const QString prefix = truthSuffix.isEmpty() ? QString() : QStringLiteral("[%1] ").arg(truthSuffix.mid(1));
    const auto stamp = [prefix] { return prefix + QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")); };
    auto announce = [stamp, truth](const CellLine::Cell &cell) {
        const QByteArray line = CellLine::truthLine(cell);
        std::printf("%s %s\n", qPrintable(stamp()), line.constData());
        std::fflush(stdout);
        if (truth->isOpen()) {
            truth->write(line + '\n');
            truth->flush();
        }
    };
    auto done = [stamp, truth] {
        std::printf("%s cell line done\n", qPrintable(stamp()));
        std::fflush(stdout);
        if (truth->isOpen()) {
            truth->write("done\n");
            truth->flush();
        }
    };
    const int step = parser.isSet(QStringLiteral("step-ms")) ? intOption(parser, QStringLiteral("step-ms"), 1) : 0;
    return std::make_unique<CellLineReplies>(settings, random.generate(), announce, done, step);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tester-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BIN4870_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated battery tester on a pseudo-terminal, a TCP socket or a USB-TMC stand-in. Links it as COMn in a folder, "
        "logs every command line it receives and answers \":fetch?\" with "
        "\"<resistance ohms>,<voltage volts>\" followed by CR LF (or as --profile says). By default a cell is put on "
        "the probes every few seconds; open probes read +9.9E+37,+9.9E+37."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("dir"), QStringLiteral("Folder for the COMn link (default: where bin4870 beside this program looks: this folder in a build tree, ~/.config/bin4870 when installed)."), QStringLiteral("path")},
        {QStringLiteral("port"), QStringLiteral("n of the COMn link (default 1)."), QStringLiteral("n"), QStringLiteral("1")},
        {QStringLiteral("reply"), QStringLiteral("Answer every :fetch? with this line; \\r \\n \\t \\\\ \\xHH are decoded."), QStringLiteral("text")},
        {QStringLiteral("script"), QStringLiteral("Answer with the lines of this file in turn, starting over at the end."), QStringLiteral("file")},
        {QStringLiteral("no-eol"), QStringLiteral("Do not add CR LF to --reply and --script lines.")},
        {QStringLiteral("garbage"), QStringLiteral("Answer with random printable and binary junk ended by CR LF.")},
        {QStringLiteral("delay"), QStringLiteral("Wait this long before answering (default 0); above 1000 the reply comes after the program's time-out."), QStringLiteral("ms"), QStringLiteral("0")},
        {QStringLiteral("silent"), QStringLiteral("Never answer.")},
        {QStringLiteral("split"), QStringLiteral("Write each reply in pieces of n bytes, 5 ms apart."), QStringLiteral("n"), QStringLiteral("0")},
        {QStringLiteral("double"), QStringLiteral("Write two reply lines in one write.")},
        {QStringLiteral("flood"), QStringLiteral("Once asked, send bytes without a line end for ever.")},
        {QStringLiteral("flood-chunk"), QStringLiteral("Bytes per flood write, one write every 16 ms (default 16, about the line's speed)."), QStringLiteral("n"), QStringLiteral("16")},
        {QStringLiteral("drop"), QStringLiteral("Leave the n-th :fetch? unanswered (1 = the first)."), QStringLiteral("n")},
        {QStringLiteral("hangup-after"), QStringLiteral("After n replies, close the line instead of answering and exit."), QStringLiteral("n")},
        {QStringLiteral("empty-after"), QStringLiteral("After n replies, answer with the reply line end alone (CR LF by default)."), QStringLiteral("n")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the random numbers, for repeatable runs."), QStringLiteral("n")},
        {QStringLiteral("cell-line"), QStringLiteral("Play a line of cells: \"random\" for a mix, or kinds in turn such as "
                                                     "\"held,brief,creep\" (held: settles and is held; brief: lifted before it "
                                                     "settles; creep: never settles). Time starts at the first :fetch?."),
         QStringLiteral("kinds")},
        {QStringLiteral("cells"), QStringLiteral("End the cell line after n cells; the probes then stay open."), QStringLiteral("n")},
        {QStringLiteral("gap-ms"), QStringLiteral("Open probes before each cell, a random time in min:max (default 500:2000)."), QStringLiteral("min:max")},
        {QStringLiteral("hold-ms"), QStringLiteral("How long a held or creeping cell stays on, min:max (default 1500:3500)."), QStringLiteral("min:max")},
        {QStringLiteral("bounce"), QStringLiteral("Share (0 to 1) of held cells that lose contact once after settling and read open meanwhile (default 0)."), QStringLiteral("share")},
        {QStringLiteral("bounce-ms"), QStringLiteral("How long a bounce reads open, min:max (default 50:250)."), QStringLiteral("min:max")},
        {QStringLiteral("truth"), QStringLiteral("Write the cell line's ground truth to this file, one line per cell."), QStringLiteral("file")},
        {QStringLiteral("step-ms"), QStringLiteral("Simulated time: the cell line's time advances n ms with each request instead of with the clock (the first request reads it at 0)."), QStringLiteral("n")},
        {QStringLiteral("id-prefix"), QStringLiteral("Cell IDs are this prefix and the cell's number, 6 digits (default SIM-)."), QStringLiteral("text")},
        {QStringLiteral("id-cycle"), QStringLiteral("Bring cell 1 back after n cells, then cell 2, ...: the same IDs measured again."), QStringLiteral("n")},
        {QStringLiteral("drift-mv-per-day"), QStringLiteral("Every cell's voltage falls this much per simulated day (default 0)."), QStringLiteral("mV")},
        {QStringLiteral("day-ms"), QStringLiteral("Length of a simulated day in the line's milliseconds (default 86400000)."), QStringLiteral("ms")},
        {QStringLiteral("profile"), QStringLiteral("Be a tester of this profile: a built-in one (default, query-judging, push) "
                                                   "or a profile file. Its request is answered (a pushing tester writes a "
                                                   "reading every 100 ms unasked), its set-up commands are logged, and the "
                                                   "simulated cells are written in its notation; --reply and --script lines "
                                                   "are sent as given."),
         QStringLiteral("name|file")},
        {QStringLiteral("tcp"), QStringLiteral("Serve the tester on a TCP socket instead of a pseudo-terminal, as a tester "
                                               "on the LAN: [HOST:]PORT (host 127.0.0.1 unless given, port 0 for one the "
                                               "system chooses, printed in the \"ready\" line). Give it again for "
                                               "another tester on another port."),
         QStringLiteral("[host:]port")},
        {QStringLiteral("usbtmc"), QStringLiteral("Stand in for a USB-TMC device file: a pseudo-terminal linked at this path "
                                                  "that writes each reply in one piece, as one read of the usbtmc driver "
                                                  "returns it."),
         QStringLiteral("path")},
        {QStringLiteral("channels"), QStringLiteral("Serve n testers at once, each with its own cells: COMn links from --port "
                                                    "on, or TCP ports from the --tcp port on (each its own with port 0)."),
         QStringLiteral("n"), QStringLiteral("1")},
        {QStringLiteral("reset-after"), QStringLiteral("On TCP, after n replies send half of the next one and reset the "
                                                       "connection (once); the tester goes on listening."),
         QStringLiteral("n")},
        {QStringLiteral("print-port"), QStringLiteral("Print n of the COMn bin4870 opens with the Settings.ini in this folder (1 without one), then exit."), QStringLiteral("folder")},
    });
    parser.process(app);

    if (parser.isSet(QStringLiteral("print-port"))) {
        // The program's own reading of Settings.ini, range check and all.
        const Result<std::optional<QByteArray>> content = readSettingsFile(parser.value(QStringLiteral("print-port")));
        std::printf("%d\n", content && *content ? int(readSettings(**content).comPort) : 1);
        return 0;
    }

    SimOptions options;
    if (parser.isSet(QStringLiteral("profile"))) {
        const QString wanted = parser.value(QStringLiteral("profile"));
        std::optional<TesterProfile> builtIn = builtInProfile(wanted);
        const Result<TesterProfile> load = builtIn ? Result<TesterProfile>(std::move(*builtIn)) : readTesterProfileFile(wanted);
        if (!load)
            fail(load.errorString());
        options.profile = *load;
    }
    // By default the link goes where the program looks for it: beside both
    // programs in a build tree, in the user's folder for an installed program.
    options.dir = parser.isSet(QStringLiteral("dir"))
        ? parser.value(QStringLiteral("dir"))
        : FileLocations::detect(QCoreApplication::applicationDirPath(), programConfigDir()).settingsDir;
    if (!parser.isSet(QStringLiteral("dir")) && !QDir().mkpath(options.dir))
        fail(QStringLiteral("cannot create %1").arg(options.dir));
    options.port = intOption(parser, QStringLiteral("port"), 1);
    options.delay = std::chrono::milliseconds(intOption(parser, QStringLiteral("delay"), 0));
    options.split = intOption(parser, QStringLiteral("split"), 0);
    options.silent = parser.isSet(QStringLiteral("silent"));
    options.doubled = parser.isSet(QStringLiteral("double"));
    options.flood = parser.isSet(QStringLiteral("flood"));
    options.floodChunk = intOption(parser, QStringLiteral("flood-chunk"), 1);
    if (parser.isSet(QStringLiteral("drop")))
        options.dropReply = intOption(parser, QStringLiteral("drop"), 1);
    if (parser.isSet(QStringLiteral("empty-after")))
        options.emptyAfter = intOption(parser, QStringLiteral("empty-after"), 0);
    if (parser.isSet(QStringLiteral("hangup-after")))
        options.hangupAfter = intOption(parser, QStringLiteral("hangup-after"), 0);

    if (parser.isSet(QStringLiteral("reset-after")))
        options.resetAfter = intOption(parser, QStringLiteral("reset-after"), 0);
    const int channels = intOption(parser, QStringLiteral("channels"), 1);
    // The endpoints, one per tester.
    QList<SimOptions> testers;
    const QStringList tcp = parser.values(QStringLiteral("tcp"));
    if (!tcp.isEmpty() && parser.isSet(QStringLiteral("usbtmc")))
        fail(QStringLiteral("--tcp and --usbtmc exclude each other"));
    for (const QString &given : tcp) {
        SimOptions tester = options;
        tester.endpoint = SimOptions::Endpoint::Tcp;
        const qsizetype colon = given.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0)
            tester.tcpHost = given.left(colon);
        bool ok = false;
        const uint port = given.mid(colon + 1).toUInt(&ok);
        if (!ok || port > 65535 || tester.tcpHost.isEmpty())
            fail(QStringLiteral("--tcp needs [HOST:]PORT, PORT from 0 to 65535"));
        tester.tcpPort = quint16(port);
        testers << tester;
    }
    if (parser.isSet(QStringLiteral("usbtmc"))) {
        if (options.profile.pushes())
            fail(QStringLiteral("a USB-TMC tester only answers when asked: --usbtmc takes no pushing profile"));
        SimOptions tester = options;
        tester.endpoint = SimOptions::Endpoint::UsbTmc;
        tester.usbTmcPath = parser.value(QStringLiteral("usbtmc"));
        testers << tester;
    }
    if (testers.isEmpty())
        testers << options;
    while (testers.size() < channels) {
        SimOptions next = testers.last();
        if (next.endpoint == SimOptions::Endpoint::Pty)
            ++next.port;
        else if (next.endpoint == SimOptions::Endpoint::Tcp && next.tcpPort != 0)
            ++next.tcpPort;
        else if (next.endpoint == SimOptions::Endpoint::UsbTmc)
            fail(QStringLiteral("--channels takes one USB-TMC stand-in only"));
        testers << next;
    }
    if (testers.size() > 1) {
        for (qsizetype i = 0; i < testers.size(); ++i)
            testers[i].logPrefix = QStringLiteral("[%1] ").arg(i + 1);
    }

    const quint32 seed = parser.isSet(QStringLiteral("seed"))
        ? static_cast<quint32>(intOption(parser, QStringLiteral("seed"), 0))
        : QRandomGenerator::global()->generate();

    const QByteArray lineEnd = parser.isSet(QStringLiteral("no-eol")) ? QByteArray() : QByteArrayLiteral("\r\n");
    // Each tester has its own replies, from random numbers of its own.
    const auto makeReplies = [&](QRandomGenerator &random, const QString &truthSuffix) {
        std::unique_ptr<ReplySource> replies;
        if (parser.isSet(QStringLiteral("reply"))) {
            replies = std::make_unique<FixedReplies>(decodeEscapes(parser.value(QStringLiteral("reply")).toLatin1()) + lineEnd);
        } else if (parser.isSet(QStringLiteral("script"))) {
            QFile file(parser.value(QStringLiteral("script")));
            if (!file.open(QIODevice::ReadOnly))
                fail(QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
            QList<QByteArray> lines;
            for (QByteArray line : file.readAll().split('\n')) {
                if (line.endsWith('\r'))
                    line.chop(1);
                lines.append(line + lineEnd);
            }
            if (!lines.isEmpty() && lines.back() == lineEnd)
                lines.removeLast(); // the file's own final line end
            if (lines.isEmpty())
                fail(QStringLiteral("%1 holds no lines").arg(file.fileName()));
            replies = std::make_unique<ScriptReplies>(lines);
        } else if (parser.isSet(QStringLiteral("cell-line"))) {
            replies = cellLineReplies(parser, random, truthSuffix);
        } else if (parser.isSet(QStringLiteral("garbage"))) {
            replies = std::make_unique<GarbageReplies>(random);
        } else {
            replies = std::make_unique<BenchScenario>(random);
        }
        // The simulated cells in the notation of the profile's tester.
        const bool generated = !parser.isSet(QStringLiteral("reply")) && !parser.isSet(QStringLiteral("script"))
            && !parser.isSet(QStringLiteral("garbage"));
        if (generated && options.profile.name != kDefaultProfileName)
            replies = std::make_unique<ProfileReplies>(std::move(replies), options.profile);
        return replies;
    };

    // SIGINT and SIGTERM end the event loop, so the link is removed on the way out.
    if (::pipe(g_signalPipe) != 0)
        fail(QStringLiteral("cannot create a pipe"));
    struct sigaction action {};
    action.sa_handler = onSignal;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::exit(0); });

    std::vector<std::unique_ptr<QRandomGenerator>> randoms;
    std::vector<std::unique_ptr<TesterSim>> sims;
    for (qsizetype i = 0; i < testers.size(); ++i) {
        randoms.push_back(std::make_unique<QRandomGenerator>(seed + quint32(i)));
        const QString truthSuffix = testers.size() > 1 ? QStringLiteral(".%1").arg(i + 1) : QString();
        sims.push_back(std::make_unique<TesterSim>(testers[i], makeReplies(*randoms.back(), truthSuffix), *randoms.back()));
        if (const Status started = sims.back()->start(); !started)
            fail(started.errorString());
    }
    const int status = QCoreApplication::exec();
    for (const auto &sim : sims)
        sim->shutdown();
    return status;
}
